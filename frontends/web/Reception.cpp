#include "frontends/web/Reception.h"

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>

namespace tl::web {

namespace {

using Clock = std::chrono::steady_clock;

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

void sendAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // a client that does not read gets what fitted
    text.remove_prefix(static_cast<size_t>(n));
  }
}

std::string statusLine(int status, const char* reason) {
  return "HTTP/1.1 " + std::to_string(status) + " " + reason +
         "\r\nConnection: close\r\nContent-Length: 0\r\nCache-Control: no-store\r\n\r\n";
}

}  // namespace

Framing frameRequest(std::string_view bytes, size_t maxHead, size_t maxBody) {
  Framing f;
  size_t end = bytes.find("\r\n\r\n");
  size_t headLength = end == std::string_view::npos ? 0 : end + 4;
  if (size_t bare = bytes.find("\n\n"); bare != std::string_view::npos && (headLength == 0 || bare + 2 < headLength))
    headLength = bare + 2;
  if (headLength == 0) {
    f.kind = bytes.size() > maxHead ? Framing::Kind::HeadTooLarge : Framing::Kind::Incomplete;
    return f;
  }
  if (headLength > maxHead) {
    f.kind = Framing::Kind::HeadTooLarge;
    return f;
  }
  std::string_view head = bytes.substr(0, headLength);
  size_t lineEnd = head.find('\n');
  std::string_view requestLine = trim(head.substr(0, lineEnd));
  if (requestLine.empty() || requestLine.find(' ') == std::string_view::npos) {
    f.kind = Framing::Kind::Malformed;
    return f;
  }
  bool haveLength = false;
  size_t length = 0;
  for (size_t at = lineEnd + 1; at < head.size();) {
    size_t next = head.find('\n', at);
    std::string_view line = head.substr(at, next - at);
    at = next == std::string_view::npos ? head.size() : next + 1;
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view name = line.substr(0, colon), value = trim(line.substr(colon + 1));
    if (sameName(name, "transfer-encoding")) {
      f.kind = Framing::Kind::Chunked;
      return f;
    }
    if (sameName(name, "expect")) f.expectsContinue = sameName(value, "100-continue");
    if (!sameName(name, "content-length")) continue;
    size_t v = 0;
    bool digits = !value.empty() && value.size() <= 12;
    for (char c : value) {
      digits = digits && c >= '0' && c <= '9';
      if (digits) v = v * 10 + static_cast<size_t>(c - '0');
    }
    if (!digits || (haveLength && v != length)) {
      f.kind = Framing::Kind::Malformed;
      return f;
    }
    haveLength = true;
    length = v;
  }
  if (length > maxBody) {
    f.kind = Framing::Kind::BodyTooLarge;
    return f;
  }
  if (bytes.size() < headLength + length) return f;
  f.kind = Framing::Kind::Complete;
  f.length = headLength + length;
  return f;
}

void answerAndClose(int fd, int status, const char* reason) {
  sendAll(fd, statusLine(status, reason));
  ::close(fd);
}

Reception::Reception(int listenFd, Limits limits, Deliver deliver)
    : listenFd_(listenFd), limits_(limits), deliver_(std::move(deliver)), wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

Reception::~Reception() {
  if (wake_ >= 0) ::close(wake_);
}

void Reception::stop() {
  uint64_t one = 1;
  if (wake_ >= 0 && ::write(wake_, &one, sizeof one) < 0) {
    // Already poked.
  }
}

void Reception::run() {
  struct Waiting {
    Clock::time_point deadline;
    std::string bytes;
    bool draining = false;   // answered early: what still comes is read and dropped, so closing sends no reset
    bool continued = false;  // "100 Continue" sent
  };
  std::map<int, Waiting> waiting;
  int ep = ::epoll_create1(EPOLL_CLOEXEC);
  if (ep < 0 || wake_ < 0) {
    if (ep >= 0) ::close(ep);
    return;
  }
  auto watch = [&](int fd) {
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLRDHUP;
    ev.data.fd = fd;
    return ::epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev) == 0;
  };
  auto drop = [&](int fd) {
    ::epoll_ctl(ep, EPOLL_CTL_DEL, fd, nullptr);
    ::close(fd);
    waiting.erase(fd);
  };
  // Answers now and keeps reading (and dropping) a moment longer: a client
  // still sending when the socket closes would get a reset instead of the answer.
  auto refuse = [&](int fd, int status, const char* reason) {
    sendAll(fd, statusLine(status, reason));
    ::shutdown(fd, SHUT_WR);
    Waiting& w = waiting[fd];
    w.draining = true;
    w.bytes.clear();
    w.bytes.shrink_to_fit();
    w.deadline = Clock::now() + std::chrono::seconds(1);
  };
  // Accepting goes on until the queue of new connections is empty.
  int flags = ::fcntl(listenFd_, F_GETFL);
  if (flags >= 0) ::fcntl(listenFd_, F_SETFL, flags | O_NONBLOCK);
  watch(listenFd_);
  watch(wake_);

  for (bool running = true; running;) {
    auto now = Clock::now();
    int timeout = -1;
    for (const auto& [fd, w] : waiting) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(w.deadline - now).count() + 1;
      timeout = timeout < 0 ? static_cast<int>(std::max<long long>(left, 0)) : std::min(timeout, static_cast<int>(std::max<long long>(left, 0)));
    }
    epoll_event events[64];
    int n = ::epoll_wait(ep, events, 64, timeout);
    if (n < 0 && errno != EINTR) break;
    now = Clock::now();
    for (int k = 0; k < std::max(n, 0); ++k) {
      int fd = events[k].data.fd;
      if (fd == wake_) {
        running = false;
        continue;
      }
      if (fd == listenFd_) {
        for (;;) {
          int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
          if (client < 0) break;  // EAGAIN, or out of descriptors until some close
          if (waiting.size() >= limits_.maxWaiting) {
            auto oldest = std::min_element(waiting.begin(), waiting.end(),
                                           [](const auto& a, const auto& b) { return a.second.deadline < b.second.deadline; });
            drop(oldest->first);
          }
          if (!watch(client)) {
            ::close(client);
            continue;
          }
          waiting[client].deadline = now + limits_.deadline;
        }
        continue;
      }
      auto it = waiting.find(fd);
      if (it == waiting.end()) continue;
      Waiting& w = it->second;
      char buf[16384];
      bool closed = false;
      for (;;) {
        ssize_t got = ::recv(fd, buf, sizeof buf, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
          closed = got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
          break;
        }
        if (!w.draining) w.bytes.append(buf, static_cast<size_t>(got));
        if (w.bytes.size() > limits_.maxHead + limits_.maxBody) break;  // framing decides below
      }
      if (w.draining) {
        if (closed) drop(fd);
        continue;
      }
      Framing f = frameRequest(w.bytes, limits_.maxHead, limits_.maxBody);
      switch (f.kind) {
        case Framing::Kind::Complete: {
          std::string request = std::move(w.bytes);
          request.resize(f.length);
          ::epoll_ctl(ep, EPOLL_CTL_DEL, fd, nullptr);
          waiting.erase(it);
          // The receiver reads and writes at its own pace, with its own timeouts.
          int flags = ::fcntl(fd, F_GETFL);
          if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
          deliver_(fd, std::move(request));
          break;
        }
        case Framing::Kind::HeadTooLarge:
          refuse(fd, 431, "Request Header Fields Too Large");
          break;
        case Framing::Kind::BodyTooLarge:
          refuse(fd, 413, "Payload Too Large");
          break;
        case Framing::Kind::Malformed:
          refuse(fd, 400, "Bad Request");
          break;
        case Framing::Kind::Chunked:
          refuse(fd, 411, "Length Required");
          break;
        case Framing::Kind::Incomplete:
          if (closed) {
            drop(fd);
          } else if (f.expectsContinue && !w.continued) {
            w.continued = true;
            sendAll(fd, "HTTP/1.1 100 Continue\r\n\r\n");
          }
          break;
      }
    }
    // Whoever has not finished in time is answered and let go.
    now = Clock::now();
    std::vector<int> late;
    for (const auto& [fd, w] : waiting)
      if (w.deadline <= now) late.push_back(fd);
    for (int fd : late) {
      if (waiting[fd].draining) drop(fd);
      else refuse(fd, 408, "Request Timeout");
    }
  }
  for (const auto& [fd, w] : waiting) ::close(fd);
  ::close(ep);
}

}  // namespace tl::web
