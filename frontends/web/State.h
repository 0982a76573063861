#pragma once
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
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

// A long part of the state (the bar's items, a log's lines) kept from one
// description to the next, with what its last change was: an update then
// costs what changed, not how many items there are or how long the log is.
struct KeptPart {
  nlohmann::json value;
  uint64_t version = 0;  // new whenever value changes; unique in the process
  uint64_t from = 0;     // the version `ops` lead from; 0 when value was made anew
  nlohmann::json ops;    // RFC 6902 operations, their paths within the part
  void changed(nlohmann::json operations);  // value was changed by them
  void madeAnew();
};

// What was last made of each file the side panel shows, kept while the
// file stays the same one (inode, size, modification time): a redraw after
// a click then reads and parses nothing again. A log's tail is read on
// from where it ended when the log grew. Main thread only.
struct FileCache {
  struct Entry {
    uint64_t inode = 0, size = 0;
    int64_t modified = 0;  // nanoseconds
    nlohmann::json value;
  };
  std::map<std::string, Entry> entries;
  struct Tail {
    Entry file;  // its value unused
    bool cut = false;
    KeptPart lines;  // as tailLines() gives them
  };
  std::map<std::string, Tail> tails;
};

// The state's long parts as the last description left them, for a
// publisher that applies their changes to what it published (see
// describeDesktop). Main thread only.
struct KeptParts {
  KeptPart items;
  struct Seen;                 // what an item was described from
  std::vector<Seen> seen;      // for each of items.value
  // Filled by each description: the JSON pointer of each part left out of
  // the state, and the part.
  std::vector<std::pair<std::string, const KeptPart*>> parts;
  KeptParts();
  ~KeptParts();
  KeptParts(KeptParts&&) noexcept;
  KeptParts& operator=(KeptParts&&) noexcept;
};

// Everything the page draws, read from the desktop and the sandbox home.
// With `kept`, the long parts (the items, the logs' lines) are left out of
// the state and told in kept->parts instead. Main thread only (inside
// onMain or the idle observer).
nlohmann::json describeDesktop(sim::SimDesktop& desktop, FaultBook& faults,
                               FileCache* files = nullptr, KeptParts* kept = nullptr);

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
