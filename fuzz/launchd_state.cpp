// launchd's own record of its jobs, as whatever left it on disk: listing,
// printing, logging in and loading another job never crash, and a record
// that cannot be read is kept aside, not overwritten.
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "fuzz/Fuzz.h"
#include "platform/sim/PropertyList.h"
#include "platform/sim/SimLaunchd.h"

namespace tl::fuzz {

int launchdState(const uint8_t* data, size_t size) {
  emptyScratchHome();
  const std::string& home = scratchHome();
  const std::string folder = sim::launchdFolder(home), state = folder + "/jobs.plist";
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::filesystem::create_directories(folder);
  writeFile(state, bytes);
  // Never started (no RunAtLoad), so loading it runs nothing.
  const std::string quiet = home + "/quiet.plist";
  writeFile(quiet, *sim::writePropertyList(Value(Value::Dict{
                       {"Label", Value("fuzz.quiet")}, {"ProgramArguments", Value(Value::Array{Value("/bin/true")})}})));
  const std::string domain = "gui/" + std::to_string(::getuid());

  auto jobs = sim::launchdJobs(home);
  std::ostringstream out, err;
  sim::launchctlMain(home, {"print", domain}, out, err);
  sim::launchctlMain(home, {"list"}, out, err);
  for (const auto& job : jobs) sim::launchctlMain(home, {"print", domain + "/" + job.label}, out, err);
  bool loaded = sim::launchctlMain(home, {"bootstrap", domain, quiet}, out, err) == 0;
  // A damaged record was set aside whole; a readable one kept its jobs.
  if (std::filesystem::exists(state + ".corrupt")) {
    check(readFile(state + ".corrupt") == bytes, "a damaged launchd record lost bytes");
  } else if (loaded) {
    auto after = sim::launchdJobs(home);
    for (const auto& job : jobs) {
      bool kept = false;
      for (const auto& now : after) kept = kept || (now.label == job.label && now.programArguments == job.programArguments);
      check(kept, "loading a job lost another one");
    }
  }
  return 0;
}

}  // namespace tl::fuzz
