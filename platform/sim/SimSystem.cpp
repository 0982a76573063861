#include "platform/sim/SimSystem.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <thread>

#include "platform/sim/SimClock.h"
#include "platform/sim/SimFiles.h"

extern char** environ;

namespace tl::sim {

namespace {

namespace fs = std::filesystem;

std::string padded(long long value, size_t width) {
  std::string digits = std::to_string(value);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return digits;
}

// ---------------------------------------------------------------- NSLog

int threadNumber() {
  static std::atomic<int> next{1};
  thread_local int mine = next++;
  return mine;
}


// ---------------------------------------------------------------- workspace

bool allDigits(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c); });
}

std::string readSmallFile(int fd) {
  std::string text;
  char buf[64];
  for (off_t at = 0;;) {
    ssize_t n = ::pread(fd, buf, sizeof buf, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0 || text.size() > 4096) break;
    text.append(buf, static_cast<size_t>(n));
    at += n;
  }
  return text;
}

std::optional<long long> parseNumber(const std::string& text) {
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end == text.c_str()) return std::nullopt;
  return v;
}

// "PID LAUNCH-NANOSECONDS"; an entry without its date still counts.
std::optional<RunningApplication> parseEntry(const std::string& text) {
  std::istringstream entry(text);
  long long pid = 0, launched = 0;
  if (!(entry >> pid) || pid <= INT32_MIN || pid > INT32_MAX) return std::nullopt;
  RunningApplication app{static_cast<int32_t>(pid), std::nullopt};
  if (entry >> launched) app.launchDate = static_cast<double>(launched) / 1e9;
  return app;
}

// ---------------------------------------------------------------- tasks

std::string baseName(const std::string& path) {
  std::string name = fs::path(path).filename().string();
  return name.empty() ? path : name;
}

std::string launchError(const std::string& path, int err) {
  std::string file = "“" + baseName(path) + "”";
  if (err == ENOENT || err == ENOTDIR) return "The file " + file + " doesn’t exist.";
  if (err == EACCES || err == EPERM)
    return "The file " + file + " couldn’t be opened because you don’t have permission to view it.";
  return "The file " + file + " couldn’t be opened. (" + std::string(std::strerror(err)) + ")";
}

class SimTask : public Task {
 public:
  SimTask(std::string home, SimRunLoop* loop, std::string launchctl)
      : home_(std::move(home)), loop_(loop), launchctl_(std::move(launchctl)) {}
  ~SimTask() override {
    // Collects a child that ended unwaited; one still running is left alone,
    // as NSTask leaves it.
    if (pid_ > 0 && !ended_) ::waitpid(pid_, nullptr, WNOHANG);
  }
  void setExecutablePath(const std::string& path) override { path_ = path; }
  void setArguments(const std::vector<std::string>& arguments) override { args_ = arguments; }
  void setStandardOutput(std::shared_ptr<FileHandle> handle) override { out_ = std::move(handle); }
  void setStandardError(std::shared_ptr<FileHandle> handle) override { err_ = std::move(handle); }

  bool launch(std::string* error) override {
    auto fail = [&](std::string text) {
      if (error) *error = std::move(text);
      return false;
    };
    if (pid_ > 0) return fail("The task has already been launched.");
    std::string program = path_;
    if (program == "/bin/launchctl") program = launchctl_;
    if (program.empty()) return fail(launchError(path_, ENOENT));

    std::vector<std::string> argStore{path_};
    argStore.insert(argStore.end(), args_.begin(), args_.end());
    std::vector<char*> argv;
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStore;
    for (char** e = environ; e && *e; ++e)
      if (std::strncmp(*e, "TUCKLINE_HOME=", 14) != 0) envStore.push_back(*e);
    envStore.push_back("TUCKLINE_HOME=" + home_);
    std::vector<char*> envp;
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    auto redirect = [&](const std::shared_ptr<FileHandle>& h, int target) {
      auto* handle = dynamic_cast<SimFileHandle*>(h.get());
      if (!handle) return;  // none set: the child shares ours, as with NSTask
      if (handle->fd() >= 0)
        posix_spawn_file_actions_adddup2(&actions, handle->fd(), target);
      else
        posix_spawn_file_actions_addopen(&actions, target, "/dev/null", O_WRONLY, 0);
    };
    redirect(out_, STDOUT_FILENO);
    redirect(err_, STDERR_FILENO);
    // Whatever this process blocks or ignores (a front end blocks SIGTERM
    // to handle it on a thread of its own) is not the child's business.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return fail(launchError(path_, rc));
    pid_ = pid;
    return true;
  }

  void waitUntilExit() override {
    if (pid_ <= 0 || ended_) return;
    int status = 0;
    pid_t got = -1;
    auto reap = [&] {
      do {
        got = ::waitpid(pid_, &status, 0);
      } while (got < 0 && errno == EINTR);
    };
    if (loop_ && loop_->onMainThread()) {
      std::atomic<bool> exited{false};
      std::thread watcher([&] {
        reap();
        exited = true;
        loop_->wake();
      });
      loop_->runWhileWaiting([&] { return exited.load(); });
      watcher.join();
    } else {
      reap();
    }
    ended_ = true;
    if (got != pid_) return;  // reaped elsewhere: the status is lost
    if (WIFEXITED(status)) status_ = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) status_ = WTERMSIG(status);
  }

  int32_t terminationStatus() const override { return status_; }

 private:
  std::string home_;
  SimRunLoop* loop_;
  std::string launchctl_, path_;
  std::vector<std::string> args_;
  std::shared_ptr<FileHandle> out_, err_;
  pid_t pid_ = -1;
  bool ended_ = false;
  int32_t status_ = -1;
};

}  // namespace

SimSystemLog::SimSystemLog(std::string home, std::string processName, std::function<double()> now)
    : home_(std::move(home)), processName_(std::move(processName)), now_(std::move(now)) {}

void SimSystemLog::setEchoToStderr(bool echo) {
  std::lock_guard lock(mu_);
  echo_ = echo;
}

void SimSystemLog::log(const std::string& message) {
  std::string line = formatDate("yyyy-MM-dd HH:mm:ss.SSS", now_ ? now_() : 0, "en_US_POSIX") + " " + processName_ + "[" +
                     std::to_string(::getpid()) + ":" + std::to_string(threadNumber()) + "] " + message;
  if (line.empty() || line.back() != '\n') line += '\n';
  std::lock_guard lock(mu_);
  // One write each, so lines of several processes never interleave.
  if (echo_) writeAll(STDERR_FILENO, line);
  std::string file = path(home_);
  int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0 && errno == ENOENT) {
    std::error_code ec;
    fs::create_directories(fs::path(file).parent_path(), ec);
    fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  }
  if (fd < 0) return;  // the record on stderr is all there is
  writeAll(fd, line);
  ::close(fd);
}

std::string safeFileName(const std::string& text) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (std::isalnum(c) || c == '-' || c == '_' || (c == '.' && i > 0)) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out.empty() ? "%" : out;
}

std::string SimWorkspace::folder(const std::string& home, const std::string& bundleID) {
  return home + "/.simdesktop/running/" + safeFileName(bundleID);
}

SimWorkspace::~SimWorkspace() {
  std::lock_guard lock(mu_);
  for (const auto& e : entries_) {
    ExclusiveLock folderLock(folder(home_, e.bundleID) + "/.lock");
    ::unlink(e.path.c_str());
    ::close(e.fd);
  }
}

void SimWorkspace::registerLaunch(const std::string& bundleID, bool dated) {
  {
    std::lock_guard lock(mu_);
    int32_t self = static_cast<int32_t>(::getpid());
    for (const auto& e : entries_)
      if (e.bundleID == bundleID && e.pid == self) return;
  }
  add(bundleID, static_cast<int32_t>(::getpid()), dated);
}

void SimWorkspace::unregisterLaunch(const std::string& bundleID) {
  std::lock_guard lock(mu_);
  int32_t self = static_cast<int32_t>(::getpid());
  std::erase_if(entries_, [&](const Entry& e) {
    if (e.bundleID != bundleID || e.pid != self) return false;
    ExclusiveLock folderLock(folder(home_, e.bundleID) + "/.lock");
    ::unlink(e.path.c_str());
    ::close(e.fd);
    return true;
  });
}

void SimWorkspace::addFakeInstance(const std::string& bundleID, int32_t pid, bool dated) { add(bundleID, pid, dated); }

void SimWorkspace::setStartTimes(std::function<std::optional<double>(int32_t)> startTimes) {
  std::lock_guard lock(mu_);
  startTimes_ = std::move(startTimes);
}

void SimWorkspace::add(const std::string& bundleID, int32_t pid, bool dated) {
  std::lock_guard lock(mu_);
  std::string dir = folder(home_, bundleID);
  std::error_code ec;
  fs::create_directories(dir, ec);
  // The folder's lock orders launches and keeps a look from taking an entry
  // that is not locked yet for a dead one.
  ExclusiveLock folderLock(dir + "/.lock");
  if (!folderLock.held()) return;
  long long next = parseNumber(readSmallFile(folderLock.fd())).value_or(0) + 1;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    std::string name = entry.path().filename().string();
    if (allDigits(name)) next = std::max(next, parseNumber(name).value_or(0) + 1);
  }
  std::string number = padded(next, 12);
  if (::ftruncate(folderLock.fd(), 0) != 0 || ::pwrite(folderLock.fd(), number.data(), number.size(), 0) < 0) {
    // The entries' own names still order the launches.
  }
  std::string path = dir + "/" + number;
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return;
  // The launch date in nanoseconds of the wall clock, which every process
  // shares; the folder's lock keeps the launches one after another.
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  long long launched = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
  std::string entry = std::to_string(pid) + (dated ? " " + std::to_string(launched) : std::string()) + "\n";
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !writeAll(fd, entry)) {
    ::unlink(path.c_str());
    ::close(fd);
    return;
  }
  entries_.push_back({bundleID, path, pid, fd});
}

std::vector<RunningApplication> SimWorkspace::runningApplicationsWithBundleIdentifier(const std::string& bundleID) {
  std::lock_guard lock(mu_);

  std::vector<RunningApplication> apps;
  std::string dir = folder(home_, bundleID);
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return apps;
  ExclusiveLock folderLock(dir + "/.lock");
  if (!folderLock.held()) return apps;
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    std::string name = entry.path().filename().string();
    if (allDigits(name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());  // fixed width: launch order
  for (const auto& name : names) {
    std::string path = dir + "/" + name;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    // A separate open of our own entry meets our own lock, so this process
    // counts as alive like any other.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      ::unlink(path.c_str());  // its process is gone
    } else if (auto app = parseEntry(readSmallFile(fd))) {
      if (!app->launchDate) app->launchDate = startTimes_ ? startTimes_(app->processIdentifier) : processStartTime(app->processIdentifier);
      apps.push_back(*app);

    }
    ::close(fd);
  }
  return apps;
}

std::optional<ProcessStat> processStat(int32_t pid) {
  if (pid <= 0) return std::nullopt;
  std::string text;
  if (!readPlainFile("/proc/" + std::to_string(pid) + "/stat", text, 4096)) return std::nullopt;
  size_t close = text.rfind(')');  // the command name may hold anything
  if (close == std::string::npos) return std::nullopt;
  std::istringstream fields(text.substr(close + 1));
  ProcessStat st;
  std::string skip;
  if (!(fields >> st.state)) return std::nullopt;
  for (int i = 0; i < 18 && fields >> skip; ++i) {
  }
  if (!(fields >> st.startTicks)) return std::nullopt;
  return st;
}

bool stillRunning(int32_t pid, uint64_t startTicks) {
  auto st = processStat(pid);
  return st && st->state != 'Z' && st->state != 'X' && startTicks != 0 && st->startTicks == startTicks;
}

std::optional<double> processStartTime(int32_t pid) {
  auto st = processStat(pid);
  static const long ticks = ::sysconf(_SC_CLK_TCK);
  if (!st || ticks <= 0) return std::nullopt;
  // The kernel counts a start in clock ticks from boot; the boot's date is
  // the wall clock less the time since boot, to the microsecond, so every
  // process that asks puts the same process at the same instant as nearly
  // as the clock allows (whole-second boot dates would misplace it by up to
  // a second against copies dated to the nanosecond). The end of the tick
  // it started in: never before the process began, so a copy started by
  // another copy (its login) always comes after that one's launch.
  timespec wall{}, boot{};
  ::clock_gettime(CLOCK_REALTIME, &wall);
  ::clock_gettime(CLOCK_BOOTTIME, &boot);
  double booted = static_cast<double>(wall.tv_sec - boot.tv_sec) + static_cast<double>(wall.tv_nsec - boot.tv_nsec) / 1e9;
  return booted + static_cast<double>(st->startTicks + 1) / static_cast<double>(ticks);
}

SimProcessInfo::SimProcessInfo() {
  std::error_code ec;
  auto self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) executable_ = self.string();
}

int32_t SimProcessInfo::processIdentifier() const { return static_cast<int32_t>(::getpid()); }
uint32_t SimProcessInfo::userID() const { return static_cast<uint32_t>(::getuid()); }

std::unique_ptr<Task> SimTasks::newTask() { return std::make_unique<SimTask>(home_, loop_, launchctl_); }

std::string SimTasks::launchctlPath() {
  // Installed programs find it beside them; in the build tree it is where
  // the build put it.
  std::error_code ec;
  auto beside = fs::read_symlink("/proc/self/exe", ec).parent_path() / "tuckline-launchctl";
  if (!ec && ::access(beside.c_str(), X_OK) == 0) return beside.string();
#ifdef TUCKLINE_LAUNCHCTL_PATH
  return TUCKLINE_LAUNCHCTL_PATH;
#else
  return "";
#endif
}

}  // namespace tl::sim
