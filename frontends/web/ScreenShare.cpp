#include "frontends/web/ScreenShare.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "frontends/console/Signals.h"
#include "frontends/web/Input.h"
#include "frontends/web/State.h"
#include "platform/sim/SimSystem.h"

namespace tl::web {

using nlohmann::json;

namespace {

// A line longer than any request the page makes is not one.
constexpr size_t kLongestRequest = 1 << 20;
// What a page's server may fall behind by before it is let go: a few
// dozen whole states.
constexpr size_t kMostPending = 32u << 20;

std::string text(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

std::string socketName(int32_t pid) { return std::to_string(pid) + ".sock"; }

// The folder, made if missing and kept to its user; its descriptor, or -1.
int openScreens(const std::string& home, bool make) {
  std::string dir = screensFolder(home);
  if (make) {
    ::mkdir((home + "/.simdesktop").c_str(), 0755);
    ::mkdir(dir.c_str(), 0700);
  }
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
  struct stat st {};
  if (fd >= 0 && (::fstat(fd, &st) != 0 || st.st_uid != ::getuid())) {
    ::close(fd);
    return -1;
  }
  if (fd >= 0 && (st.st_mode & 077)) ::fchmod(fd, 0700);
  return fd;
}

// Reached through the folder's descriptor, the address stays short however
// long the home's path is.
sockaddr_un addressIn(int dirFd, const std::string& name) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "/proc/self/fd/%d/%s", dirFd, name.c_str());
  return addr;
}

bool sameUser(int fd) {
  ucred cred{};
  socklen_t len = sizeof cred;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && cred.uid == ::getuid();
}

// Writes what it can without blocking; false when the peer is gone.
bool flush(int fd, std::string& out) {
  while (!out.empty()) {
    ssize_t n = ::send(fd, out.data(), out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
    out.erase(0, static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

std::string screensFolder(const std::string& home) { return home + "/.simdesktop/screens"; }

bool makeScreensFolder(const std::string& home) {
  int fd = openScreens(home, true);
  if (fd >= 0) ::close(fd);
  return fd >= 0;
}

// ---------------------------------------------------------------- the copy's end

struct ScreenHost::Shared {
  explicit Shared(sim::SimDesktop& d) : desktop(d) {}
  sim::SimDesktop& desktop;
  int wake[2] = {-1, -1};
  std::atomic<bool> stopping{false}, ended{false};
  std::atomic<int> viewers{0};
  // The main thread's: what the page was last told, and its bookkeeping.
  FaultBook faults;
  FileCache files;
  std::string described;
  // Handed from the main thread to the serving thread.
  std::mutex mu;
  std::string latest;
  uint64_t version = 0;

  void poke() {
    char byte = 1;
    [[maybe_unused]] auto n = ::write(wake[1], &byte, 1);
  }
  // Main thread: what the desktop shows now, passed on if it changed.
  void describe() {
    if (stopping || viewers == 0) return;
    std::string now = text(describeDesktop(desktop, faults, &files));
    if (now == described) return;
    described = now;
    {
      std::lock_guard lock(mu);
      latest = "{\"state\":" + now + "}\n";
      ++version;
    }
    poke();
  }
};

namespace {

struct Viewer {
  int fd;
  std::string in, out;
  uint64_t seen = 0;
};

// One request of a page's server, answered after the state it led to has
// been queued, so the page sees the change before the answer.
std::string answer(ScreenHost::Shared& s, const std::string& line) {
  json request = json::parse(line, nullptr, false);
  json id = request.is_object() ? request.value("id", json()) : json();
  auto reply = [&](int status, const std::string& body) {
    return text(json{{"id", id}, {"status", status}, {"body", body}}) + "\n";
  };
  if (!id.is_number_unsigned()) return {};
  if (request.contains("refresh")) {
    s.desktop.onMain([&s] { s.describe(); });
    return reply(200, "{}");
  }
  auto body = request.find("input");
  if (body == request.end() || !body->is_string()) return reply(400, text(json{{"ok", false}, {"error", "no input"}}));
  Parsed parsed = parseCommand(body->get<std::string>());
  if (!parsed.command) return reply(400, text(json{{"ok", false}, {"error", parsed.error}}));
  if (parsed.command->kind == Command::Kind::Login || parsed.command->kind == Command::Kind::Launch)
    return reply(409, text(json{{"ok", false}, {"error", "not an input of this copy"}}));
  // The bookkeeping of faults is the main thread's: it is handed over there.
  Outcome outcome = applyCommand(s.desktop, s.faults, *parsed.command);
  s.desktop.onMain([&s] { s.describe(); });
  json result = {{"ok", outcome.ok}};
  if (!outcome.ok) result["error"] = outcome.message;
  return reply(outcome.ok ? 200 : 409, text(result));
}

void serve(std::shared_ptr<ScreenHost::Shared> s, int listenFd, int dirFd, std::string name) {
  std::vector<Viewer> viewers;
  auto drop = [&](size_t i) {
    ::close(viewers[i].fd);
    viewers.erase(viewers.begin() + static_cast<long>(i));
    --s->viewers;
  };
  // What the desktop shows now, queued for every page that has not had it.
  auto queueLatest = [&] {
    std::lock_guard lock(s->mu);
    for (auto& v : viewers)
      if (v.seen < s->version) {
        v.out += s->latest;
        v.seen = s->version;
      }
  };
  while (!s->stopping && !s->ended) {
    std::vector<pollfd> fds{{s->wake[0], POLLIN, 0}, {listenFd, POLLIN, 0}};
    for (const auto& v : viewers) fds.push_back({v.fd, static_cast<short>(POLLIN | (v.out.empty() ? 0 : POLLOUT)), 0});
    if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) {
      char buf[64];
      while (::read(s->wake[0], buf, sizeof buf) > 0) {
      }
    }
    if (s->stopping || s->ended) break;
    if (fds[1].revents & POLLIN) {
      int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (fd >= 0 && !sameUser(fd)) {
        ::close(fd);
      } else if (fd >= 0) {
        viewers.push_back({fd, {}, {}, 0});
        ++s->viewers;
        // What it shows now, at once: nothing may have changed for a while.
        s->desktop.onMain([&s] {
          s->described.clear();
          s->describe();
        });
      }
    }
    for (size_t i = 0; i < viewers.size(); ++i) {
      if (i + 2 >= fds.size()) break;  // accepted just now
      auto revents = fds[i + 2].revents;
      if (!(revents & (POLLIN | POLLHUP | POLLERR))) continue;
      char buf[65536];
      ssize_t n = ::recv(viewers[i].fd, buf, sizeof buf, MSG_DONTWAIT);
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      if (n <= 0 || viewers[i].in.size() + static_cast<size_t>(n) > kLongestRequest) {
        fds.erase(fds.begin() + static_cast<long>(i + 2));
        drop(i--);
        continue;
      }
      viewers[i].in.append(buf, static_cast<size_t>(n));
      for (size_t end; (end = viewers[i].in.find('\n')) != std::string::npos;) {
        std::string line = viewers[i].in.substr(0, end);
        viewers[i].in.erase(0, end + 1);
        std::string reply = answer(*s, line);
        // The state the request led to goes first, to every page.
        queueLatest();
        viewers[i].out += reply;
      }
    }
    queueLatest();
    for (size_t i = 0; i < viewers.size(); ++i) {
      if (!flush(viewers[i].fd, viewers[i].out) || viewers[i].out.size() > kMostPending) drop(i--);
    }
  }
  // The application ended (or the host goes): no page may find this socket.
  ::unlinkat(dirFd, name.c_str(), 0);
  ::close(listenFd);
  ::close(dirFd);
  while (!viewers.empty()) drop(viewers.size() - 1);
}

}  // namespace

ScreenHost::ScreenHost(sim::SimDesktop& desktop) : shared_(std::make_shared<Shared>(desktop)) {
  auto s = shared_;
  if (::pipe2(s->wake, O_CLOEXEC | O_NONBLOCK) != 0) return;
  // Watched from the start, so an end while the socket is being made is
  // not missed.
  desktop.loop().addIdleObserver([s] { s->describe(); });
  desktop.addEndObserver([s] {
    s->ended = true;
    s->poke();
  });
  if (desktop.ended() || desktop.terminated()) return;
  int dirFd = openScreens(desktop.config().home, true);
  if (dirFd < 0) return;
  // Made under a name nobody looks for, and given its own name only once
  // it listens: a page that sees it can connect at once.
  int32_t pid = desktop.simProcessInfo().processIdentifier();
  std::string name = socketName(pid), making = "." + name + ".new";
  ::unlinkat(dirFd, making.c_str(), 0);
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_un addr = addressIn(dirFd, making);
  // The folder lets nobody else in; the socket itself is the user's alone
  // too (not by the umask, which is every thread's).
  bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  if (!bound || ::fchmodat(dirFd, making.c_str(), 0600, 0) != 0 || ::listen(fd, 16) != 0 ||
      ::renameat(dirFd, making.c_str(), dirFd, name.c_str()) != 0) {
    if (bound) ::unlinkat(dirFd, making.c_str(), 0);
    if (fd >= 0) ::close(fd);
    ::close(dirFd);
    return;
  }
  listening_ = true;
  thread_ = std::thread(serve, s, fd, dirFd, name);
}

ScreenHost::~ScreenHost() {
  shared_->stopping = true;
  if (shared_->wake[1] >= 0) shared_->poke();
  if (thread_.joinable()) thread_.join();
  // The observers still hold the shared part; they see it stopping.
  for (int& fd : shared_->wake)
    if (fd >= 0) ::close(std::exchange(fd, -1));
}

// ---------------------------------------------------------------- the page's end

std::shared_ptr<ScreenLink> ScreenLink::connect(const std::string& home, int32_t pid) {
  int dirFd = openScreens(home, false);
  if (dirFd < 0) return nullptr;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr = addressIn(dirFd, socketName(pid));
  bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && sameUser(fd);
  // A socket nobody listens on belongs to a copy that was killed.
  if (fd >= 0 && !ok && errno == ECONNREFUSED) ::unlinkat(dirFd, socketName(pid).c_str(), 0);
  ::close(dirFd);
  if (!ok) {
    if (fd >= 0) ::close(fd);
    return nullptr;
  }
  return std::shared_ptr<ScreenLink>(new ScreenLink(fd, pid));
}

ScreenLink::~ScreenLink() {
  close();
  ::close(fd_);
}

bool ScreenLink::receive(const std::function<void(json)>& onState) {
  char buf[65536];
  ssize_t n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
  if (n <= 0) {
    close();
    return false;
  }
  in_.append(buf, static_cast<size_t>(n));
  for (size_t end; (end = in_.find('\n')) != std::string::npos;) {
    json message = json::parse(in_.begin(), in_.begin() + static_cast<long>(end), nullptr, false);
    in_.erase(0, end + 1);
    if (!message.is_object()) continue;
    if (auto state = message.find("state"); state != message.end() && state->is_object()) {
      onState(std::move(*state));
    } else if (message.contains("id") && message["id"].is_number_unsigned()) {
      std::lock_guard lock(mu_);
      answers_[message["id"].get<uint64_t>()] = {message.value("status", 500), message.value("body", std::string())};
      answered_.notify_all();
    }
  }
  return true;
}

std::optional<std::pair<int, std::string>> ScreenLink::request(json request, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mu_);
  if (gone_) return std::nullopt;
  uint64_t id = nextId_++;
  request["id"] = id;
  std::string line = text(request) + "\n";
  for (size_t sent = 0; sent < line.size();) {
    ssize_t n = ::send(fd_, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    sent += static_cast<size_t>(n);
  }
  if (!answered_.wait_for(lock, timeout, [&] { return gone_ || answers_.count(id); })) return std::nullopt;
  auto it = answers_.find(id);
  if (it == answers_.end()) return std::nullopt;
  auto result = std::move(it->second);
  answers_.erase(it);
  return result;
}

void ScreenLink::close() {
  std::lock_guard lock(mu_);
  if (gone_) return;
  gone_ = true;
  ::shutdown(fd_, SHUT_RDWR);
  answered_.notify_all();
}

// ---------------------------------------------------------------- without a window

int runWithoutWindow(sim::SimDesktop& desktop) {
  desktop.addEndObserver([] { console::quit::wake(); });
  ScreenHost host(desktop);
  while (!console::quit::requested() && !desktop.ended()) {
    pollfd p{console::quit::fd(), POLLIN, 0};
    if (::poll(&p, 1, -1) > 0) console::quit::drain();
  }
  if (!desktop.terminated()) desktop.requestTermination();
  desktop.join();
  return 0;
}

}  // namespace tl::web
