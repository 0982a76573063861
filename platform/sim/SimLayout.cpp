#include "platform/sim/SimLayout.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/sim/SimTextMetrics.h"

// There is no constraint solver: stack views are laid out as flexible boxes
// and the few constraints the core activates (fixed sizes, equal widths,
// edge pins to a container) are read directly.

namespace tl::sim {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kEps = 1e-6;
constexpr int kMaxDepth = kMaxViewDepth;

const SimTextMetrics& metrics() { return SimTextMetrics::shared(); }
double length(double v) { return viewLength(v); }
double coordinate(double v) { return viewCoordinate(v); }

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

bool truncates(int mode) { return mode == 3 || mode == 4 || mode == 5; }

const View* asView(const SimNode& n) { return &const_cast<SimNode&>(n).view(); }

bool isEmpty(const std::weak_ptr<View>& w) {
  std::weak_ptr<View> none;
  return !w.owner_before(none) && !none.owner_before(w);
}

}  // namespace

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

void layOut(SimNode& root, Rect bounds) {
  LayoutPass pass;
  pass.place(root, bounds, 0);
  for (const auto& v : pass.drawn) v->display();
}

}  // namespace tl::sim
