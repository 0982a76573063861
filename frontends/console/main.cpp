// The console front end: Tuckline on the simulated desktop, driven by
// commands from a terminal, a script or a pipe.
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <thread>

#include "app/Main.h"
#include "frontends/console/Signals.h"
#include "frontends/console/Console.h"
#include "frontends/console/Home.h"
#include "platform/sim/SimFiles.h"
#include "frontends/console/Interactive.h"
#include "platform/sim/DefaultsTool.h"
#include "platform/sim/SimOptions.h"
#include "platform/sim/SimTextMetrics.h"

using namespace tl;

namespace {
int usage() {
  std::cerr << "usage: tuckline [--home DIR] [--virtual|--real] [--script FILE] [--headless] [desktop options]\n"
               "       tuckline [--home DIR] defaults read|read-type|write|delete [com.ferrowick.tuckline] ...\n"
               "desktop options:\n"
            << sim::desktopOptionsUsage();
  return 2;
}

int refuse(const std::string& why) {
  std::cerr << "tuckline: " << why << "\n";
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  std::string home, script;
  bool headless = std::getenv("TUCKLINE_LAUNCHD") != nullptr;
  int forcedTime = 0;  // 1 virtual, 2 real
  sim::DesktopOptions options;
  std::vector<std::string> args(argv + 1, argv + argc), rest;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::string { return i + 1 < args.size() ? args[++i] : ""; };
    std::string error;
    if (!rest.empty()) {
      rest.push_back(a);
    } else if (a == "--home") {
      home = value();
    } else if (a == "--script") {
      script = value();
    } else if (a == "--virtual") {
      forcedTime = 1;
    } else if (a == "--real") {
      forcedTime = 2;
    } else if (a == "--headless") {
      headless = true;
    } else if (a == "defaults") {
      rest.push_back(a);
    } else if (a == "--help" || a == "-h") {
      std::cout << console::Console::help();
      return 0;
    } else if (auto parsed = sim::parseDesktopOption(args, i, options, error); parsed == sim::OptionParse::Bad) {
      return refuse(error);
    } else if (parsed == sim::OptionParse::NotMine) {
      return usage();
    }
  }

  if (std::string error; !sim::finishDesktopOptions(options, error)) return refuse(error);
  bool interactive = rest.empty() && !headless && script.empty() && isatty(STDIN_FILENO);
  sim::SimDesktop::Config& config = options.config;
  config.time = forcedTime == 1 ? sim::SimRunLoop::Time::Virtual
              : forcedTime == 2 || interactive || headless ? sim::SimRunLoop::Time::Real
                                                           : sim::SimRunLoop::Time::Virtual;
  if (options.startGiven && config.time == sim::SimRunLoop::Time::Real)
    return refuse("--start sets where virtual time begins; real time is the machine's clock (add --virtual)");

  home = console::resolveHome(home);
  std::string error;
  if (!sim::prepareMacHome(home, &error)) {
    std::cerr << "tuckline: " << error << "\n";
    return 1;
  }
  if (!rest.empty()) {
    std::vector<std::string> tool(rest.begin() + 1, rest.end());
    return sim::runDefaultsTool(home + "/Library/Preferences/com.ferrowick.tuckline.plist", tool, std::cout, std::cerr);
  }

  config.home = home;
  // Without its fonts the desktop could lay nothing out: said once, here.
  if (std::string fonts = sim::SimTextMetrics::loadError(); !fonts.empty()) {
    std::cerr << "tuckline: " << fonts << "\n";
    return 1;
  }
  // A script that cannot be read starts nothing.
  std::ifstream file;
  std::istream* in = &std::cin;
  if (!script.empty()) {
    file.open(script);
    if (!file) {
      std::cerr << "tuckline: cannot read " << script << "\n";
      return 1;
    }
    in = &file;
  }

  // Termination requests from the system (launchctl bootout, kill) arrive as
  // signals; one thread turns them into an orderly quit.
  sigset_t signals = console::blockQuitSignals();

  sim::SimDesktop desktop(config);
  desktop.launch([] { return tucklineMain(); });

  std::thread([&desktop, signals] {
    int sig = 0;
    sigwait(&signals, &sig);
    console::quitInteractive();
    desktop.requestTermination();
  }).detach();

  if (headless) {
    desktop.join();
    return 0;
  }

  console::Console console(desktop, std::cout, std::cerr);
  if (interactive) {
    console::runInteractive(desktop, console, home);
    return 0;
  }
  for (std::string line; !desktop.terminated() && std::getline(*in, line);) {
    if (!console.execute(line)) break;
  }
  // The end of the commands is the person quitting.
  if (!desktop.terminated()) desktop.requestTermination();
  desktop.join();
  // A script that went wrong says so to whatever ran it.
  if (size_t failed = console.failedLines()) {
    std::cerr << "tuckline: " << failed << (failed == 1 ? " line" : " lines") << " failed\n";
    return 1;
  }
  return 0;
}
