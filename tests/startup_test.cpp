// Start-up, the single-instance rule, collapsing and termination, end to end
// on the simulated desktop.
#include <unistd.h>

#include <cmath>

#include "Fixture.h"
#include "hotkey/HotKeyCenter.h"
#include "platform/sim/SimFiles.h"
#include "platform/sim/SimSystem.h"

namespace tl::test {
namespace {

using sim::SimStatusItem;

TEST_F(Desktop, FreshUserGetsItemsIntroductionAndCreationRecord) {
  auto& d = launch();
  EXPECT_EQ(d.renderBar(),
            "< Finder 文件 编辑 显示 前往 窗口 帮助 > [│] [›] [Dropbox] [Slack] [1Password] [Docker] [Zoom] [Wi-Fi] "
            "[Battery] [Control Centre] [Clock]");
  d.onMain([&] {
    EXPECT_EQ(d.app().activationPolicy(), kActivationPolicyAccessory);
    auto arrow = d.menuBar().find("arrow")->simButton();
    EXPECT_EQ(arrow->toolTip(), "点按：显示/隐藏左侧图标 · 右键：菜单");
    EXPECT_EQ(arrow->sendActionMask(), 0x14u);
    ASSERT_EQ(arrow->trackingAreas().size(), 1u);
    EXPECT_EQ(arrow->trackingAreas()[0]->options, 0x281u);
    auto sep = d.menuBar().find("separator");
    EXPECT_EQ(sep->simButton()->toolTip(), "隐藏区分界线：请把要隐藏的图标拖到这条线左边（⌘ + 拖动）");
    auto line = std::dynamic_pointer_cast<sim::SimImage>(sep->simButton()->image());
    ASSERT_TRUE(line);
    EXPECT_TRUE(line->isTemplate());
    ASSERT_EQ(line->fills().size(), 1u);
    EXPECT_EQ(line->fills()[0].rect, (Rect{0, 0, 1, 14}));
    EXPECT_TRUE(d.defaults().boolForKey("didShowIntro"));
  });
  // The introduction is the help alert, 0.6 s after launch.
  d.advance(0.59);
  EXPECT_EQ(d.renderAlert(), "");
  d.advance(0.02);
  EXPECT_NE(d.renderAlert().find("alert: Tuckline 使用说明"), std::string::npos);
  // The alert runs inside a main-queue block, which holds the queue as on a
  // Mac: the 1.5 s record and order check, and the hot key's toggle, wait.
  d.advance(0.9);
  uint32_t key = 0, modifiers = 0;
  ASSERT_TRUE(sim::parseKeyCombination("ctrl+opt+cmd+b", key, modifiers));
  EXPECT_TRUE(d.pressKey(key, modifiers));
  d.advance(1.5);
  EXPECT_EQ(log(), "");
  EXPECT_FALSE(app([](AppDelegate& a) { return a.isCollapsed(); }));
  // Pressing 知道了 at 3.0 s lets them run at that moment, in order: the
  // record of the items as they still are, then the hot key's collapse,
  // whose own record follows 0.3 s later.
  EXPECT_TRUE(d.pressAlertButton("知道了"));
  EXPECT_EQ(d.renderAlert(), "");
  EXPECT_TRUE(app([](AppDelegate& a) { return a.isCollapsed(); }));
  d.advance(0.3);
  std::string pid = std::to_string(getpid());
  EXPECT_EQ(log(),
            "[2026-12-06 12:00:03] 创建状态栏项目\n"
            "  菜单栏高度=24.0\n"
            "  分隔符: 有图标 length=16.0 x=1107 y=958 w=16 h=24 可见=true 在屏内=true 屏幕宽=1512\n"
            "  箭头: 有图标 length=-1.0 x=1123 y=958 w=23 h=24 可见=true 在屏内=true 屏幕宽=1512\n"
            "  进程 PID=" + pid + "\n"
            "[2026-12-06 12:00:03] 切换为收起\n"
            "  菜单栏高度=24.0\n"
            "  分隔符: 【无图标→看不见】 length=10000.0 x=-8877 y=958 w=10000 h=24 可见=false 在屏内=false 屏幕宽=1512\n"
            "  箭头: 有图标 length=-1.0 x=1123 y=958 w=23 h=24 可见=true 在屏内=true 屏幕宽=1512\n"
            "  进程 PID=" + pid + "\n");
}

TEST_F(Desktop, CollapseHidesExactlyTheIconsLeftOfTheSeparatorAndExpandRestoresThem) {
  auto& d = launch();
  d.advance(0.7);
  d.pressAlertButton("知道了");
  ASSERT_TRUE(d.drag("Dropbox", "separator", true));
  ASSERT_TRUE(d.drag("Slack", "separator", true));
  std::map<std::string, double> before;
  d.onMain([&] {
    for (auto* i : d.menuBar().items()) before[i->name()] = i->frame.x;
  });

  ASSERT_TRUE(d.click("arrow"));
  EXPECT_EQ(d.renderBar(),
            "< Finder 文件 编辑 显示 前往 窗口 帮助 > [‹] [1Password] [Docker] [Zoom] [Wi-Fi] [Battery] "
            "[Control Centre] [Clock]   hidden: Dropbox Slack");
  d.onMain([&] {
    auto* sep = d.menuBar().find("separator");
    EXPECT_EQ(sep->length(), 10000.0);
    EXPECT_FALSE(sep->simButton()->image());
    EXPECT_EQ(d.menuBar().find("Dropbox")->simButton(), nullptr);
    EXPECT_FALSE(d.menuBar().find("Dropbox")->onScreen);
    EXPECT_EQ(d.menuBar().find("arrow")->frame.x, before["arrow"]);  // the arrow stays put
    EXPECT_EQ(AppDelegate::shared->contextMenu()->itemArray()[0]->title(), "显示图标");
  });
  d.advance(0.3);
  EXPECT_EQ(count(log(), "] 切换为收起\n"), 1);
  EXPECT_NE(log().find("分隔符: 【无图标→看不见】 length=10000.0 x=-8827 "), std::string::npos);  // the arrow moved right by the two icons

  ASSERT_TRUE(d.click("arrow", kEventModifierFlagOption));  // Option or Shift still toggles
  d.onMain([&] {
    for (auto* i : d.menuBar().items()) EXPECT_EQ(i->frame.x, before[i->name()]) << i->name();
    EXPECT_EQ(d.menuBar().find("separator")->length(), 16.0);
  });
  d.advance(0.3);
  EXPECT_EQ(count(log(), "] 切换为展开\n"), 1);
}

TEST_F(Desktop, StartCollapsedAndWrongTypedDefaults) {
  // Stored by hand with the wrong types, as `defaults write` allows.
  store("startCollapsed", Value("YES"));
  store("showSeparator", Value("abc"));
  store("hotKeyPreset", Value(-1));
  store("didShowIntro", Value(int64_t{7}));
  auto& d = launch();
  d.onMain([&] {
    EXPECT_TRUE(AppDelegate::shared->isCollapsed());
    EXPECT_EQ(d.menuBar().find("separator")->length(), 10000.0);
    auto arrow = std::dynamic_pointer_cast<sim::SimImage>(d.menuBar().find("arrow")->simButton()->image());
    EXPECT_EQ(arrow->symbolName(), "chevron.left");
    ASSERT_EQ(d.hotKeyRegistry().registrations().size(), 1u);  // -1 falls back to ⌃⌥⌘B
    EXPECT_EQ(d.hotKeyRegistry().registrations()[0].modifiers, 0x1900u);
  });
  d.advance(0.3);
  EXPECT_EQ(count(log(), "切换为收起"), 1);
  d.advance(1.2);
  EXPECT_EQ(count(log(), "创建状态栏项目"), 1);
  EXPECT_EQ(d.renderAlert(), "");  // 7 reads as true: no introduction
  // Expanding with the line switched off (the pointer reaching the arrow
  // opens it): a 16-point gap without image.
  d.hover("arrow");
  d.onMain([&] {
    EXPECT_EQ(d.menuBar().find("separator")->length(), 16.0);
    EXPECT_FALSE(d.menuBar().find("separator")->simButton()->image());
  });
}

TEST_F(Desktop, ItemWithoutButtonAndSymbolMissing) {
  beforeLaunch = [](sim::SimDesktop& d) {
    d.menuBar().faultNextItem({true, false, false});  // the arrow comes without a button
    d.simGraphics().setSymbolMissing("chevron.left", true);
  };
  store("didShowIntro", Value(true));
  auto& d = launch();
  d.advance(1.5);
  EXPECT_NE(log().find("  箭头: button.window 为空（未挂载到菜单栏）\n"), std::string::npos);
  EXPECT_FALSE(d.click("arrow"));  // nothing to click
  d.pressKey(kVK_ANSI_B, controlKey | optionKey | cmdKey);
  d.onMain([&] {
    EXPECT_TRUE(AppDelegate::shared->isCollapsed());
    EXPECT_EQ(d.menuBar().find("separator")->length(), 10000.0);
  });
  d.advance(0.3);
  EXPECT_NE(log().find("  箭头: button.window 为空（未挂载到菜单栏）\n  进程"), std::string::npos);
}

TEST_F(Desktop, AHomeMadeBeforehandAndFaultsSetBeforeTheLaunch) {
  // A person's own empty folder, with nothing of a Mac account in it yet.
  std::filesystem::remove_all(home);
  std::filesystem::create_directory(home);
  sim::SimDesktop::Config c;
  c.home = home;
  c.hotKeysTaken = {{kVK_ANSI_B, controlKey | optionKey | cmdKey}};
  c.menuBar.faults.separator.noWindow = true;
  desktop = std::make_unique<sim::SimDesktop>(c);
  auto& d = *desktop;
  d.launch([] { return tucklineMain(); });
  EXPECT_TRUE(std::filesystem::is_directory(home + "/Library/Preferences"));
  EXPECT_FALSE(std::filesystem::exists(home + "/Library/LaunchAgents"));
  d.advance(0.6);  // the first-run alert holds the main queue until dismissed
  d.pressAlertButton("知道了");
  d.advance(0.9);
  EXPECT_NE(log().find("] 创建状态栏项目\n  菜单栏高度=24.0\n  分隔符: button.window 为空（未挂载到菜单栏）\n  箭头: 有图标"),
            std::string::npos)
      << log();
  EXPECT_NE(syslog().find("[Tuckline] 快捷键注册失败: -9878\n"), std::string::npos);
  // With ~/Library/Logs missing records are lost and the file stays as it was.
  std::string before = log();
  d.onMain([&] { d.simFiles().setFolderMissing(d.logsFolder(), true); });
  d.click("arrow");
  d.advance(0.3);
  EXPECT_EQ(log(), before);
  d.onMain([&] { d.simFiles().setFolderMissing(d.logsFolder(), false); });
  d.click("arrow");
  d.advance(0.3);
  EXPECT_EQ(count(log(), "] 切换为"), 1);
}

TEST_F(Desktop, GivesWayToTwoRunningInstancesAndCreatesNothing) {
  beforeLaunch = [](sim::SimDesktop& d) {
    d.simWorkspace().addFakeInstance("com.ferrowick.tuckline", 4242);
    d.simWorkspace().addFakeInstance("com.ferrowick.tuckline", 77);
  };
  auto& d = launch();
  d.join();
  EXPECT_TRUE(d.terminated());
  std::string text = log();
  EXPECT_EQ(text.substr(22), "检测到已有实例 PID=4242,77，本实例退出\n  菜单栏高度=24.0\n  进程 PID=" +
                                 std::to_string(getpid()) + "\n");
  EXPECT_EQ(d.menuBar().find("arrow"), nullptr);
  EXPECT_TRUE(d.hotKeyRegistry().registrations().empty());
  EXPECT_FALSE(d.defaults().objectForKey("didShowIntro"));
}

TEST_F(Desktop, TerminationReleasesTimerAndHotKeyOnly) {
  store("didShowIntro", Value(true));
  auto& d = launch();
  d.onMain([&] { EXPECT_EQ(d.hotKeyRegistry().handlerCount(), 1u); });
  d.rightClick("arrow");
  EXPECT_TRUE(d.chooseMenuItem("cmd+q"));
  d.join();
  EXPECT_TRUE(d.terminated());
  EXPECT_TRUE(d.hotKeyRegistry().registrations().empty());
  EXPECT_EQ(d.hotKeyRegistry().handlerCount(), 0u);
  EXPECT_EQ(HotKeyCenter::shared()->hotKeyRef(), nullptr);
  // The application removes nothing; the items leave the bar with its
  // process, and the bar shows the other applications' icons alone.
  EXPECT_EQ(d.menuBar().find("arrow"), nullptr);
  EXPECT_EQ(d.menuBar().find("separator"), nullptr);
  EXPECT_EQ(d.renderBar(), "< Finder 文件 编辑 显示 前往 窗口 帮助 > [Dropbox] [Slack] [1Password] [Docker] [Zoom] "
                           "[Wi-Fi] [Battery] [Control Centre] [Clock]");
}

}  // namespace
}  // namespace tl::test
