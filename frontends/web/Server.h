#pragma once
#include <memory>
#include <string>

#include "frontends/web/Session.h"

namespace httplib {
class Server;
}

namespace tl::web {

// The browser desktop's HTTP side: the page, the state, the change stream
// and the input endpoint, for this machine only. Threads: see Session.h.
class Server {
 public:
  explicit Server(Session& session);
  ~Server();

  // Binds to host:port (0: any free port) and returns the port, or -1.
  int bind(const std::string& host, int port);
  // Serves until stop(); call after bind().
  void run();
  void stop();

  static constexpr size_t kMaxBody = 16 * 1024;
  static constexpr int kKeepAliveSeconds = 20;  // comment lines on a quiet stream

 private:
  Session& session_;
  std::unique_ptr<httplib::Server> http_;
};

// "127.0.0.1", "localhost", "[::1]", each with or without ":port". Anything
// else reaching the server is a page of some other site that renamed itself
// to this address (DNS rebinding), or a client we were not meant for.
bool isLoopbackHost(const std::string& host);
// An Origin header of a page served from this machine.
bool isLoopbackOrigin(const std::string& origin);

}  // namespace tl::web
