#pragma once
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/System.h"
#include "platform/sim/SimRunLoop.h"

namespace tl::sim {

// NSDateFormatter's patterns, in the process's local time zone (TZ): y yy
// yyyy, M MM MMM MMMM, d D, H HH h K k, m, s, S… (fraction, truncated), a,
// E…EEEE, G, Z ZZZZ ZZZZZ, z, and 'quoted text' ('' for a quote). Y is read
// as y. Other letters stand for themselves. A date that is not finite, or
// lies millions of years away, formats as the empty text.
std::string formatDate(const std::string& pattern, double secondsSince1970);

// A local date and time as people type it, "2026-12-06 12:00:00" (seconds
// optional), in the process's time zone: seconds since 1970, or nothing for
// text that is not such a date, a date the calendar does not have (February
// 30th, an hour skipped by summer time) or a year outside 1970–9999.
std::optional<double> parseLocalDate(const std::string& text);

// Wall-clock time of the simulated desktop. In virtual time it is a start
// date plus the run loop's elapsed time, so tests see fixed dates; for
// people (real time) it is the machine's own clock, as every process on a
// Mac shares one.
class SimClock : public Clock {
 public:
  SimClock(std::function<double()> elapsedSeconds, double startEpoch)
      : elapsed_(std::move(elapsedSeconds)), start_(startEpoch) {}
  SimClock() = default;  // the machine's wall clock
  double now() const override;
  // Virtual time only: from now on the clock reads `date` onwards, as when
  // the date is changed in System Settings. False on the wall clock.
  bool setNow(double date);
  bool isWallClock() const { return !elapsed_; }
  std::unique_ptr<DateFormatter> newDateFormatter() override;

 private:
  std::function<double()> elapsed_;
  std::atomic<double> start_{0};
};

// NSLog: "2026-12-06 12:00:00.000 Tuckline[pid:tid] message", to stderr and
// appended to the desktop's system log file. The message is never a format.
class SimSystemLog : public SystemLog {
 public:
  SimSystemLog(std::string home, std::string processName, std::function<double()> now);
  void log(const std::string& message) override;
  void setEchoToStderr(bool echo);
  static std::string path(const std::string& home) { return home + "/.simdesktop/system.log"; }

 private:
  std::string home_, processName_;
  std::function<double()> now_;
  std::mutex mu_;
  bool echo_ = true;
};

// Running applications across the real processes that share a home. Each
// instance is a file under <home>/.simdesktop/running/<bundle id>/, named
// by its launch number and locked by its process for as long as it lives;
// one whose lock is free belongs to a process that died (kill -9 included)
// and is swept away by the next look.
class SimWorkspace : public Workspace {
 public:
  explicit SimWorkspace(std::string home) : home_(std::move(home)) {}
  ~SimWorkspace() override;
  SimWorkspace(const SimWorkspace&) = delete;
  SimWorkspace& operator=(const SimWorkspace&) = delete;

  // This process runs under the bundle id from now on (once per id).
  void registerLaunch(const std::string& bundleID);
  // A pretend instance, in launch order with the real ones and visible to
  // other processes too, for as long as this workspace lives.
  void addFakeInstance(const std::string& bundleID, int32_t pid);
  // Every live instance, this process included, in launch order.
  std::vector<RunningApplication> runningApplicationsWithBundleIdentifier(const std::string& bundleID) override;

  static std::string folder(const std::string& home, const std::string& bundleID);

 private:
  void add(const std::string& bundleID, int32_t pid);

  struct Entry {
    std::string bundleID, path;
    int32_t pid;
    int fd;
  };
  std::string home_;
  std::mutex mu_;
  std::vector<Entry> entries_;
};

class SimProcessInfo : public ProcessInfo {
 public:
  SimProcessInfo();  // the executable is this program (/proc/self/exe)
  int32_t processIdentifier() const override;
  uint32_t userID() const override;
  std::optional<std::string> executablePath() const override { return executable_; }
  // Absent stands for a bundle without an executable.
  void setExecutablePath(std::optional<std::string> path) { executable_ = std::move(path); }

 private:
  std::optional<std::string> executable_;
};

// Real child processes (posix_spawn), with a clean signal mask. The program
// "/bin/launchctl" is the simulated launchd's own launchctl; children see
// the sandbox home in TUCKLINE_HOME. terminationStatus is the exit code, or
// the signal number for an uncaught signal, as NSTask gives it; -1 before
// the task has ended.
//
// waitUntilExit on the main thread turns the run loop, as NSTask's does
// (see SimRunLoop::runWhileWaiting); elsewhere it simply blocks.
class SimTasks : public Tasks {
 public:
  explicit SimTasks(std::string home, SimRunLoop* loop = nullptr)
      : home_(std::move(home)), loop_(loop), launchctl_(launchctlPath()) {}
  std::unique_ptr<Task> newTask() override;
  // The program that stands in for /bin/launchctl; empty when this build
  // has none.
  static std::string launchctlPath();
  // Another stand-in, for a launchctl that is slow or fails.
  void setLaunchctl(std::string path) { launchctl_ = std::move(path); }

 private:
  std::string home_;
  SimRunLoop* loop_;
  std::string launchctl_;
};

// A text made safe as one file name: letters, digits, '.', '-' and '_' stay;
// everything else (and a leading '.') becomes %XX.
std::string safeFileName(const std::string& text);

}  // namespace tl::sim
