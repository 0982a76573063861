#pragma once
#include <signal.h>

namespace tl::console {

// Blocks the signals that ask the program to quit (SIGTERM from launchctl
// bootout or kill, SIGINT, SIGHUP) in the calling thread and every thread
// it starts afterwards, and returns them, for one thread to sigwait on.
sigset_t blockQuitSignals();

}  // namespace tl::console
