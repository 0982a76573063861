#pragma once
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "frontends/web/Session.h"

namespace tl::web {

class Reception;

// The browser desktop's HTTP side: the page, the state, the change stream
// and the input endpoint, for the person who started it only. Threads: see
// Session.h; requests are read whole by a Reception, then answered by a
// pool of kWorkers threads.
//
// Who may do what:
// - the Host must name this machine (isLoopbackHost), against pages of
//   other sites that renamed themselves to this address;
// - every /api/ request carries the session's secret token, which only the
//   address printed at the start holds (X-Tuckline-Token header, or a
//   "token" query parameter where a browser cannot set headers, as for the
//   event stream): 401 without one, 403 with a wrong one ({"error":
//   "wrong-token"}, so the page can tell it from a server that ended);
// - a request that changes anything comes from this server's own page:
//   its Origin is exactly http://127.0.0.1:PORT or http://localhost:PORT;
// - bodies are JSON, at most kMaxBody bytes.
// Refused requests change nothing. The page itself (HTML, CSS, script)
// holds no secret and is served to anyone on this machine.
class Server {
 public:
  // token: the session's secret; empty draws a fresh random one.
  explicit Server(Session& session, std::string token = {});
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds to host:port (0: any free port) and returns the port, or -1.
  int bind(const std::string& host, int port);
  // Serves until stop(); call after bind().
  void run();
  void stop();

  const std::string& token() const { return token_; }
  // The address to open: "http://127.0.0.1:PORT/?token=…".
  std::string address() const;

  static constexpr size_t kMaxBody = 16 * 1024;
  // Comment lines on a stream quiet this long: under the 60 s after which
  // common proxies (nginx, cloud load balancers) drop an idle connection, and
  // how a page gone without a word is noticed. Browsers keep an idle
  // EventSource open as long as needed; while a page watches, the clock
  // changes the state every minute anyway.
  static constexpr int kKeepAliveSeconds = 50;
  // Each change stream holds a worker while it is open; the rest answer
  // the page's short requests.
  static constexpr size_t kWorkers = Session::kMaxStreams + 8;
  // Complete requests waiting for a worker; beyond this, 503.
  static constexpr size_t kMaxQueued = 64;

 private:
  class Http;
  void work();

  Session& session_;
  std::string token_;
  int port_ = -1;
  std::unique_ptr<Http> http_;
  std::unique_ptr<Reception> reception_;

  std::mutex mu_;
  std::condition_variable ready_;
  std::deque<std::pair<int, std::string>> queue_;  // socket, request
  bool stopping_ = false;
  std::vector<std::thread> workers_;
};

// "127.0.0.1", "localhost", "[::1]", each with or without ":port". Anything
// else reaching the server is a page of some other site that renamed itself
// to this address (DNS rebinding), or a client we were not meant for.
bool isLoopbackHost(const std::string& host);
// An Origin header of a page served from this machine on any port; the
// server itself wants more (see Server).
bool isLoopbackOrigin(const std::string& origin);
// Compares a presented token with the secret in time that does not depend
// on where they differ.
bool tokenMatches(const std::string& presented, const std::string& secret);

}  // namespace tl::web
