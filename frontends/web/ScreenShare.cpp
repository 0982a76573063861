#include "frontends/web/ScreenShare.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <deque>
#include <set>
#include <string_view>
#include <vector>

#include "frontends/console/Signals.h"
#include "frontends/web/Input.h"
#include "frontends/web/State.h"
#include "platform/sim/SimSystem.h"

namespace tl::web {

using nlohmann::json;

namespace {

using Clock = std::chrono::steady_clock;

// Answers waiting for one peer before its requests are read no further:
// one that sends and never reads stops being heard, not a cost that grows.
constexpr size_t kAnswersWaiting = 64u << 10;
// Out of descriptors, the listening socket is left alone this long (it
// stays readable, and polling it would only spin), or until a peer leaves.
constexpr auto kAcceptPause = std::chrono::seconds(1);
// Neither end waits longer than this for the other to take a request.
constexpr int kSendTimeoutSeconds = 2;

std::string text(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

std::string socketName(int32_t pid) { return std::to_string(pid) + ".sock"; }

// Said at the terminal the first time only: a condition that lasts is not
// news each time it is met.
void sayOnce(const std::string& what) {
  static std::mutex mu;
  static std::set<std::string> said;
  std::lock_guard lock(mu);
  if (said.insert(what).second) std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what.c_str());
}

// Whether a line can be taken whole and shallow: no byte 0 (the parser
// ends its input there and would take what comes before it for all of
// it), and no nesting deeper than kDeepestLine. Counted without building
// anything, strings skipped as the parser reads them; a prefix that
// closes more than it opened is no JSON either.
bool shallow(std::string_view line) {
  int depth = 0;
  bool inString = false, escaped = false;
  for (char c : line) {
    if (c == '\0') return false;
    if (inString) {
      if (escaped) escaped = false;
      else if (c == '\\') escaped = true;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kDeepestLine) return false;
    } else if ((c == ']' || c == '}') && --depth < 0) {
      return false;
    }
  }
  return true;
}

// One line from the other end as the value it holds, or nothing (null):
// it must be one JSON value from end to end.
json parseLine(std::string_view line) {
  if (!shallow(line)) return nullptr;
  json j = json::parse(line.begin(), line.end(), nullptr, false);
  return j.is_discarded() ? json(nullptr) : j;
}

struct Folder {
  int fd = -1;
  std::string problem;  // why it is not trusted, if it is not
};

// The folder, made if missing and kept to its user.
Folder inspectScreens(const std::string& home, bool make) {
  std::string dir = screensFolder(home);
  if (make) {
    ::mkdir((home + "/.simdesktop").c_str(), 0755);
    ::mkdir(dir.c_str(), 0700);
  }
  Folder f;
  f.fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
  struct stat st {};
  if (f.fd < 0) {
    if (::lstat(dir.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
      f.problem = "the screens folder " + dir + " is a symbolic link, which is not followed: no screen is shared through it; remove it (rm " + dir + ") and start again";
    else if (errno == ENOTDIR)
      f.problem = "the screens folder " + dir + " is not a folder: no screen is shared through it; remove it (rm " + dir + ") and start again";
    return f;
  }
  if (::fstat(f.fd, &st) != 0 || st.st_uid != ::getuid()) {
    f.problem = "the screens folder " + dir + " belongs to another user (uid " + std::to_string(st.st_uid) +
                "): no screen is shared through it; remove it (sudo rm -r " + dir + ") and start again";
    ::close(std::exchange(f.fd, -1));
    return f;
  }
  if (st.st_mode & 077) ::fchmod(f.fd, 0700);
  return f;
}

// Its descriptor, or -1 (and the reason said once).
int openScreens(const std::string& home, bool make) {
  Folder f = inspectScreens(home, make);
  if (!f.problem.empty()) sayOnce(f.problem);
  return f.fd;
}

// Reached through the folder's descriptor, the address stays short however
// long the home's path is.
sockaddr_un addressIn(int dirFd, const std::string& name) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "/proc/self/fd/%d/%s", dirFd, name.c_str());
  return addr;
}

// A connection to the socket of that name, or -1 with errno set. Neither a
// full backlog nor a peer that stops reading holds the caller for long.
int dial(int dirFd, const std::string& name) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  timeval limit{kSendTimeoutSeconds, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  sockaddr_un addr = addressIn(dirFd, name);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    int err = errno;
    ::close(fd);
    errno = err;
    return -1;
  }
  return fd;
}

// The peer as the kernel knows it: its user, and the process that made
// its socket listen (or connected).
std::optional<ucred> peerOf(int fd) {
  ucred cred{};
  socklen_t len = sizeof cred;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return std::nullopt;
  return cred;
}

bool sameUser(int fd) {
  auto cred = peerOf(fd);
  return cred && cred->uid == ::getuid();
}

bool gone(int32_t pid) {
  auto st = sim::processStat(pid);
  return !st || st->state == 'Z';
}

// The socket of a copy that is gone, which refused a connection: moved
// aside, then removed only if what was moved is that very socket. A live
// copy's put in its place meanwhile (a reused pid) goes back where it was.
void removeIfStale(int dirFd, int32_t pid, ino_t refused) {
  if (!gone(pid)) return;
  std::string name = socketName(pid), aside = "." + name + ".stale-" + std::to_string(::getpid());
  if (::renameat(dirFd, name.c_str(), dirFd, aside.c_str()) != 0) return;
  struct stat st {};
  if (::fstatat(dirFd, aside.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_ino == refused)
    ::unlinkat(dirFd, aside.c_str(), 0);
  else
    ::renameat2(dirFd, aside.c_str(), dirFd, name.c_str(), RENAME_NOREPLACE);
}

// Every socket of a gone copy in the folder, and the half-made ones of
// copies killed while making theirs.
void removeStale(int dirFd) {
  int listing = ::dup(dirFd);
  DIR* dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
  if (!dir) {
    if (listing >= 0) ::close(listing);
    return;
  }
  std::vector<std::string> names;
  while (dirent* e = ::readdir(dir)) names.emplace_back(e->d_name);
  ::closedir(dir);
  for (const auto& name : names) {
    bool making = name.size() > 9 && name[0] == '.' && name.compare(name.size() - 9, 9, ".sock.new") == 0;
    std::string digits = making ? name.substr(1, name.size() - 10) : name.substr(0, name.find('.'));
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    if (!making && name != digits + ".sock") continue;
    int32_t pid = std::stoi(digits);
    struct stat st {};
    if (pid == ::getpid() || !gone(pid) || ::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
        !S_ISSOCK(st.st_mode) || st.st_uid != ::getuid())
      continue;
    if (making) {
      ::unlinkat(dirFd, name.c_str(), 0);
      continue;
    }
    int fd = dial(dirFd, name);
    if (fd >= 0) ::close(fd);
    else if (errno == ECONNREFUSED) removeIfStale(dirFd, pid, st.st_ino);
  }
}

}  // namespace

std::string screensFolder(const std::string& home) { return home + "/.simdesktop/screens"; }

bool makeScreensFolder(const std::string& home) {
  int fd = openScreens(home, true);
  if (fd >= 0) ::close(fd);
  return fd >= 0;
}

std::string screensFolderProblem(const std::string& home) {
  Folder f = inspectScreens(home, false);
  if (f.fd >= 0) ::close(f.fd);
  return f.problem;
}

void removeStaleScreens(const std::string& home) {
  int fd = openScreens(home, false);
  if (fd < 0) return;
  removeStale(fd);
  ::close(fd);
}

// ---------------------------------------------------------------- the copy's end

struct ScreenHost::Shared {
  explicit Shared(sim::SimDesktop& d) : desktop(d) {}
  sim::SimDesktop& desktop;
  int wake[2] = {-1, -1};
  std::atomic<bool> stopping{false}, ended{false};
  std::atomic<int> viewers{0};
  // The main thread's bookkeeping of what the page was told.
  FaultBook faults;
  FileCache files;
  // Handed from the main thread to the serving thread: the state as one
  // line, shared by every peer until the next; null while nobody watches,
  // as it is not kept up to date then.
  std::mutex mu;
  std::shared_ptr<const std::string> latest;
  uint64_t version = 0;

  void poke() {
    char byte = 1;
    [[maybe_unused]] auto n = ::write(wake[1], &byte, 1);
  }
  // Main thread: what the desktop shows now, passed on if it changed.
  void describe() {
    if (stopping || viewers == 0) return;
    std::string now = text(describeDesktop(desktop, faults, &files));
    std::shared_ptr<const std::string> before;
    {
      std::lock_guard lock(mu);
      before = latest;
    }
    constexpr size_t kHead = sizeof "{\"state\":" - 1;
    if (before && before->size() == now.size() + kHead + 2 && before->compare(kHead, now.size(), now) == 0) return;
    if (now.size() + kHead + 2 > kLongestState) {
      sayOnce("a state of " + std::to_string(now.size()) + " bytes is more than a page's server takes (" +
              std::to_string(kLongestState) + "): the page goes on showing the one before");
      return;
    }
    auto line = std::make_shared<std::string>();
    line->reserve(now.size() + kHead + 2);
    line->append("{\"state\":").append(now).append("}\n");
    {
      std::lock_guard lock(mu);
      latest = std::move(line);
      ++version;
    }
    poke();
  }
};

namespace {

struct Peer {
  explicit Peer(int socket) : fd(socket) {}
  int fd;
  std::string in;      // requests not yet taken; the last one unended
  size_t scanned = 0;  // bytes of `in` known to hold no line feed
  // On its way, finished before anything else is begun.
  std::shared_ptr<const std::string> sending;
  size_t sent = 0;
  // Each answer goes after the state of the version its request led to.
  std::deque<std::pair<uint64_t, std::string>> answers;
  size_t answerBytes = 0;
  uint64_t seen = 0;  // the version of the last state begun

  bool listening() const { return answerBytes < kAnswersWaiting; }
  // An answer waits for its state only while there is one to send: a
  // state too long to send holds back no answer.
  bool answerReady(bool anyState) const { return !answers.empty() && (seen >= answers.front().first || !anyState); }
  bool hasOutput(const std::shared_ptr<const std::string>& latest, uint64_t version) const {
    return sending || (latest && seen < version) || answerReady(latest != nullptr);
  }
  // Requests read but not yet taken, held back while its answers waited.
  bool untaken() const { return scanned < in.size(); }
  size_t held(const std::shared_ptr<const std::string>& latest) const {
    return in.size() + answerBytes + (sending && sending != latest ? sending->size() - sent : 0);
  }
};

// One request of a page's server, answered after the state it led to has
// been made, so the page sees the change before the answer.
std::string answer(ScreenHost::Shared& s, std::string_view line) {
  json request = parseLine(line);
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
  // The body is parsed again: the same bounds hold there.
  if (!shallow(body->get_ref<const std::string&>()))
    return reply(400, text(json{{"ok", false}, {"error", "the body must be a JSON object"}}));
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

// The requests a peer has ended, answered in order while its answers
// waiting stay few; false when it sent a line longer than any request.
bool takeRequests(ScreenHost::Shared& s, Peer& p) {
  size_t start = 0;
  while (p.listening()) {
    size_t end = p.in.find('\n', std::max(start, p.scanned));
    if (end == std::string::npos) {
      p.scanned = p.in.size();
      break;
    }
    if (end - start > kLongestRequest) return false;
    std::string reply = answer(s, std::string_view(p.in).substr(start, end - start));
    start = end + 1;
    if (reply.empty()) continue;
    uint64_t after;
    {
      std::lock_guard lock(s.mu);
      after = s.version;
    }
    p.answerBytes += reply.size();
    p.answers.emplace_back(after, std::move(reply));
  }
  p.in.erase(0, start);
  p.scanned = std::max(p.scanned, start) - start;
  return p.scanned < p.in.size() || p.in.size() <= kLongestRequest;
}

// Sends what it can without blocking: the message begun, then the next
// answer whose state has gone before it, else the latest state if it has
// not had it. False when the peer is gone.
bool pump(Peer& p, const std::shared_ptr<const std::string>& latest, uint64_t version) {
  for (;;) {
    if (!p.sending) {
      if (p.answerReady(latest != nullptr)) {
        p.answerBytes -= p.answers.front().second.size();
        p.sending = std::make_shared<const std::string>(std::move(p.answers.front().second));
        p.answers.pop_front();
      } else if (latest && p.seen < version) {
        p.sending = latest;
        p.seen = version;
      } else {
        return true;
      }
      p.sent = 0;
    }
    ssize_t n = ::send(p.fd, p.sending->data() + p.sent, p.sending->size() - p.sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK;
    p.sent += static_cast<size_t>(n);
    if (p.sent == p.sending->size()) p.sending.reset();
  }
}

size_t mostPeers() {
  rlimit limit{};
  size_t fds = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY ? limit.rlim_cur : 1024;
  return std::clamp<size_t>(fds / 8, 1, kMostPeers);
}

void serve(std::shared_ptr<ScreenHost::Shared> s, int listenFd, int dirFd, std::string name) {
  std::vector<Peer> peers;
  const size_t most = mostPeers();
  Clock::time_point acceptAgain{};
  auto drop = [&](size_t i) {
    ::close(peers[i].fd);
    peers.erase(peers.begin() + static_cast<long>(i));
    acceptAgain = {};  // a descriptor is free again
    if (--s->viewers == 0) {
      std::lock_guard lock(s->mu);
      s->latest.reset();
    }
  };
  auto accept = [&] {
    int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        acceptAgain = Clock::now() + kAcceptPause;
        sayOnce("the screen socket refuses peers for now: the process has no descriptor to spare");
      }
      return;
    }
    if (!sameUser(fd)) {
      ::close(fd);
    } else if (peers.size() >= most) {
      ::close(fd);
      sayOnce("the screen socket refuses further peers: " + std::to_string(most) +
              " are connected, the most it serves, so that the log, the preferences and launchd keep descriptors");
    } else {
      peers.emplace_back(fd);
      if (s->viewers++ == 0) {
        // What it shows now, at once: nothing was kept up to date while
        // nobody watched. Later peers take the latest as it stands.
        {
          std::lock_guard lock(s->mu);
          s->latest.reset();
        }
        s->desktop.onMain([&s] { s->describe(); });
      }
    }
  };
  std::vector<pollfd> fds;
  while (!s->stopping && !s->ended) {
    std::shared_ptr<const std::string> latest;
    uint64_t version;
    {
      std::lock_guard lock(s->mu);
      latest = s->latest;
      version = s->version;
    }
    auto now = Clock::now();
    bool accepting = now >= acceptAgain;
    fds.assign({{s->wake[0], POLLIN, 0}, {accepting ? listenFd : -1, POLLIN, 0}});
    bool untaken = false;
    for (const auto& p : peers) {
      fds.push_back({p.fd, static_cast<short>((p.listening() ? POLLIN : 0) | (p.hasOutput(latest, version) ? POLLOUT : 0)), 0});
      untaken = untaken || (p.listening() && p.untaken());
    }
    int timeout = untaken ? 0 : accepting ? -1 : static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(acceptAgain - now).count());
    if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) {
      char buf[64];
      while (::read(s->wake[0], buf, sizeof buf) > 0) {
      }
    }
    if (s->stopping || s->ended) break;
    // Requests first, from the peers polled (a peer accepted below is
    // heard from on the next round).
    for (size_t i = 0, k = 2; i < peers.size(); ++k) {
      Peer& p = peers[i];
      auto revents = fds[k].revents;
      bool open = true;
      if (revents & POLLIN) {
        char buf[65536];
        ssize_t n = ::recv(p.fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0) p.in.append(buf, static_cast<size_t>(n));
        open = n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR));
      } else if (revents & (POLLHUP | POLLERR | POLLNVAL)) {
        open = false;
      }
      if (open) open = takeRequests(*s, p);
      if (open) ++i;
      else drop(i);
    }
    if (fds[1].revents & POLLIN) accept();
    // Then what each is sent; the state a request led to goes first.
    {
      std::lock_guard lock(s->mu);
      latest = s->latest;
      version = s->version;
    }
    for (size_t i = 0; i < peers.size();) {
      if (pump(peers[i], latest, version) && peers[i].held(latest) <= kMostHeldPerPeer) ++i;
      else drop(i);
    }
  }
  // The application ended (or the host goes): no page may find this socket.
  ::unlinkat(dirFd, name.c_str(), 0);
  ::close(listenFd);
  ::close(dirFd);
  while (!peers.empty()) drop(peers.size() - 1);
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
  removeStale(dirFd);
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
  std::string name = socketName(pid);
  struct stat st {};
  int fd = -1;
  // Only a socket of the user's own: a symbolic link in its place could
  // lead anywhere, and is not followed.
  if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == ::getuid()) {
    fd = dial(dirFd, name);
    // Nothing listens on it: a copy that was killed left it behind.
    if (fd < 0 && errno == ECONNREFUSED) removeIfStale(dirFd, pid, st.st_ino);
  }
  ::close(dirFd);
  // The process that listens must be the one the name gives: a socket
  // linked or moved in from another copy is not this copy's.
  auto cred = fd >= 0 ? peerOf(fd) : std::nullopt;
  if (!cred || cred->uid != ::getuid() || cred->pid != pid) {
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
  size_t from = in_.size(), start = 0;
  in_.append(buf, static_cast<size_t>(n));
  for (size_t end; (end = in_.find('\n', from)) != std::string::npos; from = start = end + 1) {
    json message = parseLine(std::string_view(in_).substr(start, end - start));
    if (!message.is_object()) continue;
    if (auto state = message.find("state"); state != message.end() && state->is_object()) {
      onState(std::move(*state));
      continue;
    }
    auto id = message.find("id"), status = message.find("status"), body = message.find("body");
    if (id == message.end() || !id->is_number_unsigned()) continue;
    std::lock_guard lock(mu_);
    // Only a request still waiting takes an answer: others would pile up.
    auto waiting = answers_.find(id->get<uint64_t>());
    if (waiting == answers_.end() || waiting->second) continue;
    bool known = status != message.end() && status->is_number_integer() && *status >= 100 && *status <= 599;
    waiting->second.emplace(known ? status->get<int>() : 500, body != message.end() && body->is_string() ? body->get<std::string>() : "");
    answered_.notify_all();
  }
  in_.erase(0, start);
  // A line with no end past the longest state is no state: whatever sends
  // it is not heard further.
  if (in_.size() > kLongestState) {
    close();
    return false;
  }
  return true;
}

std::optional<std::pair<int, std::string>> ScreenLink::request(json request, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mu_);
  if (gone_) return std::nullopt;
  uint64_t id = nextId_++;
  request["id"] = id;
  std::string line = text(request) + "\n";
  answers_[id];
  std::optional<std::pair<int, std::string>> result;
  bool sent = true;
  for (size_t at = 0; sent && at < line.size();) {
    ssize_t n = ::send(fd_, line.data() + at, line.size() - at, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    sent = n > 0;
    if (sent) at += static_cast<size_t>(n);
  }
  if (sent) answered_.wait_for(lock, timeout, [&] { return gone_ || answers_[id]; });
  result = std::move(answers_[id]);
  answers_.erase(id);
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
