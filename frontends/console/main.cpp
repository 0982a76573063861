// The console front end: Tuckline on the simulated desktop, driven by
// commands from a terminal, a script or a pipe.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <iostream>

#include "app/Main.h"
#include "frontends/console/Signals.h"
#include "frontends/console/Console.h"
#include "frontends/console/Home.h"
#include "platform/sim/SimFiles.h"
#include "frontends/console/Interactive.h"
#include "frontends/web/ScreenShare.h"
#include "platform/sim/DefaultsTool.h"
#include "platform/sim/SimCopies.h"
#include "platform/sim/SimLaunchd.h"
#include "platform/sim/SimOptions.h"
#include "platform/sim/SimSession.h"
#include "platform/sim/SimSystem.h"
#include "platform/sim/SimTextMetrics.h"

using namespace tl;

namespace {
// The options, then the commands a person types once it runs.
std::string usage() {
  return "usage: tuckline [--home DIR] [--virtual|--real] [--script FILE] [--headless] [desktop options]\n"
         "       tuckline [--home DIR] defaults read|read-type|write|delete [com.ferrowick.tuckline] ...\n"
         + console::homeOptionUsage() +
         "  --virtual | --real    virtual time (scripts, pipes) or the machine's clock (a terminal)\n"
         "  --script FILE         read the commands from FILE instead of standard input\n"
         "  --headless            no commands at all: the application runs until it is ended\n"
         "desktop options:\n" +
         sim::desktopOptionsUsage(true) + "\n" + console::Console::help();
}

std::vector<std::string> optionNames() {
  std::vector<std::string> names = {"--home", "--virtual", "--real", "--script", "--headless", "--help"};
  for (auto& n : sim::desktopOptionNames(true)) names.push_back(n);
  return names;
}

int refuse(const std::string& why) {
  std::cerr << "tuckline: " << why << "\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Termination requests from the system (launchctl bootout, kill, the
  // login session ending) arrive as signals, taken from the first instant
  // by a thread of their own, which leaves acting on them to this one.
  console::quit::install();
  std::string home, script;
  // launchd started this copy at login: no terminal, no script.
  const bool launchdJob = std::getenv("TUCKLINE_LAUNCHD") != nullptr;
  bool headless = launchdJob;
  int forcedTime = 0;  // 1 virtual, 2 real
  sim::DesktopOptions options;
  std::vector<std::string> args(argv + 1, argv + argc), rest;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string error;
    if (!rest.empty()) {
      rest.push_back(a);
    } else if (a == "--home") {
      if (!sim::optionValue(args, i, "--home DIR", home, error)) return refuse(error);
    } else if (a == "--script") {
      if (!sim::optionValue(args, i, "--script FILE", script, error)) return refuse(error);
    } else if (a == "--virtual") {
      forcedTime = 1;
    } else if (a == "--real") {
      forcedTime = 2;
    } else if (a == "--headless") {
      headless = true;
    } else if (a == "defaults") {
      rest.push_back(a);
    } else if (a == "--help" || a == "-h") {
      std::cout << usage();
      return 0;
    } else if (auto parsed = sim::parseDesktopOption(args, i, options, error); parsed == sim::OptionParse::Bad) {
      return refuse(error);
    } else if (parsed == sim::OptionParse::NotMine) {
      return refuse(sim::unknownOptionText("tuckline", a, optionNames()));
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
  // Said once, before anything runs: a home it cannot write in leaves the
  // log empty and brings the help alert back at every start.
  if (std::string folder = sim::unwritableFolder(home); !folder.empty())
    std::cerr << "tuckline: " << sim::unwritableHomeNotice(folder).text << "\n";
  // Without its fonts the desktop could lay nothing out: said once, here.
  if (std::string fonts = sim::SimTextMetrics::loadError(); !fonts.empty()) {
    std::cerr << "tuckline: " << fonts << "\n";
    return 1;
  }
  // A script that cannot be read starts nothing.
  int in = STDIN_FILENO;
  if (!script.empty()) {
    in = ::open(script.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
      std::cerr << "tuckline: cannot read " << script << "\n";
      return 1;
    }
  }

  config.startedByLaunchd = launchdJob;
  if (launchdJob) sim::watchSession([] { ::kill(::getpid(), SIGTERM); });
  else sim::beginSession();

  sim::SimDesktop desktop(config);
  desktop.addEndObserver([] { console::quit::wake(); });
  desktop.addNoticeObserver([](const sim::NoticeText& n) { std::cerr << "tuckline: " << n.text << std::endl; });
  desktop.launch([] { return tucklineMain(); });
  int status = 0;
  if (headless) {
    status = web::runWithoutWindow(desktop);
  } else {
    // Shown on the browser desktop's page of this home too, if one is open.
    web::ScreenHost screen(desktop);
    console::Console console(desktop, std::cout, std::cerr);
    console::LineReader lines(in);
    if (desktop.terminated()) {
      // It gave way to a copy already running: nothing typed can reach it.
      std::cerr << "tuckline: "
                << sim::gaveWayText(sim::runningCopies(home, config.bundleID,
                                                       desktop.simProcessInfo().processIdentifier()))
                << "\n";
      status = 1;
      if (!interactive)
        if (size_t left = lines.countRemaining())
          std::cerr << "tuckline: " << left << (left == 1 ? " line" : " lines") << " not run\n";
    } else if (interactive) {
      console::runInteractive(desktop, console, home);
    } else {
      while (auto line = lines.next([&] { return console::quit::requested() || desktop.terminated(); })) {
        if (!console.execute(*line)) break;
      }
      // Lines left once the application has ended by itself (its menu, a
      // terminate) could not act on it; a quit request only ends early.
      if (desktop.terminated() && !console::quit::requested())
        if (size_t left = lines.countRemaining()) {
          std::cerr << "tuckline: Tuckline has quit; " << left << (left == 1 ? " line" : " lines") << " not run\n";
          status = 1;
        }
    }
    // The end of the commands is the person quitting.
    if (!desktop.terminated()) desktop.requestTermination();
    desktop.join();
    // A script that went wrong says so to whatever ran it.
    if (size_t failed = console.failedLines()) {
      std::cerr << "tuckline: " << failed << (failed == 1 ? " line" : " lines") << " failed\n";
      status = 1;
    }
  }
  // Logging out: what launchd started within this session ends with it.
  if (!launchdJob) sim::logout(home, sim::currentSession());
  return status;
}
