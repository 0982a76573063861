#include "app/AppDelegate.h"
#include "app/Constants.h"
#include "hotkey/HotKeyPreset.h"

namespace tl {

void AppDelegate::showHelp() {
  Platform& p = platform();
  // An accessory application is never active on its own: bring the alert forward.
  p.application().activateIgnoringOtherApps(true);
  auto alert = p.alerts().newAlert();
  alert->setMessageText(kAppDisplayName + " 使用说明");
  alert->setInformativeText(
      "【入口在哪里】菜单栏右侧、系统时钟的左边，会多出一条「细竖线 + 箭头」。\n"
      "本程序没有窗口、Dock 里也没有图标，所以双击 App 图标是不会有任何反应的。\n\n"
      "① 按住 ⌘ 键拖动菜单栏图标，把想隐藏的图标都拖到「细竖线」左边。\n"
      "② 点击那个箭头（或按 " +
      display(HotKeyPresets::current()) +
      "），左侧图标立即被隐藏。\n"
      "③ 再点一次即可还原。右键箭头可打开菜单与设置。\n\n"
      "macOS 未开放隐藏他人图标的接口，所以只能通过「把图标挤出屏幕」实现。\n"
      "系统自带的 Wi‑Fi、电池、时钟、控制中心位于最右侧的系统区，无法隐藏。");
  alert->addButtonWithTitle("知道了");
  alert->addButtonWithTitle("打开设置");
  if (alert->runModal() == kAlertSecondButtonReturn) menuSettings();
}

}  // namespace tl
