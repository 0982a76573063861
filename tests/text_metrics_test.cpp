// Text measured, broken into lines and cut as the simulated Mac draws it;
// hostile bytes never crash it or make it read past the text; without its
// fonts nothing starts.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <random>
#include <string_view>

#include "Fixture.h"
#include "Process.h"
#include "platform/sim/SimTextMetrics.h"
#include "platform/sim/SimViews.h"

namespace tl::sim {
namespace {

bool isUtf8(const std::string& s) { return validUtf8(s) == s; }

TEST(TextMetrics, BreaksLinesAsChineseIsSetAndCutsWithAnEllipsis) {
  const auto& m = SimTextMetrics::shared();
  Font font;  // 13 pt
  // Ideographs are one em each; Latin letters are narrower and kerned.
  EXPECT_DOUBLE_EQ(m.width("帮助", font), 26);
  EXPECT_LT(m.width("il", font), 13);
  EXPECT_NE(m.width("AV", font), m.width("A", font) + m.width("V", font));

  // A closing mark never begins a line; words stay whole where they fit.
  auto lines = m.wrap("甲乙丙，丁戊", font, 3 * 13);
  ASSERT_EQ(lines, (std::vector<std::string>{"甲乙", "丙，丁", "戊"}));
  EXPECT_EQ(m.wrap("hello world", font, m.width("hello w", font)),
            (std::vector<std::string>{"hello", "world"}));

  std::string cut = m.fit("一段很长很长的说明", font, 5 * 13, true);
  EXPECT_EQ(cut, "一段很长…");
  EXPECT_EQ(m.fit("一段很长很长的说明", font, 5 * 13, false), "一段很长很");
  EXPECT_EQ(m.fit("短", font, 100, true), "短");
}

// Every prefix of awkward and random bytes, each in a buffer of exactly
// its size, so that AddressSanitizer sees a read one byte too far.
TEST(TextMetrics, BytesThatAreNotUtf8AreDrawnAsReplacementsAndNeverReadPastTheEnd) {
  const auto& m = SimTextMetrics::shared();
  std::vector<std::string> samples = {"\xE5\xB8", "\xF0\x9F\x98", "a\x80\xBF", "\xC0\xAF", "\xED\xA0\x80",
                                      "\xF4\x90\x80\x80", "\xFF\xFE 帮\xE5", std::string("\0\xE5", 2)};
  std::mt19937 random(18);
  for (int i = 0; i < 200; ++i) {
    std::string s(random() % 40, '\0');
    for (auto& c : s) c = static_cast<char>(random() % 4 == 0 ? 0xE5 : random());
    samples.push_back(s);
  }
  for (const auto& sample : samples) {
    for (size_t n = 0; n <= sample.size(); ++n) {
      auto buffer = std::make_unique<char[]>(n);
      std::copy(sample.begin(), sample.begin() + static_cast<long>(n), buffer.get());
      std::string_view text(buffer.get(), n);
      for (Font font : {Font{}, Font{11, FontWeight::Semibold, true}}) {
        double w = m.width(text, font);
        EXPECT_TRUE(w >= 0 && w < 1e5);
        for (const auto& line : m.wrap(text, font, 40)) EXPECT_TRUE(isUtf8(line));
        std::string cut = m.fit(text, font, 30, true);
        EXPECT_TRUE(isUtf8(cut));
        EXPECT_LE(m.width(cut, font), 30 + 1e-6);
      }
    }
  }
  EXPECT_EQ(validUtf8("a\xE5\xB8z"), "a\uFFFD\uFFFDz");
}

TEST(TextMetrics, EachFaceIsOpenedOnceThoughCheckedAndUsedAgain) {
  EXPECT_EQ(SimTextMetrics::loadError(), "");
  const auto& m = SimTextMetrics::shared();
  for (FontWeight weight : {FontWeight::Regular, FontWeight::Semibold})
    EXPECT_GT(m.width("Tuckline 汉字 \u2325\u2303", Font{13, weight}), 0);
  EXPECT_EQ(SimTextMetrics::loadError(), "");
  // Regular and bold, each in the main family and its fallback.
  EXPECT_EQ(SimTextMetrics::facesOpened(), 4);
}

TEST(TextMetrics, AMissingFontStopsTheStartWithOneLineNamingThePackage) {
  std::string root = test::makeTempDir();
  setenv("TUCKLINE_FONT_DIR", root.c_str(), 1);
  std::string error = SimTextMetrics::loadError();
  EXPECT_NE(error.find("fonts-noto-cjk"), std::string::npos) << error;
#ifdef TUCKLINE_CONSOLE_PATH
  pid_t pid = test::spawnConsole({"--home", root + "/home", "--script", "/dev/null"}, root + "/out", root + "/err");
  EXPECT_EQ(test::waitExit(pid), 1);
  EXPECT_EQ(test::readFile(root + "/err"), "tuckline: " + error + "\n");
  EXPECT_EQ(test::readFile(root + "/out"), "");
#endif
  unsetenv("TUCKLINE_FONT_DIR");
  EXPECT_EQ(SimTextMetrics::loadError(), "");
  std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace tl::sim
