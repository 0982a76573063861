// Byte-exact diagnostics records, and how the log file is created, appended
// and protected.
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <random>

#include "Fixture.h"
#include "app/NumberText.h"
#include "diagnostics/Diagnostics.h"

namespace tl::test {
namespace {

// A stand-in item with a window at a chosen frame, for the record forms the
// menu bar never produces by itself.
class FakeWindow : public Window {
 public:
  Rect f;
  std::shared_ptr<Screen> s;
  bool visible = true;
  Rect frame() const override { return f; }
  std::shared_ptr<Screen> screen() const override { return s; }
  bool isVisible() const override { return visible; }
};

class FakeButton : public sim::SimStatusBarButton {
 public:
  FakeButton() : SimStatusBarButton(nullptr) {}
  std::shared_ptr<Window> w;
  std::shared_ptr<Window> window() const override { return w; }
};

class FakeItem : public StatusItem {
 public:
  std::shared_ptr<FakeButton> b;
  double len = 16;
  std::shared_ptr<StatusBarButton> button() const override { return b; }
  double length() const override { return len; }
  void setLength(double l) override { len = l; }
  void setMenu(std::shared_ptr<Menu>) override {}
};

std::shared_ptr<FakeItem> item(Rect frame, bool screen = true, bool image = true, bool window = true) {
  auto i = std::make_shared<FakeItem>();
  i->b = std::make_shared<FakeButton>();
  if (window) {
    auto w = std::make_shared<FakeWindow>();
    w->f = frame;
    if (screen) w->s = std::make_shared<sim::SimScreen>(Rect{0, 0, 1512, 982});
    i->b->w = w;
  }
  if (image) i->b->setImage(sim::SimImage::bitmap({1, 14}));
  return i;
}

TEST(NumberText, ShortestRoundTripAndTruncation) {
  EXPECT_EQ(decimalFractionText(16), "16.0");
  EXPECT_EQ(decimalFractionText(22.5), "22.5");
  EXPECT_EQ(decimalFractionText(-1), "-1.0");
  EXPECT_EQ(decimalFractionText(10000), "10000.0");
  EXPECT_EQ(decimalFractionText(0.1), "0.1");
  EXPECT_EQ(decimalFractionText(1e21), "1000000000000000000000.0");
  EXPECT_EQ(decimalFractionText(std::nan("")), "nan");
  EXPECT_EQ(wholeNumberText(1.9), "1");
  EXPECT_EQ(wholeNumberText(-1.9), "-1");
  EXPECT_EQ(wholeNumberText(-0.75), "0");
  EXPECT_EQ(wholeNumberText(-10.5), "-10");
  EXPECT_EQ(wholeNumberText(1e300), "9223372036854775807");
  EXPECT_EQ(wholeNumberText(-INFINITY), "-inf");
}

// The Mac's libc++ lacks floating-point to_chars at our deployment target,
// so the text is made another way; this machine's standard library still
// has it, and is the reference the output must equal byte for byte: random
// bit patterns over every exponent, both sides of every power of two (where
// the interval that reads back is lopsided), and the values the log prints.
TEST(NumberText, EqualsTheStandardLibrarysShortestFixedText) {
  auto reference = [](double v) {
    char buf[400];
    auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    std::string text(buf, res.ptr);
    if (text.find('.') == std::string::npos) text += ".0";
    return text;
  };
  std::vector<double> values = {0.0, -0.0, 5e-324, 1e23, 9007199254740993.0, 0.3, 2.5e-5, 1e-7, 123.456};
  for (int e = -1074; e < 1024; e += 3) {
    double p = std::ldexp(1.0, e);
    values.insert(values.end(), {p, std::nextafter(p, 0.0), std::nextafter(p, 2 * p), -p});
  }
  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; ++i) {
    uint64_t bits = random();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (std::isfinite(v)) values.push_back(v);
    values.push_back(std::round(std::uniform_real_distribution<double>(-20000, 20000)(random) * 4) / 4);
  }
  for (double v : values) ASSERT_EQ(decimalFractionText(v), reference(v)) << "bits of " << v;
}

TEST_F(Desktop, RecordFormsByteForByte) {
  store("didShowIntro", Value(true));
  auto& d = launch();
  std::string pid = "  进程 PID=" + std::to_string(getpid()) + "\n";
  std::string head = "[2026-12-06 12:00:00] ctx\n  菜单栏高度=24.0\n";
  d.onMain([&] {
    EXPECT_EQ(diagnosticsRecord("ctx", {}), head + pid);
    EXPECT_EQ(diagnosticsRecord("ctx", {{"分隔符", nullptr}}), head + "  分隔符: 未创建\n" + pid);
    EXPECT_EQ(diagnosticsRecord("ctx", {{"箭头", item({}, true, true, false)}}),
              head + "  箭头: button.window 为空（未挂载到菜单栏）\n" + pid);
    // Left of x 0: negative x, never on screen, whatever the width.
    EXPECT_EQ(diagnosticsRecord("ctx", {{"a", item({-1.9, 958.5, 10000, 24})}}),
              head + "  a: 有图标 length=16.0 x=-1 y=958 w=10000 h=24 可见=true 在屏内=false 屏幕宽=1512\n" + pid);
    EXPECT_EQ(diagnosticsRecord("ctx", {{"a", item({1.9, 0, 22.5, 24}, false)}}),
              head + "  a: 有图标 length=16.0 x=1 y=0 w=22 h=24 可见=true 在屏内=false 屏幕宽=-1\n" + pid);
    // No screen counts a width of 0: only a zero-width frame at x 0 fits.
    EXPECT_EQ(diagnosticsRecord("ctx", {{"a", item({0, 0, 0, 24}, false)}}),
              head + "  a: 有图标 length=16.0 x=0 y=0 w=0 h=24 可见=true 在屏内=true 屏幕宽=-1\n" + pid);
    EXPECT_EQ(diagnosticsRecord("ctx", {{"a", item({100, 958, 16, 24}, true, false)}}),
              head + "  a: 【无图标→看不见】 length=16.0 x=100 y=958 w=16 h=24 可见=true 在屏内=true 屏幕宽=1512\n" +
                  pid);
    auto collapsed = item({-8877, 958, 10000, 24});
    collapsed->len = 10000;
    EXPECT_NE(diagnosticsRecord("ctx", {{"a", collapsed}}).find("length=10000.0 x=-8877"), std::string::npos);

    // The same instant in other zones: local time, in the same form, in
    // Chinese and English alike. A locale with another calendar counts its
    // own years, as a Mac set to it does.
    auto header = [&] { return diagnosticsRecord("ctx", {}).substr(0, 22); };
    auto& defaults = d.standardUserDefaults();
    for (const char* locale : {"zh_CN", "zh-Hans_CN", "en_US", "en_GB"}) {
      defaults.setObject("AppleLocale", Value(std::string(locale)));
      for (auto [zone, text] : {std::pair{"Asia/Shanghai", "[2026-12-06 20:00:00] "},
                                {"America/New_York", "[2026-12-06 07:00:00] "},
                                {"Asia/Kathmandu", "[2026-12-06 17:45:00] "},
                                {"Pacific/Kiritimati", "[2026-12-07 02:00:00] "},
                                {"EST5EDT,M3.2.0,M11.1.0", "[2026-12-06 07:00:00] "},
                                {"UTC", "[2026-12-06 12:00:00] "}}) {
        setenv("TZ", zone, 1);
        EXPECT_EQ(header(), text) << locale << " " << zone;
      }
    }
    defaults.setObject("AppleLocale", Value(std::string("th_TH")));
    EXPECT_EQ(header(), "[2569-12-06 12:00:00] ");
    defaults.setObject("AppleLocale", Value(std::string("not a locale!")));
    EXPECT_EQ(header(), "[2026-12-06 12:00:00] ");
  });
}

TEST_F(Desktop, LogFileIsCreatedThenAppendedAndNeverReplaced) {
  store("didShowIntro", Value(true));
  std::string path = home + "/Library/Logs/Tuckline.log";
  auto& d = launch();
  d.onMain([&] { logDiagnostics("one", {}); });
  std::string first = log();
  EXPECT_EQ(count(first, "] one\n"), 1);
  d.onMain([&] { logDiagnostics("two", {}); });
  EXPECT_EQ(log(), first + first.substr(0, first.find("] one")) + "] two" + first.substr(first.find("] one") + 5));

  if (geteuid() != 0) {  // root writes through any permission bits
    chmod(path.c_str(), 0444);
    d.onMain([&] { logDiagnostics("three", {}); });
    chmod(path.c_str(), 0644);
    EXPECT_EQ(count(log(), "] three"), 0);
    EXPECT_EQ(count(log(), "] two"), 1);
  }
  // A file in the way that cannot be opened for writing at all keeps its content.
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  d.onMain([&] { logDiagnostics("four", {}); });
  EXPECT_TRUE(std::filesystem::is_directory(path));
  std::filesystem::remove(path);

  // Without ~/Library/Logs nothing is created, not even the folder.
  std::filesystem::remove_all(home + "/Library/Logs");
  d.onMain([&] { logDiagnostics("five", {}); });
  EXPECT_FALSE(std::filesystem::exists(home + "/Library/Logs"));
}

// Copies giving way at once on a home without a log: another copy creates
// the log at each moment between this copy's failed open and its own
// creation, and both first records are kept.
TEST_F(Desktop, FirstRecordsOfCopiesStartedAtOnceAreAllKept) {
  struct Racing : sim::SimFileManager {
    using SimFileManager::SimFileManager;
    std::string path;
    int at = 0, calls = 0;  // the call during which the other copy creates the log
    void other() {
      if (++calls == at) SimFileManager::createAtomically(path, "theirs\n", nullptr);
    }
    std::shared_ptr<FileHandle> fileHandleForWritingAtPath(const std::string& p) override {
      auto handle = SimFileManager::fileHandleForWritingAtPath(p);
      other();
      return handle;
    }
    bool fileExistsAtPath(const std::string& p) const override {
      bool exists = SimFileManager::fileExistsAtPath(p);
      const_cast<Racing*>(this)->other();
      return exists;
    }
  };
  std::string path = home + "/Library/Logs/Tuckline.log";
  for (int at : {1, 2}) {  // after the failed open, after the look
    std::filesystem::remove(path);
    Racing files(home);
    files.path = path;
    files.at = at;
    writeDiagnosticsRecord(files, path, "mine\n");
    EXPECT_EQ(log(), "theirs\nmine\n") << at;
  }
}

}  // namespace
}  // namespace tl::test

namespace tl::test {
namespace {

// An icon that vanished behind the notch or under long menus is explained
// by the record: its window is on the screen but not visible.
TEST_F(Desktop, ItemsHiddenByTheNotchOrByLongMenusAreLoggedNotVisible) {
  store("didShowIntro", Value(true));
  sim::SimMenuBar::Config notched;
  notched.notchWidth = sim::SimMenuBar::defaultNotchWidth(notched.screenWidth);  // 663.5 to 848.5
  // A wide item of another application pushes Tuckline's into the notch.
  notched.items.insert(notched.items.begin() + 1, {"Wide", 380, false});
  auto& d = launch(notched);
  d.advance(1.5);
  EXPECT_NE(log().find("  分隔符: 有图标 length=16.0 x=727 y=958 w=16 h=24 可见=false 在屏内=true 屏幕宽=1512\n"
                       "  箭头: 有图标 length=-1.0 x=743 y=958 w=23 h=24 可见=false 在屏内=true 屏幕宽=1512\n"),
            std::string::npos)
      << log();
  EXPECT_FALSE(d.click("arrow"));
  // Menu titles that would run into the notch go on right of it.
  d.onMain([&] {
    d.menuBar().bringToFront("DaVinci Resolve");
    for (const auto& t : d.menuBar().menuTitles()) EXPECT_TRUE(t.x + t.width <= 663.5 || t.x >= 848.5) << t.text;
  });

  desktop.reset();
  std::filesystem::remove(home + "/Library/Logs/Tuckline.log");
  sim::SimMenuBar::Config narrow;
  narrow.screenWidth = 1200;
  auto& e = launch(narrow);
  e.onMain([&] { EXPECT_TRUE(e.menuBar().find("arrow")->visible); });
  e.onMain([&] { ASSERT_TRUE(e.menuBar().bringToFront("DaVinci Resolve")); });
  // Every item under the menus is named, both of Tuckline's among them.
  EXPECT_NE(e.renderBar().find("hidden: separator arrow Dropbox"), std::string::npos) << e.renderBar();
  e.pressKey(kVK_ANSI_B, controlKey | optionKey | cmdKey);
  e.advance(0.3);
  EXPECT_NE(log().find("  箭头: 有图标 length=-1.0 x=811 y=958 w=23 h=24 可见=false 在屏内=true 屏幕宽=1200\n"),
            std::string::npos)
      << log();
  e.onMain([&] { e.menuBar().bringToFront("Finder"); });
  EXPECT_TRUE(e.click("arrow"));
}

}  // namespace
}  // namespace tl::test
