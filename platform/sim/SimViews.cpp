#include "platform/sim/SimViews.h"

#include "platform/sim/SimTextMetrics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace tl::sim {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kEps = 1e-6;
constexpr double kMaxExtent = 1e6;  // bigger is bad input, not a screen
constexpr int kMaxDepth = 200;

// A length from outside: NaN and negatives are nothing, and nothing is
// bigger than a million points.
double length(double v) { return std::isnan(v) || v < 0 ? 0 : std::min(v, kMaxExtent); }
double coordinate(double v) { return std::isnan(v) ? 0 : std::clamp(v, -kMaxExtent * 10, kMaxExtent * 10); }

class FixedScreen : public Screen {
 public:
  explicit FixedScreen(Rect frame) : frame_(frame) {}
  Rect frame() const override { return frame_; }

 private:
  Rect frame_;
};

const SimTextMetrics& metrics() { return SimTextMetrics::shared(); }

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    size_t nl = text.find('\n', start);
    out.push_back(text.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
    if (nl == std::string::npos) return out;
    start = nl + 1;
  }
}

void trimRight(std::string& s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
}

bool truncates(int mode) { return mode == 3 || mode == 4 || mode == 5; }

const View* asView(const SimNode& n) { return &const_cast<SimNode&>(n).view(); }

bool isEmpty(const std::weak_ptr<View>& w) {
  std::weak_ptr<View> none;
  return !w.owner_before(none) && !none.owner_before(w);
}

std::string format(const char* fmt, double v) {
  int n = std::snprintf(nullptr, 0, fmt, v);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), fmt, v);
  out.resize(static_cast<size_t>(n));
  return out;
}

std::string compact(double v) {
  if (std::isfinite(v) && std::fabs(v) < 1e15 && v == std::floor(v)) return format("%.0f", v);
  return format("%g", v);
}

}  // namespace

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

// ---- the tree -------------------------------------------------------------

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

// ---- layout ---------------------------------------------------------------

struct LayoutPass {
  using LA = LayoutAttribute;
  std::vector<std::shared_ptr<SimCustomView>> drawn;

  static std::optional<double> fixed(const SimNode& n, LA a) {
    std::optional<double> out;
    for (const auto& c : n.constraints_)
      if (c.attribute == a && isEmpty(c.toItem) && !std::isnan(c.constant)) out = length(c.constant);
    return out;
  }

  // "child.a = parent.a + c", written either way round.
  static std::optional<double> pin(const SimNode& child, LA a, const SimNode& parent) {
    std::optional<double> out;
    const View* cv = asView(child);
    const View* pv = asView(parent);
    for (const auto& c : child.constraints_)
      if (c.attribute == a && c.toAttribute == a && c.toItem.lock().get() == pv) out = coordinate(c.constant);
    for (const auto& c : parent.constraints_)
      if (c.attribute == a && c.toAttribute == a && c.toItem.lock().get() == cv) out = -coordinate(c.constant);
    return out;
  }

  static std::vector<std::shared_ptr<SimNode>> loose(const SimNode& n) {
    auto* stack = dynamic_cast<const SimStackView*>(&n);
    if (!stack) return n.children_;
    std::vector<std::shared_ptr<SimNode>> out;
    for (const auto& c : n.children_)
      if (std::find(stack->arranged().begin(), stack->arranged().end(), c) == stack->arranged().end()) out.push_back(c);
    return out;
  }

  static bool isSpacer(const SimNode& n, Orientation o) {
    return n.huggingPriority(o) < kSpacerHuggingBelow &&
           !fixed(n, o == Orientation::Horizontal ? LA::Width : LA::Height);
  }

  // Whether the view gives way when its row runs out of room: text that
  // truncates or wraps, and what holds such text.
  static bool compressible(const SimNode& n, int depth) {
    if (depth > kMaxDepth || fixed(n, LA::Width)) return false;
    if (auto* t = dynamic_cast<const SimTextField*>(&n)) return t->isWrapping() || truncates(t->lineBreakMode());
    if (n.kind() != ViewKind::Plain && n.kind() != ViewKind::Stack && n.kind() != ViewKind::Custom) return false;
    for (const auto& c : n.children_)
      if (compressible(*c, depth + 1)) return true;
    return false;
  }

  Size measure(SimNode& n, double maxWidth, int depth) {
    if (depth > kMaxDepth) return {};
    auto fw = fixed(n, LA::Width);
    auto fh = fixed(n, LA::Height);
    Size s = natural(n, fw ? *fw : std::max(0.0, maxWidth), depth);
    if (fw) s.width = *fw;
    if (fh) s.height = *fh;
    return s;
  }

  Size natural(SimNode& n, double limit, int depth) {
    switch (n.kind()) {
      case ViewKind::TextField: {
        auto& t = static_cast<SimTextField&>(n);
        auto lines = t.isWrapping() ? metrics().wrap(t.stringValue(), t.font(), limit) : splitLines(t.stringValue());
        double w = 0;
        for (const auto& l : lines) w = std::max(w, metrics().width(l, t.font()));
        return {t.isWrapping() ? std::min(w, limit) : w,
                static_cast<double>(lines.size()) * metrics().lineHeight(t.font())};
      }
      case ViewKind::Switch: return {38, 22};
      case ViewKind::Slider: return {150, 20};
      case ViewKind::PopUp: {
        auto& p = static_cast<SimPopUpButton&>(n);
        double w = 0;
        for (const auto& item : p.itemTitles()) w = std::max(w, metrics().width(item, Font{}) + 36);
        Size init = p.initialSize();
        return {init.width > 0 ? init.width : w, init.height > 0 ? init.height : 25};
      }
      case ViewKind::Button: return {metrics().width(static_cast<SimButton&>(n).title(), Font{}) + 28, 32};
      case ViewKind::Stack: return measureStack(static_cast<SimStackView&>(n), limit, depth);
      case ViewKind::Custom: {
        Size s = container(n, limit, depth);
        return {std::max(s.width, n.initialSize().width), std::max(s.height, n.initialSize().height)};
      }
      case ViewKind::Plain: return container(n, limit, depth);
    }
    return {};
  }

  struct Pins {
    std::optional<double> leading, trailing, top, bottom, centerY, width, height;
  };

  static Pins pins(const SimNode& child, const SimNode& parent) {
    Pins p;
    p.leading = pin(child, LA::Leading, parent);
    if (auto t = pin(child, LA::Trailing, parent)) p.trailing = -*t;
    p.top = pin(child, LA::Top, parent);
    if (auto b = pin(child, LA::Bottom, parent)) p.bottom = -*b;
    p.centerY = pin(child, LA::CenterY, parent);
    p.width = pin(child, LA::Width, parent);
    p.height = pin(child, LA::Height, parent);
    return p;
  }

  Size container(SimNode& n, double limit, int depth) {
    Size out;
    for (const auto& child : loose(n)) {
      Pins p = pins(*child, n);
      double l = p.leading.value_or(0), r = p.trailing.value_or(0);
      double t = p.top.value_or(0), b = p.bottom.value_or(0);
      Size s = measure(*child, p.width ? limit + *p.width : limit - l - r, depth + 1);
      if (!p.width) out.width = std::max(out.width, l + s.width + r);
      if (!p.height) out.height = std::max(out.height, t + s.height + b);
    }
    return out;
  }

  void placeContainer(SimNode& n, Rect r, int depth) {
    for (const auto& child : loose(n)) {
      Pins p = pins(*child, n);
      double w, h, x = 0, y = 0;
      if (auto f = fixed(*child, LA::Width)) w = *f;
      else if (p.width) w = r.width + *p.width;
      else if (p.leading && p.trailing) w = r.width - *p.leading - *p.trailing;
      else w = measure(*child, r.width - p.leading.value_or(0) - p.trailing.value_or(0), depth + 1).width;
      w = std::max(0.0, w);
      if (p.leading) x = *p.leading;
      else if (p.trailing) x = r.width - *p.trailing - w;
      if (auto f = fixed(*child, LA::Height)) h = *f;
      else if (p.height) h = r.height + *p.height;
      else if (p.top && p.bottom) h = r.height - *p.top - *p.bottom;
      else h = measure(*child, w, depth + 1).height;
      h = std::max(0.0, h);
      if (p.top) y = *p.top;
      else if (p.bottom) y = r.height - *p.bottom - h;
      else if (p.centerY) y = (r.height - h) / 2 + *p.centerY;
      place(*child, {r.x + x, r.y + y, w, h}, depth + 1);
    }
  }

  // The widths of a row's views at a given width of the row.
  std::vector<double> rowWidths(SimStackView& s, double width, int depth) {
    const auto& views = s.arranged();
    EdgeInsets in = s.edgeInsets();
    double inner = std::max(0.0, width - in.left - in.right);
    std::vector<double> w(views.size());
    std::vector<bool> flexible(views.size());
    double total = views.size() > 1 ? s.spacing() * static_cast<double>(views.size() - 1) : 0;
    for (size_t i = 0; i < views.size(); ++i) {
      auto rel = pin(*views[i], LA::Width, s);
      flexible[i] = !rel && !fixed(*views[i], LA::Width);
      w[i] = rel ? std::max(0.0, width + *rel) : measure(*views[i], inner, depth + 1).width;
      total += w[i];
    }
    if (total > inner + kEps) {
      double over = total - inner;
      for (size_t i = 0; i < views.size() && over > kEps; ++i) {
        if (!flexible[i] || !compressible(*views[i], depth + 1)) continue;
        double take = std::min(over, w[i]);
        w[i] -= take;
        over -= take;
      }
    } else {
      std::vector<size_t> spacers;
      for (size_t i = 0; i < views.size(); ++i)
        if (flexible[i] && isSpacer(*views[i], Orientation::Horizontal)) spacers.push_back(i);
      for (size_t i : spacers) w[i] += (inner - total) / static_cast<double>(spacers.size());
    }
    return w;
  }

  double columnWidth(SimStackView& s, SimNode& child, double width, int depth) {
    EdgeInsets in = s.edgeInsets();
    double inner = std::max(0.0, width - in.left - in.right);
    if (auto f = fixed(child, LA::Width)) return *f;
    if (auto rel = pin(child, LA::Width, s)) return std::max(0.0, width + *rel);
    if (s.alignment() == LA::Width) return inner;
    return std::min(measure(child, inner, depth + 1).width, inner);
  }

  Size measureStack(SimStackView& s, double limit, int depth) {
    EdgeInsets in = s.edgeInsets();
    const auto& views = s.arranged();
    double gaps = views.size() > 1 ? s.spacing() * static_cast<double>(views.size() - 1) : 0;
    Size out;
    if (s.orientation() == Orientation::Horizontal) {
      double natural = in.left + in.right + gaps;
      for (const auto& v : views) natural += measure(*v, kInf, depth + 1).width;
      double width = std::min(natural, limit);
      auto w = rowWidths(s, width, depth);
      double h = 0, used = in.left + in.right + gaps;
      for (size_t i = 0; i < views.size(); ++i) {
        used += w[i];
        h = std::max(h, fixed(*views[i], LA::Height).value_or(measure(*views[i], w[i], depth + 1).height));
      }
      out = {std::max(width, used), h + in.top + in.bottom};
    } else {
      double inner = std::max(0.0, limit - in.left - in.right);
      double natural = 0;
      for (const auto& v : views) natural = std::max(natural, measure(*v, inner, depth + 1).width);
      double width = std::min(natural + in.left + in.right, limit);
      double h = in.top + in.bottom + gaps;
      for (const auto& v : views) h += measure(*v, columnWidth(s, *v, width, depth), depth + 1).height;
      out = {width, h};
    }
    Size extra = container(s, limit, depth);
    return {std::max(out.width, extra.width), std::max(out.height, extra.height)};
  }

  void placeStack(SimStackView& s, Rect r, int depth) {
    EdgeInsets in = s.edgeInsets();
    const auto views = s.arranged();
    double innerH = std::max(0.0, r.height - in.top - in.bottom);
    double innerW = std::max(0.0, r.width - in.left - in.right);
    if (s.orientation() == Orientation::Horizontal) {
      auto w = rowWidths(s, r.width, depth);
      double x = r.x + in.left;
      for (size_t i = 0; i < views.size(); ++i) {
        double h = s.alignment() == LA::Height ? innerH : measure(*views[i], w[i], depth + 1).height;
        double y = in.top;
        if (s.alignment() == LA::CenterY) y += (innerH - h) / 2;
        else if (s.alignment() == LA::Bottom || s.alignment() == LA::Trailing) y += innerH - h;
        place(*views[i], {x, r.y + y, w[i], h}, depth + 1);
        x += w[i] + s.spacing();
      }
    } else {
      std::vector<double> w(views.size()), h(views.size());
      double used = views.size() > 1 ? s.spacing() * static_cast<double>(views.size() - 1) : 0;
      std::vector<size_t> spacers;
      for (size_t i = 0; i < views.size(); ++i) {
        w[i] = columnWidth(s, *views[i], r.width, depth);
        h[i] = measure(*views[i], w[i], depth + 1).height;
        used += h[i];
        if (isSpacer(*views[i], Orientation::Vertical)) spacers.push_back(i);
      }
      if (used < innerH)
        for (size_t i : spacers) h[i] += (innerH - used) / static_cast<double>(spacers.size());
      double y = r.y + in.top;
      for (size_t i = 0; i < views.size(); ++i) {
        double x = in.left;
        LA a = s.alignment();
        if (pin(*views[i], LA::Width, s)) x = 0;  // as wide as the stack, insets or not
        else if (a == LA::Trailing || a == LA::Bottom) x += innerW - w[i];
        else if (a == LA::CenterY) x += (innerW - w[i]) / 2;
        place(*views[i], {r.x + x, y, w[i], h[i]}, depth + 1);
        y += h[i] + s.spacing();
      }
    }
  }

  void place(SimNode& n, Rect r, int depth) {
    if (depth > kMaxDepth) return;
    n.frame_ = r;
    switch (n.kind()) {
      case ViewKind::TextField: {
        auto& t = static_cast<SimTextField&>(n);
        if (t.isWrapping()) {
          t.lines_ = metrics().wrap(t.stringValue(), t.font(), r.width);
        } else {
          t.lines_.clear();
          for (const auto& l : splitLines(t.stringValue()))
            t.lines_.push_back(metrics().fit(l, t.font(), r.width, truncates(t.lineBreakMode())));
        }
        break;
      }
      case ViewKind::Stack: placeStack(static_cast<SimStackView&>(n), r, depth); break;
      case ViewKind::Custom:
        drawn.push_back(std::static_pointer_cast<SimCustomView>(n.shared_from_this()));
        break;
      default: break;
    }
    placeContainer(n, r, depth);
  }
};

Size fittingSizeOf(SimNode& node) {
  double width = node.frame().width;
  Size s = LayoutPass().measure(node, width > 0 ? width : 1e6, 0);
  return {width > 0 ? width : s.width, s.height};
}

// ---- windows --------------------------------------------------------------

SimWindow::SimWindow(std::shared_ptr<WindowServer> server, Rect contentRect, unsigned styleMask, int backing, bool defer)
    : server_(std::move(server)), styleMask_(styleMask), backing_(backing), defer_(defer) {
  double bar = (styleMask & kWindowStyleMaskTitled) ? kTitleBarHeight : 0;
  frame_ = {coordinate(contentRect.x), coordinate(contentRect.y), length(contentRect.width),
            length(contentRect.height) + bar};
  content_ = std::make_shared<SimPlainView>();
}

Rect SimWindow::frame() const { return frame_; }

Rect SimWindow::contentRect() const {
  double bar = (styleMask_ & kWindowStyleMaskTitled) ? kTitleBarHeight : 0;
  return {frame_.x, frame_.y, frame_.width, frame_.height - bar};
}

std::shared_ptr<Screen> SimWindow::screen() const {
  if (!server_->screen) return nullptr;
  Rect s = server_->screen->frame();
  bool overlaps = frame_.x < s.x + s.width && s.x < frame_.x + frame_.width && frame_.y < s.y + s.height &&
                  s.y < frame_.y + frame_.height;
  return overlaps ? server_->screen : nullptr;
}

void SimWindow::center() {
  if (!server_->screen) return;
  Rect s = server_->screen->frame();
  frame_.x = s.x + (s.width - frame_.width) / 2;
  frame_.y = s.y + (s.height - frame_.height) * 0.75;
}

void SimWindow::setContentView(std::shared_ptr<View> view) {
  auto node = std::dynamic_pointer_cast<SimNode>(view);
  if (view && !node) return;  // not one of ours: nothing could draw it
  if (node)
    if (auto old = node->superview()) old->detachChild(node.get());
  content_ = std::move(node);
  // As AppKit does, the view takes the size of the content area.
  if (content_) content_->frame_ = {0, 0, contentRect().width, contentRect().height};
}

void SimWindow::setContentSize(Size size) {
  double bar = frame_.height - contentRect().height;
  double top = frame_.y + frame_.height;
  frame_.width = length(size.width);
  frame_.height = length(size.height) + bar;
  frame_.y = top - frame_.height;
  if (content_) content_->frame_ = {0, 0, contentRect().width, contentRect().height};
}

std::shared_ptr<View> SimWindow::contentView() const { return content_ ? content_->viewPtr() : nullptr; }

void SimWindow::makeKeyAndOrderFront() {
  if (released_) return;
  visible_ = true;
  order_ = server_->nextOrder++;
  server_->key = weak_from_this();
  layout();
}

void SimWindow::close() {
  if (released_) return;
  visible_ = false;
  if (server_->key.lock().get() == this) server_->key.reset();
  if (releasedWhenClosed_) released_ = true;
}

bool SimWindow::isKeyWindow() const { return visible_ && server_->key.lock().get() == this; }

void SimWindow::layout() const {
  if (!content_) return;
  LayoutPass pass;
  Rect c = contentRect();
  pass.place(*content_, {0, 0, c.width, c.height}, 0);
  // Drawn once the frames are final; a drawing may change its view.
  for (const auto& v : pass.drawn) v->display();
}

// ---- the factory ----------------------------------------------------------

SimViews::SimViews(Size screenSize) : server_(std::make_shared<WindowServer>()) {
  server_->screen = std::make_shared<FixedScreen>(Rect{0, 0, length(screenSize.width), length(screenSize.height)});
}

SimViews::SimViews(std::shared_ptr<Screen> screen) : SimViews() {
  if (screen) server_->screen = std::move(screen);
}

std::shared_ptr<AppWindow> SimViews::newWindow(Rect contentRect, unsigned styleMask, int backing, bool defer) {
  std::erase_if(windows_, [](const auto& w) { return w->isReleased(); });
  auto w = std::make_shared<SimWindow>(server_, contentRect, styleMask, backing, defer);
  windows_.push_back(w);
  return w;
}

std::shared_ptr<View> SimViews::newView() { return std::make_shared<SimPlainView>(); }

std::shared_ptr<View> SimViews::newCustomView(std::shared_ptr<CustomViewDrawing> drawing, Rect frame) {
  return std::make_shared<SimCustomView>(std::move(drawing), Size{length(frame.width), length(frame.height)});
}

std::shared_ptr<TextField> SimViews::labelWithString(const std::string& text) {
  return std::make_shared<SimTextField>(text, false);
}

std::shared_ptr<TextField> SimViews::wrappingLabelWithString(const std::string& text) {
  return std::make_shared<SimTextField>(text, true);
}

std::shared_ptr<StackView> SimViews::stackViewWithViews(const std::vector<std::shared_ptr<View>>& views) {
  auto stack = std::make_shared<SimStackView>();
  for (const auto& v : views) stack->addArrangedSubview(v);
  return stack;
}

std::shared_ptr<Switch> SimViews::newSwitch() { return std::make_shared<SimSwitch>(); }

std::shared_ptr<Slider> SimViews::sliderWithValue(double value, double minValue, double maxValue,
                                                  std::weak_ptr<Responder> target, const std::string& action) {
  auto slider = std::make_shared<SimSlider>(value, minValue, maxValue);
  slider->setTarget(std::move(target));
  slider->setAction(action);
  return slider;
}

std::shared_ptr<PopUpButton> SimViews::newPopUpButton(Rect frame, bool pullsDown) {
  return std::make_shared<SimPopUpButton>(Size{length(frame.width), length(frame.height)}, pullsDown);
}

std::shared_ptr<Button> SimViews::buttonWithTitle(const std::string& title, std::weak_ptr<Responder> target,
                                                  const std::string& action) {
  auto button = std::make_shared<SimButton>(title);
  button->setTarget(std::move(target));
  button->setAction(action);
  return button;
}

void SimViews::activateConstraints(const std::vector<LayoutConstraint>& constraints) {
  for (const auto& c : constraints) {
    constraints_.push_back(c);
    if (auto node = std::dynamic_pointer_cast<SimNode>(c.item.lock())) node->constraints_.push_back(c);
  }
}

std::vector<std::shared_ptr<SimWindow>> SimViews::windows() const {
  std::vector<std::shared_ptr<SimWindow>> out;
  for (const auto& w : windows_)
    if (!w->isReleased()) out.push_back(w);
  return out;
}

std::vector<std::shared_ptr<SimWindow>> SimViews::visibleWindows() const {
  std::vector<std::shared_ptr<SimWindow>> out;
  for (const auto& w : windows_)
    if (w->isVisible() && !w->isReleased()) out.push_back(w);
  std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a->orderStamp() < b->orderStamp(); });
  return out;
}

std::shared_ptr<SimWindow> SimViews::keyWindow() const {
  auto w = server_->key.lock();
  return w && w->isKeyWindow() ? w : nullptr;
}

// ---- finding and acting ---------------------------------------------------

namespace {

std::vector<std::shared_ptr<SimNode>> inOrder(const SimNode& n) {
  auto* stack = dynamic_cast<const SimStackView*>(&n);
  if (!stack) return n.children();
  auto out = stack->arranged();
  for (const auto& c : n.children())
    if (std::find(out.begin(), out.end(), c) == out.end()) out.push_back(c);
  return out;
}

const SimTextField* firstLabel(const SimNode& n, int depth = 0) {
  if (n.kind() == ViewKind::TextField) return static_cast<const SimTextField*>(&n);
  if (depth > kMaxDepth) return nullptr;
  for (const auto& c : inOrder(n))
    if (auto* t = firstLabel(*c, depth + 1)) return t;
  return nullptr;
}

std::shared_ptr<SimNode> firstOfKind(const std::shared_ptr<SimNode>& n, ViewKind kind, int depth = 0) {
  if (n->kind() == kind) return n;
  if (depth > kMaxDepth) return nullptr;
  for (const auto& c : inOrder(*n))
    if (auto found = firstOfKind(c, kind, depth + 1)) return found;
  return nullptr;
}

bool isRow(const SimNode& n) {
  return n.kind() == ViewKind::Stack && static_cast<const SimStackView&>(n).orientation() == Orientation::Horizontal;
}

std::shared_ptr<SimNode> searchRows(const std::shared_ptr<SimNode>& n, const std::string& title, ViewKind kind,
                                    int depth) {
  if (depth > kMaxDepth) return nullptr;
  if (isRow(*n)) {
    auto* label = firstLabel(*n);
    if (label && label->stringValue() == title)
      for (const auto& c : inOrder(*n))
        if (auto found = firstOfKind(c, kind)) return found;
  }
  for (const auto& c : inOrder(*n))
    if (auto found = searchRows(c, title, kind, depth + 1)) return found;
  return nullptr;
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
  return searchRows(root, rowTitle, kind, 0);
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

// ---- drawing as text ------------------------------------------------------

namespace {

std::string controlText(const SimNode& n) {
  switch (n.kind()) {
    case ViewKind::Switch: {
      int state = static_cast<const SimSwitch&>(n).state();
      return state == kControlStateValueOn ? "[开]" : state == kControlStateValueOff ? "[关]" : "[—]";
    }
    case ViewKind::Slider: {
      auto& s = static_cast<const SimSlider&>(n);
      return "[slider " + format("%.1f", s.doubleValue()) + " (" + compact(s.minValue()) + "–" +
             compact(s.maxValue()) + ")]";
    }
    case ViewKind::PopUp: {
      std::string shown = n.text();
      return shown.empty() ? "[pop-up: ▾]" : "[pop-up: " + shown + " ▾]";
    }
    case ViewKind::Button: return "[button " + n.text() + "]";
    default: return {};
  }
}

std::string join(const std::vector<std::string>& parts, const std::string& sep) {
  std::string out;
  for (const auto& p : parts) {
    if (p.empty()) continue;
    if (!out.empty()) out += sep;
    out += p;
  }
  return out;
}

std::vector<std::shared_ptr<SimNode>> topToBottom(const SimNode& n) {
  if (n.kind() == ViewKind::Stack) return inOrder(n);
  auto out = n.children();
  std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
    return a->frame().y != b->frame().y ? a->frame().y < b->frame().y : a->frame().x < b->frame().x;
  });
  return out;
}

std::string inlineText(const SimNode& n, int depth) {
  if (depth > kMaxDepth) return {};
  if (n.kind() == ViewKind::TextField) return join(static_cast<const SimTextField&>(n).lines(), " ");
  if (n.kind() != ViewKind::Plain && n.kind() != ViewKind::Stack && n.kind() != ViewKind::Custom) return controlText(n);
  std::vector<std::string> parts;
  for (const auto& c : topToBottom(n)) parts.push_back(inlineText(*c, depth + 1));
  if (n.kind() != ViewKind::Stack) return join(parts, " ");
  bool column = static_cast<const SimStackView&>(n).orientation() == Orientation::Vertical;
  return join(parts, column ? " — " : "  ");
}

void block(const SimNode& n, std::vector<std::string>& out, int depth) {
  if (depth > kMaxDepth) return;
  switch (n.kind()) {
    case ViewKind::TextField: {
      auto& t = static_cast<const SimTextField&>(n);
      std::string indent = t.font().weight == FontWeight::Regular ? "  " : "";
      for (const auto& line : t.lines()) out.push_back(indent + line);
      return;
    }
    case ViewKind::Stack:
      if (isRow(n)) {
        std::string line = inlineText(n, depth);
        if (!line.empty()) out.push_back("  " + line);
        return;
      }
      break;
    case ViewKind::Custom:
      if (static_cast<const SimCustomView&>(n).isDivider()) {
        double count = std::clamp(std::round(n.frame().width / 12), 1.0, 200.0);
        std::string rule = "  ";
        for (int i = 0; i < static_cast<int>(count); ++i) rule += "─";
        out.push_back(rule);
      }
      break;
    case ViewKind::Plain: break;
    default:
      out.push_back("  " + controlText(n));
      return;
  }
  for (const auto& c : topToBottom(n)) block(*c, out, depth + 1);
}

}  // namespace

std::string renderText(const SimWindow& window) {
  window.layout();
  std::vector<std::string> lines{"window: " + window.title()};
  if (auto root = window.contentNode()) block(*root, lines, 0);
  std::string out;
  for (auto& l : lines) {
    trimRight(l);
    out += l + "\n";
  }
  return out;
}

}  // namespace tl::sim
