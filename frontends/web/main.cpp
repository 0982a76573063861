// The browser desktop: Tuckline on the simulated Mac, drawn by a page in a
// web browser on this machine.
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "frontends/console/Home.h"
#include "frontends/web/Server.h"
#include "frontends/web/Session.h"

using namespace tl;

namespace {
int usage() {
  std::cerr << "usage: tuckline-web [--home DIR] [--port N] [--notch]\n"
               "  --port N   listen on 127.0.0.1:N (default 8765; 0 picks a free port)\n"
               "  --notch    draw the screen with a notch in the middle of the menu bar\n";
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  std::string home;
  int port = 8765;
  web::Options options;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    bool hasValue = i + 1 < argc;
    if (a == "--home" && hasValue) {
      home = argv[++i];
    } else if (a == "--port" && hasValue) {
      char* end = nullptr;
      long p = std::strtol(argv[++i], &end, 10);
      if (!end || *end != '\0' || p < 0 || p > 65535) return usage();
      port = static_cast<int>(p);
    } else if (a == "--notch") {
      options.notch = true;
    } else {
      return usage();
    }
  }

  home = console::resolveHome(home);
  std::string error;
  if (!console::prepareHome(home, &error)) {
    std::cerr << "tuckline-web: " << error << "\n";
    return 1;
  }

  // Quitting (Ctrl-C, kill) is taken by one thread with sigwait; every
  // thread started from here on inherits the blocked set.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  sim::SimDesktop::Config config;
  config.home = home;
  web::Session session(config, options);
  web::Server server(session);
  int bound = server.bind("127.0.0.1", port);
  if (bound <= 0) {
    std::cerr << "tuckline-web: cannot listen on 127.0.0.1:" << port << "\n";
    return 1;
  }
  session.launch();
  std::thread http([&server] { server.run(); });
  std::cout << "Tuckline browser desktop: http://127.0.0.1:" << bound << std::endl;

  int sig = 0;
  sigwait(&signals, &sig);
  session.close();
  server.stop();
  http.join();
  return 0;
}
