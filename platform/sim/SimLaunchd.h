#pragma once
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace tl::sim {

// The per-user launchd of the simulated desktop. What it knows (the loaded
// jobs and the process of each) lives under <home>/.simdesktop/launchd/,
// locked while it changes, so the launchctl program, the desktop and any
// number of other processes share it. A job runs detached, in a session of
// its own, with TUCKLINE_HOME and TUCKLINE_LAUNCHD=1 in its environment
// (with the login session that started it, see SimSession.h), and
// its output appended to <home>/.simdesktop/launchd/<label>.log (unless the
// property list names StandardOutPath or StandardErrorPath).

struct LaunchdJob {
  std::string label;
  std::string plistPath;                      // the file it was loaded from
  std::vector<std::string> programArguments;
  int32_t pid = 0;                            // 0: never started, or could not be
  bool running = false;                       // pid is still the job's own process
};

std::string launchdFolder(const std::string& home);

// What launchd takes from an agent's property list.
struct LaunchAgent {
  std::string label, program;
  std::vector<std::string> arguments;
  bool runAtLoad = false;
  bool forAqua = true;  // LimitLoadToSessionType names Aqua, or nothing
  std::vector<std::pair<std::string, std::string>> environment;
  std::string workingDirectory, stdinPath, stdoutPath, stderrPath;
};

// Reads an agent; false with launchctl's error number (2: no such file, 5:
// anything else) and a reason for people. An agent whose program, arguments,
// paths or environment hold U+0000 is refused: no program could receive them.
bool readLaunchAgent(const std::string& path, LaunchAgent& agent, int& code, std::string& why);

// The loaded jobs, by label.
std::vector<LaunchdJob> launchdJobs(const std::string& home);
std::optional<LaunchdJob> launchdJob(const std::string& home, const std::string& label);

// launchctl: "bootstrap gui/<uid> <plist>…", "bootout gui/<uid>/<label>"
// (or "bootout gui/<uid> <plist>…"), "print gui/<uid>[/<label>]", "list",
// "help". Returns the exit status; messages go to out and err as launchctl
// words them ("Bootstrap failed: 5: Input/output error" for a job already
// loaded, "Boot-out failed: 3: No such process" for one that is not).
int launchctlMain(const std::string& home, const std::vector<std::string>& args, std::ostream& out,
                  std::ostream& err);

// A fresh login: jobs whose process has ended are forgotten, then every
// agent in <home>/Library/LaunchAgents/*.plist meant for the graphical
// session (LimitLoadToSessionType Aqua, or none) that is not loaded is
// loaded, and started when it asks for RunAtLoad. Returns those started.
std::vector<LaunchdJob> simulateLogin(const std::string& home);

// Logging out of a login session (see SimSession.h): every job started
// within it is stopped (SIGTERM, then SIGKILL after two seconds) and
// unloaded. Returns the processes that were stopped. A session whose
// process ended without logging out (killed outright) is logged out the
// same way by whatever next reads or changes the jobs (launchctl, a login,
// launchdJobs).
std::vector<int32_t> logout(const std::string& home, const std::string& session);

}  // namespace tl::sim
