#include "platform/sim/SimSystem.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>

#include "platform/sim/SimFiles.h"

extern char** environ;

namespace tl::sim {

namespace {

// Local broken-down time; dates beyond what the calendar functions take
// read as the epoch rather than as undefined behaviour.
struct LocalTime {
  std::tm tm{};
  int millis = 0;
};
LocalTime localTime(double seconds) {
  LocalTime t;
  if (!std::isfinite(seconds) || std::fabs(seconds) > 1e12) seconds = 0;
  double whole = std::floor(seconds);
  auto s = static_cast<time_t>(whole);
  t.millis = std::min(999, static_cast<int>((seconds - whole) * 1000));
  localtime_r(&s, &t.tm);
  return t;
}

class SimDateFormatter : public DateFormatter {
 public:
  void setDateFormat(const std::string& format) override { format_ = format; }
  std::string stringFromDate(double secondsSince1970) const override {
    LocalTime t = localTime(secondsSince1970);
    std::string out;
    for (size_t i = 0; i < format_.size();) {
      char c = format_[i];
      if (c == '\'') {
        size_t end = format_.find('\'', i + 1);
        if (end == std::string::npos) end = format_.size();
        out += end == i + 1 ? std::string("'") : format_.substr(i + 1, end - i - 1);
        i = end + 1;
        continue;
      }
      size_t n = 1;
      while (i + n < format_.size() && format_[i + n] == c) ++n;
      auto num = [&](long v, size_t width) {
        std::string digits = std::to_string(v);
        if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
        return digits;
      };
      switch (c) {
        case 'y': out += n == 2 ? num((t.tm.tm_year + 1900) % 100, 2) : num(t.tm.tm_year + 1900, n); break;
        case 'M': out += num(t.tm.tm_mon + 1, n); break;
        case 'd': out += num(t.tm.tm_mday, n); break;
        case 'H': out += num(t.tm.tm_hour, n); break;
        case 'm': out += num(t.tm.tm_min, n); break;
        case 's': out += num(t.tm.tm_sec, n); break;
        case 'S': out += num(t.millis, 3).substr(0, std::min<size_t>(n, 3)); break;
        default: out.append(n, c);
      }
      i += n;
    }
    return out;
  }

 private:
  std::string format_;
};

int threadNumber() {
  static std::atomic<int> next{1};
  thread_local int mine = next++;
  return mine;
}

class SimTask : public Task {
 public:
  explicit SimTask(std::string home) : home_(std::move(home)) {}
  void setExecutablePath(const std::string& path) override { path_ = path; }
  void setArguments(const std::vector<std::string>& arguments) override { args_ = arguments; }
  void setStandardOutput(std::shared_ptr<FileHandle> handle) override { out_ = std::move(handle); }
  void setStandardError(std::shared_ptr<FileHandle> handle) override { err_ = std::move(handle); }

  bool launch(std::string* error) override {
    std::string program = path_;
    if (program == "/bin/launchctl") {
#ifdef TUCKLINE_LAUNCHCTL_PATH
      program = TUCKLINE_LAUNCHCTL_PATH;
#else
      program.clear();
#endif
    }
    if (program.empty() || ::access(program.c_str(), X_OK) != 0) {
      if (error) *error = "The file “" + std::filesystem::path(path_).filename().string() + "” doesn’t exist.";
      return false;
    }
    std::vector<std::string> argStore{path_};
    argStore.insert(argStore.end(), args_.begin(), args_.end());
    std::vector<char*> argv;
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e)
      if (std::strncmp(*e, "TUCKLINE_HOME=", 14) != 0) envStore.push_back(*e);
    envStore.push_back("TUCKLINE_HOME=" + home_);
    std::vector<char*> envp;
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    auto redirect = [&](const std::shared_ptr<FileHandle>& h, int target) {
      if (auto* sim = dynamic_cast<SimFileHandle*>(h.get()); sim && sim->fd() >= 0)
        posix_spawn_file_actions_adddup2(&actions, sim->fd(), target);
    };
    redirect(out_, 1);
    redirect(err_, 2);
    int rc = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      pid_ = -1;
      if (error) *error = std::strerror(rc);
      return false;
    }
    return true;
  }

  void waitUntilExit() override {
    if (pid_ <= 0 || exited_) return;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    exited_ = true;
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  }
  int32_t terminationStatus() const override { return status_; }

 private:
  std::string home_, path_;
  std::vector<std::string> args_;
  std::shared_ptr<FileHandle> out_, err_;
  pid_t pid_ = -1;
  bool exited_ = false;
  int32_t status_ = 0;
};

std::string runningFolder(const std::string& home, const std::string& bundleID) {
  return home + "/.simdesktop/running/" + bundleID;
}

}  // namespace

std::unique_ptr<DateFormatter> SimClock::newDateFormatter() { return std::make_unique<SimDateFormatter>(); }

SimSystemLog::SimSystemLog(std::string home, std::string processName, std::function<double()> now)
    : home_(std::move(home)), processName_(std::move(processName)), now_(std::move(now)) {}

void SimSystemLog::log(const std::string& message) {
  SimDateFormatter f;
  f.setDateFormat("yyyy-MM-dd HH:mm:ss.SSS");
  std::string line = f.stringFromDate(now_()) + " " + processName_ + "[" + std::to_string(getpid()) + ":" +
                     std::to_string(threadNumber()) + "] " + message + "\n";
  if (echo_) std::cerr << line << std::flush;
  std::error_code ec;
  std::filesystem::create_directories(home_ + "/.simdesktop", ec);
  std::ofstream(path(home_), std::ios::app | std::ios::binary) << line;
}

SimWorkspace::~SimWorkspace() {
  if (lockFd_ >= 0) {
    ::unlink(lockPath_.c_str());
    ::close(lockFd_);
  }
}

void SimWorkspace::registerLaunch(const std::string& bundleID) {
  if (lockFd_ >= 0) return;
  std::string folder = runningFolder(home_, bundleID);
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  // Launch order: the time of launch in nanoseconds names the file.
  auto stamp = std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
                   .count();
  char name[64];
  std::snprintf(name, sizeof name, "/%020lld-%d", static_cast<long long>(stamp), static_cast<int>(getpid()));
  lockPath_ = folder + name;
  lockFd_ = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lockFd_ >= 0 && ::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
    ::close(lockFd_);
    lockFd_ = -1;
  }
}

void SimWorkspace::addFakeInstance(const std::string& bundleID, int32_t pid) { fakes_.push_back({bundleID, pid}); }

std::vector<RunningApplication> SimWorkspace::runningApplicationsWithBundleIdentifier(const std::string& bundleID) {
  std::vector<RunningApplication> apps;
  for (const auto& [id, pid] : fakes_)
    if (id == bundleID) apps.push_back({pid});
  std::error_code ec;
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(runningFolder(home_, bundleID), ec))
    names.push_back(entry.path().string());
  std::sort(names.begin(), names.end());
  for (const auto& path : names) {
    auto dash = path.rfind('-');
    if (dash == std::string::npos) continue;
    int32_t pid = std::atoi(path.c_str() + dash + 1);
    if (path != lockPath_) {
      int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
      if (fd < 0) continue;
      bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
      if (free) ::unlink(path.c_str());  // its process is gone
      ::close(fd);
      if (free) continue;
    }
    apps.push_back({pid});
  }
  return apps;
}

SimProcessInfo::SimProcessInfo() {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) executable_ = self.string();
}

int32_t SimProcessInfo::processIdentifier() const { return static_cast<int32_t>(getpid()); }
uint32_t SimProcessInfo::userID() const { return static_cast<uint32_t>(getuid()); }

std::unique_ptr<Task> SimTasks::newTask() { return std::make_unique<SimTask>(home_); }

}  // namespace tl::sim
