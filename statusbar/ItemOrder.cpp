#include "app/AppDelegate.h"

namespace tl {

namespace {
std::shared_ptr<Window> windowOf(const std::shared_ptr<StatusItem>& item) {
  if (!item) return nullptr;
  auto button = item->button();
  return button ? button->window() : nullptr;
}
}  // namespace

void AppDelegate::verifyItemOrder() {
  auto arrowWindow = windowOf(toggleItem_);
  if (!arrowWindow) return;
  auto separatorWindow = windowOf(separatorItem_);
  if (!separatorWindow) return;
  // Equal left edges count as correct; there is no tolerance.
  if (CGRectGetMinX(separatorWindow->frame()) <= CGRectGetMinX(arrowWindow->frame())) return;

  logItems("⚠️ 检测到顺序颠倒，正在自动纠正");
  if (didAutoReorder_) return;
  didAutoReorder_ = true;
  rebuildStatusItems();
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  platform().mainQueue().asyncAfter(2.0, [weak] {
    if (auto self = weak.lock()) self->logItems("自动纠正后");
  });
}

void AppDelegate::rebuildStatusItems() {
  StatusBar& bar = platform().systemStatusBar();
  if (toggleItem_) bar.removeStatusItem(toggleItem_);
  if (separatorItem_) bar.removeStatusItem(separatorItem_);
  toggleItem_ = nullptr;
  separatorItem_ = nullptr;
  createStatusItems();
  // Same state, so nothing is logged; a pending timed collapse is dropped.
  setCollapsed(isCollapsed_);
}

}  // namespace tl
