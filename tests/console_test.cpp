// The console as a script sees it: every mistyped or absurd line is refused
// with one error and leaves the desktop as it was, and the lines that are
// right act exactly once.
#include "Fixture.h"
#include "frontends/console/Console.h"

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
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"frobnicate", "error: unknown command frobnicate (try help)\n"},
      {"click", "error: click: missing argument (see help)\n"},
      {"click Nowhere", "error: cannot click Nowhere\n"},
      {"drag arrow above separator", "error: drag ITEM left-of|right-of OTHER\n"},
      {"drag Clock left-of Dropbox", "error: cannot drag Clock\n"},
      {"key ctrl+opt+cmd+", "error: unknown key combination ctrl+opt+cmd+\n"},
      {"key hyper+b", "error: unknown key combination hyper+b\n"},
      {"wait -1", "error: wait SECONDS\n"},
      {"wait nan", "error: wait SECONDS\n"},
      {"wait inf", "error: wait SECONDS\n"},
      {"choose 设置…", "error: no such menu item: 设置…\n"},
      {"press 知道了", "error: no alert button 知道了\n"},
      {"slide 收起延时 nan", "error: slide: no such control in the open window\n"},
      {"switch 显示分隔线", "error: switch: no such control in the open window\n"},
      {"fault next-item no-wheel", "error: unknown fault (see help)\n"},
      {"fault all no-button", "error: unknown fault (see help)\n"},
      {"fault hotkey-taken ctrl+", "error: unknown fault (see help)\n"},
      {"memory sometimes", "error: memory off|forget|keep\n"},
  };
  for (const auto& [text, error] : refused) {
    bool more = false;
    auto [printed, errors] = line(text, &more);
    EXPECT_EQ(errors, error) << text;
    EXPECT_EQ(printed, "") << text;
    EXPECT_TRUE(more) << text;
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
  // A modifier the app does not treat as a menu request still toggles.
  line("click arrow shift");
  EXPECT_FALSE(collapsed());
  // Stored values typed in the console are what the app reads next.
  EXPECT_EQ(line("defaults write autoCollapse -bool true").second, "");
  EXPECT_EQ(line("defaults write autoCollapseDelay -float 2.5").second, "");
  line("click arrow");
  line("hover arrow");
  EXPECT_FALSE(collapsed());
  line("unhover");
  line("wait 2.4");
  EXPECT_FALSE(collapsed());
  line("wait 0.1");
  EXPECT_TRUE(collapsed());
  line("click arrow");
  // A quoted menu title with a space is one word.
  line("right-click arrow");
  EXPECT_NE(line("menu").first, "(no menu open)\n");
  bool more = true;
  EXPECT_EQ(line("choose \"退出 Tuckline\"", &more).second, "");
  EXPECT_FALSE(more);  // the application has ended, so the console does too
  EXPECT_TRUE(desktop->terminated());
  EXPECT_FALSE(console->execute("bar"));
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

}  // namespace
}  // namespace tl::test
