// The console's command lines on a live desktop: whatever is typed, the
// console answers and the application runs on (or quits when told to).
// Left out: lines that would start real programs (login, the start-at-login
// switch: its launch agent names this very binary) or wait in real time.
#include <memory>
#include <sstream>

#include "app/Main.h"
#include "frontends/console/Console.h"
#include "fuzz/Fuzz.h"
#include "platform/sim/SimDesktop.h"

namespace tl::fuzz {

namespace {
struct Live {
  std::unique_ptr<sim::SimDesktop> desktop;
  std::ostringstream out, err;
  std::unique_ptr<console::Console> console;
  int inputs = 0;
};

bool runsPrograms(const std::string& line) {
  auto words = console::splitWords(line);
  if (words.empty()) return false;
  return words[0] == "login" || words[0] == "await" || line.find("开机") != std::string::npos;
}
}  // namespace

int consoleLine(const uint8_t* data, size_t size) {
  static Live live;
  // A fresh desktop after the application ended, and now and then anyway,
  // so one input's leftovers do not pile up.
  if (!live.desktop || live.desktop->terminated() || ++live.inputs % 200 == 0) {
    live.console.reset();
    live.desktop.reset();
    emptyScratchHome();
    sim::SimDesktop::Config config;
    config.home = scratchHome();
    live.desktop = std::make_unique<sim::SimDesktop>(config);
    live.desktop->launch([] { return tucklineMain(); });
    live.desktop->waitIdle();
    live.console = std::make_unique<console::Console>(*live.desktop, live.out, live.err);
  }
  for (const std::string& line : split(data, size, '\n', 8)) {
    if (runsPrograms(line)) continue;
    live.out.str("");
    live.err.str("");
    if (!live.console->execute(line)) break;
  }
  return 0;
}

}  // namespace tl::fuzz
