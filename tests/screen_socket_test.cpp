// A copy's screen socket and the page's server reading it, against peers
// that send too deep, too long or not at all, sockets that are not what
// their names say, and a process out of descriptors.
#include <malloc.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <atomic>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "Fixture.h"
#include "Process.h"
#include "frontends/web/ScreenShare.h"
#ifdef TUCKLINE_WEB_PATH
#include "frontends/web/Session.h"
#endif

#if defined(__SANITIZE_ADDRESS__)
#define TUCKLINE_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TUCKLINE_ASAN 1
#endif
#endif
#ifdef TUCKLINE_ASAN
// AddressSanitizer's allocator interface; gcc ships no header for it.
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace tl::test {
namespace {

using nlohmann::json;

// A raw end of a screen socket: connected to `path`, or listening there.
struct End {
  int fd = -1;
  std::string in;
  explicit End(const std::string& path, bool listen = false) {
    sockaddr_un addr{AF_UNIX, {}};
    path.copy(addr.sun_path, sizeof addr.sun_path - 1);
    fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    auto* a = reinterpret_cast<sockaddr*>(&addr);
    if (listen ? bind(fd, a, sizeof addr) != 0 || ::listen(fd, 4) != 0 : connect(fd, a, sizeof addr) != 0) fd = -1;
  }
  End(int accepted) : fd(accepted) {}
  ~End() { if (fd >= 0) close(fd); }
  void send(const std::string& bytes) {
    for (size_t at = 0; at < bytes.size();) {
      ssize_t n = ::send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
      if (n <= 0) return;
      at += static_cast<size_t>(n);
    }
  }
  // The next line, or nothing once the other end hung up or 5 s passed.
  std::optional<std::string> line() {
    for (size_t end; (end = in.find('\n')) == std::string::npos;) {
      pollfd p{fd, POLLIN, 0};
      char buf[65536];
      ssize_t n = poll(&p, 1, 5000) == 1 ? recv(fd, buf, sizeof buf, 0) : 0;
      if (n <= 0) return std::nullopt;
      in.append(buf, static_cast<size_t>(n));
    }
    std::string l = in.substr(0, in.find('\n'));
    in.erase(0, l.size() + 1);
    return l;
  }
  // The answers up to that to request `last`, by id.
  std::map<uint64_t, int> answersUntil(uint64_t last) {
    std::map<uint64_t, int> got;
    while (auto l = line()) {
      json j = json::parse(*l);
      if (!j.contains("id")) continue;
      got[j["id"]] = j["status"];
      if (j["id"] == last) break;
    }
    return got;
  }
};

std::string click(int id, const std::string& after = "") {
  return "{\"id\":" + std::to_string(id) + ",\"input\":\"{\\\"type\\\":\\\"click\\\",\\\"item\\\":\\\"arrow\\\"}\"}" + after + "\n";
}

size_t heapInUse() {
#ifdef TUCKLINE_ASAN
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

class ScreenSocket : public Desktop {
 protected:
  void SetUp() override {
    Desktop::SetUp();
    store("didShowIntro", Value(true));
  }
  std::string screens() { return web::screensFolder(home); }
  std::string socketOf(int32_t pid) { return screens() + "/" + std::to_string(pid) + ".sock"; }
  bool collapsed() { return app([](AppDelegate& a) { return a.isCollapsed(); }); }
};

// A process id nothing runs under any more.
pid_t deadPid() {
  pid_t pid = spawnProgram("/bin/true", {});
  waitExit(pid);
  return pid;
}

// Only a whole line within the bounds is carried out: a value nested
// 60,000 deep, a command with a byte 0 or anything else after it, a body
// nested too deep; a line with no end past the longest request ends the
// connection; and the copy goes on answering.
TEST_F(ScreenSocket, ACopyCarriesOutOnlyWholeShallowLines) {
  auto& d = launch();
  web::ScreenHost host(d);
  End page(socketOf(getpid()));
  ASSERT_EQ(page.line().value_or("").rfind("{\"state\":", 0), 0u);
  page.send("{\"id\":" + std::string(60000, '[') + std::string(60000, ']') + "}\n");
  page.send(click(2, std::string(1, '\0')));
  page.send(click(3, " x"));
  page.send("{\"id\":4,\"input\":\"" + std::string(web::kDeepestLine + 1, '[') + "\"}\n");
  page.send("{\"id\":5,\"refresh\":true}\n");
  EXPECT_EQ(page.answersUntil(5), (std::map<uint64_t, int>{{4, 400}, {5, 200}}));
  EXPECT_FALSE(collapsed());
  page.send(click(6));
  EXPECT_EQ(page.answersUntil(6), (std::map<uint64_t, int>{{6, 200}}));
  EXPECT_TRUE(collapsed());
  page.send(std::string(web::kLongestRequest + 1, ' '));
  while (page.line()) {
  }
  End next(socketOf(getpid()));
  next.send("{\"id\":7,\"refresh\":true}\n");
  EXPECT_EQ(next.answersUntil(7)[7], 200);
}

// Peers that never read cost the copy what one of them holds unsent, not a
// state queued for each change: 20 of them through 40 changes of a state
// of some 130 kB.
TEST_F(ScreenSocket, SilentPeersCostAtMostOneStateEach) {
  std::string record = "[2026-12-06 12:00:00] 切换为收起\n  菜单栏高度=24.0\n";
  std::string full;
  while (full.size() < 70000) full += record;
  std::ofstream(home + "/Library/Logs/Tuckline.log") << full;
  std::filesystem::create_directories(home + "/.simdesktop");
  std::ofstream(home + "/.simdesktop/system.log") << full;
  auto& d = launch();
  web::ScreenHost host(d);
  End page(socketOf(getpid()));
  size_t state = page.line().value_or("").size();
  std::vector<std::unique_ptr<End>> silent;
  for (int k = 0; k < 20; ++k) silent.push_back(std::make_unique<End>(socketOf(getpid())));
  size_t before = heapInUse();
  for (int k = 0; k < 20; ++k) {
    d.click("arrow");
    d.advance(0.3);  // its log record: another change
  }
  page.send("{\"id\":1,\"refresh\":true}\n");
  EXPECT_EQ(page.answersUntil(1)[1], 200);
  EXPECT_GT(state, 128000u);
  EXPECT_LT(heapInUse(), before + 20 * state + (4u << 20)) << "state " << state;
}

// The page's server takes from a copy only whole, shallow lines, answers
// only to the requests it waits for, and lets a copy go that sends a line
// with no end past the longest state.
TEST_F(ScreenSocket, APageServerTakesOnlyWholeShallowStates) {
  ASSERT_TRUE(web::makeScreensFolder(home));
  End copy(socketOf(getpid()), true);
  auto link = web::ScreenLink::connect(home, getpid());
  ASSERT_TRUE(link);
  End served(accept4(copy.fd, nullptr, nullptr, SOCK_CLOEXEC));
  served.send("{\"state\":{\"a\":" + std::string(100000, '[') + std::string(100000, ']') + "}}\n");
  served.send(std::string("{\"state\":{\"pid\":2}}") + '\0' + "\n{\"state\":{\"pid\":1}}\n{\"id\":9,\"status\":200}\n");
  std::optional<std::pair<int, std::string>> answer;
  std::atomic<bool> answered{false};
  std::thread asking([&] {
    answer = link->request({{"refresh", true}}, std::chrono::seconds(5));
    answered = true;
  });
  ASSERT_TRUE(served.line());
  served.send("{\"id\":1,\"status\":\"fine\",\"body\":[]}\n");
  std::vector<json> states;
  auto take = [&] {
    pollfd p{link->fd(), POLLIN, 0};
    return poll(&p, 1, 100) == 0 || link->receive([&](json s) { states.push_back(std::move(s)); });
  };
  while (!answered) ASSERT_TRUE(take());
  asking.join();
  while (states.empty()) ASSERT_TRUE(take());
  EXPECT_EQ(states, (std::vector<json>{json{{"pid", 1}}}));
  EXPECT_EQ(answer, (std::make_pair(500, std::string())));
  std::thread flooding([&] { served.send(std::string(web::kLongestState + 1, ' ')); });
  for (int k = 0; k < 5000 && take(); ++k) {
  }
  flooding.join();
  EXPECT_EQ(states.size(), 1u);
  EXPECT_FALSE(link->request({{"refresh", true}}, std::chrono::seconds(1)));
}

// Sockets and folders are not trusted by name: a link in a socket's place,
// a socket whose listener is not the process its name gives, a screens
// folder that is a link or another user's (said once, with what to do). A
// socket that a killed copy left behind goes with the next copy; a live
// one stays.
TEST_F(ScreenSocket, SocketsAndFoldersAreNotTrustedByName) {
  ASSERT_TRUE(web::makeScreensFolder(home));
  End real(screens() + "/real.sock", true);
  symlink("real.sock", socketOf(getpid()).c_str());
  EXPECT_FALSE(web::ScreenLink::connect(home, getpid()));
  End other(socketOf(getppid()), true);  // listened on by this process
  EXPECT_FALSE(web::ScreenLink::connect(home, getppid()));
  pid_t killed = deadPid(), stillListening = deadPid();
  End(socketOf(killed), true);
  End listening(socketOf(stillListening), true);
  EXPECT_FALSE(web::ScreenLink::connect(home, killed));
  EXPECT_FALSE(std::filesystem::exists(socketOf(killed)));
  End(socketOf(killed), true);
  remove(socketOf(getpid()).c_str());
  auto& d = launch();
  {
    web::ScreenHost host(d);
    EXPECT_TRUE(host.listening());
    EXPECT_FALSE(std::filesystem::exists(socketOf(killed)));
    for (pid_t live : {getppid(), stillListening}) EXPECT_TRUE(std::filesystem::exists(socketOf(live)));
  }
  std::filesystem::remove_all(screens());
  std::filesystem::create_directories(root + "/elsewhere");
  std::filesystem::create_directory_symlink(root + "/elsewhere", screens());
  testing::internal::CaptureStderr();
  for (int k = 0; k < 2; ++k) EXPECT_FALSE(web::ScreenHost(d).listening());
  std::string said = testing::internal::GetCapturedStderr(), problem = web::screensFolderProblem(home);
  EXPECT_EQ(count(said, problem), 1) << said;
  EXPECT_NE(problem.find("is a symbolic link"), std::string::npos);
  EXPECT_NE(problem.find("remove it (rm " + screens() + ")"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(root + "/elsewhere"));
#ifdef TUCKLINE_WEB_PATH
  {
    // The page is told too, without the terminal hearing it twice.
    sim::SimDesktop::Config config;
    config.home = home;
    testing::internal::CaptureStderr();
    web::Session session(config);
    session.launch();
    auto notices = nlohmann::json::parse(session.snapshot(true).json)["notices"];
    said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count_if(notices.begin(), notices.end(), [&](const auto& n) { return n["text"] == problem; }), 1)
        << notices;
    EXPECT_EQ(count(said, problem), 0) << said;  // said above, once for the process
  }
#endif
  if (geteuid() == 0) {
    std::filesystem::remove(screens());
    std::filesystem::create_directory(screens());
    ASSERT_EQ(chown(screens().c_str(), 4242, 4242), 0);
    EXPECT_NE(web::screensFolderProblem(home).find("belongs to another user (uid 4242)"), std::string::npos);
    EXPECT_FALSE(web::ScreenHost(d).listening());
  }
}

#ifdef TUCKLINE_CONSOLE_PATH
// A copy that may open 64 descriptors, with 200 peers at its socket: it
// serves a few, refuses the rest and says so once, does not spin, and its
// clicks still reach the log.
TEST_F(ScreenSocket, ACopyAtItsDescriptorLimitGoesOn) {
  pid_t copy = spawnProgram("/bin/sh", {"-c", "ulimit -n 64 && exec \"$0\" --home \"$1\" --headless",
                                         TUCKLINE_CONSOLE_PATH, home}, "/dev/null", root + "/err");
  struct Reap {
    pid_t pid;
    ~Reap() {
      if (waitpid(pid, nullptr, WNOHANG) == 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    }
  } reap{copy};
  ASSERT_TRUE(eventually([&] { return std::filesystem::exists(socketOf(copy)); })) << readFile(root + "/err");
  std::vector<std::unique_ptr<End>> peers;
  for (int k = 0; k < 200; ++k) peers.push_back(std::make_unique<End>(socketOf(copy)));
  auto cpu = [&] {
    auto stat = readFile("/proc/" + std::to_string(copy) + "/stat");
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string f;
    long ticks = 0;
    for (int k = 3; k <= 15 && fields >> f; ++k)
      if (k >= 14) ticks += std::stol(f);
    return static_cast<double>(ticks) / static_cast<double>(sysconf(_SC_CLK_TCK));
  };
  ASSERT_TRUE(peers[0]->line());
  double before = cpu();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_LT(cpu() - before, 0.2);
  peers[0]->send(click(1));
  EXPECT_EQ(peers[0]->answersUntil(1)[1], 200);
  EXPECT_TRUE(eventually([&] { return log().find("切换为收起") != std::string::npos; }));
  EXPECT_FALSE(peers.back()->line());
  kill(copy, SIGTERM);
  EXPECT_EQ(waitExit(copy), 0);
  EXPECT_EQ(count(readFile(root + "/err"), "refuses further peers"), 1) << readFile(root + "/err");
}
#endif

}  // namespace
}  // namespace tl::test
