#include "platform/macos/MacBridge.h"

#include <cmath>
#include <vector>

// The owner AppKit sees for a tracking area. NSTrackingArea does not retain
// its owner, so the button's wrapper keeps these and takes their areas off
// the button before letting them go.
@interface TLTrackingBridge : NSObject {
 @public
  std::weak_ptr<tl::TrackingOwner> owner;
}
@end

@implementation TLTrackingBridge
- (void)mouseEntered:(NSEvent*)event {
  if (auto o = owner.lock()) o->mouseEntered(tl::mac::fromNS(event));
}
- (void)mouseExited:(NSEvent*)event {
  if (auto o = owner.lock()) o->mouseExited(tl::mac::fromNS(event));
}
@end

namespace tl::mac {

namespace {

class MacScreen final : public Screen {
 public:
  explicit MacScreen(NSScreen* screen) : screen_(screen) {}
  Rect frame() const override { return fromNS(screen_.frame); }

 private:
  NSScreen* screen_;
};

// The window AppKit puts a status item's button in.
class MacStatusWindow final : public Window {
 public:
  explicit MacStatusWindow(NSWindow* window) : window_(window) {}
  Rect frame() const override { return fromNS(window_.frame); }
  std::shared_ptr<Screen> screen() const override { return wrapScreen(window_.screen); }
  bool isVisible() const override { return window_.visible; }
  NSWindow* ns() const { return window_; }

 private:
  NSWindow* window_;
};

class MacStatusBarButton final : public StatusBarButton {
 public:
  explicit MacStatusBarButton(NSStatusBarButton* button) : button_(button) {}

  ~MacStatusBarButton() override {
    for (const Tracking& t : tracking_) [button_ removeTrackingArea:t.ns];
    if (button_.target == actions_.bridge()) button_.target = nil;
  }

  void bindSender(std::weak_ptr<Object> self) { actions_.setSender(std::move(self)); }

  void setImage(std::shared_ptr<Image> image) override {
    button_.image = nsImage(image);
    image_ = std::move(image);
  }
  std::shared_ptr<Image> image() const override { return image_; }

  // tl's values are NSImageOnly and NSImageScaleProportionallyDown.
  void setImagePosition(int position) override {
    if (position >= 0 && position <= 8) button_.imagePosition = static_cast<NSCellImagePosition>(position);
  }
  void setImageScaling(int scaling) override {
    if (scaling >= 0 && scaling <= 3) button_.imageScaling = static_cast<NSImageScaling>(scaling);
  }

  void setTarget(std::weak_ptr<Responder> target) override {
    actions_.setResponder(std::move(target));
    button_.target = actions_.bridge();
  }
  void setAction(const std::string& selector) override { button_.action = ActionBinding::selectorFor(selector); }
  void sendActionOn(uint64_t mask) override { [button_ sendActionOn:static_cast<NSEventMask>(mask)]; }
  void setToolTip(const std::string& toolTip) override { button_.toolTip = toNS(toolTip); }
  Rect bounds() const override { return fromNS(button_.bounds); }

  void addTrackingArea(std::shared_ptr<TrackingArea> area) override {
    if (!area) return;
    TLTrackingBridge* owner = [[TLTrackingBridge alloc] init];
    owner->owner = area->owner;
    NSTrackingArea* ns = [[NSTrackingArea alloc] initWithRect:toNS(area->rect)
                                                      options:static_cast<NSTrackingAreaOptions>(area->options)
                                                        owner:owner
                                                     userInfo:nil];
    [button_ addTrackingArea:ns];
    tracking_.push_back({std::move(area), ns, owner});
  }

  // With a menu on the item, AppKit tracks it right here, modally, and
  // returns when it has closed.
  void performClick() override { [button_ performClick:nil]; }

  std::shared_ptr<Window> window() const override {
    NSWindow* w = button_.window;
    if (!w) return nullptr;
    if (!window_ || window_->ns() != w) window_ = std::make_shared<MacStatusWindow>(w);
    return window_;
  }

 private:
  struct Tracking {
    std::shared_ptr<TrackingArea> area;  // kept as the button keeps its NSTrackingArea
    NSTrackingArea* ns;
    TLTrackingBridge* owner;
  };

  NSStatusBarButton* button_;
  ActionBinding actions_;
  std::shared_ptr<Image> image_;
  std::vector<Tracking> tracking_;
  mutable std::shared_ptr<MacStatusWindow> window_;
};

class MacStatusItem final : public StatusItem {
 public:
  explicit MacStatusItem(NSStatusItem* item) : item_(item) {}

  std::shared_ptr<StatusBarButton> button() const override {
    // One wrapper per button, so that what the core compares and what
    // arrives as an action's sender are the same object.
    if (!button_) {
      NSStatusBarButton* b = item_.button;
      if (!b) return nullptr;
      button_ = std::make_shared<MacStatusBarButton>(b);
      button_->bindSender(std::weak_ptr<Object>(button_));
    }
    return button_;
  }

  double length() const override { return item_.length; }
  void setLength(double length) override {
    // NSVariableStatusItemLength is -1, as tl's is; anything else not
    // usable as a width is left alone.
    if (length == kVariableStatusItemLength || (std::isfinite(length) && length >= 0))
      item_.length = static_cast<CGFloat>(length);
  }

  void setMenu(std::shared_ptr<Menu> menu) override {
    item_.menu = nsMenu(menu);
    menu_ = std::move(menu);
  }

  NSStatusItem* ns() const { return item_; }

 private:
  NSStatusItem* item_;
  mutable std::shared_ptr<MacStatusBarButton> button_;
  std::shared_ptr<Menu> menu_;
};

class MacStatusBar final : public StatusBar {
 public:
  std::shared_ptr<StatusItem> statusItemWithLength(double length) override {
    if (!(length == kVariableStatusItemLength || (std::isfinite(length) && length >= 0)))
      length = kVariableStatusItemLength;
    NSStatusItem* item = [[NSStatusBar systemStatusBar] statusItemWithLength:static_cast<CGFloat>(length)];
    if (!item) return nullptr;
    return std::make_shared<MacStatusItem>(item);
  }

  void removeStatusItem(const std::shared_ptr<StatusItem>& item) override {
    if (auto* mac = dynamic_cast<MacStatusItem*>(item.get())) [[NSStatusBar systemStatusBar] removeStatusItem:mac->ns()];
  }

  double thickness() const override { return [NSStatusBar systemStatusBar].thickness; }
};

}  // namespace

std::shared_ptr<Screen> wrapScreen(NSScreen* screen) {
  if (!screen) return nullptr;
  return std::make_shared<MacScreen>(screen);
}

std::unique_ptr<StatusBar> makeStatusBar() { return std::make_unique<MacStatusBar>(); }

}  // namespace tl::mac
