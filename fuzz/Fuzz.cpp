#include "fuzz/Fuzz.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tl::fuzz {

namespace fs = std::filesystem;

const std::vector<Target>& targets() {
  static const std::vector<Target> all = {
      {"preferences_file", preferencesFile}, {"defaults_tool", defaultsTool}, {"web_input", webInput},
      {"console_line", consoleLine},         {"launch_agent", launchAgent},   {"launchd_state", launchdState},
      {"text_metrics", textMetrics},
  };
  return all;
}

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz: violated: %s\n", what);
  std::abort();
}

namespace {
// Removed when the process ends normally; a crashed run leaves it for a look.
// In memory where there is a tmpfs: every write of the defaults is synced to
// disk, which would otherwise set the pace.
struct Scratch {
  std::string root;
  Scratch() {
    std::string base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string tmpl = base + "/tuckline-fuzz-XXXXXX";
    check(mkdtemp(tmpl.data()) != nullptr, "a scratch folder");
    root = tmpl;
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(root, ec);
  }
};
Scratch& scratch() {
  static Scratch s;
  return s;
}
}  // namespace

const std::string& scratchHome() {
  static const std::string home = scratch().root + "/home";
  return home;
}

void emptyScratchHome() {
  std::error_code ec;
  fs::remove_all(scratchHome(), ec);
  fs::create_directories(scratchHome() + "/Library/Preferences", ec);
  fs::create_directories(scratchHome() + "/Library/Logs", ec);
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<std::string> split(const uint8_t* data, size_t size, char separator, size_t limit) {
  std::vector<std::string> pieces(1);
  for (size_t k = 0; k < size; ++k) {
    if (static_cast<char>(data[k]) != separator) {
      pieces.back() += static_cast<char>(data[k]);
    } else if (pieces.size() == limit) {
      break;
    } else {
      pieces.emplace_back();
    }
  }
  return pieces;
}

}  // namespace tl::fuzz
