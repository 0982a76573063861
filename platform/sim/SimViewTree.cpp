#include "platform/sim/SimViewTree.h"

#include <algorithm>
#include <cmath>

namespace tl::sim {

namespace {
constexpr double kMaxExtent = 1e6;  // bigger is bad input, not a screen
}  // namespace

double viewLength(double v) { return std::isnan(v) || v < 0 ? 0 : std::min(v, kMaxExtent); }
double viewCoordinate(double v) { return std::isnan(v) ? 0 : std::clamp(v, -kMaxExtent * 10, kMaxExtent * 10); }

const char* kindName(ViewKind kind) {
  switch (kind) {
    case ViewKind::Plain: return "view";
    case ViewKind::Custom: return "custom";
    case ViewKind::TextField: return "text";
    case ViewKind::Stack: return "stack";
    case ViewKind::Switch: return "switch";
    case ViewKind::Slider: return "slider";
    case ViewKind::PopUp: return "popup";
    case ViewKind::Button: return "button";
  }
  return "view";
}

bool SimNode::adopt(const std::shared_ptr<View>& view) {
  auto child = std::dynamic_pointer_cast<SimNode>(view);
  if (!child || child.get() == this) return false;
  for (auto p = superview(); p; p = p->superview())
    if (p == child) return false;
  auto old = child->superview();
  if (old.get() == this) return true;
  if (old) old->detachChild(child.get());
  children_.push_back(child);
  child->superview_ = weak_from_this();
  return true;
}

void SimNode::detachChild(const SimNode* child) {
  std::erase_if(children_, [&](const auto& c) { return c.get() == child; });
  if (auto* stack = dynamic_cast<SimStackView*>(this))
    std::erase_if(stack->arranged_, [&](const auto& c) { return c.get() == child; });
}

std::vector<std::shared_ptr<View>> SimNode::childViews() const {
  std::vector<std::shared_ptr<View>> out;
  for (const auto& c : children_) out.push_back(c->viewPtr());
  return out;
}

void SimStackView::addArrangedSubview(std::shared_ptr<View> view) {
  if (!adopt(view)) return;
  auto child = std::dynamic_pointer_cast<SimNode>(view);
  // As in AppKit, arranging a view again moves it to the end.
  std::erase(arranged_, child);
  arranged_.push_back(child);
}

std::vector<std::shared_ptr<View>> SimStackView::arrangedSubviews() const {
  std::vector<std::shared_ptr<View>> out;
  for (const auto& c : arranged_) out.push_back(c->viewPtr());
  return out;
}

SimCustomView::SimCustomView(std::shared_ptr<CustomViewDrawing> drawing, Size size)
    : SimViewOf(ViewKind::Custom), drawing_(std::move(drawing)) {
  setInitialSize(size);
}

bool SimCustomView::isDivider() const { return wantsLayer() && frame().height <= 2 && frame().width > 0; }

void SimCustomView::display() {
  if (!drawing_ || !drawing_->wantsUpdateLayer() || !hasLayer()) return;
  ++layerUpdates_;
  drawing_->updateLayer(*this);
}

SimSlider::SimSlider(double value, double minValue, double maxValue) : SimControlOf(ViewKind::Slider) {
  min_ = std::isnan(minValue) ? 0 : minValue;
  max_ = std::isnan(maxValue) || maxValue < min_ ? min_ : maxValue;
  setDoubleValue(value);
}

void SimSlider::setDoubleValue(double value) { value_ = std::isnan(value) ? min_ : std::clamp(value, min_, max_); }

SimPopUpButton::SimPopUpButton(Size size, bool pullsDown) : SimControlOf(ViewKind::PopUp), pullsDown_(pullsDown) {
  setInitialSize(size);
}

void SimPopUpButton::addItemWithTitle(const std::string& title) {
  bool wasEmpty = items_.empty();
  auto it = std::find(items_.begin(), items_.end(), title);
  if (it != items_.end()) {
    long at = it - items_.begin();
    items_.erase(it);
    if (selected_ == at) selected_ = -1;
    else if (selected_ > at) --selected_;
  }
  items_.push_back(title);
  if (wasEmpty) selected_ = 0;
}

void SimPopUpButton::selectItemAtIndex(long index) {
  selected_ = index >= 0 && index < static_cast<long>(items_.size()) ? index : -1;
}

std::string SimPopUpButton::text() const {
  if (pullsDown_) return items_.empty() ? "" : items_.front();
  return selected_ >= 0 ? items_[static_cast<size_t>(selected_)] : "";
}

// ---- walking it -------------------------------------------------------------

std::vector<std::shared_ptr<SimNode>> inOrder(const SimNode& n) {
  auto* stack = dynamic_cast<const SimStackView*>(&n);
  if (!stack) return n.children();
  auto out = stack->arranged();
  for (const auto& c : n.children())
    if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
  return out;
}

const SimTextField* firstLabel(const SimNode& n, int depth) {
  if (n.kind() == ViewKind::TextField) return static_cast<const SimTextField*>(&n);
  if (depth > kMaxViewDepth) return nullptr;
  for (const auto& c : inOrder(n))
    if (auto* t = firstLabel(*c, depth + 1)) return t;
  return nullptr;
}

bool isRow(const SimNode& n) {
  return n.kind() == ViewKind::Stack && static_cast<const SimStackView&>(n).orientation() == Orientation::Horizontal;
}

}  // namespace tl::sim
