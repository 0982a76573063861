#include "frontends/console/Signals.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <thread>

namespace tl::console {

namespace quit {
namespace {
int gPipe[2] = {-1, -1};
std::atomic<bool> gRequested{false};

// How long an orderly end may take before the process is ended anyway:
// above what ending the session's agents may wait for them.
constexpr auto kGrace = std::chrono::seconds(5);

void poke() {
  if (gPipe[1] < 0) return;
  char byte = 1;
  // Full means a wake-up is already pending, which is all a wake-up says.
  [[maybe_unused]] auto n = ::write(gPipe[1], &byte, 1);
}
}  // namespace

void install() {
  if (gPipe[0] >= 0) return;
  if (::pipe2(gPipe, O_CLOEXEC | O_NONBLOCK) != 0) gPipe[0] = gPipe[1] = -1;
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  // Touches nothing but the flag, the pipe and the clock, which live as
  // long as the process.
  std::thread([signals] {
    int sig = 0;
    if (sigwait(&signals, &sig) != 0) return;
    request();
    // A second signal, or the grace running out, while the orderly end is
    // still under way: nothing of the program may stay behind. Only a
    // signal or the clock ends the wait: one cut short otherwise (the leak
    // checker or a debugger stopping every thread at exit) goes on for what
    // is left of the grace.
    auto deadline = std::chrono::steady_clock::now() + kGrace;
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      timespec wait{static_cast<time_t>(left.count() / 1000000000), static_cast<long>(left.count() % 1000000000)};
      if (sigtimedwait(&signals, nullptr, &wait) > 0) break;
    }
    ::_exit(128 + sig);
  }).detach();
}

bool requested() { return gRequested; }

void request() {
  gRequested = true;
  poke();
}

void wake() { poke(); }

int fd() { return gPipe[0]; }

void drain() {
  char buf[64];
  while (gPipe[0] >= 0 && ::read(gPipe[0], buf, sizeof buf) > 0) {
  }
}

bool sleep(double seconds) {
  using namespace std::chrono;
  auto until = steady_clock::now() + duration_cast<steady_clock::duration>(duration<double>(std::max(seconds, 0.0)));
  while (!requested()) {
    auto left = duration_cast<milliseconds>(until - steady_clock::now()).count();
    if (left <= 0) return true;
    pollfd p{fd(), POLLIN, 0};
    if (::poll(&p, p.fd >= 0 ? 1 : 0, static_cast<int>(std::min<long long>(left, 1000))) > 0) drain();
  }
  return false;
}

}  // namespace quit

std::optional<std::string> LineReader::take() {
  size_t end = buffer_.find('\n');
  // A line that never ends is still one line: taken whole beyond a size no
  // command comes near, so memory stays bounded.
  constexpr size_t kLongest = 1 << 20;
  if (end == std::string::npos && buffer_.size() < kLongest) return std::nullopt;
  if (end == std::string::npos) end = buffer_.size();
  std::string line = buffer_.substr(0, end);
  buffer_.erase(0, std::min(end + 1, buffer_.size()));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::optional<std::string> LineReader::flushLast() {
  if (!eof_ || buffer_.empty()) return std::nullopt;
  std::string line;
  line.swap(buffer_);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool LineReader::fill() {
  pollfd fds[2] = {{fd_, POLLIN, 0}, {quit::fd(), POLLIN, 0}};
  int n = ::poll(fds, quit::fd() >= 0 ? 2 : 1, -1);
  if (n < 0) return errno == EINTR;
  if (fds[1].revents & POLLIN) quit::drain();
  if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) return true;
  char buf[65536];
  ssize_t got = ::read(fd_, buf, sizeof buf);
  if (got < 0) return errno == EINTR || errno == EAGAIN;
  if (got == 0) eof_ = true;
  buffer_.append(buf, static_cast<size_t>(got));
  return true;
}

size_t LineReader::countRemaining() {
  struct stat st {};
  bool file = ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
  while (!eof_) {
    pollfd p{fd_, POLLIN, 0};
    if (!file && ::poll(&p, 1, 0) <= 0) break;  // nothing more has arrived
    char buf[65536];
    ssize_t got = ::read(fd_, buf, sizeof buf);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      eof_ = got == 0;
      break;
    }
    buffer_.append(buf, static_cast<size_t>(got));
    if (buffer_.size() > (64u << 20)) break;  // enough to say "many"
  }
  size_t count = 0;
  for (size_t at = 0; at < buffer_.size();) {
    size_t end = buffer_.find('\n', at);
    if (end == std::string::npos) end = buffer_.size();
    size_t first = buffer_.find_first_not_of(" \t\r", at);
    if (first < end && buffer_[first] != '#') ++count;
    at = end + 1;
  }
  return count;
}

}  // namespace tl::console
