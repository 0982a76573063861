#include "app/AppDelegate.h"
#include "app/Constants.h"
#include "settings/SettingsWindowController.h"

namespace tl {

void AppDelegate::buildContextMenu() {
  Menus& menus = platform().menus();
  contextMenu_->removeAllItems();
  contextMenu_->addItemWithTitle("切换显示 / 隐藏", "menuToggle", "");
  contextMenu_->addItem(menus.separatorItem());
  contextMenu_->addItemWithTitle("隐藏图标", "menuHide", "");
  contextMenu_->addItemWithTitle("显示图标", "menuShow", "");
  contextMenu_->addItem(menus.separatorItem());
  contextMenu_->addItemWithTitle("重新放置到最右侧", "menuResetPosition", "");
  contextMenu_->addItemWithTitle("设置…", "menuSettings", ",");
  contextMenu_->addItemWithTitle("使用说明…", "menuHelp", "");
  contextMenu_->addItem(menus.separatorItem());
  contextMenu_->addItemWithTitle("退出 " + kAppDisplayName, "menuQuit", "q");
  for (auto& item : contextMenu_->itemArray())
    if (!item->action().empty()) item->setTarget(weak_from_this());
}

void AppDelegate::updateMenuTitles() {
  auto items = contextMenu_->itemArray();
  // The first item names what choosing it will do.
  if (!items.empty()) items.front()->setTitle(isCollapsed_ ? "显示图标" : "隐藏图标");
}

void AppDelegate::menuToggle() {
  expandedByHover_ = false;
  setCollapsed(!isCollapsed_);
}

void AppDelegate::menuHide() {
  expandedByHover_ = false;
  setCollapsed(true);
}

void AppDelegate::menuShow() {
  expandedByHover_ = false;
  setCollapsed(false);
}

void AppDelegate::menuResetPosition() {
  didAutoReorder_ = false;
  rebuildStatusItems();
}

void AppDelegate::menuSettings() {
  if (!settingsController_) settingsController_ = SettingsWindowController::create();
  settingsController_->present();
}

void AppDelegate::menuHelp() { showHelp(); }

void AppDelegate::menuQuit() { platform().application().terminate(); }

}  // namespace tl
