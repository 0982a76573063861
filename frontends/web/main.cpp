// The browser desktop: Tuckline on the simulated Mac, drawn by a page in a
// web browser on this machine.
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "frontends/console/Signals.h"
#include "frontends/console/Home.h"
#include "platform/sim/SimFiles.h"
#include "frontends/web/Server.h"
#include "frontends/web/Session.h"
#include "app/Main.h"
#include "platform/sim/SimCopies.h"
#include "platform/sim/SimLaunchd.h"
#include "platform/sim/SimOptions.h"
#include "platform/sim/SimSession.h"
#include "platform/sim/SimTextMetrics.h"

using namespace tl;

namespace {
std::string usage() {
  return "usage: tuckline-web [--home DIR] [--port N] [desktop options]\n" + console::homeOptionUsage() +
         "  --port N              listen on 127.0.0.1:N (default 8765; 0 picks a free port)\n"
         "desktop options:\n" +
         sim::desktopOptionsUsage(false);
}

std::vector<std::string> optionNames() {
  std::vector<std::string> names = {"--home", "--port", "--help"};
  for (auto& n : sim::desktopOptionNames(false)) names.push_back(n);
  return names;
}

int refuse(const std::string& why) {
  std::cerr << "tuckline-web: " << why << "\n";
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  // Quitting (Ctrl-C, kill, the login session ending) is taken from the
  // first instant by one thread; every thread started later inherits the
  // blocked set.
  console::quit::install();
  std::string home;
  int port = 8765;
  bool portGiven = false;
  sim::DesktopOptions desktopOptions;
  std::vector<std::string> args(argv + 1, argv + argc);
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string error, value;
    if (a == "--help" || a == "-h") {
      std::cout << usage();
      return 0;
    } else if (a == "--start") {
      // The browser desktop is for people: its time is the machine's.
      return refuse("--start sets where virtual time begins; the browser desktop runs in real time (the console "
                    "takes --start with --virtual)");
    } else if (a == "--home") {
      if (!sim::optionValue(args, i, "--home DIR", home, error)) return refuse(error);
    } else if (a == "--port") {
      if (!sim::optionValue(args, i, "--port N", value, error)) return refuse(error);
      char* end = nullptr;
      long p = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || !end || *end != '\0' || p < 0 || p > 65535)
        return refuse("--port " + value + ": a port is 0 to 65535");
      port = static_cast<int>(p);
      portGiven = true;
    } else if (auto parsed = sim::parseDesktopOption(args, i, desktopOptions, error); parsed == sim::OptionParse::Bad) {
      return refuse(error);
    } else if (parsed == sim::OptionParse::NotMine) {
      return refuse(sim::unknownOptionText("tuckline-web", a, optionNames()));
    }
  }
  if (std::string error; !sim::finishDesktopOptions(desktopOptions, error)) return refuse(error);

  home = console::resolveHome(home);
  std::string error;
  if (!sim::prepareMacHome(home, &error)) {
    std::cerr << "tuckline-web: " << error << "\n";
    return 1;
  }

  std::signal(SIGPIPE, SIG_IGN);

  // Without its fonts the desktop could lay nothing out: said once, here.
  if (std::string fonts = sim::SimTextMetrics::loadError(); !fonts.empty()) {
    std::cerr << "tuckline-web: " << fonts << "\n";
    return 1;
  }

  sim::SimDesktop::Config config = desktopOptions.config;
  config.home = home;
  if (std::getenv("TUCKLINE_LAUNCHD")) {
    // Started by launchd at login, this process is the application alone:
    // it shows on the page of the browser desktop the person has open on
    // this home, as a login item's icons appear on the one menu bar, and it
    // ends with the session that started it.
    sim::watchSession([] { ::kill(::getpid(), SIGTERM); });
    config.startedByLaunchd = true;
    config.time = sim::SimRunLoop::Time::Real;
    sim::SimDesktop desktop(config);
    desktop.addNoticeObserver([](const sim::NoticeText& n) { std::cerr << "tuckline-web: " << n.text << std::endl; });
    desktop.launch([] { return tucklineMain(); });
    if (desktop.terminated())
      std::cerr << "tuckline-web: "
                << sim::gaveWayText(sim::runningCopies(home, config.bundleID, static_cast<int32_t>(::getpid())))
                << std::endl;
    else
      std::cout << "Tuckline (PID " << ::getpid() << ") started by launchd on " << home
                << ": it shows on the browser desktop of this home." << std::endl;
    return web::runWithoutWindow(desktop);
  }
  sim::beginSession();

  web::Session session(config);
  session.onNotice([](const sim::NoticeText& n) { std::cerr << "tuckline-web: " << n.text << std::endl; });
  web::Server server(session);
  int bound = server.bind("127.0.0.1", port);
  // The usual port taken (another copy runs): any free one will do, unless
  // the person asked for that one.
  if (bound <= 0 && !portGiven) bound = server.bind("127.0.0.1", 0);
  if (bound <= 0) {
    std::cerr << "tuckline-web: cannot listen on 127.0.0.1:" << port
              << " (another program may hold it); --port N picks another port, --port 0 lets the system choose one\n";
    return 1;
  }
  // Said once, at the start: a home it cannot write in leaves the log
  // empty and brings the help alert back at every start.
  if (std::string folder = sim::unwritableFolder(home); !folder.empty())
    session.addNotice(sim::unwritableHomeNotice(folder));
  session.launch();
  std::thread http([&server] { server.run(); });
  std::cout << "Simulated home: " << home << "\n";
  // The address holds the session's secret: only whoever sees this output
  // (the person who started it) can drive the desktop.
  std::cout << "Tuckline browser desktop: " << server.address() << std::endl;

  while (!console::quit::requested()) {
    pollfd p{console::quit::fd(), POLLIN, 0};
    if (::poll(&p, 1, -1) > 0) console::quit::drain();
  }
  session.close();
  server.stop();
  http.join();
  // Logging out: the copies launchd started for this session end with it.
  sim::logout(home, sim::currentSession());
  return 0;
}
