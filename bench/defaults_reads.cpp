// Instructions per boolForKey, counted by callgrind (bench/defaults-reads.sh):
// `steady` reads a preferences file nobody has touched for a while, `after-write`
// reads right after this process wrote it, `after-other` right after another
// writer (as the defaults tool would) replaced it.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/sim/SimDefaults.h"

using tl::sim::SimDefaults;

namespace {

// callgrind collects inside this function only (--toggle-collect).
__attribute__((noinline)) int readLoop(SimDefaults& d, int n) {
  int yes = 0;
  for (int i = 0; i < n; ++i) yes += d.boolForKey("showSeparator");
  return yes;
}

void backdate(const std::string& path) {
  struct timespec times[2];
  clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec -= 60;
  times[1] = times[0];
  utimensat(AT_FDCWD, path.c_str(), times, 0);
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "steady";
  int n = argc > 2 ? std::atoi(argv[2]) : 10000;
  char tmpl[] = "/tmp/tuckline-reads-XXXXXX";
  std::string root = mkdtemp(tmpl);
  std::string path = root + "/Library/Preferences/com.ferrowick.tuckline.plist";
  int yes = 0;
  {
    SimDefaults d(path);
    d.registerDefaults({{"showSeparator", tl::Value(true)}, {"hoverExpand", tl::Value(true)}});
    d.setBool("didShowIntro", true);
    d.setInteger("hotKeyPreset", 1);
    d.setBool("showSeparator", true);
    if (mode == "steady") {
      backdate(path);
      d.boolForKey("showSeparator");  // the first look at the backdated file
    } else if (mode == "after-write") {
      d.setBool("showSeparator", true);
    } else if (mode == "after-other") {
      SimDefaults(path).setBool("showSeparator", true);
      d.boolForKey("showSeparator");
    } else {
      std::fprintf(stderr, "usage: %s steady|after-write|after-other [N]\n", argv[0]);
      return 2;
    }
    yes = readLoop(d, n);
  }
  std::filesystem::remove_all(root);
  return yes == n ? 0 : 1;
}
