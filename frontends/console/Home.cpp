#include "frontends/console/Home.h"

#include <cstdlib>
#include <filesystem>

namespace tl::console {

namespace fs = std::filesystem;

std::string resolveHome(const std::string& fromCommandLine) {
  if (!fromCommandLine.empty()) return fs::absolute(fromCommandLine).lexically_normal().string();
  if (const char* env = std::getenv("TUCKLINE_HOME"); env && *env) return fs::absolute(env).lexically_normal().string();
  std::string base;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
    base = xdg;
  else if (const char* h = std::getenv("HOME"); h && *h)
    base = std::string(h) + "/.local/share";
  else
    base = "/tmp";
  return base + "/tuckline-sim/home";
}

std::string homeOptionUsage() {
  return "  --home DIR            the simulated Mac's home (default $TUCKLINE_HOME, else\n"
         "                        ~/.local/share/tuckline-sim/home)\n";
}

}  // namespace tl::console
