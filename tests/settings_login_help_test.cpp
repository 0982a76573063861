// The settings window, start at login through the launch agent, and the
// help alert, end to end on the simulated desktop.
#include <plist/plist.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include <cmath>

#include "Fixture.h"
#include "login/LaunchAgent.h"
#include "platform/sim/SimSystem.h"
#include "platform/sim/SimViews.h"
#include "settings/SettingsWindowController.h"

namespace tl::test {
namespace {

class Settings : public Desktop {
 protected:
  sim::SimDesktop& start() {
    store("didShowIntro", Value(true));
    auto& d = launch();
    d.rightClick("arrow");
    EXPECT_TRUE(d.chooseMenuItem("cmd+,"));
    return d;
  }
  std::string window() { return desktop->renderWindows(); }
  bool act(const std::function<bool(sim::SimViews&, sim::SimWindow&)>& f) { return desktop->workWindow(f); }
  std::string agentPath() { return home + "/Library/LaunchAgents/com.ferrowick.tuckline.plist"; }
};

TEST_F(Settings, WindowShowsEveryRowInOrderWithTheStoredValues) {
  store("autoCollapseDelay", Value(2.7));
  store("hotKeyPreset", Value(9));
  auto& d = start();
  std::string text = window();
  const char* inOrder[] = {"Tuckline 设置", "通用", "鼠标悬停时自动展开", "光标移到箭头上自动展开被隐藏的图标", "延时自动收起",
                           "鼠标移开后过一段时间自动收起", "收起延时", "鼠标离开后多久自动收起", "2 秒", "启动时自动收起",
                           "程序启动后立刻进入收起状态", "外观", "显示分隔线", "快捷键", "全局快捷键",
                           "任意界面下都能切换显示/隐藏", "⌃⌥⌘ B", "重新放置到菜单栏最右侧", "箭头被拖走后可用它复位", "复位",
                           "启动", "开机自动启动", "通过登录项在下次登录时自动运行", "使用方法"};
  size_t at = 0;
  for (const char* s : inOrder) {
    size_t found = text.find(s, at);
    ASSERT_NE(found, std::string::npos) << s << "\n" << text;
    at = found;
  }
  d.onMain([&] {
    auto& c = *AppDelegate::shared->settingsController();
    EXPECT_EQ(c.switchRefs().size(), 5u);
    EXPECT_EQ(c.switchRefs().at(PrefKey::hoverExpand)->state(), kControlStateValueOn);
    EXPECT_EQ(c.switchRefs().at(PrefKey::launchAtLogin)->state(), kControlStateValueOff);
    auto w = c.window();
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(d.app().isActive());
  });
  // Closing hides it; the next opening reuses the same window, refreshed.
  std::shared_ptr<AppWindow> first;
  d.onMain([&] { first = AppDelegate::shared->settingsController()->window(); });
  act([](sim::SimViews&, sim::SimWindow& w) {
    w.close();
    return true;
  });
  EXPECT_EQ(window(), "");
  d.onMain([&] { d.defaults().setDouble("autoCollapseDelay", 0.0); });
  d.rightClick("arrow");
  d.chooseMenuItem("设置…");
  EXPECT_NE(window().find("0 秒"), std::string::npos);
  d.onMain([&] { EXPECT_EQ(AppDelegate::shared->settingsController()->window(), first); });
}

// Made 460 × 620, the content needs more with the system's font sizes; the
// window grows downward to the content's fitting height, so the usage note
// is there to the last line.
TEST_F(Settings, ContentIsAsTallAsItNeedsSoTheWholeNoteShows) {
  auto& d = start();
  d.onMain([&] {
    auto w = std::static_pointer_cast<sim::SimWindow>(AppDelegate::shared->settingsController()->window());
    w->layout();
    Rect c = w->contentRect();
    EXPECT_EQ(c.width, 460);
    EXPECT_GT(c.height, 620);
    EXPECT_EQ(w->frame().y + w->frame().height, (982 - 648) * 0.75 + 648);  // the title bar where centring put it
    std::function<const sim::SimTextField*(const sim::SimNode&)> note = [&](const sim::SimNode& n) {
      auto* t = dynamic_cast<const sim::SimTextField*>(&n);
      if (t && t->isWrapping()) return t;
      for (const auto& child : n.children())
        if (auto* found = note(*child)) return found;
      return static_cast<const sim::SimTextField*>(nullptr);
    };
    auto* label = note(*w->contentNode());
    ASSERT_TRUE(label);
    EXPECT_EQ(label->lines().back(), "注意：系统自带的 Wi‑Fi、电池、时钟、控制中心无法被隐藏，这是 macOS 的限制。");
    Rect f = label->frame();
    EXPECT_NEAR(f.y + f.height + 18, c.height, 1e-9);  // the note's bottom inset, then the window's edge
  });
}

TEST_F(Settings, ControlsWriteAtOnceAndTakeEffect) {
  auto& d = start();
  // The slider stores whole seconds, halves away from zero.
  ASSERT_TRUE(act([](sim::SimViews& v, sim::SimWindow& w) { return v.dragSlider(w, "收起延时", 12.4); }));
  d.onMain([&] { EXPECT_EQ(d.defaults().doubleForKey("autoCollapseDelay"), 12.0); });
  EXPECT_NE(window().find("12 秒"), std::string::npos);
  act([](sim::SimViews& v, sim::SimWindow& w) { return v.dragSlider(w, "收起延时", 12.5); });
  d.onMain([&] { EXPECT_EQ(d.defaults().doubleForKey("autoCollapseDelay"), 13.0); });

  // The separator line goes at once.
  ASSERT_TRUE(act([](sim::SimViews& v, sim::SimWindow& w) { return v.flipSwitch(w, "显示分隔线"); }));
  d.onMain([&] {
    EXPECT_FALSE(d.defaults().boolForKey("showSeparator"));
    EXPECT_FALSE(d.menuBar().find("separator")->simButton()->image());
  });

  // "不使用" releases the hot key; ⌥⌘ H takes it.
  ASSERT_TRUE(act([](sim::SimViews& v, sim::SimWindow& w) { return v.pickPopUpItem(w, "全局快捷键", "不使用"); }));
  d.onMain([&] {
    EXPECT_EQ(d.defaults().integerForKey("hotKeyPreset"), 3);
    EXPECT_TRUE(d.hotKeyRegistry().registrations().empty());
  });
  act([](sim::SimViews& v, sim::SimWindow& w) { return v.pickPopUpItem(w, "全局快捷键", "⌥⌘ H"); });
  EXPECT_TRUE(d.pressKey(kVK_ANSI_H, optionKey | cmdKey));
  d.onMain([&] { EXPECT_TRUE(AppDelegate::shared->isCollapsed()); });

  // 复位 rebuilds and keeps the collapsed area collapsed.
  std::shared_ptr<StatusItem> before;
  d.onMain([&] { before = AppDelegate::shared->toggleItem(); });
  ASSERT_TRUE(act([](sim::SimViews& v, sim::SimWindow& w) { return v.pressButton(w, "复位"); }));
  d.onMain([&] {
    EXPECT_NE(AppDelegate::shared->toggleItem(), before);
    EXPECT_EQ(d.menuBar().find("separator")->length(), 10000.0);
  });
}

TEST_F(Settings, StartAtLoginWritesLoadsAndRemovesTheAgent) {
#ifndef TUCKLINE_CONSOLE_PATH
  GTEST_SKIP() << "needs the console program";
#else
  // What launchd starts is the console program, which finds this instance
  // running and gives way with its one record.
  beforeLaunch = [](sim::SimDesktop& d) { d.simProcessInfo().setExecutablePath(std::string(TUCKLINE_CONSOLE_PATH)); };
  auto& d = start();
  ASSERT_TRUE(act([](sim::SimViews& v, sim::SimWindow& w) { return v.flipSwitch(w, "开机自动启动"); }));
  d.onMain([&] { EXPECT_TRUE(d.defaults().boolForKey("launchAtLogin")); });
  std::string agent = readFile(agentPath());
  std::string exe;
  d.onMain([&] { exe = *d.processInfo().executablePath(); });
  EXPECT_EQ(agent, launchAgentPlist("com.ferrowick.tuckline", exe));
  EXPECT_EQ(agent.substr(agent.size() - 8), "</plist>");
  EXPECT_EQ(agent.find('\t'), std::string::npos);
  std::string gaveWay = "] 检测到已有实例 PID=" + std::to_string(getpid()) + "，本实例退出\n";
  for (int i = 0; i < 500 && log().find(gaveWay) == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // a real child process
  EXPECT_EQ(count(log(), gaveWay), 1);
  // Switching off unloads and deletes it; switching off again is harmless.
  act([](sim::SimViews& v, sim::SimWindow& w) { return v.flipSwitch(w, "开机自动启动"); });
  EXPECT_FALSE(std::filesystem::exists(agentPath()));
  d.onMain([&] { AppDelegate::shared->setLaunchAtLogin(false); });
  EXPECT_EQ(syslog(), "");

  // A plain file where the agents folder should be: reported, nothing run.
  std::filesystem::remove_all(home + "/Library/LaunchAgents");
  std::ofstream(home + "/Library/LaunchAgents") << "keep me";
  act([](sim::SimViews& v, sim::SimWindow& w) { return v.flipSwitch(w, "开机自动启动"); });
  std::string sys = syslog();
  EXPECT_NE(sys.find("] [Tuckline] 写入登录项失败: "), std::string::npos) << sys;
  EXPECT_EQ(readFile(home + "/Library/LaunchAgents"), "keep me");
  d.onMain([&] { EXPECT_TRUE(d.defaults().boolForKey("launchAtLogin")); });  // the switch keeps its state
#endif
}

// NSTask's waitUntilExit turns the run loop in the default mode: while the
// switch waits for launchctl, a due collapse timer fires and its 0.3 s
// record is written, but a click waits until launchctl has ended.
TEST_F(Settings, WaitingForLaunchctlRunsTimersAndBlocksButHoldsInput) {
  std::string script = root + "/slow-launchctl", started = root + "/started", seen = root + "/seen.log";
  std::string logFile = home + "/Library/Logs/Tuckline.log";
  // Ends once the log shows the timer's collapse (at most 5 s), and keeps
  // the log as it was then.
  std::ofstream(script) << "#!/bin/sh\ntouch '" << started << "'\n"
                        << "for i in $(seq 100); do\n"
                        << "  [ \"$(grep -c 切换为收起 '" << logFile << "')\" -ge 2 ] && break; sleep 0.05\n"
                        << "done\ncp '" << logFile << "' '" << seen << "'\n";
  std::filesystem::permissions(script, std::filesystem::perms::owner_all);
  beforeLaunch = [&](sim::SimDesktop& d) { d.simTasks().setLaunchctl(script); };
  auto& d = start();
  d.click("arrow");
  d.movePointerAway();
  d.hover("arrow");     // opens by hover
  d.movePointerAway();  // the timed collapse falls due 1.5 s from now
  d.advance(1.0);

  std::thread person([&] { act([](sim::SimViews& v, sim::SimWindow& w) { return v.flipSwitch(w, "开机自动启动"); }); });
  for (int i = 0; i < 500 && !std::filesystem::exists(started); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));  // a real child process
  bool inputAfterLaunchctl = false;
  d.loop().postInput([&] { inputAfterLaunchctl = std::filesystem::exists(seen); });
  d.advance(1.0);  // returns once the switch's action, and launchctl with it, has ended
  person.join();
  EXPECT_EQ(count(readFile(seen), "切换为收起"), 2);
  EXPECT_TRUE(inputAfterLaunchctl);
}

TEST(LaunchAgentText, EscapedPathParsesBackWithLibplist) {
  std::string text = launchAgentPlist("com.ferrowick.tuckline", "/Users/a&b/<Apps>/\"T\"/Tuckline");
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 17);
  plist_t root = nullptr;
  plist_from_xml(text.data(), static_cast<uint32_t>(text.size()), &root);
  ASSERT_NE(root, nullptr);
  plist_t args = plist_dict_get_item(root, "ProgramArguments");
  ASSERT_NE(args, nullptr);
  char* path = nullptr;
  plist_get_string_val(plist_array_get_item(args, 0), &path);
  EXPECT_STREQ(path, "/Users/a&b/<Apps>/\"T\"/Tuckline");
  free(path);
  uint8_t runAtLoad = 0;
  plist_get_bool_val(plist_dict_get_item(root, "RunAtLoad"), &runAtLoad);
  EXPECT_TRUE(runAtLoad);
  plist_free(root);
}

TEST_F(Settings, HelpNamesTheCurrentHotKeyAndOpensTheSettings) {
  store("didShowIntro", Value(true));
  store("hotKeyPreset", Value(3));
  auto& d = launch();
  d.rightClick("arrow");
  d.chooseMenuItem("使用说明…");
  std::string alert = d.renderAlert();
  EXPECT_NE(alert.find("alert: Tuckline 使用说明\n"), std::string::npos);
  EXPECT_NE(alert.find("② 点击那个箭头（或按 不使用），左侧图标立即被隐藏。"), std::string::npos);
  EXPECT_NE(alert.find("[知道了] [打开设置]"), std::string::npos);
  d.pressAlertButton("知道了");
  EXPECT_EQ(window(), "");
  d.onMain([&] { d.defaults().setInteger("hotKeyPreset", 1); });
  d.rightClick("arrow");
  d.chooseMenuItem("使用说明…");
  EXPECT_NE(d.renderAlert().find("（或按 ⌃⌥ B）"), std::string::npos);
  d.pressAlertButton("打开设置");
  EXPECT_EQ(d.renderAlert(), "");
  EXPECT_NE(window().find("Tuckline 设置"), std::string::npos);
}

}  // namespace
}  // namespace tl::test
