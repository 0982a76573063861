// The whole system as a person meets it: the console program as a real
// process on a fresh simulated home, then restarted on the same home. Each
// step checks what the person sees and what lands on disk.
#include <cmath>

#include "Fixture.h"
#include "Process.h"

namespace tl::test {
namespace {

#ifdef TUCKLINE_CONSOLE_PATH
class System : public Desktop {
 protected:
  // Runs the console on `home` with the commands, in virtual time; returns
  // what it printed.
  std::string run(const std::string& commands, int* status = nullptr) {
    std::string script = root + "/script.txt", out = root + "/out.txt";
    std::ofstream(script) << commands;
    pid_t pid = spawnConsole({"--home", home, "--virtual", "--script", script}, out);
    int code = waitExit(pid);
    if (status) *status = code;
    return readFile(out);
  }
  std::string plist() const { return readFile(home + "/Library/Preferences/com.ferrowick.tuckline.plist"); }
  std::string agent() const { return home + "/Library/LaunchAgents/com.ferrowick.tuckline.plist"; }
  static void expectHas(const std::string& text, const std::string& part) {
    EXPECT_NE(text.find(part), std::string::npos) << "missing: " << part << "\nin:\n" << text;
  }
};

const std::string kMenus = "< Finder 文件 编辑 显示 前往 窗口 帮助 > ";

TEST_F(System, FirstDayThenRestart) {
  int status = -1;
  std::string out = run(
      "alert\n"
      "wait 0.6\n"
      "alert\n"
      "press 知道了\n"
      "drag Dropbox left-of separator\n"
      "drag Zoom left-of separator\n"
      "bar\n"
      "click arrow\n"
      "wait 0.3\n"
      "bar\n"
      "unhover\n"
      "hover arrow\n"
      "bar\n"
      "unhover\n"
      "wait 1.4\n"
      "state\n"
      "wait 0.1\n"
      "bar\n"
      "wait 0.3\n"
      "key ctrl+opt+cmd+b\n"
      "wait 0.3\n"
      "bar\n"
      "right-click arrow\n"
      "menu\n"
      "choose 设置…\n"
      "switch 显示分隔线\n"
      "slide 收起延时 12\n"
      "pick 全局快捷键 ⌥⌘ H\n"
      "switch 开机自动启动\n"
      "await 本实例退出\n"
      "window\n"
      "close\n"
      "bar\n"
      "right-click arrow\n"
      "choose 退出 Tuckline\n"
      "echo not reached\n",
      &status);
  // The line after the quit could not act on anything: it counts as not run.
  EXPECT_EQ(status, 1);
  // The introduction, 0.6 s after the first start, and only then.
  expectHas(out, "(no alert open)\nalert: Tuckline 使用说明\n  【入口在哪里】菜单栏右侧、系统时钟的左边，会多出一条「细竖线 + 箭头」。\n");
  expectHas(out, "  [知道了] [打开设置]\n");
  // Icons dragged left of the line go when the arrow is clicked.
  expectHas(out, kMenus + "[Dropbox] [Zoom] [│] [›] [Slack] [1Password] [Docker] [Wi-Fi] [Battery] [Control Centre] [Clock]\n");
  std::string collapsed = kMenus + "[‹] [Slack] [1Password] [Docker] [Wi-Fi] [Battery] [Control Centre] [Clock]   hidden: Dropbox Zoom\n";
  expectHas(out, collapsed);
  // Resting on the arrow opens the area; it closes 1.5 s after the pointer left.
  expectHas(out, "collapsed=false expandedByHover=true timerPending=true");
  EXPECT_EQ(count(out, collapsed), 2);
  // The hot key opens it again from anywhere.
  expectHas(out, collapsed + kMenus + "[Dropbox] [Zoom] [│] [›]");
  expectHas(out, "menu under arrow:\n  隐藏图标\n  ────────────\n  隐藏图标\n  显示图标\n  ────────────\n"
                 "  重新放置到最右侧\n  设置…    ⌘,\n  使用说明…\n  ────────────\n  退出 Tuckline    ⌘Q\n");
  // The settings as changed, and the line gone from the bar.
  expectHas(out, "window: Tuckline 设置\n");
  expectHas(out, "[slider 12.0 (1–30)]");
  expectHas(out, "[pop-up: ⌥⌘ H ▾]");
  expectHas(out, kMenus + "[Dropbox] [Zoom] [ ] [›]");
  EXPECT_EQ(out.find("not reached"), std::string::npos);

  // On disk: the log's records, the stored settings, the launch agent.
  std::string text = log();
  EXPECT_EQ(count(text, "] 创建状态栏项目\n"), 1);
  EXPECT_EQ(count(text, "] 切换为收起\n"), 2);
  EXPECT_EQ(count(text, "] 切换为展开\n"), 2);
  EXPECT_EQ(count(text, "，本实例退出\n"), 1);  // the copy launchd started at once
  expectHas(plist(), "<key>autoCollapseDelay</key>\n\t<real>12");
  expectHas(plist(), "<key>showSeparator</key>\n\t<false/>");
  expectHas(plist(), "<key>hotKeyPreset</key>\n\t<integer>2</integer>");
  expectHas(plist(), "<key>launchAtLogin</key>\n\t<true/>");
  expectHas(readFile(agent()), "<string>com.ferrowick.tuckline</string>");

  // The next day: no introduction, the settings hold, the new hot key works,
  // logging in starts the agent (which gives way), switching it off removes it.
  out = run(
      "wait 1.5\n"
      "alert\n"
      "bar\n"
      "key opt+cmd+h\n"
      "bar\n"
      "login\n"
      "await 2 本实例退出\n"
      "right-click arrow\n"
      "choose 设置…\n"
      "switch 开机自动启动\n"
      "window\n"
      "terminate\n",
      &status);
  EXPECT_EQ(status, 0);
  expectHas(out, "(no alert open)\n" + kMenus + "[ ] [›] [Dropbox]");
  expectHas(out, kMenus + "[‹] [Dropbox] [Slack]");
  expectHas(out, "com.ferrowick.tuckline started Tuckline (PID ");
  expectHas(out, "), which gave way to PID ");
  expectHas(out, " (this console's copy), already running, and quit.\nTuckline runs as PID ");
  expectHas(out, "  开机自动启动 — 通过登录项在下次登录时自动运行  [关]\n");
  EXPECT_FALSE(std::filesystem::exists(agent()));
  expectHas(plist(), "<key>launchAtLogin</key>\n\t<false/>");
  text = log();
  EXPECT_EQ(count(text, "] 创建状态栏项目\n"), 2);
  EXPECT_EQ(count(text, "，本实例退出\n"), 2);
}
#endif

}  // namespace
}  // namespace tl::test
