// What another process sends to a copy's screen socket: whatever the bytes,
// the copy answers, runs on, and still answers the next well-formed request,
// holding memory within a fixed multiple of what it was sent.
// Two marks give the fuzzer what a short input cannot spell: byte 1 then a
// decimal count, ';' and one byte stands for that byte repeated (deep
// nesting, lines past every bound); byte 2, a count and ';' at the start
// opens that many peers beside it that send requests and never read; byte 3
// at the start makes the input what a copy sends the page's server instead.
// Left out: inputs that would start real programs (the start-at-login
// switch: its launch agent names this very binary).
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "frontends/web/ScreenShare.h"
#include "fuzz/Fuzz.h"
#include "platform/sim/SimDesktop.h"

namespace tl::fuzz {

namespace {
constexpr size_t kLongestExpansion = 4u << 20;
constexpr size_t kMostSilent = 16;

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

// A count after a mark: its digits up to ';', or nothing.
bool count(const std::string& in, size_t& at, size_t& n) {
  size_t end = in.find(';', at);
  if (end == std::string::npos || end == at || end - at > 8 || in.find_first_not_of("0123456789", at) < end) return false;
  n = std::stoul(in.substr(at, end - at));
  at = end + 1;
  return true;
}

// The input with its repeats spelt out, and the silent peers it asks for.
std::string expand(const std::string& in, size_t& silent) {
  size_t at = 0;
  silent = 0;
  if (!in.empty() && in[0] == '\2') {
    at = 1;
    if (!count(in, at, silent)) at = 0;
    silent = std::min(silent, kMostSilent);
  }
  std::string out;
  while (at < in.size() && out.size() < kLongestExpansion) {
    size_t n = 0, from = at + 1;
    if (in[at] == '\1' && count(in, from, n) && from < in.size()) {
      out.append(std::min(n, kLongestExpansion - out.size()), in[from]);
      at = from + 1;
    } else {
      out += in[at++];
    }
  }
  return out;
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

size_t longestLine(const std::string& bytes) {
  size_t longest = 0;
  for (size_t start = 0; start <= bytes.size();) {
    size_t end = std::min(bytes.find('\n', start), bytes.size());
    longest = std::max(longest, end - start);
    start = end + 1;
  }
  return longest;
}

// The page's server reading what a copy sends: whatever came before, a
// whole state after it comes through.
void pageSide(const std::string& bytes) {
  static const std::string home = scratchHome() + "-page";
  std::filesystem::create_directories(home);
  check(web::makeScreensFolder(home), "no screens folder for the page's side");
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::string path = web::screensFolder(home) + "/" + std::to_string(getpid()) + ".sock";
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
  unlink(path.c_str());
  int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  check(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && listen(listener, 1) == 0,
        "cannot stand in for a copy");
  auto link = web::ScreenLink::connect(home, getpid());
  check(link != nullptr, "the page's server does not attach to the copy");
  int served = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  close(listener);
  const std::string sent = bytes + "\n{\"state\":{\"fuzz\":true}}\n";
  bool whole = false;
  checkDecodingCost(sent.size(), [&] {
    std::thread copy([&] {
      for (size_t at = 0; at < sent.size();) {
        ssize_t n = send(served, sent.data() + at, sent.size() - at, MSG_NOSIGNAL);
        if (n <= 0) break;
        at += static_cast<size_t>(n);
      }
      close(served);
    });
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (bool open = true; open && std::chrono::steady_clock::now() < until;) {
      pollfd p{link->fd(), POLLIN, 0};
      if (poll(&p, 1, 100) == 1)
        open = link->receive([&](nlohmann::json state) { whole = whole || state == nlohmann::json{{"fuzz", true}}; });
    }
    link->close();
    copy.join();
  });
  check(whole || longestLine(sent) > web::kLongestState, "the page's server lost a whole state after what a copy sent");
}
}  // namespace

int screenSocket(const uint8_t* data, size_t size) {
  size_t silent = 0;
  if (size > 0 && data[0] == '\3') {
    pageSide(expand(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), silent));
    return 0;
  }
  const std::string bytes = expand(std::string(reinterpret_cast<const char*>(data), size), silent);
  if (bytes.find("开机") != std::string::npos) return 0;
  static std::unique_ptr<web::ScreenHost> host;
  static int inputs = 0;
  // The copy shares its screen for as long as its desktop lives.
  auto& desktop = liveDesktop(&host, ++inputs % 200 == 0, [] { host.reset(); });
  if (!host) host = std::make_unique<web::ScreenHost>(desktop);
  // Peers that ask and never read: the copy stops hearing them, or lets
  // them go, and answers the others all the same.
  std::vector<int> quiet;
  const std::string asking = "{\"id\":1,\"refresh\":true}\n";
  for (size_t k = 0; k < silent; ++k) {
    int q = connectTo(desktop);
    if (q < 0) break;
    quiet.push_back(q);
    for (int line = 0; line < 8; ++line)
      if (send(q, asking.data(), asking.size(), MSG_NOSIGNAL | MSG_DONTWAIT) <= 0) break;
  }
  int fd = connectTo(desktop);
  check(fd >= 0, "a running copy offers no screen");
  std::string sent = bytes + "\n{\"id\":4242424242,\"refresh\":true}\n";
  bool ended = false, heard = false;
  checkDecodingCost(sent.size(), [&] {
    for (size_t at = 0; at < sent.size();) {
      ssize_t n = send(fd, sent.data() + at, sent.size() - at, MSG_NOSIGNAL);
      if (n <= 0) break;  // a line too long for the copy: it hung up
      at += static_cast<size_t>(n);
    }
    heard = answered(fd, ended);
  });
  check(heard, "the copy stopped answering its screen socket");
  close(fd);
  for (int q : quiet) close(q);
  // The connection may end only because the application quit, or because
  // a line was longer than any request.
  check(!ended || desktop.terminated() || longestLine(sent) > web::kLongestRequest, "the copy hung up on a request");
  return 0;
}

}  // namespace tl::fuzz
