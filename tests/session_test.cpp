// One person's session across processes, as a Mac keeps it: the page shows
// whichever copy runs on its home, every way out ends a process and takes
// its place among the running applications with it, logging out ends what
// launchd started, and the launch order holds where no launch date is known.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <csignal>
#include <random>

#include "Fixture.h"
#include "Process.h"
#include "login/LaunchAgent.h"
#include "platform/sim/SimLaunchd.h"
#include "platform/sim/SimSession.h"
#include "platform/sim/SimSystem.h"
#ifdef TUCKLINE_WEB_PATH
#include "frontends/web/Session.h"
#endif

namespace tl::test {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::vector<int32_t> runningCopies(const std::string& home) {
  sim::SimWorkspace workspace(home);
  std::vector<int32_t> pids;
  for (const auto& app : workspace.runningApplicationsWithBundleIdentifier("com.ferrowick.tuckline"))
    pids.push_back(app.processIdentifier);
  return pids;
}

bool gone(pid_t pid) {
  auto st = sim::processStat(pid);
  return !st || st->state == 'Z';
}

// The exit status (128 + signal when killed), or -1 if it has not ended
// within `limit` seconds; how long it took in `took`.
int exitWithin(pid_t pid, double limit, double* took) {
  auto start = Clock::now();
  int status = 0;
  while (secondsSince(start) < limit) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      *took = secondsSince(start);
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  *took = limit;
  return -1;
}

// A copy launchd would not date, placed by its process's start instead:
// the newer copy with the lower process id gives way all the same.
TEST_F(Desktop, LaunchOrderWithoutLaunchDatesFollowsTheKernelsStartTimes) {
  store("didShowIntro", Value(true));
  for (bool olderHasHigherPid : {true, false}) {
    beforeLaunch = [olderHasHigherPid](sim::SimDesktop& d) {
      int32_t other = olderHasHigherPid ? getpid() + 1000 : 1;
      double own = *sim::processStartTime(getpid());
      d.simWorkspace().setStartTimes([=](int32_t pid) {
        // The other copy began ten seconds before this one, or after it.
        return std::optional<double>(pid == other ? own + (olderHasHigherPid ? -10 : 10) : own);
      });
      d.simWorkspace().addFakeInstance("com.ferrowick.tuckline", other, false);
    };
    auto& d = launch();
    d.advance(2);
    EXPECT_EQ(d.terminated(), olderHasHigherPid);
    // The record of the first round only: the second copy stayed.
    EXPECT_EQ(count(log(), "本实例退出"), 1) << log();
    desktop.reset();
  }
  // The real thing: a copy of this process without a launch date is placed
  // by its start time, which came before this test's copy was launched.
  sim::SimWorkspace w(home);
  w.registerLaunch("com.ferrowick.tuckline", false);
  auto apps = w.runningApplicationsWithBundleIdentifier("com.ferrowick.tuckline");
  ASSERT_EQ(apps.size(), 1u);
  ASSERT_TRUE(apps[0].launchDate);
  EXPECT_LT(*apps[0].launchDate, std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count());
}

#ifdef TUCKLINE_CONSOLE_PATH
class Processes : public Desktop {
 protected:
  void SetUp() override {
    Desktop::SetUp();
    store("didShowIntro", Value(true));
  }
  // Whatever a failed expectation left running goes with the test.
  void TearDown() override {
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root, ec))
      if (entry.path().parent_path().filename() == "screens" && entry.path().extension() == ".sock")
        if (pid_t pid = std::atoi(entry.path().stem().c_str()); pid > 0 && pid != getpid()) kill(pid, SIGKILL);
    Desktop::TearDown();
  }
  std::string screens() { return home + "/.simdesktop/screens"; }
  bool noScreens() {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(screens(), ec))
      if (e.path().filename().string()[0] != '.') return false;
    return true;
  }
};

// SIGTERM, SIGINT and SIGHUP end every kind of process within a second,
// its application quit in order: nothing left registered, no screen
// offered, no process behind.
TEST_F(Processes, EveryKindOfProcessEndsOnEveryQuitSignal) {
  struct Kind {
    std::string name;
    std::function<pid_t()> start;
  };
  std::string script = root + "/long.txt";
  std::ofstream(script) << "bar\nwait 60\nbar\n";
  int feed[2] = {-1, -1};
  std::vector<Kind> kinds = {
      {"console reading a pipe", [&] {
         if (pipe2(feed, O_CLOEXEC) != 0) return -1;
         pid_t pid = spawnConsole({"--home", home}, "/dev/null", root + "/err", feed[0]);
         close(feed[0]);
         return pid;
       }},
      {"console script in real time", [&] { return spawnConsole({"--home", home, "--real", "--script", script}, "/dev/null", root + "/err"); }},
      {"console without a window", [&] { return spawnConsole({"--home", home, "--headless"}, "/dev/null", root + "/err"); }},
#ifdef TUCKLINE_WEB_PATH
      {"browser desktop", [&] { return spawnProgram(TUCKLINE_WEB_PATH, {"--home", home, "--port", "0"}, "/dev/null", root + "/err"); }},
#endif
  };
  std::vector<double> times;
  for (const auto& kind : kinds) {
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
      pid_t pid = kind.start();
      ASSERT_GT(pid, 0);
      ASSERT_TRUE(eventually([&] {
        auto running = runningCopies(home);
        return std::count(running.begin(), running.end(), pid) == 1 && !noScreens();
      })) << kind.name << ": " << readFile(root + "/err");
      kill(pid, sig);
      double took = 0;
      EXPECT_EQ(exitWithin(pid, 1.0, &took), 0) << kind.name << " on signal " << sig << ": " << readFile(root + "/err");
      times.push_back(took);
      if (feed[1] >= 0) close(std::exchange(feed[1], -1));
      EXPECT_TRUE(runningCopies(home).empty()) << kind.name;
      EXPECT_TRUE(noScreens()) << kind.name;
      EXPECT_EQ(readFile(root + "/err").find("runtime error"), std::string::npos) << readFile(root + "/err");
    }
  }
  std::sort(times.begin(), times.end());
  std::printf("signal to exit: median %.3f s, worst %.3f s over %zu processes\n", times[times.size() / 2], times.back(),
              times.size());

  // A console's session ends what its login started, as logging out does.
  std::filesystem::create_directories(home + "/Library/LaunchAgents");
  std::ofstream(home + "/Library/LaunchAgents/com.example.sleeper.plist")
      << "<plist version=\"1.0\"><dict><key>Label</key><string>com.example.sleeper</string>"
         "<key>ProgramArguments</key><array><string>/bin/sleep</string><string>60</string></array>"
         "<key>RunAtLoad</key><true/></dict></plist>";
  std::ofstream(script) << "login\n";
  pid_t console = spawnConsole({"--home", home, "--virtual", "--script", script}, root + "/out", root + "/err");
  EXPECT_EQ(waitExit(console), 0) << readFile(root + "/err");
  std::string out = readFile(root + "/out");
  ASSERT_EQ(out.rfind("com.example.sleeper started PID ", 0), 0u) << out;
  EXPECT_NE(out.find(", which runs until this console ends, or until tuckline-launchctl bootout gui/"), std::string::npos);
  pid_t job = std::stoi(out.substr(out.find("PID ") + 4));
  EXPECT_TRUE(gone(job));
  EXPECT_FALSE(sim::launchdJob(home, "com.example.sleeper"));

  // Killed outright, it has no chance to log out: launchd unloads and stops
  // its jobs all the same, as soon as anything looks.
  std::ofstream(script) << "login\nwait 60\n";
  console = spawnConsole({"--home", home, "--real", "--script", script}, root + "/out", root + "/err");
  ASSERT_TRUE(eventually([&] { return sim::launchdJob(home, "com.example.sleeper").has_value(); }));
  job = sim::launchdJob(home, "com.example.sleeper")->pid;
  kill(console, SIGKILL);
  waitExit(console);
  std::ostringstream list, errors;
  EXPECT_EQ(sim::launchctlMain(home, {"list"}, list, errors), 0);
  EXPECT_EQ(list.str(), "PID\tStatus\tLabel\n");
  EXPECT_TRUE(gone(job));
}

// Killed at random moments of its start and of a busy run, a few hundred
// times, a process always ends in order: no sanitizer report, no signal
// death, nothing left running.
TEST_F(Processes, QuitSignalsAtRandomMomentsNeverOutrunTheTeardown) {
  int rounds = std::getenv("TUCKLINE_STORM") ? std::atoi(std::getenv("TUCKLINE_STORM")) : 200;
  std::signal(SIGPIPE, SIG_IGN);  // a copy that gave way reads no more
  std::mt19937 random(20261207);
  const int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};
  const char* commands = "hover arrow\nunhover\nclick arrow\nright-click arrow\nescape\nkey ctrl+opt+cmd+b\nbar\n";
  int reports = 0, deaths = 0, early = 0;
  std::vector<pid_t> all;
  for (int round = 0; round < rounds; round += 4) {
    struct Copy {
      pid_t pid;
      int feed;
      std::string err;
      int sig = 0;
    };
    std::vector<Copy> copies;
    for (int k = 0; k < 4 && round + k < rounds; ++k) {
      std::string where = root + "/h" + std::to_string(k), err = root + "/err" + std::to_string(k);
      int fds[2] = {-1, -1};
      ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
      // Half start up on a home of their own; the rest share one, so some
      // give way while the other is being torn down.
      std::vector<std::string> args = {"--home", k % 2 ? where : home};
      if (k == 3) args.push_back("--headless");
      pid_t pid = spawnConsole(args, "/dev/null", err, fds[0]);
      close(fds[0]);
      fcntl(fds[1], F_SETFL, O_NONBLOCK);
      copies.push_back({pid, fds[1], err});
      all.push_back(pid);
    }
    auto until = Clock::now() + std::chrono::milliseconds(random() % 700);
    while (Clock::now() < until) {
      for (auto& c : copies) [[maybe_unused]] auto n = write(c.feed, commands, std::strlen(commands));
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    for (auto& c : copies) kill(c.pid, c.sig = kQuitSignals[random() % 3]);
    for (auto& c : copies) {
      double took = 0;
      int status = exitWithin(c.pid, 5.0, &took);
      close(c.feed);
      std::string err = readFile(c.err);
      bool report = err.find("runtime error") != std::string::npos || err.find("Sanitizer") != std::string::npos;
      reports += report;
      // A signal in the first instants, before the program has taken the
      // quit signals for itself, ends it as the signal's default action
      // ends a Mac application: it had nothing yet to put in order.
      early += status == 128 + c.sig;
      deaths += status != 0 && status != 1 && status != 128 + c.sig;
      EXPECT_FALSE(report) << err;
      EXPECT_TRUE(status == 0 || status == 1 || status == 128 + c.sig) << status << "\n" << err;
    }
  }
  std::printf("%d quit signals: %d sanitizer reports, %d processes that did not end in order, %d ended before "
              "taking the signals\n", rounds, reports, deaths, early);
  EXPECT_TRUE(noScreens());
  for (pid_t pid : all) EXPECT_TRUE(gone(pid));
  EXPECT_TRUE(runningCopies(home).empty());
}

#ifdef TUCKLINE_WEB_PATH
// The page shows whichever copy runs on its home and drives it: its own;
// a console's after its own quit, with no ghost of its own left to give
// way to; the one "Log in" started, within a second; and logging out takes
// that one away.
TEST_F(Processes, ThePageShowsAndDrivesWhicheverCopyRunsOnItsHome) {
  sim::beginSession();
  sim::SimDesktop::Config config;
  config.home = home;
  web::Session session(config);
  session.launch();
  auto state = [&] { return nlohmann::json::parse(session.snapshot(true).json); };
  auto input = [&](const nlohmann::json& body) { return session.input(body.dump()); };
  auto shows = [&](int32_t pid) {
    return eventually([&] {
      auto s = state();
      return s["pid"] == pid && !s["terminated"].get<bool>() && s["items"].size() > 0;
    });
  };
  EXPECT_TRUE(shows(getpid()));

  // A console started beside it gives way to the copy the page shows.
  pid_t console = spawnConsole({"--home", home, "--virtual", "--script", "/dev/null"}, "/dev/null", root + "/err");
  EXPECT_EQ(waitExit(console), 1);
  EXPECT_NE(readFile(root + "/err").find("as PID " + std::to_string(getpid()) + " (a copy), so this copy gave way"),
            std::string::npos);
  EXPECT_TRUE(shows(getpid()));

  // Quit on the page: nothing of this process counts as running any more,
  // so the next console stays, and the page shows it.
  // Its windows go with it: the settings window open at the quit is not
  // left on the screen.
  EXPECT_EQ(input({{"type", "rightClick"}, {"item", "arrow"}}).first, 200);
  EXPECT_EQ(input({{"type", "menu"}, {"choose", "设置…"}}).first, 200);
  EXPECT_EQ(state()["windows"].size(), 1u);
  EXPECT_EQ(input({{"type", "rightClick"}, {"item", "arrow"}}).first, 200);
  EXPECT_EQ(input({{"type", "menu"}, {"choose", "退出 Tuckline"}}).first, 200);
  session.waitUntilEnded();
  EXPECT_EQ(state()["windows"].size(), 0u);
  EXPECT_TRUE(runningCopies(home).empty());
  console = spawnConsole({"--home", home, "--headless"}, "/dev/null", root + "/err");
  ASSERT_TRUE(shows(console)) << readFile(root + "/err");
  EXPECT_EQ(count(log(), "本实例退出"), 1);
  EXPECT_EQ(input({{"type", "click"}, {"item", "arrow"}}).first, 200);
  EXPECT_TRUE(state()["app"]["collapsed"]);
  EXPECT_EQ(input({{"type", "launch"}}).first, 409);  // it is running
  kill(console, SIGTERM);
  EXPECT_EQ(waitExit(console), 0);
  EXPECT_TRUE(eventually([&] { return state()["terminated"] == true; }));

  // Log in: the agent's copy shows on the page within a second.
  std::filesystem::create_directories(home + "/Library/LaunchAgents");
  std::ofstream(home + "/Library/LaunchAgents/com.ferrowick.tuckline.plist")
      << launchAgentPlist("com.ferrowick.tuckline", TUCKLINE_WEB_PATH);
  auto loggedIn = Clock::now();
  auto [status, body] = input({{"type", "login"}});
  ASSERT_EQ(status, 200);
  auto jobs = nlohmann::json::parse(body)["jobs"];
  ASSERT_EQ(jobs.size(), 1u);
  int32_t job = jobs[0]["pid"];
  // Said as it is: that copy stayed, and runs.
  EXPECT_NE(nlohmann::json::parse(body)["text"].get<std::string>().find(
                "Tuckline runs as PID " + std::to_string(job) + " (the launch agent's copy (started at login))."),
            std::string::npos);
  ASSERT_TRUE(shows(job));
  double shown = secondsSince(loggedIn);
  std::printf("Log in to the agent's items on the page: %.3f s\n", shown);
  EXPECT_LT(shown, 1.0);
  EXPECT_EQ(input({{"type", "hover"}, {"item", "arrow"}}).first, 200);

  // Logging out ends it, and the page shows the bar it left.
  EXPECT_EQ(sim::logout(home, sim::currentSession()), std::vector<int32_t>{job});
  EXPECT_TRUE(gone(job));
  EXPECT_TRUE(eventually([&] { return state()["terminated"] == true; }));
  EXPECT_TRUE(runningCopies(home).empty());
  EXPECT_TRUE(noScreens());
}
#endif
#endif

}  // namespace
}  // namespace tl::test
