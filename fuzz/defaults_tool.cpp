// The defaults tool's arguments (one per line of the input): whatever they
// are, the tool never crashes and never leaves a file that does not read.
#include <sstream>

#include "fuzz/Fuzz.h"
#include "platform/sim/DefaultsTool.h"
#include "platform/sim/PropertyList.h"

namespace tl::fuzz {

int defaultsTool(const uint8_t* data, size_t size) {
  emptyScratchHome();
  const std::string path = scratchHome() + "/Library/Preferences/com.ferrowick.tuckline.plist";
  writeFile(path, *sim::writePropertyList(Value(Value::Dict{
                      {"hotKeyPreset", Value(1)}, {"autoCollapseDelay", Value(2.5)}, {"name", Value("中文")},
                      {"list", Value(Value::Array{Value(1), Value("a b")})}})));
  std::vector<std::string> args = split(data, size, '\n', 8);
  std::ostringstream out, err;
  sim::runDefaultsTool(path, args, out, err);
  std::string after = readFile(path);
  check(after.empty() || sim::readPropertyList(after).has_value(), "the tool left a file that does not read");
  return 0;
}

}  // namespace tl::fuzz
