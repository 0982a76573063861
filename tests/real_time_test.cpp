// A person's session runs on the machine's clock: what the log and the
// system log stamp is the wall-clock time, in every process of the home.
// The only tests that wait for real time, a few seconds in all.
#include <ctime>

#include "Fixture.h"
#include "Process.h"
#include "diagnostics/Diagnostics.h"
#include "platform/sim/SimClock.h"
#include "platform/sim/SimSystem.h"

namespace tl::test {
namespace {

// The stamps of the log's record headers, in file order.
std::vector<double> stamps(const std::string& log) {
  std::vector<double> out;
  std::istringstream in(log);
  for (std::string line; std::getline(in, line);)
    if (line.size() > 21 && line[0] == '[' && line[20] == ']')
      if (auto t = sim::parseLocalDate(line.substr(1, 19))) out.push_back(*t);
  return out;
}

TEST_F(Desktop, RealTimeStampsAreTheWallClock) {
  store("didShowIntro", Value(true));
  sim::SimDesktop::Config c;
  c.home = home;
  c.time = sim::SimRunLoop::Time::Real;
  desktop = std::make_unique<sim::SimDesktop>(c);
  desktop->launch([] { return tucklineMain(); });
  desktop->onMain([] {
    logDiagnostics("now", {});
    platform().systemLog().log("[Tuckline] now");
  });
  double wall = static_cast<double>(std::time(nullptr));
  auto s = stamps(log());
  ASSERT_EQ(s.size(), 1u) << log();
  EXPECT_LT(std::abs(s[0] - wall), 60);
  std::string line = syslog();
  auto logged = sim::parseLocalDate(line.substr(0, 19));
  ASSERT_TRUE(logged) << line;
  EXPECT_LT(std::abs(*logged - wall), 60);
}

#ifdef TUCKLINE_CONSOLE_PATH
TEST_F(Desktop, ACopyStartedByLaunchdStampsNoEarlierThanTheRecordBefore) {
  store("didShowIntro", Value(true));
  std::string script = root + "/script.txt";
  std::ofstream(script) << "wait 1.6\nright-click arrow\nchoose 设置…\nswitch 开机自动启动\nawait 本实例退出\n";
  pid_t pid = spawnConsole({"--home", home, "--real", "--script", script});
  ASSERT_EQ(waitExit(pid), 0);
  std::string text = log();
  auto s = stamps(text);
  ASSERT_EQ(s.size(), 2u) << text;
  EXPECT_NE(text.find("] 检测到已有实例 PID="), std::string::npos);
  EXPECT_LE(s[0], s[1]) << text;
}
#endif

}  // namespace
}  // namespace tl::test
