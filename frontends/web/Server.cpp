#include "frontends/web/Server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <poll.h>
#include <sys/random.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "frontends/web/Reception.h"
#include "frontends/web/StaticFiles.h"

namespace tl::web {

namespace {
std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

void secure(httplib::Response& res) {
  res.set_header("Cache-Control", "no-store");
  res.set_header("X-Content-Type-Options", "nosniff");
  res.set_header("X-Frame-Options", "DENY");
  res.set_header("Referrer-Policy", "no-referrer");
  res.set_header("Content-Security-Policy",
                 "default-src 'self'; img-src 'self' data:; style-src 'self'; script-src 'self'; "
                 "frame-ancestors 'none'");
}

void reply(httplib::Response& res, int status, const std::string& json) {
  res.status = status;
  res.set_content(json, "application/json; charset=utf-8");
}

// 128 bits from the kernel's random source, as hexadecimal.
std::string randomToken() {
  unsigned char bytes[16];
  size_t got = 0;
  while (got < sizeof bytes) {
    ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) std::abort();  // no secret is better than a guessable one
    got += static_cast<size_t>(n);
  }
  static const char* hex = "0123456789abcdef";
  std::string token;
  for (unsigned char b : bytes) token += {hex[b >> 4], hex[b & 0xF]};
  return token;
}

bool isPage(const std::string& path) {
  if (path == "/") return true;
  for (const auto& file : staticFiles())
    if (path == file.path) return true;
  return false;
}

// A request the Reception read whole: httplib reads it from the buffer and
// writes its answer to the socket, within the usual timeouts.
class BufferedStream final : public httplib::Stream {
 public:
  BufferedStream(int fd, std::string request) : fd_(fd), request_(std::move(request)) {}

  bool is_readable() const override { return at_ < request_.size(); }
  bool is_writable() const override { return ready(POLLOUT, kWriteTimeoutMs); }
  ssize_t read(char* ptr, size_t size) override {
    size_t n = std::min(size, request_.size() - at_);  // nothing beyond the request is read
    std::memcpy(ptr, request_.data() + at_, n);
    at_ += n;
    return static_cast<ssize_t>(n);
  }
  ssize_t write(const char* ptr, size_t size) override {
    if (!ready(POLLOUT, kWriteTimeoutMs)) return -1;
    ssize_t n;
    while ((n = ::send(fd_, ptr, size, MSG_NOSIGNAL)) < 0 && errno == EINTR) {
    }
    return n;
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override { address(::getpeername, ip, port); }
  void get_local_ip_and_port(std::string& ip, int& port) const override { address(::getsockname, ip, port); }
  socket_t socket() const override { return fd_; }

 private:
  static constexpr int kWriteTimeoutMs = 5000;  // a reader that stalls lets its worker go
  bool ready(short what, int timeoutMs) const {
    pollfd p{fd_, what, 0};
    int n;
    while ((n = ::poll(&p, 1, timeoutMs)) < 0 && errno == EINTR) {
    }
    return n > 0 && (p.revents & what);
  }
  void address(int (*get)(int, sockaddr*, socklen_t*), std::string& ip, int& port) const {
    sockaddr_in a{};
    socklen_t length = sizeof a;
    ip.clear();
    port = -1;
    char text[INET_ADDRSTRLEN] = {};
    if (get(fd_, reinterpret_cast<sockaddr*>(&a), &length) == 0 && a.sin_family == AF_INET &&
        ::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text)) {
      ip = text;
      port = ntohs(a.sin_port);
    }
  }

  int fd_;
  std::string request_;
  size_t at_ = 0;
};
}  // namespace

// httplib's routing and answers, fed by this server's own reception.
class Server::Http : public httplib::Server {
 public:
  using httplib::Server::process_request;
  int listening() const { return svr_sock_; }
  // While the socket is invalid httplib ends its change streams.
  int release() { return svr_sock_.exchange(INVALID_SOCKET); }
};

bool isLoopbackHost(const std::string& raw) {
  std::string host = lower(raw);
  std::string name, port;
  if (!host.empty() && host[0] == '[') {
    size_t close = host.find(']');
    if (close == std::string::npos) return false;
    name = host.substr(0, close + 1);
    port = host.substr(close + 1);
  } else {
    size_t colon = host.find(':');
    name = host.substr(0, colon);
    port = colon == std::string::npos ? "" : host.substr(colon);
  }
  if (!port.empty()) {
    if (port[0] != ':' || port.size() < 2 || port.size() > 6) return false;
    if (!std::all_of(port.begin() + 1, port.end(), [](unsigned char c) { return std::isdigit(c); })) return false;
  }
  return name == "127.0.0.1" || name == "localhost" || name == "[::1]";
}

bool tokenMatches(const std::string& presented, const std::string& secret) {
  if (secret.empty() || presented.size() != secret.size()) return false;  // the length is no secret
  unsigned char differ = 0;
  for (size_t k = 0; k < secret.size(); ++k) differ |= static_cast<unsigned char>(presented[k] ^ secret[k]);
  return differ == 0;
}

bool isLoopbackOrigin(const std::string& origin) {
  const std::string scheme = "http://";
  return origin.size() > scheme.size() && lower(origin.substr(0, scheme.size())) == scheme &&
         isLoopbackHost(origin.substr(scheme.size()));
}

Server::Server(Session& session, std::string token)
    : session_(session), token_(token.empty() ? randomToken() : std::move(token)), http_(std::make_unique<Http>()) {
  auto& http = *http_;
  http.set_payload_max_length(kMaxBody);
  // The library's default also shares the port (SO_REUSEPORT): a second
  // copy, or any other program, could then bind it too and take over some
  // of the connections. A quick restart is all that is wanted.
  http.set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });

  http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    secure(res);
    auto refuse = [&](int status, const char* why) {
      reply(res, status, std::string(R"({"ok":false,"error":")") + why + "\"}");
      return httplib::Server::HandlerResponse::Handled;
    };
    if (!isLoopbackHost(req.get_header_value("Host"))) return refuse(403, "this server answers only to 127.0.0.1 and localhost");
    if (!isPage(req.path)) {
      std::string presented =
          req.has_header("X-Tuckline-Token") ? req.get_header_value("X-Tuckline-Token") : req.get_param_value("token");
      if (presented.empty()) return refuse(401, "open the address tuckline-web printed: it carries this session's token");
      // Said as a wrong token, not as an ended server: this one runs, and
      // the page that asked may just have been given a mistyped address.
      if (!tokenMatches(presented, token_)) return refuse(403, "wrong-token");
    }
    // Changes come from this server's own page only: scheme, host and port.
    if (req.method != "GET" && req.method != "HEAD") {
      std::string origin = req.get_header_value("Origin"), port = std::to_string(port_);
      if (origin != "http://127.0.0.1:" + port && origin != "http://localhost:" + port)
        return refuse(403, "changes are taken from this server's own page only");
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });

  for (const auto& file : staticFiles()) {
    std::string path = file.path;
    auto serve = [&file](const httplib::Request&, httplib::Response& res) {
      res.set_content(reinterpret_cast<const char*>(file.data), file.size, file.contentType);
    };
    http.Get(path == "/index.html" ? "/" : path, serve);
    if (path == "/index.html") http.Get("/index.html", serve);
  }

  http.Get("/api/state", [this](const httplib::Request&, httplib::Response& res) {
    reply(res, 200, session_.snapshot(true).json);
  });

  http.Get("/api/events", [this](const httplib::Request&, httplib::Response& res) {
    uint64_t stream = session_.openStream();
    uint64_t seen = 0;
    res.set_header("X-Accel-Buffering", "no");
    res.set_chunked_content_provider(
        "text/event-stream",
        [this, stream, seen](size_t, httplib::DataSink& sink) mutable {
          Session::Update update;
          std::string chunk;
          switch (session_.waitForChange(stream, seen, std::chrono::seconds(kKeepAliveSeconds), update)) {
            case Session::Wait::Ended:
              sink.done();
              return true;
            case Session::Wait::TimedOut:
              chunk = ": keep-alive\n\n";
              break;
            case Session::Wait::Changed:
              // Coalesced: whatever happened since the last event, the page
              // gets it in one event, the whole state only the first time.
              chunk = "retry: 1000\nid: " + std::to_string(update.version) + "\nevent: " + update.event +
                      "\ndata: " + update.data + "\n\n";
              seen = update.version;
              break;
          }
          return sink.write(chunk.data(), chunk.size());
        },
        [this, stream](bool) { session_.closeStream(stream); });
  });

  http.Post("/api/input", [this](const httplib::Request& req, httplib::Response& res) {
    // Only a script of our page can send this type; a form of another site
    // cannot, and a fetch of another site would first have to ask (CORS).
    if (lower(req.get_header_value("Content-Type")).rfind("application/json", 0) != 0) {
      reply(res, 415, R"({"ok":false,"error":"send application/json"})");
      return;
    }
    auto [status, json] = session_.input(req.body);
    reply(res, status, json);
  });
}

Server::~Server() {
  stop();
  if (int fd = http_->release(); fd >= 0) ::close(fd);
}

int Server::bind(const std::string& host, int port) {
  int bound = port == 0 ? http_->bind_to_any_port(host) : (http_->bind_to_port(host, port) ? port : -1);
  if (bound <= 0) return -1;
  // The library listens with a backlog of five: a burst of clients would
  // have their connections dropped before the reception could take them.
  ::listen(http_->listening(), SOMAXCONN);
  port_ = bound;
  Reception::Limits limits;
  limits.maxBody = kMaxBody;
  reception_ = std::make_unique<Reception>(http_->listening(), limits, [this](int fd, std::string request) {
    std::unique_lock lock(mu_);
    if (stopping_ || queue_.size() >= kMaxQueued) {
      lock.unlock();
      answerAndClose(fd, 503, "Service Unavailable");
      return;
    }
    queue_.emplace_back(fd, std::move(request));
    ready_.notify_one();
  });
  return bound;
}

std::string Server::address() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/?token=" + token_;
}

void Server::work() {
  for (;;) {
    std::pair<int, std::string> job;
    {
      std::unique_lock lock(mu_);
      ready_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    BufferedStream stream(job.first, std::move(job.second));
    bool closed = false;
    http_->process_request(stream, true, closed, [](httplib::Request&) {});
    ::close(job.first);
  }
}

void Server::run() {
  if (!reception_) return;
  {
    std::lock_guard lock(mu_);
    if (stopping_) return;
    for (size_t k = 0; k < kWorkers; ++k) workers_.emplace_back([this] { work(); });
  }
  reception_->run();
  {
    std::lock_guard lock(mu_);
    stopping_ = true;
  }
  ready_.notify_all();
  for (auto& worker : workers_) worker.join();
  workers_.clear();
}

void Server::stop() {
  {
    std::lock_guard lock(mu_);
    stopping_ = true;
  }
  ready_.notify_all();
  if (reception_) reception_->stop();
}

}  // namespace tl::web
