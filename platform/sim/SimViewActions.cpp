#include <algorithm>
#include <cmath>
#include <functional>

#include "platform/sim/SimViews.h"

// A person working a window's controls: each found by the row it is in, as
// a person reads the window, and worked as a pointer would.

namespace tl::sim {

namespace {
constexpr int kMaxDepth = kMaxViewDepth;

std::shared_ptr<SimNode> firstOfKind(const std::shared_ptr<SimNode>& n, ViewKind kind, int depth = 0) {
  if (n->kind() == kind) return n;
  if (depth > kMaxDepth) return nullptr;
  for (const auto& c : inOrder(*n))
    if (auto found = firstOfKind(c, kind, depth + 1)) return found;
  return nullptr;
}

// Each row that holds a control of the kind, in reading order, with its
// title and the first such control in it, until visit says it has found.
bool eachRow(const std::shared_ptr<SimNode>& n, ViewKind kind, int depth,
             const std::function<bool(const std::string&, const std::shared_ptr<SimNode>&)>& visit) {
  if (depth > kMaxDepth) return false;
  if (isRow(*n))
    if (auto* label = firstLabel(*n))
      for (const auto& c : inOrder(*n))
        if (auto found = firstOfKind(c, kind)) {
          if (visit(label->stringValue(), found)) return true;
          break;
        }
  for (const auto& c : inOrder(*n))
    if (eachRow(c, kind, depth + 1, visit)) return true;
  return false;
}

std::shared_ptr<SimNode> buttonTitled(const std::shared_ptr<SimNode>& n, const std::string& title, int depth = 0) {
  if (auto* b = dynamic_cast<SimButton*>(n.get()); b && b->title() == title) return n;
  if (depth > kMaxDepth) return nullptr;
  for (const auto& c : inOrder(*n))
    if (auto found = buttonTitled(c, title, depth + 1)) return found;
  return nullptr;
}

}  // namespace

std::shared_ptr<SimNode> findInRow(const SimWindow& window, const std::string& rowTitle, ViewKind kind) {
  auto root = window.contentNode();
  if (!root) return nullptr;
  window.layout();
  std::shared_ptr<SimNode> control;
  eachRow(root, kind, 0, [&](const std::string& title, const std::shared_ptr<SimNode>& found) {
    if (title == rowTitle) control = found;
    return control != nullptr;
  });
  return control;
}

std::vector<std::string> rowsWith(const SimWindow& window, ViewKind kind) {
  std::vector<std::string> titles;
  auto root = window.contentNode();
  if (!root) return titles;
  window.layout();
  eachRow(root, kind, 0, [&](const std::string& title, const std::shared_ptr<SimNode>&) {
    if (std::find(titles.begin(), titles.end(), title) == titles.end()) titles.push_back(title);
    return false;
  });
  return titles;
}

bool SimViews::flipSwitch(SimWindow& window, const std::string& rowTitle) {
  auto sw = findInRow<SimSwitch>(window, rowTitle, ViewKind::Switch);
  if (!sw) return false;
  sw->setState(sw->state() == kControlStateValueOn ? kControlStateValueOff : kControlStateValueOn);
  sw->sendAction();
  return true;
}

bool SimViews::dragSlider(SimWindow& window, const std::string& rowTitle, double target) {
  auto slider = findInRow<SimSlider>(window, rowTitle, ViewKind::Slider);
  if (!slider || std::isnan(target)) return false;
  double to = std::clamp(target, slider->minValue(), slider->maxValue());
  double from = slider->doubleValue();
  if (slider->isContinuous() && std::isfinite(to - from) && to != from) {
    // Each half step the knob passes; a long way is cut into at most
    // kMaxSteps even steps so that a huge range still ends.
    constexpr double kMaxSteps = 2000;
    double dir = to > from ? 1 : -1;
    double distance = std::fabs(to - from);
    bool halves = distance / 0.5 <= kMaxSteps;
    double at = halves ? (dir > 0 ? std::floor(from * 2) / 2 + 0.5 : std::ceil(from * 2) / 2 - 0.5)
                       : from + dir * distance / kMaxSteps;
    for (int i = 0; i < kMaxSteps + 1 && (dir > 0 ? at < to : at > to); ++i) {
      slider->setDoubleValue(at);
      slider->sendAction();
      at = halves ? at + dir * 0.5 : from + dir * distance / kMaxSteps * (i + 2);
    }
  }
  slider->setDoubleValue(to);
  slider->sendAction();
  return true;
}

bool SimViews::pickPopUpItem(SimWindow& window, const std::string& rowTitle, const std::string& itemTitleOrIndex) {
  auto popup = findInRow<SimPopUpButton>(window, rowTitle, ViewKind::PopUp);
  if (!popup) return false;
  const auto& items = popup->itemTitles();
  auto it = std::find(items.begin(), items.end(), itemTitleOrIndex);
  long index = -1;
  if (it != items.end()) {
    index = it - items.begin();
  } else if (!itemTitleOrIndex.empty() && itemTitleOrIndex.size() < 10 &&
             std::all_of(itemTitleOrIndex.begin(), itemTitleOrIndex.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    index = std::stol(itemTitleOrIndex);
  }
  return pickPopUpItem(window, rowTitle, index);
}

bool SimViews::pickPopUpItem(SimWindow& window, const std::string& rowTitle, long index) {
  auto popup = findInRow<SimPopUpButton>(window, rowTitle, ViewKind::PopUp);
  if (!popup || index < 0 || index >= static_cast<long>(popup->itemTitles().size())) return false;
  popup->selectItemAtIndex(index);
  popup->sendAction();
  return true;
}

bool SimViews::pressButton(SimWindow& window, const std::string& title) {
  auto root = window.contentNode();
  if (!root) return false;
  window.layout();
  auto button = std::dynamic_pointer_cast<SimButton>(buttonTitled(root, title));
  if (!button) button = findInRow<SimButton>(window, title, ViewKind::Button);
  if (!button) return false;
  button->sendAction();
  return true;
}

}  // namespace tl::sim
