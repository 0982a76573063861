// Real processes of the console program sharing one simulated home: the
// single-instance rule across processes, and no stale entry after kill -9.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cmath>

#include "Fixture.h"
#include "Process.h"

namespace tl::test {
namespace {

#ifdef TUCKLINE_CONSOLE_PATH
TEST_F(Desktop, SecondProcessGivesWayAndKilledProcessLeavesNoTrace) {
  std::string logPath = home + "/Library/Logs/Tuckline.log";
  // Nobody is there to dismiss a first-run alert, which would hold the
  // main queue and with it the creation record.
  store("didShowIntro", Value(true));
  pid_t first = spawnConsole({"--home", home, "--real", "--headless"});
  ASSERT_GT(first, 0);
  ASSERT_TRUE(eventually([&] { return readFile(logPath).find("创建状态栏项目") != std::string::npos; }));

  // The copy that gives way says which one it gave way to, and that its
  // lines never ran.
  std::ofstream(root + "/two-lines.txt") << "bar\n# a comment\n\nclick arrow\n";
  pid_t second = spawnConsole({"--home", home, "--virtual", "--script", root + "/two-lines.txt"}, "/dev/null",
                              root + "/err.txt");
  EXPECT_EQ(waitExit(second), 1);
  EXPECT_EQ(readFile(root + "/err.txt"), "tuckline: Tuckline already runs on this home as PID " + std::to_string(first) +
                                             " (a console's copy), so this copy gave way and quit; quit that one "
                                             "first (the menu's 退出 Tuckline, or: kill " + std::to_string(first) + ")\n"
                                             "tuckline: 2 lines not run\n");
  std::string text = readFile(logPath);
  EXPECT_NE(text.find("] 检测到已有实例 PID=" + std::to_string(first) + "，本实例退出\n  菜单栏高度=24.0\n  进程 PID=" +
                      std::to_string(second) + "\n"),
            std::string::npos);

  // Copies giving way together while the log does not exist yet: the first
  // to create it never replaces another's, so every record is there.
  std::filesystem::remove(logPath);
  std::vector<pid_t> copies;
  for (int k = 0; k < 8; ++k) copies.push_back(spawnConsole({"--home", home, "--virtual", "--script", "/dev/null"}));
  for (pid_t copy : copies) EXPECT_EQ(waitExit(copy), 1);
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

// Said once at the terminal: a damaged preferences file (where its bytes
// went, that the settings are the defaults now), and a port in use with
// the way round it.
TEST_F(Desktop, DamagedPreferencesAndATakenPortAreSaidAtTheTerminal) {
  const std::string plist = home + "/Library/Preferences/com.ferrowick.tuckline.plist", err = root + "/err.txt";
  std::ofstream(plist) << "<plist><dict><key>half";
  std::ofstream(root + "/script.txt") << "click arrow\nclick arrow\ndefaults write hoverExpand -bool NO\n";
  EXPECT_EQ(waitExit(spawnConsole({"--home", home, "--virtual", "--script", root + "/script.txt"}, "/dev/null", err)), 0);
  EXPECT_EQ(readFile(err), "tuckline: The preferences file " + plist + " could not be read; its bytes were kept in " +
                               plist + ".corrupt, and the settings are back to their defaults until you change them.\n");
  EXPECT_EQ(readFile(plist + ".corrupt"), "<plist><dict><key>half");
  // A home whose logs folder cannot take a file.
  std::string other = root + "/other";
  std::filesystem::create_directories(other + "/Library");
  std::ofstream(other + "/Library/Logs") << "a file where the folder goes";
  EXPECT_EQ(waitExit(spawnConsole({"--home", other, "--virtual", "--script", "/dev/null"}, "/dev/null", err)), 0);
  EXPECT_EQ(readFile(err).rfind("tuckline: Nothing can be written in " + other + "/Library/Logs: the diagnostics log stays empty", 0),
            0u) << readFile(err);
#ifdef TUCKLINE_WEB_PATH
  int held = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof at;
  ASSERT_EQ(bind(held, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  ASSERT_EQ(listen(held, 1) == 0 && getsockname(held, reinterpret_cast<sockaddr*>(&at), &length) == 0, true);
  std::string port = std::to_string(ntohs(at.sin_port));
  EXPECT_EQ(waitExit(spawnProgram(TUCKLINE_WEB_PATH, {"--home", home, "--port", port}, "/dev/null", err)), 1);
  EXPECT_EQ(readFile(err), "tuckline-web: cannot listen on 127.0.0.1:" + port +
                               " (another program may hold it); --port N picks another port, --port 0 lets the "
                               "system choose one\n");
  close(held);
#endif
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
           {"--notch-width", "900"},
           {"--fault", "separator:no-wheel"},
           {"--hotkey-taken", "ctrl+"},
           {"--frontmost", "Word"},
       }) {
    bad.insert(bad.begin(), {"--home", fresh, "--script", "/dev/null"});
    EXPECT_EQ(waitExit(spawnConsole(bad, "/dev/null", err)), 2) << bad[4];
    std::string message = readFile(err);
    EXPECT_EQ(count(message, "\n"), 1) << message;
    EXPECT_EQ(message.rfind("tuckline: " + bad[4], 0), 0u) << message;
    EXPECT_FALSE(std::filesystem::exists(fresh)) << bad[4];
  }
}

// Copies started at the same instant all see each other; the launch order
// keeps exactly one, and each of the others leaves its one record.
TEST_F(Desktop, SimultaneousStartsLeaveExactlyOneCopy) {
  store("didShowIntro", Value(true));
  // Appending: what a first write does when several race is another matter.
  std::ofstream(home + "/Library/Logs/Tuckline.log") << "";
  std::vector<pid_t> copies;
  for (int i = 0; i < 5; ++i)
    copies.push_back(spawnConsole({"--home", home, "--real", "--headless"}, "/dev/null", home + "/stderr-" + std::to_string(i)));
  std::vector<pid_t> running = copies;
  eventually([&] {
    std::erase_if(running, [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) == pid; });
    return running.size() <= 1;
  });
  // The one that stays has its items recorded; by then every other is gone.
  eventually([&] { return readFile(home + "/Library/Logs/Tuckline.log").find("创建状态栏项目") != std::string::npos; });
  std::erase_if(running, [](pid_t pid) { return waitpid(pid, nullptr, WNOHANG) == pid; });
  ASSERT_EQ(running.size(), 1u);
  std::string text = readFile(home + "/Library/Logs/Tuckline.log");
  EXPECT_EQ(count(text, "，本实例退出"), 4) << text;
  kill(running[0], SIGTERM);
  size_t survivor = std::find(copies.begin(), copies.end(), running[0]) - copies.begin();
  EXPECT_EQ(waitExit(running[0]), 0) << readFile(home + "/stderr-" + std::to_string(survivor));
}
#endif

}  // namespace
}  // namespace tl::test
