// What another process sends to a copy's screen socket: whatever the bytes,
// the copy answers, runs on, and still answers the next well-formed request.
// Left out: inputs that would start real programs (the start-at-login
// switch: its launch agent names this very binary).
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "frontends/web/ScreenShare.h"
#include "fuzz/Fuzz.h"
#include "platform/sim/SimDesktop.h"

namespace tl::fuzz {

namespace {
int connectTo(sim::SimDesktop& desktop) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::string path = web::screensFolder(desktop.config().home) + "/" + std::to_string(getpid()) + ".sock";
  if (path.size() >= sizeof addr.sun_path) return -1;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    fd = -1;
  }
  return fd;
}

// Reads until the answer to the sentinel request, or the end of the
// connection; false if neither comes within a few seconds.
bool answered(int fd, bool& ended) {
  std::string in;
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < until) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buf[65536];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) {
      ended = true;
      return true;
    }
    in.append(buf, static_cast<size_t>(n));
    if (in.find("{\"body\":\"{}\",\"id\":4242424242,") != std::string::npos) return true;
    if (in.size() > (64u << 20)) in.erase(0, in.size() - 4096);
  }
  return false;
}
}  // namespace

int screenSocket(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  if (bytes.find("开机") != std::string::npos) return 0;
  static std::unique_ptr<web::ScreenHost> host;
  static int inputs = 0;
  // The copy shares its screen for as long as its desktop lives.
  auto& desktop = liveDesktop(&host, ++inputs % 200 == 0, [] { host.reset(); });
  if (!host) host = std::make_unique<web::ScreenHost>(desktop);
  int fd = connectTo(desktop);
  check(fd >= 0, "a running copy offers no screen");
  std::string sent = bytes + "\n{\"id\":4242424242,\"refresh\":true}\n";
  for (size_t at = 0; at < sent.size();) {
    ssize_t n = send(fd, sent.data() + at, sent.size() - at, MSG_NOSIGNAL);
    if (n <= 0) break;  // a line too long for the copy: it hung up
    at += static_cast<size_t>(n);
  }
  bool ended = false;
  check(answered(fd, ended), "the copy stopped answering its screen socket");
  close(fd);
  // The connection may end only because the application quit, or because
  // a line was longer than any request.
  check(!ended || desktop.terminated() || sent.size() > (1u << 20), "the copy hung up on a request");
  return 0;
}

}  // namespace tl::fuzz
