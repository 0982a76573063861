// The browser desktop: Tuckline on the simulated Mac, drawn by a page in a
// web browser on this machine.
#include <csignal>
#include <unistd.h>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "frontends/console/Signals.h"
#include "frontends/console/Home.h"
#include "frontends/web/Server.h"
#include "frontends/web/Session.h"

using namespace tl;

namespace {
int usage() {
  std::cerr << "usage: tuckline-web [--home DIR] [--port N] [--notch] [--screen-width N] [--thickness N]\n"
               "                   [--memory off|forget|keep]\n"
               "  --port N   listen on 127.0.0.1:N (default 8765; 0 picks a free port)\n"
               "  --notch    draw the screen with a notch in the middle of the menu bar\n"
               "  --memory   how the bar remembers dragged positions (default forget)\n";
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  std::string home;
  int port = 8765;
  bool portGiven = false;
  web::Options options;
  sim::SimMenuBar::Config bar;
  auto number = [](const char* text, double low, double high, double& out) {
    char* end = nullptr;
    double v = std::strtod(text, &end);
    if (!end || *end != '\0' || !(v >= low && v <= high)) return false;
    out = v;
    return true;
  };
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
      portGiven = true;
    } else if (a == "--notch") {
      options.notch = true;
    } else if (a == "--screen-width" && hasValue) {
      if (!number(argv[++i], 200, 20000, bar.screenWidth)) return usage();
    } else if (a == "--thickness" && hasValue) {
      if (!number(argv[++i], 1, 100, bar.thickness)) return usage();
    } else if (a == "--memory" && hasValue) {
      std::string m = argv[++i];
      if (m == "off") bar.memory = sim::PositionMemory::Off;
      else if (m == "forget") bar.memory = sim::PositionMemory::ForgetOnRemove;
      else if (m == "keep") bar.memory = sim::PositionMemory::Keep;
      else return usage();
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
  sigset_t signals = console::blockQuitSignals();
  std::signal(SIGPIPE, SIG_IGN);

  sim::SimDesktop::Config config;
  config.home = home;
  config.menuBar = bar;
  web::Session session(config, options);
  web::Server server(session);
  int bound = server.bind("127.0.0.1", port);
  // The usual port taken (another copy runs): any free one will do, unless
  // the person asked for that one.
  if (bound <= 0 && !portGiven) bound = server.bind("127.0.0.1", 0);
  if (bound <= 0) {
    std::cerr << "tuckline-web: cannot listen on 127.0.0.1:" << port << "\n";
    return 1;
  }
  session.launch();
  std::thread http([&server] { server.run(); });
  std::cout << "Simulated home: " << home << "\n";
  std::cout << "Tuckline browser desktop: http://127.0.0.1:" << bound << std::endl;

  // Started by launchd at login, this process is the application: when it
  // quits, nothing of it may stay behind, the page included. (Its address
  // went to the job's log.)
  std::thread asAgent;
  if (std::getenv("TUCKLINE_LAUNCHD")) {
    asAgent = std::thread([&session] {
      session.waitUntilEnded();
      kill(getpid(), SIGTERM);
    });
  }

  int sig = 0;
  sigwait(&signals, &sig);
  session.close();
  server.stop();
  http.join();
  if (asAgent.joinable()) asAgent.join();
  return 0;
}
