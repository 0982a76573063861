#pragma once
#include <string>

#include "frontends/console/Console.h"
#include "platform/sim/SimDesktop.h"

namespace tl::console {

// A person at a terminal: the commands with line editing and history, and
// the bar (with an open menu or alert) drawn again whenever it changed,
// also when nothing was typed (the first-run alert, a timed collapse).
// Returns when the person quits (quit, Ctrl-D, Ctrl-C, SIGTERM) or the
// application ends, with the application's main thread joined.
void runInteractive(sim::SimDesktop& desktop, Console& console, const std::string& home);

}  // namespace tl::console
