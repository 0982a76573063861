#pragma once
#include <string>

namespace tl::console {

// The sandbox home: --home, else $TUCKLINE_HOME, else a folder in the
// user's data directory. Never the real home.
std::string resolveHome(const std::string& fromCommandLine);

// A new home gets the folders a fresh Mac account has; an existing one is
// left exactly as it is.
bool prepareHome(const std::string& home, std::string* error);

}  // namespace tl::console
