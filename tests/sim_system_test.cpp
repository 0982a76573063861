// The simulated desktop's system services: files, dates, NSLog, running
// applications across real processes, tasks, and launchd with launchctl.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <regex>
#include <sstream>

#include "Fixture.h"
#include "platform/sim/PropertyList.h"
#include "platform/sim/SimFiles.h"
#include "platform/sim/SimLaunchd.h"
#include "platform/sim/SimClock.h"
#include "platform/sim/SimSystem.h"

namespace tl::sim {
namespace {

namespace fs = std::filesystem;

using test::readFile;

void spit(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::vector<int32_t> pids(const std::vector<RunningApplication>& apps) {
  std::vector<int32_t> out;
  for (const auto& a : apps) out.push_back(a.processIdentifier);
  return out;
}

class SimSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    home = test::makeTempDir();
  }
  void TearDown() override {
    fs::permissions(home, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(home);
  }
  std::string home;
};

TEST_F(SimSystem, AtomicWriteFoldersRemovalAndHandles) {
  SimFileManager files(home);
  std::string error;
  std::string target = home + "/prefs/a.plist";

  EXPECT_FALSE(files.writeAtomically(target, "x", &error));
  EXPECT_EQ(error, "The folder “prefs” doesn’t exist.");
  ASSERT_TRUE(files.createDirectoryAtPath(home + "/prefs", true, &error));
  EXPECT_TRUE(files.createDirectoryAtPath(home + "/prefs", true, &error));    // already there: fine
  EXPECT_FALSE(files.createDirectoryAtPath(home + "/prefs", false, &error));  // Foundation: name taken
  ASSERT_TRUE(files.writeAtomically(target, "old", &error)) << error;
  ASSERT_TRUE(files.writeAtomically(target, "new text", &error)) << error;
  EXPECT_EQ(readFile(target), "new text");
  // Creating never replaces: what another process put there first stays.
  EXPECT_FALSE(files.createAtomically(target, "mine", &error));
  EXPECT_EQ(readFile(target), "new text");
  EXPECT_TRUE(files.createAtomically(home + "/prefs/b.txt", "first", &error)) << error;
  EXPECT_EQ(readFile(home + "/prefs/b.txt"), "first");
  fs::remove(home + "/prefs/b.txt");

  // A write that fails half-way (the file size limit, which binds root
  // too) leaves the old content and no stray temporary file.
  struct rlimit old {};
  getrlimit(RLIMIT_FSIZE, &old);
  struct rlimit small = old;
  small.rlim_cur = 4;
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  bool written = files.writeAtomically(target, "far more than four bytes", &error);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(written);
  EXPECT_EQ(error, "The file “a.plist” couldn’t be saved in the folder “prefs”.");
  EXPECT_EQ(readFile(target), "new text");
  EXPECT_EQ(std::distance(fs::directory_iterator(home + "/prefs"), fs::directory_iterator()), 1);

  if (geteuid() != 0) {
    chmod((home + "/prefs").c_str(), 0555);
    EXPECT_FALSE(files.writeAtomically(target, "denied", &error));
    EXPECT_EQ(error, "You don’t have permission to save the file “a.plist” in the folder “prefs”.");
    EXPECT_EQ(readFile(target), "new text");
    chmod((home + "/prefs").c_str(), 0755);
  }

  // A plain file where a folder should be.
  spit(home + "/LaunchAgents", "keep me");
  EXPECT_FALSE(files.createDirectoryAtPath(home + "/LaunchAgents", true, &error));
  EXPECT_NE(error.find("because a file with the same name already exists"), std::string::npos) << error;
  EXPECT_FALSE(files.createDirectoryAtPath(home + "/LaunchAgents/deeper", true, &error));
  EXPECT_EQ(error, "The file “LaunchAgents” couldn’t be saved in the folder “" + fs::path(home).filename().string() +
                       "” because a file with the same name already exists.");
  EXPECT_EQ(readFile(home + "/LaunchAgents"), "keep me");
  EXPECT_FALSE(files.writeAtomically(home + "/prefs", "x", &error));  // a folder is no file to replace
  EXPECT_TRUE(fs::is_directory(home + "/prefs"));

  EXPECT_FALSE(files.removeItemAtPath(home + "/missing", &error));
  EXPECT_EQ(error, "“missing” couldn’t be removed.");
  EXPECT_TRUE(files.removeItemAtPath(home + "/LaunchAgents", &error));
  EXPECT_FALSE(files.fileExistsAtPath(home + "/LaunchAgents"));

  // Handles: only an existing file opens, and appending keeps what is there.
  EXPECT_EQ(files.fileHandleForWritingAtPath(home + "/log.txt"), nullptr);
  EXPECT_FALSE(fs::exists(home + "/log.txt"));
  spit(home + "/log.txt", "one\n");
  auto handle = files.fileHandleForWritingAtPath(home + "/log.txt");
  ASSERT_NE(handle, nullptr);
  handle->seekToEndOfFile();
  EXPECT_TRUE(handle->writeData("two\n"));
  EXPECT_TRUE(handle->closeAndReturnError(&error));
  EXPECT_FALSE(handle->closeAndReturnError(&error));
  EXPECT_FALSE(handle->writeData("three\n"));
  EXPECT_EQ(readFile(home + "/log.txt"), "one\ntwo\n");
  // Two writers that found the same end (two copies recording at once)
  // both keep their record: each write lands at the end as it is by then.
  auto first = files.fileHandleForWritingAtPath(home + "/log.txt");
  auto second = files.fileHandleForWritingAtPath(home + "/log.txt");
  first->seekToEndOfFile();
  second->seekToEndOfFile();
  EXPECT_TRUE(first->writeData("mine\n"));
  EXPECT_TRUE(second->writeData("theirs\n"));
  EXPECT_EQ(readFile(home + "/log.txt"), "one\ntwo\nmine\ntheirs\n");
  ASSERT_EQ(mkfifo((home + "/fifo").c_str(), 0644), 0);
  EXPECT_EQ(files.fileHandleForWritingAtPath(home + "/fifo"), nullptr);  // no reader: no hang
  auto null = std::dynamic_pointer_cast<SimFileHandle>(files.fileHandleWithNullDevice());
  ASSERT_TRUE(null && null->fd() >= 0);
  EXPECT_TRUE(null->writeData("gone"));
}

class ZoneGuard {
 public:
  explicit ZoneGuard(const char* tz) {
    if (const char* old = getenv("TZ")) old_ = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ZoneGuard() {
    if (old_) setenv("TZ", old_->c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }

 private:
  std::optional<std::string> old_;
};

TEST_F(SimSystem, DatesInTheLocalZone) {
  double elapsed = 0;
  SimClock clock([&] { return elapsed; }, 1796558400);  // 2026-12-06 12:00:00 UTC
  elapsed = 90.987654;
  EXPECT_DOUBLE_EQ(clock.now(), 1796558490.987654);
  auto f = clock.newDateFormatter();
  f->setDateFormat("yyyy-MM-dd HH:mm:ss");
  {
    ZoneGuard zone("IST-5:30");
    EXPECT_EQ(f->stringFromDate(clock.now()), "2026-12-06 17:31:30");
    f->setDateFormat("yyyy-MM-dd HH:mm:ss.SSS Z 'at' h a, EEE d MMM 'o''clock'''");
    // Names in the simulated Mac's language, as its formatter gives them.
    EXPECT_EQ(f->stringFromDate(clock.now()), "2026-12-06 17:31:30.987 +0530 at 5 下午, 周日 6 12月 o'clock'");
    // Y is the year of the week, which at the end of December can be the next.
    f->setDateFormat("YYYY yyyy");
    EXPECT_EQ(f->stringFromDate(1798459200), "2027 2026");  // 2026-12-28
  }
  {
    ZoneGuard zone("EST5EDT,M3.2.0,M11.1.0");  // summer time follows the zone's rules
    f->setDateFormat("yyyy-MM-dd HH:mm:ss ZZZZZ");
    EXPECT_EQ(f->stringFromDate(1783339200), "2026-07-06 08:00:00 -04:00");
    EXPECT_EQ(f->stringFromDate(1796558400), "2026-12-06 07:00:00 -05:00");
  }
  ZoneGuard utc("UTC");
  f->setDateFormat("yyyy-MM-dd HH:mm:ss.SSS");
  // Before 1970 the fraction counts forward from the second below.
  EXPECT_EQ(f->stringFromDate(-0.5), "1969-12-31 23:59:59.500");
  EXPECT_EQ(f->stringFromDate(0.9999999), "1970-01-01 00:00:00.999");  // never rounded into the next second
  for (double odd : {std::nan(""), std::numeric_limits<double>::infinity(), -1e300, 1e300})
    EXPECT_EQ(f->stringFromDate(odd), "");

  // A start typed by a person is local time; dates that do not exist are refused.
  EXPECT_EQ(parseLocalDate("2026-12-06 12:00:00"), 1796558400);
  EXPECT_EQ(parseLocalDate("2026-12-06T12:00"), 1796558400);
  for (const char* bad : {"", "2026-12-06", "2026-02-30 10:00", "2026-12-06 24:00", "1969-12-31 23:59",
                          "10000-01-01 00:00", "2026-12-06 12:00:00 ", "2026-1a-06 12:00", "２０２６-12-06 12:00"})
    EXPECT_FALSE(parseLocalDate(bad)) << bad;
  {
    ZoneGuard zone("CET-1CEST,M3.5.0,M10.5.0/3");
    EXPECT_FALSE(parseLocalDate("2026-03-29 02:30"));  // skipped by summer time
    EXPECT_EQ(parseLocalDate("2026-12-06 13:00"), 1796558400);
  }
  // Virtual time can be set to another date and runs on from there; the
  // wall clock cannot.
  EXPECT_TRUE(clock.setNow(1800000000));
  elapsed += 2;
  EXPECT_DOUBLE_EQ(clock.now(), 1800000002);
  SimClock wall;
  EXPECT_FALSE(wall.setNow(0));
  EXPECT_NEAR(wall.now(), static_cast<double>(std::time(nullptr)), 2);
}

TEST_F(SimSystem, DateFormattersAreOpenedOncePerPatternLocaleAndZone) {
  ZoneGuard zone("Asia/Shanghai");
  auto dates = [](double from) {
    for (int hour = 0; hour < 48; ++hour) {
      formatDate("yyyy-MM-dd HH:mm:ss 'once'", from + hour * 3600.0, "zh_CN");
      clockText(from + hour * 3600.0, "en_GB");
    }
  };
  IcuOpened before = icuOpened();
  dates(1796558400);
  IcuOpened first = icuOpened();
  EXPECT_EQ(first.formats - before.formats, 2);  // the log's pattern and the clock's
  EXPECT_LE(first.calendars - before.calendars, 1);
  EXPECT_LE(first.generators - before.generators, 1);
  dates(1800000000);
  IcuOpened again = icuOpened();
  EXPECT_EQ(again.formats, first.formats);
  EXPECT_EQ(again.calendars, first.calendars);
  EXPECT_EQ(again.generators, first.generators);
  // Another zone is seen at once, with a format of its own.
  ZoneGuard elsewhere("Europe/Paris");
  EXPECT_EQ(formatDate("yyyy-MM-dd HH:mm:ss 'once'", 1796558400, "zh_CN"), "2026-12-06 13:00:00 once");
  EXPECT_EQ(icuOpened().formats, again.formats + 1);
  // A text kept from earlier in the same second is that second's, in that
  // locale and zone; fractions of a second are formatted every time.
  EXPECT_EQ(formatDate("yyyy-MM-dd HH:mm:ss", 1796558401.2, "zh_CN"), "2026-12-06 13:00:01");
  EXPECT_EQ(formatDate("yyyy-MM-dd HH:mm:ss", 1796558401.9, "ar_EG"), "٢٠٢٦-١٢-٠٦ ١٣:٠٠:٠١");
  EXPECT_EQ(formatDate("yyyy-MM-dd HH:mm:ss", 1796558402.0, "zh_CN"), "2026-12-06 13:00:02");
  EXPECT_EQ(formatDate("HH:mm:ss.SSS", 1796558402.25, "zh_CN"), "13:00:02.250");
  EXPECT_EQ(formatDate("HH:mm:ss.SSS", 1796558402.75, "zh_CN"), "13:00:02.750");
  ZoneGuard utc("UTC");
  EXPECT_EQ(formatDate("yyyy-MM-dd HH:mm:ss", 1796558402.5, "zh_CN"), "2026-12-06 12:00:02");
}

TEST_F(SimSystem, SystemLogLinesAreVerbatim) {
  double now = 1796558400.25;
  SimSystemLog log(home, "Tuckline", [&] { return now; });
  ZoneGuard utc("UTC");
  // Echoed to stderr unless silenced: catch fd 2 in a file meanwhile.
  int saved = dup(STDERR_FILENO);
  int capture = open((home + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(capture, STDERR_FILENO);
  log.log("[Tuckline] 写入登录项失败: 100% %@ %n %s");
  log.setEchoToStderr(false);
  now += 1;
  log.log("ends in a line feed\n");
  dup2(saved, STDERR_FILENO);
  close(saved);
  close(capture);

  std::string prefix = "\\[" + std::to_string(getpid()) + ":[0-9]+\\] ";
  std::string text = readFile(SimSystemLog::path(home));
  EXPECT_TRUE(std::regex_match(text, std::regex("2026-12-06 12:00:00\\.250 Tuckline" + prefix +
                                                "\\[Tuckline\\] 写入登录项失败: 100% %@ %n %s\n"
                                                "2026-12-06 12:00:01\\.250 Tuckline" + prefix + "ends in a line feed\n")))
      << text;
  EXPECT_EQ(readFile(home + "/stderr"), text.substr(0, text.find('\n') + 1));

  // No folder for the file: the line is lost there and nothing breaks.
  SimSystemLog nowhere(home + "/stderr/not-a-folder", "Tuckline", [] { return 0.0; });
  nowhere.setEchoToStderr(false);
  nowhere.log("x");
}

// A child process that registers under the bundle id and waits until told
// to go (or is killed).
struct Instance {
  pid_t pid = -1;
  int go = -1;
  Instance(const std::string& home, const std::string& id) {
    int ready[2], wait[2];
    if (pipe(ready) != 0 || pipe(wait) != 0) return;
    pid = fork();
    if (pid == 0) {
      close(ready[0]);
      close(wait[1]);
      {
        SimWorkspace ws(home);
        ws.registerLaunch(id);
        char c = 'r';
        if (write(ready[1], &c, 1) != 1) _exit(1);
        while (read(wait[0], &c, 1) < 0 && errno == EINTR) {
        }
      }
      _exit(0);
    }
    close(ready[1]);
    close(wait[0]);
    go = wait[1];
    char c;
    if (read(ready[0], &c, 1) != 1) pid = -1;
    close(ready[0]);
  }
  int end(bool kill9) {
    if (kill9) kill(pid, SIGKILL);
    close(go);
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
  }
};

TEST_F(SimSystem, WorkspaceSeesRealProcessesInLaunchOrder) {
  const std::string id = "com.ferrowick.tuckline";
  const int32_t self = getpid();
  auto ws = std::make_unique<SimWorkspace>(home);
  EXPECT_TRUE(ws->runningApplicationsWithBundleIdentifier(id).empty());
  ws->addFakeInstance(id, 4242);
  ws->registerLaunch(id);
  ws->registerLaunch(id);  // once is enough
  Instance first(home, id);
  Instance second(home, id);
  ASSERT_GT(first.pid, 0);
  ASSERT_GT(second.pid, 0);
  std::vector<int32_t> all{4242, self, first.pid, second.pid};
  EXPECT_EQ(pids(ws->runningApplicationsWithBundleIdentifier(id)), all);
  EXPECT_EQ(pids(SimWorkspace(home).runningApplicationsWithBundleIdentifier(id)), all);  // any process sees it
  EXPECT_TRUE(ws->runningApplicationsWithBundleIdentifier("com.example.other").empty());

  // One dies without a word, one quits: neither is listed any longer.
  first.end(true);
  EXPECT_EQ(pids(ws->runningApplicationsWithBundleIdentifier(id)), (std::vector<int32_t>{4242, self, second.pid}));
  EXPECT_EQ(second.end(false), 0);
  EXPECT_EQ(pids(ws->runningApplicationsWithBundleIdentifier(id)), (std::vector<int32_t>{4242, self}));
  // The dead one's entry has been swept away, not just skipped.
  EXPECT_EQ(std::distance(fs::directory_iterator(SimWorkspace::folder(home, id)), fs::directory_iterator()), 3);

  // A new launch comes after those still running.
  Instance third(home, id);
  EXPECT_EQ(pids(ws->runningApplicationsWithBundleIdentifier(id)), (std::vector<int32_t>{4242, self, third.pid}));
  ws.reset();
  EXPECT_EQ(pids(SimWorkspace(home).runningApplicationsWithBundleIdentifier(id)), (std::vector<int32_t>{third.pid}));
  third.end(false);
}

int run(SimTasks& tasks, const std::string& program, const std::vector<std::string>& args,
        std::shared_ptr<FileHandle> out = nullptr, std::shared_ptr<FileHandle> err = nullptr) {
  auto task = tasks.newTask();
  task->setExecutablePath(program);
  task->setArguments(args);
  if (out) task->setStandardOutput(out);
  if (err) task->setStandardError(err);
  std::string error;
  if (!task->launch(&error)) return -100;
  task->waitUntilExit();
  return task->terminationStatus();
}

TEST_F(SimSystem, TasksReportExitCodesAndSignalsAsNSTask) {
  SimTasks tasks(home);
  SimFileManager files(home);
  EXPECT_EQ(run(tasks, "/bin/sh", {"-c", "exit 3"}), 3);
  EXPECT_EQ(run(tasks, "/bin/sh", {"-c", "kill -TERM $$"}), SIGTERM);
  EXPECT_EQ(run(tasks, "/bin/sh", {"-c", "test \"$TUCKLINE_HOME\" = '" + home + "'"}), 0);
  spit(home + "/out", "");
  EXPECT_EQ(run(tasks, "/bin/sh", {"-c", "echo to out; echo to err >&2"}, files.fileHandleForWritingAtPath(home + "/out"),
                files.fileHandleWithNullDevice()),
            0);
  EXPECT_EQ(readFile(home + "/out"), "to out\n");

  // A front end that blocks SIGTERM for itself does not block it for its
  // children.
  sigset_t term, old;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &term, &old);
  int status = run(tasks, "/bin/sh", {"-c", "kill -TERM $$; exit 0"});
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  EXPECT_EQ(status, SIGTERM);

  auto task = tasks.newTask();
  task->setExecutablePath(home + "/no such program");
  std::string error;
  EXPECT_FALSE(task->launch(&error));
  EXPECT_EQ(error, "The file “no such program” doesn’t exist.");
  task->waitUntilExit();  // returns at once
  auto twice = tasks.newTask();
  twice->setExecutablePath("/bin/true");
  EXPECT_TRUE(twice->launch(&error));
  EXPECT_FALSE(twice->launch(&error));
  twice->waitUntilExit();
  EXPECT_EQ(twice->terminationStatus(), 0);
}

std::string agentPlist(const std::string& label, const std::vector<std::string>& args, const std::string& more) {
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
                     "<key>Label</key><string>" + label + "</string>\n<key>ProgramArguments</key><array>";
  for (const auto& a : args) text += "<string>" + a + "</string>";
  return text + "</array>\n" + more + "</dict>\n</plist>";
}
const char* kRunAtLoad = "<key>RunAtLoad</key><true/>\n";

// Jobs are left to init by launchd; as a subreaper this process gets them
// instead and can wait for them like for its own children.
class Launchd : public SimSystem {
 protected:
  void SetUp() override {
    SimSystem::SetUp();
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    domain = "gui/" + std::to_string(getuid());
  }
  void TearDown() override {
    for (const auto& job : launchdJobs(home))
      if (job.running) kill(job.pid, SIGKILL);
    while (waitpid(-1, nullptr, WNOHANG) > 0) {
    }
    prctl(PR_SET_CHILD_SUBREAPER, 0);
    SimSystem::TearDown();
  }
  int32_t pidOf(const std::string& label) {
    auto job = launchdJob(home, label);
    return job ? job->pid : -1;
  }
  // The status of a job that ended, as waitpid gives it.
  static int reap(int32_t pid) {
    int status = -1;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
  }
  std::string domain;
};

TEST_F(Launchd, BootstrapAndBootoutThroughLaunchctl) {
  if (SimTasks::launchctlPath().empty()) GTEST_SKIP() << "this build has no launchctl";
  SimTasks tasks(home);
  SimFileManager files(home);
  std::string report = home + "/job.txt", errors = home + "/stderr";
  std::string plist = home + "/alpha.plist";
  spit(plist, agentPlist("test.alpha",
                         {"/bin/sh", "-c",
                          "echo \"$TUCKLINE_HOME|$TUCKLINE_LAUNCHD|$(cut -d' ' -f6 /proc/$$/stat)|$$|$(pwd)\" > " + report},
                         kRunAtLoad));
  auto launchctl = [&](const std::vector<std::string>& args) {
    spit(errors, "");
    return run(tasks, "/bin/launchctl", args, files.fileHandleWithNullDevice(), files.fileHandleForWritingAtPath(errors));
  };

  EXPECT_EQ(launchctl({"bootstrap", domain, plist}), 0) << readFile(errors);
  int32_t alpha = pidOf("test.alpha");
  ASSERT_GT(alpha, 0);
  int status = reap(alpha);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // Its own session, the sandbox home, the launchd mark, started in "/".
  EXPECT_EQ(readFile(report), home + "|1|" + std::to_string(alpha) + "|" + std::to_string(alpha) + "|/\n");

  // Loaded stays loaded after the job ended.
  EXPECT_EQ(launchctl({"bootstrap", domain, plist}), 5);
  EXPECT_EQ(readFile(errors), "Bootstrap failed: 5: Input/output error\n");
  EXPECT_EQ(launchctl({"bootout", domain + "/test.unknown"}), 3);
  EXPECT_EQ(readFile(errors), "Boot-out failed: 3: No such process\n");
  EXPECT_EQ(launchctl({"bootstrap", "gui/" + std::to_string(getuid() + 1), plist}), 1);
  spit(home + "/broken.plist", "<plist><dict><key>Label</key>");
  EXPECT_EQ(launchctl({"bootstrap", domain, home + "/broken.plist"}), 5);
  EXPECT_EQ(launchctl({"bootstrap", domain, home + "/missing.plist"}), 2);

  // A job still running when it is booted out gets SIGTERM.
  spit(home + "/beta.plist", agentPlist("test.beta", {"sleep", "600"}, kRunAtLoad));
  std::ostringstream out, err;
  EXPECT_EQ(launchctlMain(home, {"bootstrap", domain, home + "/beta.plist"}, out, err), 0) << err.str();
  int32_t beta = pidOf("test.beta");
  ASSERT_GT(beta, 0);
  EXPECT_EQ(launchctlMain(home, {"print", domain + "/test.beta"}, out, err), 0);
  EXPECT_NE(out.str().find("\tstate = running\n\tprogram = sleep\n"), std::string::npos) << out.str();
  EXPECT_EQ(launchctl({"bootout", domain + "/test.beta"}), 0) << readFile(errors);
  status = reap(beta);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_FALSE(launchdJob(home, "test.beta"));
  EXPECT_EQ(launchctlMain(home, {"print", domain + "/test.beta"}, out, err), 113);

  EXPECT_EQ(launchctl({"bootout", domain + "/test.alpha"}), 0);  // its process is long gone: nothing to stop
  EXPECT_EQ(launchctl({"bootout", domain + "/test.alpha"}), 3);
  EXPECT_TRUE(launchdJobs(home).empty());
}

TEST_F(Launchd, LoginStartsTheGraphicalAgentsThatAreNotRunning) {
  std::string agents = home + "/Library/LaunchAgents";
  fs::create_directories(agents);
  spit(agents + "/run.plist",
       agentPlist("test.run", {"sleep", "600"}, std::string(kRunAtLoad) + "<key>LimitLoadToSessionType</key><string>Aqua</string>"));
  spit(agents + "/quick.plist", agentPlist("test.quick", {"/bin/true"}, kRunAtLoad));
  spit(agents + "/bg.plist", agentPlist("test.bg", {"/bin/true"},
                                        std::string(kRunAtLoad) +
                                            "<key>LimitLoadToSessionType</key><string>Background</string>"));
  spit(agents + "/lazy.plist", agentPlist("test.lazy", {"/bin/true"}, "<key>RunAtLoad</key><false/>"));
  spit(agents + "/broken.plist", "not a property list");
  spit(agents + "/noargs.plist", "<plist><dict><key>Label</key><string>x</string><key>RunAtLoad</key><true/></dict></plist>");
  spit(agents + "/notes.txt", agentPlist("test.notes", {"/bin/true"}, kRunAtLoad));

  EXPECT_EQ(simulateLogin(home).size(), 2u);
  int32_t run = pidOf("test.run"), quick = pidOf("test.quick");
  ASSERT_GT(run, 0);
  ASSERT_GT(quick, 0);
  reap(quick);
  EXPECT_EQ(pidOf("test.lazy"), 0);
  EXPECT_FALSE(launchdJob(home, "test.bg"));

  // The next login starts again what ended, and leaves alone what runs.
  EXPECT_EQ(simulateLogin(home).size(), 1u);
  EXPECT_EQ(pidOf("test.run"), run);
  EXPECT_NE(pidOf("test.quick"), quick);
  reap(pidOf("test.quick"));
  std::vector<std::string> labels;
  for (const auto& job : launchdJobs(home)) labels.push_back(job.label);
  EXPECT_EQ(labels, (std::vector<std::string>{"test.lazy", "test.quick", "test.run"}));
  std::ostringstream out, err;
  EXPECT_EQ(launchctlMain(home, {"bootout", domain + "/test.run"}, out, err), 0);
  EXPECT_TRUE(WIFSIGNALED(reap(run)));
}

TEST_F(Launchd, AgentsAndStateWithBadBytesAreRefusedWithoutAbort) {
  using namespace std::string_literals;
  std::string agents = home + "/Library/LaunchAgents";
  fs::create_directories(agents);
  auto binary = [](Value::Dict d) { return *writePropertyList(Value(std::move(d)), PlistFormat::Binary); };
  // A key holding U+0000, and an argument no program could receive.
  spit(agents + "/key.plist", binary({{"Label", Value("test.key")},
                                      {"Program\0Arguments"s, Value(Value::Array{Value("/bin/true")})},
                                      {"RunAtLoad", Value(true)}}));
  spit(agents + "/arg.plist", binary({{"Label", Value("test.arg")},
                                      {"ProgramArguments", Value(Value::Array{Value("/bin/echo"), Value("a\0b"s)})},
                                      {"RunAtLoad", Value(true)}}));
  std::ostringstream out, err;
  EXPECT_EQ(launchctlMain(home, {"bootstrap", domain, agents + "/key.plist"}, out, err), 5);
  EXPECT_NE(err.str().find("no ProgramArguments"), std::string::npos) << err.str();
  EXPECT_EQ(launchctlMain(home, {"bootstrap", domain, agents + "/arg.plist"}, out, err), 5);
  EXPECT_NE(err.str().find("NUL character"), std::string::npos) << err.str();
  EXPECT_EQ(simulateLogin(home).size(), 0u);
  EXPECT_TRUE(launchdJobs(home).empty());

  // launchd's own state: a label with U+0000 comes back whole; a damaged
  // state file is kept aside, not overwritten.
  spit(agents + "/odd.plist", binary({{"Label", Value("test.\0odd"s)},
                                      {"ProgramArguments", Value(Value::Array{Value("/bin/true")})}}));
  EXPECT_EQ(launchctlMain(home, {"bootstrap", domain, agents + "/odd.plist"}, out, err), 0) << err.str();
  ASSERT_EQ(launchdJobs(home).size(), 1u);
  EXPECT_EQ(launchdJobs(home)[0].label, "test.\0odd"s);
  const std::string state = launchdFolder(home) + "/jobs.plist";
  spit(state, "<plist><dict><key>half");
  spit(agents + "/lazy.plist", agentPlist("test.lazy", {"/bin/true"}, ""));
  EXPECT_EQ(launchctlMain(home, {"bootstrap", domain, agents + "/lazy.plist"}, out, err), 0) << err.str();
  EXPECT_EQ(readFile(state + ".corrupt"), "<plist><dict><key>half");
  ASSERT_EQ(launchdJobs(home).size(), 1u);
}

}  // namespace
}  // namespace tl::sim
