// The global hot key: presets, registration, presses from any application,
// refusals and release.
#include <cmath>

#include "Fixture.h"
#include "hotkey/HotKeyCenter.h"
#include "hotkey/HotKeyPreset.h"

namespace tl::test {
namespace {

TEST(HotKeyPreset, TableMatchesTheCarbonConstants) {
  // kVK_ANSI_B = 11, kVK_ANSI_H = 4; cmdKey 1<<8, optionKey 1<<11, controlKey 1<<12.
  EXPECT_EQ(keyCode(HotKeyPreset::controlOptionCommandB), 11u);
  EXPECT_EQ(modifiers(HotKeyPreset::controlOptionCommandB), (1u << 12) | (1u << 11) | (1u << 8));
  EXPECT_EQ(modifiers(HotKeyPreset::controlOptionB), (1u << 12) | (1u << 11));
  EXPECT_EQ(keyCode(HotKeyPreset::optionCommandH), 4u);
  EXPECT_EQ(modifiers(HotKeyPreset::optionCommandH), (1u << 11) | (1u << 8));
  EXPECT_EQ(display(HotKeyPreset::optionCommandH), "⌥⌘ H");
  EXPECT_EQ(display(HotKeyPreset::disabled), "不使用");
  EXPECT_FALSE(hotKeyPresetFromRaw(4));
  EXPECT_FALSE(hotKeyPresetFromRaw(-1));
}

class HotKey : public Desktop {
 protected:
  bool collapsed() { return app([](AppDelegate& a) { return a.isCollapsed(); }); }
  std::vector<sim::SimHotKeys::Registration> regs() {
    std::vector<sim::SimHotKeys::Registration> r;
    desktop->onMain([&] { r = desktop->hotKeyRegistry().registrations(); });
    return r;
  }
};

TEST_F(HotKey, PressTogglesFromAnyApplicationAndIsLogged) {
  store("didShowIntro", Value(true));
  auto& d = launch();
  ASSERT_EQ(regs().size(), 1u);
  EXPECT_EQ(regs()[0].id.signature, 0x544B4C4Eu);  // 'TKLN'
  EXPECT_EQ(regs()[0].id.id, 1u);
  d.onMain([&] { d.menuBar().setFrontmost("Safari", {"文件", "编辑"}); });
  EXPECT_TRUE(d.pressKey(kVK_ANSI_B, controlKey | optionKey | cmdKey));
  EXPECT_TRUE(collapsed());
  d.advance(0.3);
  EXPECT_EQ(count(log(), "切换为收起"), 1);
  EXPECT_FALSE(d.pressKey(kVK_ANSI_B, controlKey | optionKey));  // not ours
  EXPECT_TRUE(collapsed());
  // A hover opening is closed by the key, and the next exit schedules nothing.
  d.hover("arrow");
  EXPECT_FALSE(collapsed());
  d.pressKey(kVK_ANSI_B, controlKey | optionKey | cmdKey);
  EXPECT_TRUE(collapsed());
  d.movePointerAway();
  EXPECT_FALSE(app([](AppDelegate& a) { return a.collapseTimer() != nullptr; }));
}

TEST_F(HotKey, RefusedRegistrationIsReportedAndTheAppKeepsWorking) {
  store("didShowIntro", Value(true));
  beforeLaunch = [](sim::SimDesktop& d) { d.hotKeyRegistry().takeByOtherApplication(kVK_ANSI_B, controlKey | optionKey | cmdKey); };
  auto& d = launch();
  EXPECT_TRUE(regs().empty());
  std::string sys = syslog();
  ASSERT_EQ(count(sys, "\n"), 1);
  EXPECT_NE(sys.find(" Tuckline["), std::string::npos);
  EXPECT_EQ(sys.substr(sys.find("] ") + 2), "[Tuckline] 快捷键注册失败: -9878\n");
  d.click("arrow");
  EXPECT_TRUE(collapsed());
}

TEST_F(HotKey, ReapplyReleasesTheOldKeyAndBadStoredValuesFallBack) {
  store("didShowIntro", Value(true));
  store("hotKeyPreset", Value(2));
  auto& d = launch();
  ASSERT_EQ(regs().size(), 1u);
  EXPECT_EQ(regs()[0].keyCode, 4u);
  for (Value bad : {Value(99), Value(int64_t{1} << 62), Value(2.7), Value("1"), Value(Value::Array{}), Value(-3)}) {
    d.onMain([&] {
      d.defaults().setObject("hotKeyPreset", bad);
      HotKeyCenter::shared()->apply(HotKeyPresets::current());
      EXPECT_EQ(d.hotKeyRegistry().handlerCount(), 1u);
    });
    ASSERT_EQ(regs().size(), 1u);
    // 2.7 reads as 2 and "1" as 1; everything else falls back to preset 0.
    uint32_t expected = bad == Value(2.7) ? 0x0900u : bad == Value("1") ? 0x1800u : 0x1900u;
    EXPECT_EQ(regs()[0].modifiers, expected);
  }
  d.onMain([&] {
    d.defaults().setInteger("hotKeyPreset", 3);
    HotKeyCenter::shared()->apply(HotKeyPresets::current());
  });
  EXPECT_TRUE(regs().empty());
  d.onMain([&] { EXPECT_EQ(d.hotKeyRegistry().handlerCount(), 0u); });
  EXPECT_EQ(syslog(), "");
}

}  // namespace
}  // namespace tl::test
