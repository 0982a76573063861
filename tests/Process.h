#pragma once
// Real processes of the console program, for tests that need more than one
// process on a simulated home.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace tl::test {

// Starts a program; stdin from the descriptor given (else /dev/null),
// stdout to outPath and stderr to errPath (or /dev/null).
inline pid_t spawnProgram(std::string exe, const std::vector<std::string>& args, const std::string& outPath = "/dev/null",
                          const std::string& errPath = "/dev/null", int stdinFd = -1) {
  std::vector<std::string> copy = args;
  std::vector<char*> argv{exe.data()};
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdinFd >= 0)
    posix_spawn_file_actions_adddup2(&actions, stdinFd, 0);
  else
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  if (posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

#ifdef TUCKLINE_CONSOLE_PATH
inline pid_t spawnConsole(const std::vector<std::string>& args, const std::string& outPath = "/dev/null",
                          const std::string& errPath = "/dev/null", int stdinFd = -1) {
  return spawnProgram(TUCKLINE_CONSOLE_PATH, args, outPath, errPath, stdinFd);
}
#endif

// The exit status, or 128 + signal; -1 (after killing it) if it has not
// ended within 20 s.
inline int waitExit(pid_t pid) {
  int status = 0;
  for (int i = 0; i < 1000; ++i) {
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

// Polls, for at most 10 s, a condition that another real process brings about.
inline bool eventually(const std::function<bool()>& cond) {
  for (int i = 0; i < 500; ++i) {
    if (cond()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

}  // namespace tl::test
