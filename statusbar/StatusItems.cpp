#include "app/AppDelegate.h"
#include "app/Constants.h"
#include "app/Prefs.h"

namespace tl {

std::shared_ptr<Image> AppDelegate::separatorLineImage() {
  Graphics& g = platform().graphics();
  auto image = g.newImage({1, 14});
  image->lockFocus();
  int op = g.currentCompositingOperation();
  g.fillRect({0, 0, 1, 14}, "blackColor", op >= 0 ? op : kCompositingOperationSourceOver);
  image->unlockFocus();
  // The menu bar tints a template image to match its appearance.
  image->setTemplate(true);
  return image;
}

std::shared_ptr<Image> AppDelegate::arrowImage(bool collapsed) {
  auto symbol = platform().graphics().imageWithSystemSymbolName(collapsed ? "chevron.left" : "chevron.right", nullptr);
  if (!symbol) return nullptr;
  auto configured = symbol->withSymbolConfiguration(13.0, FontWeight::Medium);
  if (!configured) return nullptr;
  configured->setTemplate(true);
  return configured;
}

void AppDelegate::createStatusItems() {
  StatusBar& bar = platform().systemStatusBar();

  // The arrow first: the bar puts each new item left of the existing ones,
  // so the separator created next lands immediately left of the arrow.
  auto arrow = bar.statusItemWithLength(kVariableStatusItemLength);
  if (auto button = arrow->button()) {
    button->setImage(arrowImage(isCollapsed_));
    button->setImagePosition(kImageOnly);
    button->setImageScaling(kImageScaleProportionallyDown);
    button->setTarget(weak_from_this());
    button->setAction("toggleButtonClicked");
    button->sendActionOn(kEventMaskLeftMouseUp | kEventMaskRightMouseUp);
    button->setToolTip("点按：显示/隐藏左侧图标 · 右键：菜单");
    auto area = std::make_shared<TrackingArea>();
    area->rect = button->bounds();
    area->options = kTrackingMouseEnteredAndExited | kTrackingActiveAlways | kTrackingInVisibleRect;
    area->owner = weak_from_this();
    button->addTrackingArea(area);
    trackingArea_ = area;
  }
  toggleItem_ = arrow;

  auto separator = bar.statusItemWithLength(kSeparatorExpandedWidth);
  if (auto button = separator->button()) {
    button->setImage(separatorLineImage());
    button->setImagePosition(kImageOnly);
    button->setToolTip("隐藏区分界线：请把要隐藏的图标拖到这条线左边（⌘ + 拖动）");
  }
  separatorItem_ = separator;

  std::weak_ptr<AppDelegate> weak = weak_from_this();
  platform().mainQueue().asyncAfter(1.5, [weak] {
    if (auto self = weak.lock()) {
      self->logItems("创建状态栏项目");
      self->verifyItemOrder();
    }
  });
}

void AppDelegate::setCollapsed(bool collapsed, bool) {
  if (collapseTimer_) collapseTimer_->invalidate();
  collapseTimer_ = nullptr;

  bool previous = isCollapsed_;
  isCollapsed_ = collapsed;
  if (!separatorItem_) return;

  separatorItem_->setLength(collapsed ? kSeparatorCollapsedWidth : kSeparatorExpandedWidth);
  bool show = platform().standardUserDefaults().boolForKey(rawValue(PrefKey::showSeparator));
  if (auto button = separatorItem_->button()) button->setImage(!collapsed && show ? separatorLineImage() : nullptr);
  if (toggleItem_) {
    if (auto button = toggleItem_->button()) button->setImage(arrowImage(collapsed));
  }
  updateMenuTitles();

  if (collapsed != previous) {
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    platform().mainQueue().asyncAfter(0.3, [weak, collapsed] {
      if (auto self = weak.lock()) self->logItems(collapsed ? "切换为收起" : "切换为展开");
    });
  }
}

void AppDelegate::toggleCollapsed() {
  expandedByHover_ = false;
  setCollapsed(!isCollapsed_);
}

void AppDelegate::toggleButtonClicked() {
  auto event = platform().application().currentEvent();
  bool wantsMenu = event && (event->type == EventType::RightMouseUp ||
                             (event->modifierFlags & kEventModifierFlagControl) != 0);
  if (!wantsMenu) {
    toggleCollapsed();
    return;
  }
  // Held until the click returns: choosing 重新放置到最右侧 rebuilds the items
  // while this one's button is still inside performClick.
  std::shared_ptr<StatusItem> item = toggleItem_;
  if (!item) return;
  auto button = item->button();
  if (!button) return;
  updateMenuTitles();
  item->setMenu(contextMenu_);
  button->performClick();  // returns once the menu has closed
  // Detached from the item it was attached to, which may no longer be the
  // arrow, so the next left click reaches the action.
  item->setMenu(nullptr);
}

}  // namespace tl
