#pragma once
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/System.h"
#include "platform/sim/SimRunLoop.h"

namespace tl::sim {

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
  // LaunchServices records the launch date of what it launched; a process
  // launchd started has none (dated false), as on a Mac.
  void registerLaunch(const std::string& bundleID, bool dated = true);
  // This process's application has ended: it no longer runs under the id,
  // whatever else the process goes on doing.
  void unregisterLaunch(const std::string& bundleID);
  // A pretend instance, in launch order with the real ones and visible to
  // other processes too, for as long as this workspace lives.
  void addFakeInstance(const std::string& bundleID, int32_t pid, bool dated = true);
  // Every live instance, this process included, in launch order. An
  // instance without a launch date gets its process's start time from the
  // kernel instead, as the Mac's adapter does.
  std::vector<RunningApplication> runningApplicationsWithBundleIdentifier(const std::string& bundleID) override;
  // Where start times come from (the kernel's, unless a test says).
  void setStartTimes(std::function<std::optional<double>(int32_t pid)> startTimes);

  static std::string folder(const std::string& home, const std::string& bundleID);

 private:
  void add(const std::string& bundleID, int32_t pid, bool dated);

  struct Entry {
    std::string bundleID, path;
    int32_t pid;
    int fd;
  };
  std::string home_;
  std::mutex mu_;
  std::vector<Entry> entries_;
  std::function<std::optional<double>(int32_t)> startTimes_;
};

// What the kernel says of a process (Linux's /proc/PID/stat).
struct ProcessStat {
  char state = '?';        // 'Z' for a zombie
  uint64_t startTicks = 0;  // clock ticks after boot: tells a reused pid apart
};
std::optional<ProcessStat> processStat(int32_t pid);
// The very process that started at that tick still runs: not ended, not a
// zombie, and not another one given the same pid since.
bool stillRunning(int32_t pid, uint64_t startTicks);
// A process's start time in seconds since 1970, from the kernel, to its
// clock tick (10 ms).
std::optional<double> processStartTime(int32_t pid);

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
