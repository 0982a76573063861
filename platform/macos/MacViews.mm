#include "platform/macos/MacBridge.h"

#include <algorithm>
#include <cmath>
#include <vector>

// A view drawn by its layer through the core's CustomViewDrawing. It holds
// its wrapper weakly: the wrapper owns the view, not the other way round.
@interface TLCustomView : NSView {
 @public
  std::shared_ptr<tl::CustomViewDrawing> drawing;
  std::weak_ptr<tl::View> owner;
}
@end

@implementation TLCustomView
- (BOOL)wantsUpdateLayer {
  return drawing && drawing->wantsUpdateLayer() ? YES : NO;
}
- (void)updateLayer {
  std::shared_ptr<tl::CustomViewDrawing> keep = drawing;
  std::shared_ptr<tl::View> view = owner.lock();
  if (keep && view) keep->updateLayer(*view);
}
@end

namespace tl::mac {

namespace {

// Every NSView made through the factory, to its one wrapper. Whatever hands
// a view back (subviews, arrangedSubviews, contentView) hands back that
// wrapper, so the core's pointer comparisons hold. An entry lives exactly as
// long as its wrapper; the wrapper keeps its NSView alive meanwhile, so an
// address cannot be reused under it.
std::unordered_map<const void*, std::weak_ptr<View>>& registry() {
  static auto* views = new std::unordered_map<const void*, std::weak_ptr<View>>();
  return *views;
}

std::shared_ptr<View> wrapperOf(NSView* view) {
  if (!view) return nullptr;
  auto it = registry().find((__bridge const void*)view);
  return it == registry().end() ? nullptr : it->second.lock();
}

// Views AppKit made on its own (a stack view's internals) have no wrapper
// and are left out.
std::vector<std::shared_ptr<View>> wrappersOf(NSArray<NSView*>* views) {
  std::vector<std::shared_ptr<View>> result;
  for (NSView* v in views)
    if (auto w = wrapperOf(v)) result.push_back(std::move(w));
  return result;
}

// What every view wrapper has besides its interface. A wrapper keeps the
// wrappers of the views put into it, as the NSView keeps their NSViews, so
// a control deep in a window still has its wrapper to be the sender.
class MacViewCore {
 public:
  explicit MacViewCore(NSView* view) : view_(view) {}
  virtual ~MacViewCore() { registry().erase((__bridge const void*)view_); }
  MacViewCore(const MacViewCore&) = delete;
  MacViewCore& operator=(const MacViewCore&) = delete;

  NSView* nsView() const { return view_; }
  void keep(std::shared_ptr<View> view) { kept_.push_back(std::move(view)); }
  virtual void bindSender(std::weak_ptr<Object>) {}

  // The NSView of another wrapper that may go into this one: nil for a view
  // of another platform, for this view itself and for one of its ancestors
  // (AppKit would raise, or loop).
  NSView* adoptable(const std::shared_ptr<View>& view) const;

 protected:
  NSView* view_;
  std::vector<std::shared_ptr<View>> kept_;
};

MacViewCore* core(const std::shared_ptr<View>& view) { return dynamic_cast<MacViewCore*>(view.get()); }

NSView* MacViewCore::adoptable(const std::shared_ptr<View>& view) const {
  MacViewCore* other = core(view);
  if (!other) return nil;
  NSView* ns = other->nsView();
  if (ns == view_ || [view_ isDescendantOf:ns]) return nil;
  return ns;
}

// In these templates a message is sent to a variable of AppKit's own type,
// never to view_ or ns() directly: with a base that depends on a template
// parameter, clang resolves such a send only in each instantiation, where
// the check of what the adapter sends (sends.c) cannot see it.
template <class Interface, class NSType>
class MacViewOf : public Interface, public MacViewCore {
 public:
  explicit MacViewOf(NSType* view) : MacViewCore(view) {}

  NSType* ns() const { return (NSType*)view_; }

  void setWantsLayer(bool wants) override { view_.wantsLayer = wants ? YES : NO; }
  bool hasLayer() const override { return view_.layer != nil; }

  void setLayerBackgroundColor(const Color& color) override {
    CALayer* layer = view_.layer;
    NSColor* ns = systemColor(color);
    if (!layer || !ns) return;
    // A CGColor is fixed: resolve the dynamic system colour against this
    // view's appearance (light or dark), not whatever is current.
    NSAppearance* appearance = view_.effectiveAppearance;
    if (!appearance) {
      layer.backgroundColor = ns.CGColor;
      return;
    }
    [appearance performAsCurrentDrawingAppearance:^{
      layer.backgroundColor = ns.CGColor;
    }];
  }

  void setTranslatesAutoresizingMaskIntoConstraints(bool flag) override {
    view_.translatesAutoresizingMaskIntoConstraints = flag ? YES : NO;
  }

  void addSubview(std::shared_ptr<View> view) override {
    NSView* ns = adoptable(view);
    if (!ns) return;
    NSView* parent = view_;
    [parent addSubview:ns];
    keep(std::move(view));
  }

  std::vector<std::shared_ptr<View>> subviews() const override { return wrappersOf(view_.subviews); }

  void setContentHuggingPriority(float priority, Orientation orientation) override {
    // AppKit's priorities run from 1 to 1000.
    float p = std::isnan(priority) ? 250.0f : std::clamp(priority, 1.0f, 1000.0f);
    NSView* view = view_;
    [view setContentHuggingPriority:static_cast<NSLayoutPriority>(p)
                     forOrientation:orientation == Orientation::Vertical ? NSLayoutConstraintOrientationVertical
                                                                         : NSLayoutConstraintOrientationHorizontal];
  }

  Size fittingSize() override {
    // A view whose subviews hang from its top with their bottoms free (the
    // settings window's root) leaves its own height open; for the fitting
    // size it must at least reach down to every subview, at the width it
    // has now. Both holds are only for the measuring.
    NSMutableArray<NSLayoutConstraint*>* holds = [NSMutableArray array];
    CGFloat width = NSWidth(view_.frame);
    if (width > 0) [holds addObject:[view_.widthAnchor constraintEqualToConstant:width]];
    for (NSView* sub in view_.subviews)
      [holds addObject:[view_.bottomAnchor constraintGreaterThanOrEqualToAnchor:sub.bottomAnchor]];
    [NSLayoutConstraint activateConstraints:holds];
    // Wrapping labels know their width only after a pass.
    NSView* view = view_;
    [view layoutSubtreeIfNeeded];
    NSSize size = view.fittingSize;
    [NSLayoutConstraint deactivateConstraints:holds];
    return {size.width, size.height};
  }
};

class MacPlainView final : public MacViewOf<View, NSView> {
 public:
  using MacViewOf::MacViewOf;
};

class MacTextField final : public MacViewOf<TextField, NSTextField> {
 public:
  using MacViewOf::MacViewOf;
  std::string stringValue() const override { return fromNS(ns().stringValue); }
  void setStringValue(const std::string& text) override { ns().stringValue = toNS(text); }
  void setFont(const Font& font) override { ns().font = systemFont(font); }
  void setTextColor(const Color& color) override {
    if (NSColor* c = systemColor(color)) ns().textColor = c;
  }
  // tl numbers alignments as arm64 AppKit does; spelt out so that an x86_64
  // build, where right and centre swap numbers, still gets them right.
  void setAlignment(int alignment) override {
    NSTextAlignment a = NSTextAlignmentNatural;
    switch (alignment) {
      case 0: a = NSTextAlignmentLeft; break;
      case 1: a = NSTextAlignmentCenter; break;
      case 2: a = NSTextAlignmentRight; break;
      case 3: a = NSTextAlignmentJustified; break;
      default: break;
    }
    ns().alignment = a;
  }
  // NSLineBreakByWordWrapping (0) to NSLineBreakByTruncatingMiddle (5).
  void setLineBreakMode(int mode) override {
    if (mode >= 0 && mode <= 5) ns().lineBreakMode = static_cast<NSLineBreakMode>(mode);
  }
};

NSLayoutAttribute layoutAttribute(LayoutAttribute a) {
  switch (a) {
    case LayoutAttribute::Leading: return NSLayoutAttributeLeading;
    case LayoutAttribute::Trailing: return NSLayoutAttributeTrailing;
    case LayoutAttribute::Top: return NSLayoutAttributeTop;
    case LayoutAttribute::Bottom: return NSLayoutAttributeBottom;
    case LayoutAttribute::Width: return NSLayoutAttributeWidth;
    case LayoutAttribute::Height: return NSLayoutAttributeHeight;
    case LayoutAttribute::CenterY: return NSLayoutAttributeCenterY;
  }
  return NSLayoutAttributeNotAnAttribute;
}

class MacStackView final : public MacViewOf<StackView, NSStackView> {
 public:
  using MacViewOf::MacViewOf;
  void setOrientation(Orientation orientation) override {
    ns().orientation = orientation == Orientation::Vertical ? NSUserInterfaceLayoutOrientationVertical
                                                            : NSUserInterfaceLayoutOrientationHorizontal;
  }
  void setAlignment(LayoutAttribute alignment) override {
    NSLayoutAttribute a = layoutAttribute(alignment);
    if (a != NSLayoutAttributeNotAnAttribute) ns().alignment = a;
  }
  void setSpacing(double spacing) override {
    if (std::isfinite(spacing)) ns().spacing = static_cast<CGFloat>(spacing);
  }
  void setEdgeInsets(EdgeInsets i) override {
    if (std::isfinite(i.top) && std::isfinite(i.left) && std::isfinite(i.bottom) && std::isfinite(i.right))
      ns().edgeInsets = NSEdgeInsetsMake(i.top, i.left, i.bottom, i.right);
  }
  void addArrangedSubview(std::shared_ptr<View> view) override {
    NSView* v = adoptable(view);
    if (!v) return;
    [ns() addArrangedSubview:v];
    keep(std::move(view));
  }
  std::vector<std::shared_ptr<View>> arrangedSubviews() const override { return wrappersOf(ns().arrangedSubviews); }
};

// Target–action for controls: the control's wrapper is the sender.
template <class Interface, class NSType>
class MacControlOf : public MacViewOf<Interface, NSType> {
 public:
  using MacViewOf<Interface, NSType>::MacViewOf;
  ~MacControlOf() override {
    NSControl* control = this->ns();
    if (control.target == actions_.bridge()) control.target = nil;
  }
  void bindSender(std::weak_ptr<Object> self) override { actions_.setSender(std::move(self)); }
  void setTarget(std::weak_ptr<Responder> target) override {
    actions_.setResponder(std::move(target));
    NSControl* control = this->ns();
    control.target = actions_.bridge();
  }
  void setAction(const std::string& selector) override {
    NSControl* control = this->ns();
    control.action = ActionBinding::selectorFor(selector);
  }

 private:
  ActionBinding actions_;
};

class MacSwitch final : public MacControlOf<Switch, NSSwitch> {
 public:
  using MacControlOf::MacControlOf;
  int state() const override { return static_cast<int>(ns().state); }
  void setState(int state) override { ns().state = static_cast<NSControlStateValue>(state); }
};

class MacSlider final : public MacControlOf<Slider, NSSlider> {
 public:
  using MacControlOf::MacControlOf;
  double doubleValue() const override { return ns().doubleValue; }
  void setDoubleValue(double value) override { ns().doubleValue = std::isnan(value) ? ns().minValue : value; }
  void setContinuous(bool continuous) override { ns().continuous = continuous ? YES : NO; }
};

class MacPopUpButton final : public MacControlOf<PopUpButton, NSPopUpButton> {
 public:
  using MacControlOf::MacControlOf;
  void addItemWithTitle(const std::string& title) override { [ns() addItemWithTitle:toNS(title)]; }
  // Out of range selects nothing, where AppKit would raise.
  void selectItemAtIndex(long index) override {
    bool inRange = index >= 0 && index < static_cast<long>(ns().numberOfItems);
    [ns() selectItemAtIndex:inRange ? static_cast<NSInteger>(index) : -1];
  }
  long indexOfSelectedItem() const override { return static_cast<long>(ns().indexOfSelectedItem); }
};

class MacButton final : public MacControlOf<Button, NSButton> {
 public:
  using MacControlOf::MacControlOf;
  // tl's kBezelStylePush is AppKit's 1 (NSBezelStylePush, formerly
  // NSBezelStyleRounded); styles run from 1 to 15.
  void setBezelStyle(int style) override {
    if (style >= 1 && style <= 15) ns().bezelStyle = static_cast<NSBezelStyle>(style);
  }
};

// Made and registered in one go: the registry entry and the sender both
// need the wrapper already owned.
template <class W, class NSType>
std::shared_ptr<W> made(NSType* view) {
  if (!view) return nullptr;
  auto wrapper = std::make_shared<W>(view);
  registry()[(__bridge const void*)view] = std::weak_ptr<View>(wrapper);
  wrapper->bindSender(std::weak_ptr<Object>(wrapper));
  return wrapper;
}

class MacAppWindow final : public AppWindow {
 public:
  explicit MacAppWindow(NSWindow* window) : window_(window), state_(std::make_shared<CloseState>()) {
    // AppKit's own release on close would be one release too many for a
    // window that ARC holds here, and crash. The window is kept instead and
    // "released" means it stays closed.
    window_.releasedWhenClosed = NO;
    std::shared_ptr<CloseState> state = state_;
    observer_ = [[NSNotificationCenter defaultCenter] addObserverForName:NSWindowWillCloseNotification
                                                                  object:window_
                                                                   queue:nil
                                                              usingBlock:^(NSNotification*) {
                                                                if (state->releaseOnClose) state->released = true;
                                                              }];
  }
  ~MacAppWindow() override { [[NSNotificationCenter defaultCenter] removeObserver:observer_]; }

  Rect frame() const override { return fromNS(window_.frame); }
  std::shared_ptr<Screen> screen() const override { return wrapScreen(window_.screen); }
  bool isVisible() const override { return window_.visible; }

  void setTitle(const std::string& title) override { window_.title = toNS(title); }
  void setReleasedWhenClosed(bool released) override { state_->releaseOnClose = released; }
  void center() override { [window_ center]; }

  void setContentView(std::shared_ptr<View> view) override {
    MacViewCore* mac = core(view);
    if (!mac) return;
    window_.contentView = mac->nsView();
    content_ = std::move(view);
  }

  void setContentSize(Size size) override {
    // AppKit keeps the bottom left corner; the title bar stays put instead.
    NSRect before = window_.frame;
    [window_ setContentSize:NSMakeSize(size.width, size.height)];
    [window_ setFrameTopLeftPoint:NSMakePoint(NSMinX(before), NSMaxY(before))];
  }

  std::shared_ptr<View> contentView() const override {
    NSView* view = window_.contentView;
    if (!view) return nullptr;
    if (auto w = wrapperOf(view)) return w;
    // The content view AppKit made with the window: wrapped once, on demand.
    defaultContent_ = made<MacPlainView>(view);
    return defaultContent_;
  }

  void makeKeyAndOrderFront() override {
    if (state_->released) return;
    [window_ makeKeyAndOrderFront:nil];
  }

 private:
  struct CloseState {
    bool releaseOnClose = true;  // NSWindow's default
    bool released = false;
  };

  NSWindow* window_;
  std::shared_ptr<CloseState> state_;
  id observer_;
  std::shared_ptr<View> content_;
  mutable std::shared_ptr<View> defaultContent_;
};

enum class Axis { X, Y, Size };

NSLayoutAnchor* anchorFor(NSView* view, LayoutAttribute attribute, Axis& axis) {
  switch (attribute) {
    case LayoutAttribute::Leading: axis = Axis::X; return view.leadingAnchor;
    case LayoutAttribute::Trailing: axis = Axis::X; return view.trailingAnchor;
    case LayoutAttribute::Top: axis = Axis::Y; return view.topAnchor;
    case LayoutAttribute::Bottom: axis = Axis::Y; return view.bottomAnchor;
    case LayoutAttribute::CenterY: axis = Axis::Y; return view.centerYAnchor;
    case LayoutAttribute::Width: axis = Axis::Size; return view.widthAnchor;
    case LayoutAttribute::Height: axis = Axis::Size; return view.heightAnchor;
  }
  return nil;
}

// One constraint, or nil for one AppKit would raise on: an anchor of the
// wrong axis, views with no common ancestor, a constant that is not finite.
NSLayoutConstraint* constraintFrom(const LayoutConstraint& c) {
  MacViewCore* item = core(c.item.lock());
  if (!item || !std::isfinite(c.constant)) return nil;
  Axis axis = Axis::X;
  NSLayoutAnchor* anchor = anchorFor(item->nsView(), c.attribute, axis);
  if (!anchor) return nil;
  auto constant = static_cast<CGFloat>(c.constant);
  std::shared_ptr<View> to = c.toItem.lock();
  if (!to) {
    if (axis != Axis::Size) return nil;
    return [(NSLayoutDimension*)anchor constraintEqualToConstant:constant];
  }
  MacViewCore* other = core(to);
  if (!other || ![item->nsView() ancestorSharedWithView:other->nsView()]) return nil;
  Axis otherAxis = Axis::X;
  NSLayoutAnchor* otherAnchor = anchorFor(other->nsView(), c.toAttribute, otherAxis);
  if (!otherAnchor || otherAxis != axis) return nil;
  return [anchor constraintEqualToAnchor:otherAnchor constant:constant];
}

class MacViews final : public Views {
 public:
  std::shared_ptr<AppWindow> newWindow(Rect contentRect, unsigned styleMask, int backing, bool defer) override {
    // NSBackingStoreRetained (0), NSBackingStoreNonretained (1) and
    // NSBackingStoreBuffered (2); all windows are buffered nowadays anyway.
    NSBackingStoreType store = static_cast<NSBackingStoreType>(backing >= 0 && backing <= 2 ? backing : 2);
    NSWindow* window = [[NSWindow alloc] initWithContentRect:toNS(contentRect)
                                                   styleMask:static_cast<NSWindowStyleMask>(styleMask)
                                                     backing:store
                                                       defer:defer ? YES : NO];
    if (!window) return nullptr;
    return std::make_shared<MacAppWindow>(window);
  }

  std::shared_ptr<View> newView() override { return made<MacPlainView>([[NSView alloc] initWithFrame:NSZeroRect]); }

  std::shared_ptr<View> newCustomView(std::shared_ptr<CustomViewDrawing> drawing, Rect frame) override {
    TLCustomView* view = [[TLCustomView alloc] initWithFrame:toNS(frame)];
    view->drawing = std::move(drawing);
    auto wrapper = made<MacPlainView>(view);
    view->owner = wrapper;
    return wrapper;
  }

  std::shared_ptr<TextField> labelWithString(const std::string& text) override {
    return made<MacTextField>([NSTextField labelWithString:toNS(text)]);
  }

  std::shared_ptr<TextField> wrappingLabelWithString(const std::string& text) override {
    return made<MacTextField>([NSTextField wrappingLabelWithString:toNS(text)]);
  }

  std::shared_ptr<StackView> stackViewWithViews(const std::vector<std::shared_ptr<View>>& views) override {
    NSMutableArray<NSView*>* arranged = [NSMutableArray arrayWithCapacity:views.size()];
    std::vector<std::shared_ptr<View>> kept;
    for (const auto& v : views) {
      MacViewCore* mac = core(v);
      if (!mac || [arranged containsObject:mac->nsView()]) continue;
      [arranged addObject:mac->nsView()];
      kept.push_back(v);
    }
    auto stack = made<MacStackView>([NSStackView stackViewWithViews:arranged]);
    if (stack)
      for (auto& v : kept) stack->keep(std::move(v));
    return stack;
  }

  std::shared_ptr<Switch> newSwitch() override { return made<MacSwitch>([[NSSwitch alloc] initWithFrame:NSZeroRect]); }

  std::shared_ptr<Slider> sliderWithValue(double value, double minValue, double maxValue,
                                          std::weak_ptr<Responder> target, const std::string& action) override {
    if (std::isnan(minValue)) minValue = 0;
    if (std::isnan(maxValue) || maxValue < minValue) maxValue = minValue;
    if (std::isnan(value)) value = minValue;
    // Target and action go through the wrapper, whose bridge is the target.
    auto slider = made<MacSlider>([NSSlider sliderWithValue:value minValue:minValue maxValue:maxValue target:nil action:NULL]);
    if (!slider) return nullptr;
    slider->setTarget(std::move(target));
    slider->setAction(action);
    return slider;
  }

  std::shared_ptr<PopUpButton> newPopUpButton(Rect frame, bool pullsDown) override {
    return made<MacPopUpButton>([[NSPopUpButton alloc] initWithFrame:toNS(frame) pullsDown:pullsDown ? YES : NO]);
  }

  std::shared_ptr<Button> buttonWithTitle(const std::string& title, std::weak_ptr<Responder> target,
                                          const std::string& action) override {
    auto button = made<MacButton>([NSButton buttonWithTitle:toNS(title) target:nil action:NULL]);
    if (!button) return nullptr;
    button->setTarget(std::move(target));
    button->setAction(action);
    return button;
  }

  void activateConstraints(const std::vector<LayoutConstraint>& constraints) override {
    NSMutableArray<NSLayoutConstraint*>* active = [NSMutableArray arrayWithCapacity:constraints.size()];
    for (const LayoutConstraint& c : constraints)
      if (NSLayoutConstraint* ns = constraintFrom(c)) [active addObject:ns];
    if (active.count) [NSLayoutConstraint activateConstraints:active];
  }
};

}  // namespace

std::unique_ptr<Views> makeViews() { return std::make_unique<MacViews>(); }

}  // namespace tl::mac
