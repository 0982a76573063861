// Every text a person reads, taken from the running system and compared
// byte for byte with the product's wording. The table is written out here
// on purpose, apart from the code that shows the texts, so a changed
// character anywhere fails.
#include <cmath>

#include "Fixture.h"
#include "platform/sim/SimViews.h"

namespace tl::test {
namespace {

const std::vector<std::string> kMenuTitles = {
    "显示图标", "", "隐藏图标", "显示图标", "", "重新放置到最右侧", "设置…", "使用说明…", "", "退出 Tuckline"};
const std::vector<std::string> kMenuKeys = {"", "", "", "", "", "", ",", "", "", "q"};

const std::vector<std::string> kWindowTexts = {
    "通用",
    "鼠标悬停时自动展开", "光标移到箭头上自动展开被隐藏的图标",
    "延时自动收起", "鼠标移开后过一段时间自动收起",
    "收起延时", "鼠标离开后多久自动收起", "5 秒",
    "启动时自动收起", "程序启动后立刻进入收起状态",
    "外观",
    "显示分隔线", "在菜单栏显示一条细竖线，作为隐藏区与显示区的分界（关闭后不易找到拖放位置）",
    "快捷键",
    "全局快捷键", "任意界面下都能切换显示/隐藏", "⌃⌥⌘ B", "⌃⌥ B", "⌥⌘ H", "不使用",
    "重新放置到菜单栏最右侧", "箭头被拖走后可用它复位", "复位",
    "启动",
    "开机自动启动", "通过登录项在下次登录时自动运行",
    "使用方法\n1. 按住 ⌘ 键，用鼠标拖动菜单栏图标，把想隐藏的图标都拖到「细竖线」的左边。\n"
    "2. 点一下最右边的箭头（或按全局快捷键），左侧图标会被推出屏幕 → 隐藏。\n3. 再点一次即可全部还原。\n\n"
    "注意：系统自带的 Wi‑Fi、电池、时钟、控制中心无法被隐藏，这是 macOS 的限制。"};

const std::string kHelpText =
    "【入口在哪里】菜单栏右侧、系统时钟的左边，会多出一条「细竖线 + 箭头」。\n"
    "本程序没有窗口、Dock 里也没有图标，所以双击 App 图标是不会有任何反应的。\n\n"
    "① 按住 ⌘ 键拖动菜单栏图标，把想隐藏的图标都拖到「细竖线」左边。\n"
    "② 点击那个箭头（或按 ⌃⌥⌘ B），左侧图标立即被隐藏。\n"
    "③ 再点一次即可还原。右键箭头可打开菜单与设置。\n\n"
    "macOS 未开放隐藏他人图标的接口，所以只能通过「把图标挤出屏幕」实现。\n"
    "系统自带的 Wi‑Fi、电池、时钟、控制中心位于最右侧的系统区，无法隐藏。";

void collectTexts(const sim::SimNode& node, std::vector<std::string>& out) {
  if (auto* popUp = dynamic_cast<const sim::SimPopUpButton*>(&node)) {
    out.insert(out.end(), popUp->itemTitles().begin(), popUp->itemTitles().end());
  } else if (node.kind() == sim::ViewKind::TextField || node.kind() == sim::ViewKind::Button) {
    out.push_back(node.text());
  }
  for (const auto& child : node.children()) collectTexts(*child, out);
}

TEST_F(Desktop, EveryTextAsWorded) {
  auto& d = launch();
  d.advance(0.6);
  d.onMain([&] {
    auto* alert = d.simAlerts().openAlert();
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->message, "Tuckline 使用说明");
    EXPECT_EQ(alert->informative, kHelpText);
    EXPECT_EQ(alert->buttons, (std::vector<std::string>{"知道了", "打开设置"}));
  });
  d.pressAlertButton("打开设置");
  d.onMain([&] {
    EXPECT_EQ(d.menuBar().find("arrow")->simButton()->toolTip(), "点按：显示/隐藏左侧图标 · 右键：菜单");
    EXPECT_EQ(d.menuBar().find("separator")->simButton()->toolTip(),
              "隐藏区分界线：请把要隐藏的图标拖到这条线左边（⌘ + 拖动）");
    auto window = d.simViews().keyWindow();
    ASSERT_TRUE(window);
    EXPECT_EQ(window->title(), "Tuckline 设置");
    std::vector<std::string> texts;
    collectTexts(*window->contentNode(), texts);
    EXPECT_EQ(texts, kWindowTexts);
  });
  d.click("arrow");
  d.rightClick("arrow");
  d.onMain([&] {
    auto menu = d.menuBar().openMenu();
    ASSERT_TRUE(menu);
    std::vector<std::string> titles, keys;
    for (const auto& item : menu->itemArray()) {
      titles.push_back(item->title());
      keys.push_back(item->keyEquivalent());
    }
    EXPECT_EQ(titles, kMenuTitles);
    EXPECT_EQ(keys, kMenuKeys);
  });
  d.closeMenu();
}

}  // namespace
}  // namespace tl::test
