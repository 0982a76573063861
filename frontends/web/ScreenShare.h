#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include <nlohmann/json.hpp>

#include "platform/sim/SimDesktop.h"

namespace tl::web {

// On a Mac every process's status items appear on the one menu bar the
// person looks at. Here each copy of Tuckline runs in a process of its own
// (a console, a copy launchd started at login, the browser desktop's own),
// so the browser desktop's page shows whichever copy runs on its home: each
// copy offers its screen on a socket of its own, and the page's server
// attaches to the live one.
//
// The sockets are <home>/.simdesktop/screens/<pid>.sock, in a folder only
// the user may enter, and a copy answers only processes of its own user.
// Lines of JSON go each way. From the copy: {"state":{…}} once on
// connecting and whenever what it shows changed, the whole state each
// time; {"id":N,"status":S,"body":"…"} answering a request. To the copy:
// {"id":N,"input":"<the page's request body>"}, carried out as the page's
// own input would be, or {"id":N,"refresh":true}, which looks at the
// desktop again. Nothing in either names a path.
//
// Each end takes a line only whole and within these bounds, and a line is
// carried out only when all of it is one JSON value: whatever another
// process sends costs a bounded time and memory, and nothing nested
// deeper than kDeepestLine is ever built (copying, comparing or writing
// out a value recurses as deep as it is nested).
inline constexpr size_t kLongestRequest = 128u << 10;  // a page's body (16 KiB) escaped, with room
inline constexpr size_t kLongestState = 8u << 20;      // some 130 kB in use, with logs' tails full
inline constexpr int kDeepestLine = 64;                // a state nests 6 deep
// What one page's server may cost a copy beyond the latest state, which
// every peer shares: the unsent rest of a state since superseded, answers
// it has not read and a request it has not ended. A server that reads
// what it is sent holds next to nothing (the kernel's buffer takes a whole
// state); one past this has stopped reading and is let go.
inline constexpr size_t kMostHeldPerPeer = 1u << 20;
// Peers a copy serves at once, fewer where the process may open few
// descriptors (an eighth of its limit): one or two pages' servers is the
// use, and the log, the preferences and launchd need descriptors too.
inline constexpr size_t kMostPeers = 32;

std::string screensFolder(const std::string& home);
// Makes the folder if it is missing and keeps it to its user; false when
// it cannot be had (another user's, say).
bool makeScreensFolder(const std::string& home);
// Why the home's screens folder is not trusted (a symbolic link, not a
// folder, another user's), as one line that says what to do; empty when
// it is trusted or missing. The first time a process meets such a folder
// it says so on its standard error too.
std::string screensFolderProblem(const std::string& home);
// Removes the sockets that copies killed without a chance to clean up
// (kill -9) left in the home's screens folder: each whose process is gone
// and on which nothing listens. A live copy's socket is never removed.
void removeStaleScreens(const std::string& home);

// A copy's end: shares its desktop's screen while its application runs.
// Made after the desktop's launch(); destroyed before the desktop.
class ScreenHost {
 public:
  explicit ScreenHost(sim::SimDesktop& desktop);
  ~ScreenHost();
  ScreenHost(const ScreenHost&) = delete;
  ScreenHost& operator=(const ScreenHost&) = delete;

  // Whether it listens (its application runs and the socket could be made).
  bool listening() const { return listening_; }

  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
  bool listening_ = false;
};

// The page's server's end: a connection to another process's copy.
class ScreenLink {
 public:
  // The live copy of process `pid` on the home, or nullptr when it offers
  // no screen (not started yet, gone, or never a copy). Only a socket, not
  // a link to one, and only if the process that listens is `pid`; a
  // socket left by a copy that is gone is removed.
  static std::shared_ptr<ScreenLink> connect(const std::string& home, int32_t pid);
  ~ScreenLink();
  ScreenLink(const ScreenLink&) = delete;
  ScreenLink& operator=(const ScreenLink&) = delete;

  int32_t pid() const { return pid_; }
  // Readable when the copy sent something, or went away.
  int fd() const { return fd_; }
  // Takes what has arrived: each state goes to onState, each answer to the
  // request waiting for it. False once the copy has gone, or has sent a
  // line longer than any state (the link is then closed).
  bool receive(const std::function<void(nlohmann::json)>& onState);
  // Sends one request and waits for its answer (status, body); nullopt if
  // the copy went away or did not answer in time.
  std::optional<std::pair<int, std::string>> request(nlohmann::json request, std::chrono::milliseconds timeout);
  // Ends the connection; requests still waiting get nullopt.
  void close();

 private:
  ScreenLink(int fd, int32_t pid) : fd_(fd), pid_(pid) {}

  int fd_;
  int32_t pid_;
  std::string in_;  // the line begun, never longer than kLongestState
  std::mutex mu_;  // writes, answers and the state of the link
  std::condition_variable answered_;
  std::map<uint64_t, std::optional<std::pair<int, std::string>>> answers_;  // only those awaited
  uint64_t nextId_ = 1;
  bool gone_ = false;
};

// A copy without a window of its own (one launchd started at login, or a
// console's --headless): it runs until its application ends or a quit
// request comes, offering its screen to the page of its home meanwhile.
// Returns the program's exit status.
int runWithoutWindow(sim::SimDesktop& desktop);

}  // namespace tl::web
