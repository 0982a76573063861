// The simulated menu bar and run loop as the application relies on them:
// remembered positions across launches, layout answers that are never stale,
// tracking events, and timers that wait for nested loops.
#include <cstdio>
#include <thread>
#include <utility>

#include "Fixture.h"

namespace tl::test {
namespace {

using sim::PositionMemory;

const std::string kPosition = "NSStatusItem Preferred Position ";
const std::string kMenus = "< Finder 文件 编辑 显示 前往 窗口 帮助 >";
const std::string kSystem = " [Wi-Fi] [Battery] [Control Centre] [Clock]";
const std::string kUntouched = kMenus + " [│] [›] [Dropbox] [Slack] [1Password] [Docker] [Zoom]" + kSystem;

class Bar : public Desktop {
 protected:
  sim::SimDesktop& start(PositionMemory memory) {
    store("didShowIntro", Value(true));
    sim::SimMenuBar::Config bar;
    bar.memory = memory;
    return launch(bar);
  }
  // The desktop without the application: the test owns every item.
  sim::SimDesktop& bare() {
    sim::SimDesktop::Config c;
    c.home = home;
    desktop = std::make_unique<sim::SimDesktop>(c);
    desktop->launch([this] {
      desktop->app().run();
      return 0;
    });
    return *desktop;
  }
  // What another process reading the preferences file sees.
  std::optional<Value> stored(const std::string& autosaveName) {
    sim::SimDefaults d(home + "/Library/Preferences/com.ferrowick.tuckline.plist");
    return d.objectForKey(kPosition + autosaveName);
  }
  void quit() {
    ASSERT_TRUE(desktop->rightClick("arrow"));
    ASSERT_TRUE(desktop->chooseMenuItem("cmd+q"));
    desktop->join();
    desktop.reset();
  }
  void reposition() {
    ASSERT_TRUE(desktop->rightClick("arrow"));
    ASSERT_TRUE(desktop->chooseMenuItem("重新放置到最右侧"));
  }
  static std::vector<std::string> manyMenus(int n) { return std::vector<std::string>(n, "文件"); }
};

TEST_F(Bar, KeepPutsDraggedItemsBackAfterQuitRelaunchAndRecreation) {
  auto& d = start(PositionMemory::Keep);
  ASSERT_TRUE(d.drag("arrow", "Zoom", false));
  ASSERT_TRUE(d.drag("separator", "Slack", false));
  const std::string dragged = kMenus + " [Dropbox] [Slack] [│] [1Password] [Docker] [Zoom] [›]" + kSystem;
  EXPECT_EQ(d.renderBar(), dragged);
  // Distances of the right edges from the screen's right edge, as macOS keeps them.
  EXPECT_EQ(stored("Item-0"), Value(236.0));
  EXPECT_EQ(stored("Item-1"), Value(339.0));

  quit();
  EXPECT_EQ(stored("Item-0"), Value(236.0));  // quitting removes no item
  auto& again = start(PositionMemory::Keep);
  EXPECT_EQ(again.renderBar(), dragged);
  again.advance(1.5);
  // The order check read the windows where the remembered positions put them.
  EXPECT_NE(log().find("创建状态栏项目\n  菜单栏高度=24.0\n  分隔符: 有图标 length=16.0 x=1157 y=958"), std::string::npos);
  EXPECT_NE(log().find("  箭头: 有图标 length=-1.0 x=1253 y=958"), std::string::npos);
  EXPECT_EQ(count(log(), "检测到顺序颠倒"), 0);

  reposition();  // removes both items and creates them again
  EXPECT_EQ(again.renderBar(), dragged);
  EXPECT_EQ(stored("Item-0"), Value(236.0));
  EXPECT_EQ(stored("Item-1"), Value(339.0));
}

TEST_F(Bar, ForgetDropsThePositionOnRemovalAndOffNeverReadsOrWritesIt) {
  auto& d = start(PositionMemory::ForgetOnRemove);
  ASSERT_TRUE(d.drag("arrow", "Zoom", false));
  const std::string dragged = kMenus + " [│] [Dropbox] [Slack] [1Password] [Docker] [Zoom] [›]" + kSystem;
  EXPECT_EQ(stored("Item-0"), Value(236.0));
  quit();
  EXPECT_EQ(start(PositionMemory::ForgetOnRemove).renderBar(), dragged);  // remembered for the next launch
  reposition();
  EXPECT_EQ(desktop->renderBar(), kUntouched);
  EXPECT_FALSE(stored("Item-0"));
  EXPECT_FALSE(stored("Item-1"));
  quit();
  EXPECT_EQ(start(PositionMemory::ForgetOnRemove).renderBar(), kUntouched);
  quit();

  // Positions written by an earlier run with memory on are left as they are.
  store(kPosition + "Item-0", Value(236.0));
  store(kPosition + "Item-1", Value(389.0));
  auto& off = start(PositionMemory::Off);
  EXPECT_EQ(off.renderBar(), kUntouched);
  ASSERT_TRUE(off.drag("arrow", "Docker", false));
  EXPECT_EQ(off.renderBar(), kMenus + " [│] [Dropbox] [Slack] [1Password] [Docker] [›] [Zoom]" + kSystem);
  EXPECT_EQ(stored("Item-0"), Value(236.0));
  reposition();
  EXPECT_EQ(off.renderBar(), kUntouched);
  EXPECT_EQ(stored("Item-0"), Value(236.0));
  EXPECT_EQ(stored("Item-1"), Value(389.0));
}

TEST_F(Bar, WindowsAnswerTheLaidOutStateRightAfterEachChange) {
  auto& d = bare();
  d.onMain([&] {
    auto& bar = d.menuBar();
    auto a = bar.statusItemWithLength(20);
    auto wa = a->button()->window();
    // Left of the other applications' items; Dropbox starts at 1146.
    EXPECT_EQ(wa->frame(), (Rect{1126, 958, 20, 24}));
    EXPECT_TRUE(wa->isVisible());
    EXPECT_EQ(wa->screen(), bar.mainScreen());
    a->setLength(50);
    EXPECT_EQ(wa->frame(), (Rect{1096, 958, 50, 24}));
    auto b = bar.statusItemWithLength(30);
    auto wb = b->button()->window();
    EXPECT_EQ(wb->frame(), (Rect{1066, 958, 30, 24}));

    // Under the frontmost application's menus (they end at 376): hidden, still on the screen.
    a->setLength(800);
    EXPECT_EQ(wb->frame().x, 316);
    EXPECT_FALSE(wb->isVisible());
    EXPECT_EQ(wb->screen(), bar.mainScreen());
    // Past the left edge: no screen. Partly on it still counts as on it.
    a->setLength(1200);
    EXPECT_EQ(wa->frame().x, -54);
    EXPECT_EQ(wa->screen(), bar.mainScreen());
    EXPECT_FALSE(wa->isVisible());
    EXPECT_EQ(wb->frame().x, -84);
    EXPECT_EQ(wb->screen(), nullptr);
    EXPECT_FALSE(wb->isVisible());
    a->setLength(50);
    EXPECT_TRUE(wa->isVisible());

    bar.removeStatusItem(a);
    EXPECT_EQ(wb->frame(), (Rect{1116, 958, 30, 24}));
    EXPECT_TRUE(wb->isVisible());
    // A window kept after its item went is closed, also once the item is gone for good.
    EXPECT_FALSE(wa->isVisible());
    EXPECT_EQ(wa->screen(), nullptr);
    a.reset();
    EXPECT_FALSE(wa->isVisible());
    EXPECT_EQ(wa->frame(), Rect{});

    bar.setFrontmost("Finder", manyMenus(23));  // menus end at 1130
    EXPECT_FALSE(wb->isVisible());
    bar.setFrontmost("", {});
    EXPECT_TRUE(wb->isVisible());
  });
}

TEST_F(Bar, DragsKeepTheSystemAreaAndRefuseWhatCannotMove) {
  auto& d = bare();
  std::shared_ptr<StatusItem> own;
  d.onMain([&] { own = d.menuBar().statusItemWithLength(20); });
  const std::string before = kMenus + " [ ] [Dropbox] [Slack] [1Password] [Docker] [Zoom]" + kSystem;
  ASSERT_EQ(d.renderBar(), before);

  EXPECT_FALSE(d.drag("Wi-Fi", "Dropbox", true));
  EXPECT_FALSE(d.drag("Clock", "Zoom", false));
  EXPECT_FALSE(d.drag("Zoom", "Nowhere", true));
  EXPECT_FALSE(d.drag("Zoom", "Zoom", false));
  EXPECT_FALSE(d.drag("separator", "Nowhere", true));
  EXPECT_EQ(d.renderBar(), before);
  EXPECT_FALSE(stored("Item-0"));  // nothing moved, nothing remembered

  // Into the system area: just left of it, whichever side of which system item.
  ASSERT_TRUE(d.drag("Dropbox", "Clock", true));
  ASSERT_TRUE(d.drag("Slack", "Wi-Fi", false));
  ASSERT_TRUE(d.drag("separator", "Battery", false));
  EXPECT_EQ(d.renderBar(), kMenus + " [1Password] [Docker] [Zoom] [Dropbox] [Slack] [ ]" + kSystem);
  d.onMain([&] { EXPECT_EQ(own->button()->window()->frame().x, 1256); });
  EXPECT_EQ(stored("Item-0"), Value(236.0));
  // Another application's drag moves this item without being its drag.
  ASSERT_TRUE(d.drag("Docker", "Clock", true));
  EXPECT_EQ(stored("Item-0"), Value(236.0));

  // Covered by the frontmost application's menus: still in the bar, not clickable.
  d.onMain([&] { d.menuBar().setFrontmost("Finder", manyMenus(24)); });
  EXPECT_FALSE(d.click("1Password"));
  EXPECT_FALSE(d.hover("1Password"));
  EXPECT_NE(d.renderBar().find("hidden: 1Password Zoom"), std::string::npos);
  EXPECT_TRUE(d.click("Dropbox"));
}

// Hears the pointer and notes whether it was told from inside a call that
// moved the items, which must never happen.
struct Owner : TrackingOwner {
  Owner(std::string name, std::vector<std::string>& heard, const bool& moving, sim::SimApplication& app)
      : name(std::move(name)), heard(heard), moving(moving), app(app) {}
  void mouseEntered(const Event& e) override { note(e, EventType::MouseEntered, " entered"); }
  void mouseExited(const Event& e) override { note(e, EventType::MouseExited, " exited"); }
  void note(const Event& e, EventType type, const char* what) {
    auto current = app.currentEvent();
    bool asEvent = e.type == type && current && current->type == type;
    heard.push_back(name + what + (moving ? " (inside the call)" : "") + (asEvent ? "" : " (no event)"));
  }
  std::string name;
  std::vector<std::string>& heard;
  const bool& moving;
  sim::SimApplication& app;
};

TEST_F(Bar, TrackingEventsComeAsEventsOfTheirOwn) {
  auto& d = bare();
  std::vector<std::string> heard;
  bool moving = false;
  std::vector<std::shared_ptr<Owner>> owners;
  std::shared_ptr<StatusItem> a, b, c;
  auto track = [&](const std::shared_ptr<StatusItem>& item, const std::string& name, unsigned options) {
    owners.push_back(std::make_shared<Owner>(name, heard, moving, d.app()));
    auto area = std::make_shared<TrackingArea>();
    area->rect = item->button()->bounds();
    area->options = options;
    area->owner = owners.back();
    item->button()->addTrackingArea(area);
  };
  auto heardNow = [&] {
    std::vector<std::string> out;
    d.onMain([&] { out.swap(heard); });
    return out;
  };
  const unsigned always = kTrackingMouseEnteredAndExited | kTrackingActiveAlways | kTrackingInVisibleRect;
  d.onMain([&] {
    a = d.menuBar().statusItemWithLength(40);  // 1106..1146
    b = d.menuBar().statusItemWithLength(40);  // 1066..1106
    track(a, "A", always);
    track(b, "B", always);
    track(b, "B-active-only", kTrackingMouseEnteredAndExited);  // the app is not active
    d.menuBar().movePointer(Point{1086, 970});
  });
  EXPECT_EQ(heardNow(), (std::vector<std::string>{"B entered"}));

  // Items moving under the resting pointer: told after the call, not in it.
  d.onMain([&] {
    moving = true;
    a->setLength(80);  // A 1066..1146 now under the pointer, B 1026..1066
    moving = false;
    EXPECT_TRUE(heard.empty());
  });
  EXPECT_EQ(heardNow(), (std::vector<std::string>{"B exited", "A entered"}));

  d.onMain([&] {
    d.app().activateIgnoringOtherApps(true);
    d.menuBar().movePointer(Point{1046, 970});
  });
  EXPECT_EQ(heardNow(), (std::vector<std::string>{"B entered", "B-active-only entered", "A exited"}));

  // An item removed with its area still on the old button (b keeps both),
  // and made again in the same place: the old area is silent, the new one enters on its own.
  d.onMain([&] {
    moving = true;
    d.menuBar().removeStatusItem(b);
    c = d.menuBar().statusItemWithLength(40);
    track(c, "C", always);
    moving = false;
  });
  EXPECT_EQ(heardNow(), (std::vector<std::string>{"C entered"}));
  d.onMain([&] { EXPECT_EQ(c->button()->window()->frame().x, 1026); });

  // Menus growing over the resting pointer hide the item: it is left.
  d.onMain([&] { d.menuBar().setFrontmost("Finder", manyMenus(23)); });
  EXPECT_EQ(heardNow(), (std::vector<std::string>{"C exited"}));
  d.onMain([&] { d.menuBar().setFrontmost("Finder", {}); });
  EXPECT_EQ(heardNow(), (std::vector<std::string>{"C entered"}));
  d.movePointerAway();
  EXPECT_EQ(heardNow(), (std::vector<std::string>{"C exited"}));
  // Owners gone: their areas stay on the buttons and are skipped.
  owners.clear();
  d.onMain([&] { d.menuBar().movePointer(Point{1046, 970}); });
  EXPECT_TRUE(heardNow().empty());
}

// The loop on a thread of its own, driven from the test as the desktop drives it.
struct Loop {
  sim::SimRunLoop loop{sim::SimRunLoop::Time::Virtual};
  std::vector<std::string> seen;  // main thread only; read when idle
  double base = 0;                 // set only while idle
  std::thread main{[this] { loop.run(); }};
  ~Loop() {
    loop.stop();
    main.join();
  }
  std::function<void()> note(std::string what) {
    return [this, what] {
      char at[32];
      std::snprintf(at, sizeof at, "@%.2f", loop.elapsed() - base);
      seen.push_back(what + at);
    };
  }
  std::vector<std::string> take() {
    loop.waitIdle();
    return std::exchange(seen, {});
  }
};

TEST(SimRunLoop, DueOrderFifoInvalidationRepeatsAndNestedModes) {
  Loop l;
  auto& loop = l.loop;
  loop.asyncAfter(1.0, l.note("A"));
  loop.asyncAfter(0.5, l.note("B"));
  loop.asyncAfter(1.0, l.note("C"));
  loop.scheduledTimer(1.0, false, [&](Timer&) { l.note("T")(); });
  loop.async(l.note("D"));
  EXPECT_EQ(l.take(), (std::vector<std::string>{"D@0.00"}));
  loop.advance(0.5);  // exactly the due time
  EXPECT_EQ(l.take(), (std::vector<std::string>{"B@0.50"}));
  loop.advance(0.49);
  EXPECT_TRUE(l.take().empty());
  loop.advance(0.01);
  EXPECT_EQ(l.take(), (std::vector<std::string>{"A@1.00", "C@1.00", "T@1.00"}));

  // A timer invalidated by a callback due at the same moment never fires.
  std::shared_ptr<Timer> second;
  auto first = loop.scheduledTimer(2, false, [&](Timer&) {
    l.note("first")();
    second->invalidate();
  });
  second = loop.scheduledTimer(2, false, [&](Timer&) { l.note("second")(); });
  auto never = loop.scheduledTimer(1, false, [&](Timer&) { l.note("never")(); });
  never->invalidate();
  EXPECT_EQ(loop.pendingTimerCount(), 2u);
  loop.advance(5);
  EXPECT_EQ(l.take(), (std::vector<std::string>{"first@3.00"}));
  EXPECT_FALSE(first->isValid());
  EXPECT_EQ(loop.pendingTimerCount(), 0u);
  EXPECT_LT(loop.nextDueIn(), 0);

  // A repeating timer fires every interval until it invalidates itself.
  int fired = 0;
  loop.scheduledTimer(0.25, true, [&](Timer& t) {
    l.note("tick")();
    if (++fired == 3) t.invalidate();
  });
  loop.advance(2);
  EXPECT_EQ(l.take(), (std::vector<std::string>{"tick@6.25", "tick@6.50", "tick@6.75"}));
  EXPECT_EQ(loop.pendingTimerCount(), 0u);

  // Timers wait while a nested loop runs; main-queue blocks do not.
  l.base = loop.elapsed();
  bool closed = false;
  loop.scheduledTimer(1, false, [&](Timer&) { l.note("timer")(); });
  loop.asyncAfter(1.5, l.note("block"));
  loop.postInput([&] {
    loop.runNested(sim::RunLoopMode::EventTracking, [&] { return closed; });  // a menu is open
    l.note("menu closed")();
  });
  loop.waitIdle();
  EXPECT_EQ(loop.currentMode(), sim::RunLoopMode::EventTracking);
  loop.advance(2);
  EXPECT_EQ(l.take(), (std::vector<std::string>{"block@1.50"}));
  EXPECT_EQ(loop.pendingTimerCount(), 1u);
  loop.postInput([&] { closed = true; });
  EXPECT_EQ(l.take(), (std::vector<std::string>{"menu closed@2.00", "timer@2.00"}));
  EXPECT_EQ(loop.currentMode(), sim::RunLoopMode::Default);

  // A repeating timer held up by a modal panel fires once when it ends, not
  // once for every interval it missed, and goes on from there.
  bool dismissed = false;
  auto repeating = loop.scheduledTimer(0.5, true, [&](Timer&) { l.note("tick")(); });
  loop.postInput([&] { loop.runNested(sim::RunLoopMode::ModalPanel, [&] { return dismissed; }); });
  loop.advance(2);
  EXPECT_TRUE(l.take().empty());
  EXPECT_EQ(loop.elapsed() - l.base, 4.0);  // the time passed although nothing ran
  loop.postInput([&] { dismissed = true; });
  EXPECT_EQ(l.take(), (std::vector<std::string>{"tick@4.00"}));
  loop.advance(0.5);
  EXPECT_EQ(l.take(), (std::vector<std::string>{"tick@4.50"}));
  repeating->invalidate();
  loop.advance(2);
  EXPECT_TRUE(l.take().empty());
}

}  // namespace
}  // namespace tl::test
