// launchctl for the simulated desktop: the home comes from TUCKLINE_HOME,
// which the desktop sets for every program it starts.
#include <cstdlib>
#include <iostream>

#include "platform/sim/SimLaunchd.h"

int main(int argc, char** argv) {
  const char* home = std::getenv("TUCKLINE_HOME");
  if (!home || !*home) {
    std::cerr << "launchctl: TUCKLINE_HOME is not set\n";
    return 64;
  }
  return tl::sim::launchctlMain(home, std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
