#pragma once
#include <string>

namespace tl::console {

// The sandbox home: --home, else $TUCKLINE_HOME, else a folder in the
// user's data directory. Never the real home.
std::string resolveHome(const std::string& fromCommandLine);

// The usage line of --home, the same in every program that takes it.
std::string homeOptionUsage();

}  // namespace tl::console
