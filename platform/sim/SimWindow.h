#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "platform/Views.h"
#include "platform/sim/SimViewTree.h"

namespace tl::sim {

// Shared by the factory and every window it made, so that a window can
// outlive the factory and still answer.
struct WindowServer {
  std::shared_ptr<Screen> screen;
  uint64_t nextOrder = 1;
  std::weak_ptr<class SimWindow> key;
};

class SimWindow : public AppWindow, public std::enable_shared_from_this<SimWindow> {
 public:
  static constexpr double kTitleBarHeight = 28;

  SimWindow(std::shared_ptr<WindowServer> server, Rect contentRect, unsigned styleMask, int backing, bool defer);

  // The frame includes the title bar above the content of a titled window.
  Rect frame() const override;
  // The screen the frame lies on, shown or not, as AppKit has it; absent
  // for a window placed off every screen.
  std::shared_ptr<Screen> screen() const override;
  bool isVisible() const override { return visible_; }

  void setTitle(const std::string& title) override { title_ = title; }
  void setReleasedWhenClosed(bool released) override { releasedWhenClosed_ = released; }
  // x = (W − w) / 2 and y = (H − h) · 0.75 for a frame w × h on a screen
  // W × H: a bit above the middle, as AppKit places it.
  void center() override;
  void setContentView(std::shared_ptr<View> view) override;
  std::shared_ptr<View> contentView() const override;
  void setContentSize(Size size) override;
  // Shows the window in front and makes it the key window; a released
  // window stays gone.
  void makeKeyAndOrderFront() override;

  // The close button. A window released when closed is gone for good.
  void close();
  // Where a person dragged it by its title bar; the frame's bottom left.
  void setFrameOrigin(Point origin) {
    frame_.x = origin.x;
    frame_.y = origin.y;
  }
  void layout() const;

  const std::string& title() const { return title_; }
  Rect contentRect() const;  // in screen coordinates
  unsigned styleMask() const { return styleMask_; }
  bool isResizable() const { return (styleMask_ & 8) != 0; }
  bool isMiniaturizable() const { return (styleMask_ & 4) != 0; }
  bool hasCloseButton() const { return (styleMask_ & kWindowStyleMaskClosable) != 0; }
  int backing() const { return backing_; }
  bool deferred() const { return defer_; }
  bool releasedWhenClosed() const { return releasedWhenClosed_; }
  bool isReleased() const { return released_; }
  bool isKeyWindow() const;
  uint64_t orderStamp() const { return order_; }
  std::shared_ptr<SimNode> contentNode() const { return content_; }

 private:
  std::shared_ptr<WindowServer> server_;
  Rect frame_;
  unsigned styleMask_;
  int backing_;
  bool defer_;
  std::string title_;
  bool releasedWhenClosed_ = true;  // NSWindow's default
  bool released_ = false;
  bool visible_ = false;
  uint64_t order_ = 0;
  std::shared_ptr<SimNode> content_;
};

}  // namespace tl::sim
