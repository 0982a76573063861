// A launch agent's property list as launchctl and login read it. Only read:
// starting what a fuzzed agent names would run arbitrary programs.
#include <unistd.h>

#include <sstream>

#include "fuzz/Fuzz.h"
#include "platform/sim/SimLaunchd.h"

namespace tl::fuzz {

int launchAgent(const uint8_t* data, size_t size) {
  emptyScratchHome();
  const std::string path = scratchHome() + "/agent.plist";
  writeFile(path, std::string(reinterpret_cast<const char*>(data), size));
  sim::LaunchAgent agent;
  int code = 0;
  std::string why;
  bool read = false;
  checkDecodingCost(size, [&] { read = sim::readLaunchAgent(path, agent, code, why); });
  if (read) {
    check(!agent.label.empty() && !agent.arguments.empty(), "an agent without label or arguments was taken");
    for (const auto& a : agent.arguments) check(a.find('\0') == std::string::npos, "an argument holding U+0000 was taken");
  } else {
    check((code == 2 || code == 5) && !why.empty(), "a refusal without launchctl's number or a reason");
  }
  // Booting out by file reads the agent too; nothing is loaded, so nothing stops.
  std::ostringstream out, err;
  sim::launchctlMain(scratchHome(), {"bootout", "gui/" + std::to_string(::getuid()), path}, out, err);
  return 0;
}

}  // namespace tl::fuzz
