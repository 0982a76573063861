#include "platform/sim/SimWindow.h"

#include "platform/sim/SimLayout.h"

namespace tl::sim {

namespace {
double length(double v) { return viewLength(v); }
double coordinate(double v) { return viewCoordinate(v); }
}  // namespace

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
  Rect c = contentRect();
  layOut(*content_, {0, 0, c.width, c.height});
}

}  // namespace tl::sim
