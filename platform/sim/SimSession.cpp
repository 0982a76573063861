#include "platform/sim/SimSession.h"

#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <thread>

#include "platform/sim/SimSystem.h"

namespace tl::sim {

namespace {
constexpr const char* kVariable = "TUCKLINE_SESSION";

struct SessionId {
  int32_t pid = 0;
  uint64_t start = 0;
};

bool parse(const std::string& text, SessionId& id) {
  std::istringstream in(text);
  char colon = 0;
  long long pid = 0;
  unsigned long long start = 0;
  if (!(in >> pid >> colon >> start) || colon != ':' || pid <= 0 || pid > INT32_MAX || !in.eof()) return false;
  id = {static_cast<int32_t>(pid), start};
  return true;
}

// Still the very process that began the session (not another one since
// given its pid).
bool running(const SessionId& id) { return stillRunning(id.pid, id.start); }
}  // namespace

void beginSession() {
  auto self = processStat(static_cast<int32_t>(::getpid()));
  std::string id = std::to_string(::getpid()) + ":" + std::to_string(self ? self->startTicks : 0);
  ::setenv(kVariable, id.c_str(), 1);
}

std::string currentSession() {
  const char* value = std::getenv(kVariable);
  SessionId id;
  return value && parse(value, id) ? value : "";
}

bool sessionRunning(const std::string& session) {
  SessionId id;
  return parse(session, id) && running(id);
}

void watchSession(std::function<void()> ended) {
  SessionId id;
  if (!parse(currentSession(), id)) return;
  std::thread([id, ended = std::move(ended)] {
    // A descriptor on the process itself wakes this thread when it ends,
    // however it ends; where the kernel has none, a look each second.
    int fd = static_cast<int>(::syscall(SYS_pidfd_open, id.pid, 0));
    if (fd >= 0 && running(id)) {
      pollfd p{fd, POLLIN, 0};
      while (::poll(&p, 1, -1) < 0) {
      }
    } else {
      while (running(id)) ::sleep(1);
    }
    if (fd >= 0) ::close(fd);
    ended();
  }).detach();
}

}  // namespace tl::sim
