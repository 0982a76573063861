#pragma once
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/sim/SimDesktop.h"

namespace tl::web {

struct Options {
  // A notched screen: the middle of the bar is covered and items under it
  // are drawn hidden. Only the page knows about it.
  bool notch = false;
};

// Item faults queued from the page for the next items. The bar reports back
// only how many are still queued, so the page keeps its own account of
// their kinds. (Every other fault switch is read from the desktop.)
// Main thread only.
struct FaultBook {
  std::vector<std::string> nextItem;  // queued, consumed one per new own item
};

// Everything the page draws, read from the desktop and the sandbox home.
// Main thread only (inside onMain or the idle observer).
nlohmann::json describeDesktop(sim::SimDesktop& desktop, FaultBook& faults, const Options& options);

// The end of a text file, at most maxBytes, starting at a line boundary
// when cut; empty when the file is missing.
std::string tailOfFile(const std::string& path, size_t maxBytes, bool* truncated = nullptr);

// "⌘Q" for a menu item's key equivalent "q".
std::string keyEquivalentLabel(const std::string& key);

}  // namespace tl::web
