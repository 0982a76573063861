#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/System.h"

namespace tl::sim {

// Wall-clock time of the simulated desktop: a start date plus the run
// loop's elapsed time (virtual in tests, real for people).
class SimClock : public Clock {
 public:
  SimClock(std::function<double()> elapsedSeconds, double startEpoch)
      : elapsed_(std::move(elapsedSeconds)), start_(startEpoch) {}
  double now() const override { return start_ + elapsed_(); }
  std::unique_ptr<DateFormatter> newDateFormatter() override;

 private:
  std::function<double()> elapsed_;
  double start_;
};

// NSLog's line: date, process name and ids, then the message as it is.
class SimSystemLog : public SystemLog {
 public:
  SimSystemLog(std::string home, std::string processName, std::function<double()> now);
  void log(const std::string& message) override;
  void setEchoToStderr(bool echo) { echo_ = echo; }
  static std::string path(const std::string& home) { return home + "/.simdesktop/system.log"; }

 private:
  std::string home_, processName_;
  std::function<double()> now_;
  bool echo_ = true;
};

// Running applications across the real processes that share a home: each
// instance holds a lock on a file of its own for its lifetime, so a process
// that died (even by kill -9) drops out at once.
class SimWorkspace : public Workspace {
 public:
  explicit SimWorkspace(std::string home) : home_(std::move(home)) {}
  ~SimWorkspace() override;
  void registerLaunch(const std::string& bundleID);
  // A pretend instance in this process, for tests.
  void addFakeInstance(const std::string& bundleID, int32_t pid);
  std::vector<RunningApplication> runningApplicationsWithBundleIdentifier(const std::string& bundleID) override;

 private:
  std::string home_;
  int lockFd_ = -1;
  std::string lockPath_;
  std::vector<std::pair<std::string, int32_t>> fakes_;
};

class SimProcessInfo : public ProcessInfo {
 public:
  SimProcessInfo();
  int32_t processIdentifier() const override;
  uint32_t userID() const override;
  std::optional<std::string> executablePath() const override { return executable_; }
  void setExecutablePath(std::optional<std::string> path) { executable_ = std::move(path); }

 private:
  std::optional<std::string> executable_;
};

// Real child processes. "/bin/launchctl" is the simulated launchd's own
// program; children see the sandbox home in TUCKLINE_HOME.
class SimTasks : public Tasks {
 public:
  explicit SimTasks(std::string home) : home_(std::move(home)) {}
  std::unique_ptr<Task> newTask() override;

 private:
  std::string home_;
};

}  // namespace tl::sim
