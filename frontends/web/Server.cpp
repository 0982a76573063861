#include "frontends/web/Server.h"

#include <httplib.h>

#include <algorithm>
#include <cctype>

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
}  // namespace

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

bool isLoopbackOrigin(const std::string& origin) {
  const std::string scheme = "http://";
  return origin.size() > scheme.size() && lower(origin.substr(0, scheme.size())) == scheme &&
         isLoopbackHost(origin.substr(scheme.size()));
}

Server::Server(Session& session) : session_(session), http_(std::make_unique<httplib::Server>()) {
  auto& http = *http_;
  // Each change stream holds a thread while it is open; the rest is for
  // the page's short requests.
  http.new_task_queue = [] { return new httplib::ThreadPool(Session::kMaxStreams + 8); };
  // One request per connection: an idle kept-alive connection costs this
  // library a wake-up every few milliseconds, and the server is to sit still.
  http.set_keep_alive_max_count(1);
  http.set_keep_alive_timeout(2);
  http.set_payload_max_length(kMaxBody);
  // The library's default also shares the port (SO_REUSEPORT): a second
  // copy, or any other program, could then bind it too and take over some
  // of the connections. A quick restart is all that is wanted.
  http.set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });

  http.set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
    secure(res);
    if (!isLoopbackHost(req.get_header_value("Host"))) {
      reply(res, 403, R"({"ok":false,"error":"this server answers only to 127.0.0.1 and localhost"})");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (req.method != "GET" && req.method != "HEAD" && req.has_header("Origin") &&
        !isLoopbackOrigin(req.get_header_value("Origin"))) {
      reply(res, 403, R"({"ok":false,"error":"requests from other sites are refused"})");
      return httplib::Server::HandlerResponse::Handled;
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

Server::~Server() = default;

int Server::bind(const std::string& host, int port) {
  if (port == 0) return http_->bind_to_any_port(host);
  return http_->bind_to_port(host, port) ? port : -1;
}

void Server::run() { http_->listen_after_bind(); }

void Server::stop() { http_->stop(); }

}  // namespace tl::web
