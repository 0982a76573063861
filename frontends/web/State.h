#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/sim/SimDesktop.h"

namespace tl::web {

// Item faults queued from the page for the next items. The bar reports back
// only how many are still queued, so the page keeps its own account of
// their kinds. (Every other fault switch is read from the desktop.)
// Main thread only.
struct FaultBook {
  std::vector<std::string> nextItem;  // queued, consumed one per new own item
};

// What was last made of each file the side panel shows, kept while the
// file stays the same one (inode, size, modification time): a redraw after
// a click then reads and parses nothing again. Main thread only.
struct FileCache {
  struct Entry {
    uint64_t inode = 0, size = 0;
    int64_t modified = 0;  // nanoseconds
    nlohmann::json value;
  };
  std::map<std::string, Entry> entries;
};

// Everything the page draws, read from the desktop and the sandbox home.
// Main thread only (inside onMain or the idle observer).
nlohmann::json describeDesktop(sim::SimDesktop& desktop, FaultBook& faults,
                               FileCache* files = nullptr);

// The end of a text file, at most maxBytes, starting at a line boundary
// when cut; empty when the file is missing. `offset`: where in the file it
// starts.
std::string tailOfFile(const std::string& path, size_t maxBytes, bool* truncated = nullptr,
                       uint64_t* offset = nullptr);

// The same tail as its lines (each with its line feed), keyed by the
// offset where each starts, zero-padded to sort as numbers. A record
// appended to the file then changes the state by a few keys, not the whole
// text, and so does the tail's start moving on.
nlohmann::json tailLines(const std::string& path, size_t maxBytes, bool* truncated = nullptr);

// "⌘Q" for a menu item's key equivalent "q".
std::string keyEquivalentLabel(const std::string& key);

}  // namespace tl::web
