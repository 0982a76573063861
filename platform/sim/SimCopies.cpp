#include "platform/sim/SimCopies.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "platform/sim/SimSystem.h"

namespace tl::sim {

namespace {
// At most `limit` bytes of a file of /proc; empty when it cannot be read.
std::string readProc(int32_t pid, const char* what, size_t limit) {
  std::string path = "/proc/" + std::to_string(pid) + "/" + what, text(limit, '\0');
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  size_t got = 0;
  while (got < limit) {
    ssize_t n = ::read(fd, text.data() + got, limit - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  text.resize(got);
  return text;
}

std::string pidList(const std::vector<RunningCopy>& copies, const char* between) {
  std::string pids;
  for (const auto& c : copies) pids += (pids.empty() ? "" : between) + std::to_string(c.pid);
  return pids;
}
}  // namespace

std::string copyKind(int32_t pid) {
  // launchd marks what it starts in the environment; the program's name
  // tells a console from a browser desktop.
  std::string environ = readProc(pid, "environ", 1 << 16);
  if (environ.starts_with("TUCKLINE_LAUNCHD=") || environ.find(std::string("\0TUCKLINE_LAUNCHD=", 18)) != std::string::npos)
    return "the launch agent's copy (started at login)";
  std::string name = readProc(pid, "comm", 64);
  if (!name.empty() && name.back() == '\n') name.pop_back();
  bool self = pid == static_cast<int32_t>(::getpid());
  if (name == "tuckline-web") return self ? "this browser desktop's own copy" : "a browser desktop's copy";
  if (name == "tuckline") return self ? "this console's copy" : "a console's copy";
  return "a copy";
}

std::vector<RunningCopy> runningCopies(const std::string& home, const std::string& bundleID, int32_t except) {
  std::vector<RunningCopy> copies;
  SimWorkspace workspace(home);
  for (const auto& app : workspace.runningApplicationsWithBundleIdentifier(bundleID))
    if (app.processIdentifier != except) copies.push_back({app.processIdentifier, copyKind(app.processIdentifier)});
  return copies;
}

std::string copiesText(const std::vector<RunningCopy>& copies) {
  std::string text;
  for (size_t i = 0; i < copies.size(); ++i) {
    if (i > 0) text += i + 1 == copies.size() ? " and " : ", ";
    text += "PID " + std::to_string(copies[i].pid) + " (" + copies[i].how + ")";
  }
  return text;
}

std::string gaveWayText(const std::vector<RunningCopy>& others) {
  if (others.empty()) return "Tuckline gave way to a copy that has quit since; start it again";
  // kill takes the processes as separate words.
  return "Tuckline already runs on this home as " + copiesText(others) +
         ", so this copy gave way and quit; quit " + (others.size() == 1 ? "that one" : "those") +
         " first (the menu's 退出 Tuckline, or: kill " + pidList(others, " ") + ")";
}

LoginOutcome settleLogin(const std::string& home, const std::string& bundleID, std::vector<LaunchdJob> started,
                         const std::string& endsWith, std::chrono::milliseconds patience) {
  LoginOutcome outcome;
  auto deadline = std::chrono::steady_clock::now() + patience;
  for (auto& job : started) {
    LoginOutcome::Job j{job, job.label == bundleID, false, 0};
    auto st = processStat(job.pid);
    uint64_t ticks = st ? st->startTicks : 0;
    auto runs = [&] { return stillRunning(job.pid, ticks); };
    if (j.tuckline) {
      // A copy gives way to any copy launched before it, at once: it has
      // settled once it is gone, or registered with none before it.
      for (;;) {
        auto copies = runningCopies(home, bundleID);
        auto self = std::find_if(copies.begin(), copies.end(), [&](const auto& c) { return c.pid == job.pid; });
        bool gone = !runs();
        if (gone || self != copies.end()) {
          if (!gone && self == copies.begin()) break;
          // Gave way, or about to: to the first, which stays.
          auto first = std::find_if(copies.begin(), copies.end(), [&](const auto& c) { return c.pid != job.pid; });
          if (first != copies.end()) j.gaveWayTo = first->pid;
          if (gone) break;
        }
        if (std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
    j.runs = runs();
    outcome.jobs.push_back(std::move(j));
  }
  outcome.running = runningCopies(home, bundleID);
  std::string& text = outcome.text;
  if (started.empty()) {
    text = "No launch agent started: none is set to start at login, or each is loaded already.\n";
  }
  auto named = [&](int32_t pid) {
    for (const auto& c : outcome.running)
      if (c.pid == pid) return copiesText({c});
    return "PID " + std::to_string(pid);
  };
  for (const auto& j : outcome.jobs) {
    std::string pid = "PID " + std::to_string(j.job.pid);
    if (j.job.pid <= 0) {
      text += j.job.label + " could not be started.\n";
    } else if (j.tuckline && j.gaveWayTo && !j.runs) {
      text += j.job.label + " started Tuckline (" + pid + "), which gave way to " + named(j.gaveWayTo) +
              ", already running, and quit.\n";
    } else if (j.tuckline && j.gaveWayTo) {
      text += j.job.label + " started Tuckline (" + pid + "), which is giving way to " + named(j.gaveWayTo) +
              ", already running.\n";
    } else if (!j.runs) {
      text += j.job.label + " started " + pid + ", which has ended.\n";
    } else {
      text += j.job.label + " started " + (j.tuckline ? "Tuckline (" + pid + ")" : pid) + ", which runs until " +
              endsWith + " ends, or until tuckline-launchctl bootout gui/" + std::to_string(::getuid()) + "/" +
              j.job.label + ".\n";
    }
  }
  if (outcome.running.empty())
    text += "Tuckline does not run on this home now.\n";
  else
    text += "Tuckline runs as " + copiesText({outcome.running.front()}) + ".\n";
  return outcome;
}

std::string unwritableFolder(const std::string& home) {
  for (std::string folder : {home, home + "/Library/Logs", home + "/Library/Preferences"}) {
    int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR)) {
      // A file system without unnamed files: a named one, removed at once.
      std::string probe = folder + "/.tuckline-write-check-" + std::to_string(::getpid());
      fd = ::open(probe.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0600);
      if (fd >= 0) ::unlink(probe.c_str());
    }
    if (fd < 0) return folder;
    ::close(fd);
  }
  return {};
}

NoticeText damagedPreferencesNotice(const std::string& file, const std::string& keptAt) {
  return {"damaged-preferences:" + keptAt,
          "The preferences file " + file + " could not be read; its bytes were kept in " + keptAt +
              ", and the settings are back to their defaults until you change them."};
}

NoticeText unwritableHomeNotice(const std::string& folder) {
  // What a person will miss depends on the folder.
  std::string missed = folder.ends_with("/Library/Logs") ? "the diagnostics log stays empty"
                       : folder.ends_with("/Library/Preferences")
                           ? "no setting is kept, and the help alert comes at every start"
                           : "the log stays empty, no setting is kept, and the help alert comes at every start";
  return {"unwritable-home:" + folder,
          "Nothing can be written in " + folder + ": " + missed + " until that folder can be written."};
}

NoticeText gaveWayNotice(int32_t ownPid, const RunningCopy& shown) {
  return {"gave-way:" + std::to_string(ownPid) + ":" + std::to_string(shown.pid),
          "This browser desktop's own copy (PID " + std::to_string(ownPid) + ") gave way to PID " +
              std::to_string(shown.pid) + " (" + shown.how + "), which already ran on this home; it shows that one."};
}

}  // namespace tl::sim
