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

bool prepareHome(const std::string& home, std::string* error) {
  std::error_code ec;
  if (fs::exists(home, ec)) {
    if (fs::is_directory(home, ec)) return true;
    if (error) *error = home + " is not a folder";
    return false;
  }
  for (const char* sub : {"/Library/Logs", "/Library/Preferences"}) {
    fs::create_directories(home + sub, ec);
    if (ec) {
      if (error) *error = home + sub + ": " + ec.message();
      return false;
    }
  }
  return true;
}

}  // namespace tl::console
