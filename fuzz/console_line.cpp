// The console's command lines on a live desktop: whatever is typed, the
// console answers and the application runs on (or quits when told to).
// Left out: lines that would start real programs (login, the start-at-login
// switch: its launch agent names this very binary) or wait in real time.
#include <memory>
#include <sstream>

#include "frontends/console/Console.h"
#include "fuzz/Fuzz.h"
#include "platform/sim/SimDesktop.h"

namespace tl::fuzz {

namespace {
bool runsPrograms(const std::string& line) {
  auto words = console::splitWords(line);
  if (words.empty()) return false;
  return words[0] == "login" || words[0] == "await" || line.find("开机") != std::string::npos;
}
}  // namespace

int consoleLine(const uint8_t* data, size_t size) {
  static std::ostringstream out, err;
  static std::unique_ptr<console::Console> console;
  static int inputs = 0;
  // A fresh desktop after the application ended, and now and then anyway,
  // so one input's leftovers do not pile up.
  auto& desktop = liveDesktop(&console, ++inputs % 200 == 0, [] { console.reset(); });
  if (!console) console = std::make_unique<console::Console>(desktop, out, err);
  for (const std::string& line : split(data, size, '\n', 8)) {
    if (runsPrograms(line)) continue;
    out.str("");
    err.str("");
    if (!console->execute(line)) break;
  }
  return 0;
}

}  // namespace tl::fuzz
