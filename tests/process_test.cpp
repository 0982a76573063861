// Real processes of the console program sharing one simulated home: the
// single-instance rule across processes, and no stale entry after kill -9.
#include <cmath>

#include "Fixture.h"
#include "Process.h"

namespace tl::test {
namespace {

#ifdef TUCKLINE_CONSOLE_PATH
TEST_F(Desktop, SecondProcessGivesWayAndKilledProcessLeavesNoTrace) {
  std::string logPath = home + "/Library/Logs/Tuckline.log";
  pid_t first = spawnConsole({"--home", home, "--real", "--headless"});
  ASSERT_GT(first, 0);
  ASSERT_TRUE(eventually([&] { return readFile(logPath).find("创建状态栏项目") != std::string::npos; }));

  pid_t second = spawnConsole({"--home", home, "--virtual", "--script", "/dev/null"});
  EXPECT_EQ(waitExit(second), 0);
  std::string text = readFile(logPath);
  EXPECT_NE(text.find("] 检测到已有实例 PID=" + std::to_string(first) + "，本实例退出\n  菜单栏高度=24.0\n  进程 PID=" +
                      std::to_string(second) + "\n"),
            std::string::npos);

  // Copies giving way together while the log does not exist yet: the first
  // to create it never replaces another's, so every record is there.
  std::filesystem::remove(logPath);
  std::vector<pid_t> copies;
  for (int k = 0; k < 8; ++k) copies.push_back(spawnConsole({"--home", home, "--virtual", "--script", "/dev/null"}));
  for (pid_t copy : copies) EXPECT_EQ(waitExit(copy), 0);
  EXPECT_EQ(count(readFile(logPath), "检测到已有实例"), 8);

  kill(first, SIGKILL);  // no chance to clean up
  waitExit(first);

  // The next process finds nobody running and starts normally.
  std::string script = root + "/script.txt";
  std::ofstream(script) << "wait 1.5\nbar\n";
  pid_t third = spawnConsole({"--home", home, "--virtual", "--script", script});
  EXPECT_EQ(waitExit(third), 0);
  EXPECT_EQ(count(readFile(logPath), "检测到已有实例"), 8);
  EXPECT_EQ(count(readFile(logPath), "创建状态栏项目"), 1);

  // SIGTERM is an orderly quit.
  pid_t fourth = spawnConsole({"--home", home, "--real", "--headless"});
  ASSERT_TRUE(eventually([&] { return count(readFile(logPath), "创建状态栏项目") == 2; }));
  kill(fourth, SIGTERM);
  EXPECT_EQ(waitExit(fourth), 0);
}

TEST_F(Desktop, AnOptionThatMakesNoSenseStartsNothing) {
  std::string err = root + "/err.txt";
  std::string fresh = root + "/fresh";
  for (std::vector<std::string> bad : {
           std::vector<std::string>{"--start", "2026-02-30 10:00"},
           {"--start", "2026-12-06 12:00", "--real"},
           {"--screen-width", "12"},
           {"--screen-width", "wide"},
           {"--thickness", "0"},
           {"--memory", "sometimes"},
           {"--items", "Dropbox:-3"},
       }) {
    bad.insert(bad.begin(), {"--home", fresh, "--script", "/dev/null"});
    EXPECT_EQ(waitExit(spawnConsole(bad, "/dev/null", err)), 2) << bad[4];
    std::string message = readFile(err);
    EXPECT_EQ(count(message, "\n"), 1) << message;
    EXPECT_EQ(message.rfind("tuckline: " + bad[4], 0), 0u) << message;
    EXPECT_FALSE(std::filesystem::exists(fresh)) << bad[4];
  }
}
#endif

}  // namespace
}  // namespace tl::test
