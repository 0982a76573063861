// The context menu, the order check with its one automatic correction, and
// hover expansion with timed collapse, in virtual time.
#include <cmath>

#include "Fixture.h"

namespace tl::test {
namespace {

class Running : public Desktop {
 protected:
  sim::SimDesktop& start(sim::PositionMemory memory = sim::PositionMemory::ForgetOnRemove) {
    store("didShowIntro", Value(true));
    sim::SimMenuBar::Config bar;
    bar.memory = memory;
    return launch(bar);
  }
  // The contexts of the log records, in order.
  std::vector<std::string> contexts() {
    std::vector<std::string> out;
    std::istringstream in(log());
    for (std::string line; std::getline(in, line);)
      if (line.rfind("[", 0) == 0) out.push_back(line.substr(22));
    return out;
  }
  bool collapsed() { return app([](AppDelegate& a) { return a.isCollapsed(); }); }
  bool timerPending() {
    return app([](AppDelegate& a) { return a.collapseTimer() != nullptr && a.collapseTimer()->isValid(); });
  }
};

TEST_F(Running, ContextMenuOpensUnderTheArrowAndItsItemsWork) {
  auto& d = start();
  d.click("arrow");
  d.advance(1.5);
  ASSERT_TRUE(d.rightClick("arrow"));
  EXPECT_EQ(d.renderMenu(),
            "menu under arrow:\n  显示图标\n  ────────────\n  隐藏图标\n  显示图标\n  ────────────\n"
            "  重新放置到最右侧\n  设置…    ⌘,\n  使用说明…\n  ────────────\n  退出 Tuckline    ⌘Q\n");
  EXPECT_TRUE(collapsed());  // opening the menu changes nothing
  ASSERT_TRUE(d.chooseMenuItem("显示图标"));
  EXPECT_EQ(d.renderMenu(), "");
  EXPECT_FALSE(collapsed());
  d.advance(0.3);
  EXPECT_EQ(contexts().back(), "切换为展开");
  // The menu is detached again: a left click toggles.
  d.click("arrow");
  EXPECT_TRUE(collapsed());
  // Control-click opens the menu too; hiding while collapsed logs nothing.
  d.advance(1);
  size_t records = contexts().size();
  d.click("arrow", kEventModifierFlagControl);
  EXPECT_NE(d.renderMenu(), "");
  d.chooseMenuItem("隐藏图标");
  d.advance(1);
  EXPECT_TRUE(collapsed());
  EXPECT_EQ(contexts().size(), records);
  // Choosing took the pointer into the menu, off the bar: coming back
  // onto the collapsed arrow opens it by hover, and Escape closes the menu
  // without acting.
  d.rightClick("arrow");
  EXPECT_TRUE(app([](AppDelegate& a) { return a.expandedByHover(); }));
  d.closeMenu();
  EXPECT_FALSE(collapsed());
  EXPECT_TRUE(app([](AppDelegate& a) { return a.expandedByHover(); }));
}

TEST_F(Running, ReversedAtStartupIsCorrectedOnceAndLoggedInOrder) {
  // Last run the user dragged the arrow left of the separator; the bar
  // remembers positions for the launch, and forgets them on removal.
  {
    auto& d = start();
    ASSERT_TRUE(d.drag("arrow", "separator", true));
  }
  desktop.reset();
  std::filesystem::remove(home + "/Library/Logs/Tuckline.log");
  auto& d = start();
  d.onMain([&] { EXPECT_GT(d.menuBar().find("separator")->frame.x, d.menuBar().find("arrow")->frame.x); });
  d.advance(1.5);
  EXPECT_EQ(contexts(), (std::vector<std::string>{"创建状态栏项目", "⚠️ 检测到顺序颠倒，正在自动纠正"}));
  d.onMain([&] { EXPECT_LT(d.menuBar().find("separator")->frame.x, d.menuBar().find("arrow")->frame.x); });
  d.advance(1.49);
  EXPECT_EQ(contexts().size(), 2u);
  d.advance(0.01);
  EXPECT_EQ(contexts().back(), "创建状态栏项目");  // the second check finds it cured
  d.advance(0.5);
  EXPECT_EQ(contexts(), (std::vector<std::string>{"创建状态栏项目", "⚠️ 检测到顺序颠倒，正在自动纠正", "创建状态栏项目",
                                                  "自动纠正后"}));
}

// The bar remembers where the items were dragged, so the rebuild puts them
// back reversed.
TEST_F(Running, StillReversedAfterTheRebuildOnlyWarnsUntilRepositionRearms) {
  auto& d = start(sim::PositionMemory::Keep);
  ASSERT_TRUE(d.drag("arrow", "separator", true));
  d.click("arrow");  // collapse before the rebuilds
  d.advance(1.5);    // first check: reversed -> rebuild
  d.advance(2.0);
  EXPECT_EQ(contexts(), (std::vector<std::string>{"切换为收起", "创建状态栏项目", "⚠️ 检测到顺序颠倒，正在自动纠正",
                                                  "创建状态栏项目", "⚠️ 检测到顺序颠倒，正在自动纠正", "自动纠正后"}));
  // The rebuild kept the collapsed length.
  d.onMain([&] { EXPECT_EQ(d.menuBar().find("separator")->length(), 10000.0); });
  EXPECT_TRUE(collapsed());
  // Collapsed and reversed, the separator pushes the arrow off screen too;
  // the hot key is the way back to it.
  EXPECT_FALSE(d.rightClick("arrow"));
  ASSERT_TRUE(d.pressKey(kVK_ANSI_B, controlKey | optionKey | cmdKey));
  EXPECT_FALSE(collapsed());
  // The menu's reposition re-arms the one correction. It rebuilds the items
  // while the old arrow is still inside the click that opened the menu: that
  // item lives until its click returns, and the new one gets no menu.
  int releasedDuringClick = sim::SimStatusItem::releasedDuringClick;
  ASSERT_TRUE(d.rightClick("arrow"));
  ASSERT_TRUE(d.chooseMenuItem("重新放置到最右侧"));
  EXPECT_EQ(sim::SimStatusItem::releasedDuringClick, releasedDuringClick);
  d.onMain([&] { EXPECT_EQ(d.menuBar().find("arrow")->menu(), nullptr); });
  d.advance(1.5);
  d.advance(2.0);
  auto c = contexts();
  ASSERT_GE(c.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(c.end() - 5, c.end()),
            (std::vector<std::string>{"创建状态栏项目", "⚠️ 检测到顺序颠倒，正在自动纠正", "创建状态栏项目",
                                      "⚠️ 检测到顺序颠倒，正在自动纠正", "自动纠正后"}));
  EXPECT_EQ(count(log(), "自动纠正后"), 2);
}

TEST_F(Running, HoverOpensAndTheTimerClosesOnlyAHoverOpening) {
  auto& d = start();
  d.click("arrow");
  ASSERT_TRUE(collapsed());
  d.movePointerAway();
  d.advance(0.5);
  // A click on the collapsed arrow: the pointer arriving opens the area,
  // the click closes it again; both changes are logged, in that order.
  d.click("arrow");
  EXPECT_TRUE(collapsed());
  d.advance(0.5);
  auto c = contexts();
  EXPECT_EQ(std::vector<std::string>(c.end() - 3, c.end()),
            (std::vector<std::string>{"切换为收起", "切换为展开", "切换为收起"}));

  d.movePointerAway();
  d.hover("arrow");
  EXPECT_FALSE(collapsed());
  d.movePointerAway();
  EXPECT_TRUE(timerPending());
  d.advance(1.49);
  EXPECT_FALSE(collapsed());
  d.advance(0.01);
  EXPECT_TRUE(collapsed());

  // Re-entry before the timer fires cancels nothing; it closes under the pointer.
  d.hover("arrow");
  d.movePointerAway();
  d.advance(1.0);
  d.hover("arrow");
  d.advance(0.5);
  EXPECT_TRUE(collapsed());
  // It opens again only after leaving and entering again.
  d.movePointerAway();
  d.hover("arrow");
  EXPECT_FALSE(collapsed());

  // A click drops the pending collapse; the following exit schedules nothing.
  d.movePointerAway();
  d.click("arrow");
  EXPECT_TRUE(collapsed());
  d.click("arrow");
  d.hover("arrow");
  d.movePointerAway();
  EXPECT_FALSE(timerPending());
  d.advance(10);
  EXPECT_FALSE(collapsed());

  // With autoCollapse on, the stored delay counts from the last exit.
  d.onMain([&] {
    d.defaults().setBool("autoCollapse", true);
    d.defaults().setDouble("autoCollapseDelay", 30);
  });
  d.click("arrow");
  d.movePointerAway();
  d.hover("arrow");
  d.movePointerAway();
  d.advance(29.9);
  EXPECT_FALSE(collapsed());
  d.advance(0.1);
  EXPECT_TRUE(collapsed());

  // The menu and a rebuild each drop a pending collapse.
  d.hover("arrow");
  d.movePointerAway();
  d.rightClick("arrow");
  d.chooseMenuItem("重新放置到最右侧");
  EXPECT_FALSE(timerPending());
  EXPECT_TRUE(app([](AppDelegate& a) { return a.expandedByHover(); }));
  d.advance(60);
  EXPECT_FALSE(collapsed());
  d.hover("arrow");  // the new arrow tracks too
  d.movePointerAway();
  EXPECT_TRUE(timerPending());
}

TEST_F(Running, AbsurdStoredDelaysNeitherCrashNorHang) {
  auto& d = start();
  for (Value v : {Value(-5.0), Value(0.0), Value(std::nan("")), Value(INFINITY), Value("abc"), Value(1e300)}) {
    d.onMain([&] {
      d.defaults().setObject("autoCollapse", Value("YES"));
      d.defaults().setObject("autoCollapseDelay", v);
    });
    if (!collapsed()) d.click("arrow");
    d.movePointerAway();
    d.hover("arrow");
    d.movePointerAway();
    d.advance(0.01);
    double stored = 0;
    d.onMain([&] { stored = d.defaults().doubleForKey("autoCollapseDelay"); });
    // At or below zero, NaN and "abc" (0): fires at once; infinite or huge: never.
    bool atOnce = !(stored > 0);
    EXPECT_EQ(collapsed(), atOnce) << stored;
  }
}

}  // namespace
}  // namespace tl::test
