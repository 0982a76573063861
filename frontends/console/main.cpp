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
#include "frontends/console/Interactive.h"
#include "platform/sim/DefaultsTool.h"

using namespace tl;

namespace {
int usage() {
  std::cerr << "usage: tuckline [--home DIR] [--virtual|--real] [--script FILE] [--headless]\n"
               "                [--screen-width N] [--thickness N] [--items NAME:WIDTH,...] [--memory off|forget|keep]\n"
               "       tuckline [--home DIR] defaults read|read-type|write|delete [com.ferrowick.tuckline] ...\n";
  return 2;
}

std::vector<sim::BarItemSpec> parseItems(const std::string& text) {
  // Application items only; the system area stays as it is.
  std::vector<sim::BarItemSpec> items;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!part.empty()) {
      size_t colon = part.find(':');
      double width = colon == std::string::npos ? 26 : std::atof(part.c_str() + colon + 1);
      if (!(width > 0 && width < 1000)) width = 26;
      items.push_back({part.substr(0, colon), width, false});
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  for (auto& s : sim::SimMenuBar::defaultItems())
    if (s.system) items.push_back(s);
  return items;
}
}  // namespace

int main(int argc, char** argv) {
  std::string home, script, memory;
  bool headless = std::getenv("TUCKLINE_LAUNCHD") != nullptr;
  int forcedTime = 0;  // 1 virtual, 2 real
  sim::SimMenuBar::Config bar;
  std::vector<std::string> rest;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (!rest.empty()) rest.push_back(a);
    else if (a == "--home") home = value();
    else if (a == "--script") script = value();
    else if (a == "--virtual") forcedTime = 1;
    else if (a == "--real") forcedTime = 2;
    else if (a == "--headless") headless = true;
    else if (a == "--screen-width") bar.screenWidth = std::atof(value().c_str());
    else if (a == "--thickness") bar.thickness = std::atof(value().c_str());
    else if (a == "--items") bar.items = parseItems(value());
    else if (a == "--memory") memory = value();
    else if (a == "defaults") rest.push_back(a);
    else if (a == "--help" || a == "-h") {
      std::cout << console::Console::help();
      return 0;
    } else return usage();
  }
  if (!(bar.screenWidth >= 200 && bar.screenWidth <= 20000)) bar.screenWidth = 1512;
  if (!(bar.thickness > 0 && bar.thickness <= 100)) bar.thickness = 24;

  home = console::resolveHome(home);
  std::string error;
  if (!console::prepareHome(home, &error)) {
    std::cerr << "tuckline: " << error << "\n";
    return 1;
  }
  if (!rest.empty()) {
    std::vector<std::string> args(rest.begin() + 1, rest.end());
    return sim::runDefaultsTool(home + "/Library/Preferences/com.ferrowick.tuckline.plist", args, std::cout, std::cerr);
  }

  bool interactive = !headless && script.empty() && isatty(STDIN_FILENO);
  sim::SimDesktop::Config config;
  config.home = home;
  config.time = forcedTime == 1 ? sim::SimRunLoop::Time::Virtual
              : forcedTime == 2 || interactive || headless ? sim::SimRunLoop::Time::Real
                                                           : sim::SimRunLoop::Time::Virtual;
  if (memory == "off") bar.memory = sim::PositionMemory::Off;
  else if (memory == "keep") bar.memory = sim::PositionMemory::Keep;
  config.menuBar = bar;

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
