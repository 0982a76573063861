// The console as a script sees it: every mistyped or absurd line is refused
// with one error and leaves the desktop as it was, and the lines that are
// right act exactly once.
#include <poll.h>
#include <pty.h>

#include "Fixture.h"
#include "platform/sim/SimCopies.h"
#include "Process.h"
#include "frontends/console/Console.h"
#include "platform/sim/PropertyList.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <tuple>

namespace tl::test {
namespace {

class ConsoleScript : public Desktop {
 protected:
  void SetUp() override {
    Desktop::SetUp();
    store("didShowIntro", Value(true));
    console = std::make_unique<console::Console>(launch(), out, err);
  }
  void TearDown() override {
    console.reset();
    Desktop::TearDown();
  }
  // Runs one line; returns what it printed on each stream.
  std::pair<std::string, std::string> line(const std::string& text, bool* keepGoing = nullptr) {
    out.str("");
    err.str("");
    bool more = console->execute(text);
    if (keepGoing) *keepGoing = more;
    return {out.str(), err.str()};
  }
  bool collapsed() { return app([](AppDelegate& a) { return a.isCollapsed(); }); }

  std::ostringstream out, err;
  std::unique_ptr<console::Console> console;
};

// A copy that gave way names every copy running, and a command that works
// as typed: kill takes its processes as separate words.
TEST(ConsoleWords, GivingWayNamesEachCopyAndACommandThatWorks) {
  EXPECT_EQ(sim::gaveWayText({{25684, "a console's copy"}, {25705, "the launch agent's copy (started at login)"}}),
            "Tuckline already runs on this home as PID 25684 (a console's copy) and PID 25705 (the launch agent's "
            "copy (started at login)), so this copy gave way and quit; quit those first (the menu's 退出 Tuckline, or: "
            "kill 25684 25705)");
}

TEST(ConsoleWords, QuotesKeepSpacesAndAnEmptyQuotedWordCounts) {
  using console::splitWords;
  EXPECT_EQ(splitWords("  choose  \"退出 Tuckline\"  "), (std::vector<std::string>{"choose", "退出 Tuckline"}));
  EXPECT_EQ(splitWords("press \"\""), (std::vector<std::string>{"press", ""}));
  EXPECT_EQ(splitWords("a\"b c\"d"), (std::vector<std::string>{"ab cd"}));
  EXPECT_TRUE(splitWords("   ").empty());
}

TEST_F(ConsoleScript, BadLinesAreRefusedOnceAndChangeNothing) {
  desktop->advance(2);  // past the creation record
  std::string bar = desktop->renderBar();
  std::string logBefore = log();
  // Each error names what would have been right.
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"frobnicate", "error: unknown command frobnicate; expected alert, await, bar, button,"},
      {"bar please", "error: bar: unexpected please; expected bar\n"},
      {"click", "error: click: missing argument; expected click ITEM [ctrl|opt|shift|cmd]...\n"},
      {"click Nowhere", "error: click: no item Nowhere; expected "},
      {"click arrow ctrlx", "error: click: unknown modifier ctrlx; expected ctrl, opt, shift or cmd\n"},
      {"drag arrow above separator", "error: drag: unknown place above; expected left-of or right-of\n"},
      {"drag Clock left-of Dropbox", "error: cannot drag Clock\n"},
      {"key ctrl+opt+cmd+", "error: key: unknown key combination ctrl+opt+cmd+; expected modifiers and one key"},
      {"key hyper+b", "error: key: unknown key combination hyper+b;"},
      {"wait -1", "error: wait: -1 is not a number of seconds; expected wait SECONDS\n"},
      {"wait nan", "error: wait: nan is not a number of seconds;"},
      {"wait 2s", "error: wait: 2s is not a number of seconds;"},
      {"choose 设置…", "error: choose: no menu is open; expected right-click arrow first\n"},
      {"press 知道了", "error: press: no alert is open\n"},
      {"slide 收起延时 nan", "error: slide: nan is not a number; expected slide ROW VALUE\n"},
      {"switch 显示分隔线", "error: switch: no window is open\n"},
      {"fault next-item no-wheel", "error: fault next-item: unknown kind no-wheel; expected no-button, no-window or no-screen\n"},
      {"fault all no-button", "error: fault all: expected fault all no-button|no-window|no-screen on|off\n"},
      {"fault all no-button maybe", "error: fault all: maybe; expected on or off\n"},
      {"fault symbol chevron.left gone", "error: fault symbol: gone; expected missing or present\n"},
      {"fault hotkey-taken ctrl+", "error: fault hotkey-taken: unknown key combination ctrl+;"},
      {"memory sometimes", "error: memory: unknown sometimes; expected off, forget or keep\n"},
      {"date 2026-02-30 10:00", "error: date: 2026-02-30 10:00 is not a date of 1970–9999 in the local time zone;"},
      {"defaults read com.apple.finder", "Domain com.apple.finder does not exist\n"},
      {"defaults write com.ferrowick.tuckline hoverExpand -bool maybe", "Usage: defaults read [DOMAIN] [KEY]\n"},
  };
  size_t failed = 0;
  for (const auto& [text, error] : refused) {
    bool more = false;
    auto [printed, errors] = line(text, &more);
    EXPECT_EQ(errors.substr(0, error.size()), error) << text;
    EXPECT_EQ(printed, "") << text;
    EXPECT_TRUE(more) << text;
    EXPECT_EQ(console->failedLines(), ++failed) << text;
  }
  desktop->advance(2);
  EXPECT_EQ(desktop->renderBar(), bar);
  EXPECT_FALSE(collapsed());
  EXPECT_EQ(log(), logBefore);
  // Comments and blank lines are no commands at all.
  EXPECT_EQ(line("# click arrow"), (std::pair<std::string, std::string>{"", ""}));
  EXPECT_EQ(line(""), (std::pair<std::string, std::string>{"", ""}));
  EXPECT_FALSE(collapsed());
}

TEST_F(ConsoleScript, GoodLinesActOnceAndTheConsoleEndsWithTheApplication) {
  EXPECT_EQ(line("click arrow").second, "");
  EXPECT_TRUE(collapsed());
  EXPECT_EQ(line("state").first, "collapsed=true expandedByHover=false timerPending=false didAutoReorder=false\n");
  // A script sets the virtual date; the next record is stamped from it.
  EXPECT_EQ(line("date").first, "2026-12-06 12:00:00\n");
  line("date 2027-01-01 09:00");
  line("wait 0.3");
  EXPECT_EQ(line("date").first, "2027-01-01 09:00:00\n");
  EXPECT_NE(log().find("[2027-01-01 09:00:00] 切换为收起\n"), std::string::npos);
  // A modifier the app does not treat as a menu request still toggles.
  line("click arrow shift cmd");
  EXPECT_FALSE(collapsed());
  // Stored values typed in the console, with or without the domain as on a
  // Mac, are what the app reads next.
  EXPECT_EQ(line("defaults write com.ferrowick.tuckline autoCollapse -bool YES").second, "");
  EXPECT_EQ(line("defaults read com.ferrowick.tuckline autoCollapse").first, "1\n");
  EXPECT_EQ(line("defaults read-type com.ferrowick.tuckline autoCollapse").first, "Type is boolean\n");
  EXPECT_EQ(line("defaults write autoCollapseDelay -float 2.5").second, "");
  line("click arrow");
  line("unhover");
  line("hover arrow");
  EXPECT_FALSE(collapsed());
  line("unhover");
  line("wait 2.4");
  EXPECT_FALSE(collapsed());
  line("wait 0.1");
  EXPECT_TRUE(collapsed());
  line("click arrow");
  // A launch agent with a key holding U+0000 is passed over; the app runs on.
  std::filesystem::create_directories(home + "/Library/LaunchAgents");
  std::ofstream(home + "/Library/LaunchAgents/odd.plist", std::ios::binary)
      << *sim::writePropertyList(Value(Value::Dict{{std::string("Label\0", 6), Value("odd")}}));
  EXPECT_EQ(line("login"), std::make_pair("No launch agent started: none is set to start at login, or each is loaded "
                                         "already.\nTuckline runs as PID " + std::to_string(getpid()) + " (a copy).\n",
                                         std::string()));
  EXPECT_FALSE(desktop->terminated());
  // A quoted menu title with a space is one word.
  line("right-click arrow");
  EXPECT_NE(line("menu").first, "(no menu open)\n");
  EXPECT_EQ(console->failedLines(), 0u);
  bool more = true;
  EXPECT_EQ(line("choose \"退出 Tuckline\"", &more).second, "");
  EXPECT_FALSE(more);  // the application has ended, so the console does too
  EXPECT_TRUE(desktop->terminated());
  EXPECT_FALSE(console->execute("bar"));
}

// Titles as a person types them: "..." or nothing for the ellipsis, key
// combinations in words; a name that matches nothing is answered with the
// names that would have.
TEST_F(ConsoleScript, TitlesMatchAsTypedAndMistakesListTheChoices) {
  line("right-click arrow");
  auto [shown, errors] = line("choose 设置...");
  EXPECT_EQ(errors, "");
  EXPECT_NE(shown.find("全局快捷键"), std::string::npos) << shown;  // the window it opened
  auto preset = [&] { return line("defaults read hotKeyPreset").first; };
  const std::vector<std::pair<std::string, std::string>> picks = {
      {"pick 全局快捷键 opt cmd h", "2\n"}, {"pick 全局快捷键 ⌃⌥ B", "1\n"}, {"pick 全局快捷键 ctrl+opt+cmd+b", "0\n"},
      {"pick 全局快捷键 ⌥⌘H", "2\n"}, {"pick 全局快捷键 不使用", "3\n"}};
  for (const auto& [text, stored] : picks) {
    EXPECT_EQ(line(text).second, "") << text;
    EXPECT_EQ(preset(), stored) << text;
  }
  EXPECT_EQ(line("pick 全局快捷键 hyper b").second,
            "error: pick: 全局快捷键 has no item hyper b; expected ⌃⌥⌘ B, ⌃⌥ B, ⌥⌘ H or 不使用\n");
  std::string noRow = line("switch 夜间模式").second;
  EXPECT_EQ(noRow.rfind("error: switch: no row 夜间模式 with a switch; expected ", 0), 0u) << noRow;
  EXPECT_NE(noRow.find("鼠标悬停时自动展开, 延时自动收起, 启动时自动收起"), std::string::npos) << noRow;
  EXPECT_EQ(line("pick 夜间模式 1").second, "error: pick: no row 夜间模式 with a pop-up; expected 全局快捷键\n");
  line("close");
  line("right-click arrow");
  std::tie(shown, errors) = line("choose 使用说明");
  EXPECT_EQ(errors, "");
  EXPECT_EQ(shown.rfind("alert: ", 0), 0u) << shown;  // the alert it opened
  line("press 知道了");
  line("right-click arrow");
  EXPECT_EQ(line("choose 退出").second.rfind("error: choose: no menu item 退出; expected ", 0), 0u);
  line("escape");
  // A file with nothing in it says so.
  std::filesystem::remove(home + "/Library/Logs/Tuckline.log");
  EXPECT_EQ(line("log").first, "(empty)\n");
}

TEST_F(ConsoleScript, QuitLeavesTheApplicationRunning) {
  bool more = true;
  line("quit", &more);
  EXPECT_FALSE(more);
  EXPECT_FALSE(desktop->terminated());
  // An await for text already in the log returns at once.
  desktop->advance(2);
  EXPECT_EQ(line("await 1 创建状态栏项目").second, "");
}

#ifdef TUCKLINE_CONSOLE_PATH
// Whatever runs a script learns from the exit status whether every line
// worked; the lines after a failed one still run.
TEST_F(Desktop, ScriptsExitNonZeroWithTheCountOfFailedLines) {
  auto run = [&](const std::string& commands, std::string& out, std::string& err) {
    std::ofstream(root + "/script.txt") << commands;
    int status = waitExit(spawnConsole({"--home", home, "--script", root + "/script.txt"}, root + "/out.txt",
                                       root + "/err.txt"));
    out = readFile(root + "/out.txt");
    err = readFile(root + "/err.txt");
    return status;
  };
  std::string out, err;
  EXPECT_EQ(run("wait 0.6\npress 知道了\nclick arrow\nstate\n", out, err), 0) << err;
  EXPECT_EQ(err, "");
  EXPECT_EQ(run("click arrow ctrlx\nfrobnicate\nclick arrow\nstate\nwait 2s\n", out, err), 1);
  EXPECT_EQ(out, "collapsed=true expandedByHover=false timerPending=false didAutoReorder=false\n");
  EXPECT_NE(err.find("error: click: unknown modifier ctrlx"), std::string::npos) << err;
  EXPECT_EQ(err.substr(err.rfind("tuckline:")), "tuckline: 3 lines failed\n");
}

// A command line with a mistake starts nothing: one line names the word
// and what was expected; --help lists every option and succeeds.
TEST_F(Desktop, ProgramsRefuseMistypedOptionsInOneLine) {
  struct Case {
    std::string program;
    std::vector<std::string> args;
    std::string error;  // the start of the one line on standard error
  };
  std::vector<Case> cases = {
      {TUCKLINE_CONSOLE_PATH, {"--home"}, "tuckline: --home needs a value: --home DIR\n"},
      {TUCKLINE_CONSOLE_PATH, {"--script", "--virtual"}, "tuckline: --script needs a value: --script FILE\n"},
      {TUCKLINE_CONSOLE_PATH, {"--home", home, "--bogus"}, "tuckline: unknown option --bogus; expected --home, "},
      {TUCKLINE_CONSOLE_PATH, {"--home", home, "--notch-width", "99999"},
       "tuckline: --notch-width 99999: a notch is 1 point wide up to half the screen (756 points on a screen "
       "1512 points wide)\n"},
      {TUCKLINE_CONSOLE_PATH, {"--home", home, "--screen-width", "1000", "--notch-width", "x"},
       "tuckline: --notch-width x: a notch is 1 point wide up to half the screen (500 points"},
      {TUCKLINE_CONSOLE_PATH, {"--home", home, "--thickness"}, "tuckline: --thickness needs a value: --thickness N\n"},
#ifdef TUCKLINE_WEB_PATH
      {TUCKLINE_WEB_PATH, {"--home"}, "tuckline-web: --home needs a value: --home DIR\n"},
      {TUCKLINE_WEB_PATH, {"--home", home, "--port"}, "tuckline-web: --port needs a value: --port N\n"},
      {TUCKLINE_WEB_PATH, {"--home", home, "--console"}, "tuckline-web: unknown option --console; expected --home, "},
#endif
  };
  for (const auto& c : cases) {
    EXPECT_EQ(waitExit(spawnProgram(c.program, c.args, root + "/out.txt", root + "/err.txt")), 2) << c.error;
    std::string err = readFile(root + "/err.txt");
    EXPECT_EQ(err.substr(0, c.error.size()), c.error);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(readFile(root + "/out.txt"), "");
  }
  EXPECT_FALSE(std::filesystem::exists(home + "/Library/Logs/Tuckline.log"));  // nothing started

  EXPECT_EQ(waitExit(spawnProgram(TUCKLINE_CONSOLE_PATH, {"--help"}, root + "/out.txt")), 0);
  std::string help = readFile(root + "/out.txt");
  for (const char* option : {"--home DIR", "--script FILE", "--start DATE", "--notch-width N", "--fault logs-folder",
                             "--fault symbol:NAME", "choose TITLE"})
    EXPECT_NE(help.find(option), std::string::npos) << option;
#ifdef TUCKLINE_WEB_PATH
  EXPECT_EQ(waitExit(spawnProgram(TUCKLINE_WEB_PATH, {"--help"}, root + "/out.txt")), 0);
  help = readFile(root + "/out.txt");
  EXPECT_NE(help.find("--port N"), std::string::npos) << help;
  EXPECT_NE(help.find("--fault arrow|separator|all"), std::string::npos) << help;
  EXPECT_EQ(help.find("--start"), std::string::npos) << help;  // it runs in real time only
#endif
}

// A person at a terminal (real time): the first-run alert shows up with
// nothing typed, a typed title goes through line editing whole, and Ctrl-C
// ends the program without waiting for Enter.
TEST_F(Desktop, TerminalRedrawsByItselfAndQuitsOnCtrlC) {
  int terminal = -1;
  pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    execl(TUCKLINE_CONSOLE_PATH, "tuckline", "--home", home.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string shown;
  // What the terminal shows once `text` has appeared after `from`, or
  // empty after 10 s.
  auto until = [&](const std::string& text, size_t from) {
    for (int i = 0; i < 200 && shown.find(text, from) == std::string::npos; ++i) {
      pollfd p{terminal, POLLIN, 0};
      char buf[4096];
      if (poll(&p, 1, 50) > 0) {
        ssize_t n = read(terminal, buf, sizeof buf);
        if (n <= 0) break;
        shown.append(buf, static_cast<size_t>(n));
      }
    }
    return shown.find(text, from) != std::string::npos;
  };
  EXPECT_TRUE(until("[知道了] [打开设置]", 0)) << shown;
  size_t mark = shown.size();
  std::string typed = "press 知道了\r";
  ASSERT_EQ(write(terminal, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
  // The alert went away: the bar is drawn again, without it.
  EXPECT_TRUE(until("[Clock]\r\n", mark + typed.size())) << shown.substr(mark);
  EXPECT_EQ(shown.find("error", mark), std::string::npos) << shown.substr(mark);
  ASSERT_EQ(write(terminal, "click ar\x03", 9), 9);
  // The bar left behind has no item of Tuckline's.
  EXPECT_TRUE(until("Tuckline has quit.\r\n< Finder 文件 编辑 显示 前往 窗口 帮助 > [Dropbox] [Slack]", mark))
      << shown.substr(mark);
  EXPECT_EQ(waitExit(pid), 0);
  close(terminal);
  EXPECT_EQ(log().find("切换为收起"), std::string::npos);  // the half-typed click never ran
}
#endif

}  // namespace
}  // namespace tl::test
