// The preferences file as it comes from disk: whatever its bytes, reading
// never crashes, a readable file keeps every value through a write, and a
// damaged one keeps every byte aside.
#include "fuzz/Fuzz.h"
#include "platform/sim/PropertyList.h"
#include "platform/sim/SimDefaults.h"

namespace tl::fuzz {

int preferencesFile(const uint8_t* data, size_t size) {
  using sim::SimDefaults;
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // The codec: bounded by the input, and what it reads, it writes back exactly.
  std::optional<Value> value;
  checkDecodingCost(size, [&] { value = sim::readPropertyList(bytes); });
  if (value) {
    auto written = sim::writePropertyList(*value);
    check(written.has_value(), "a value that was read cannot be written");
    auto back = sim::readPropertyList(written.value_or(""));
    check(back && sim::identicalValues(*back, *value), "a written value reads back differently");
  }

  emptyScratchHome();
  const std::string path = scratchHome() + "/Library/Preferences/com.ferrowick.tuckline.plist";
  writeFile(path, bytes);
  SimDefaults defaults(path);
  defaults.registerDefaults({{"hoverExpand", Value(true)}, {"autoCollapseDelay", Value(5.0)}});
  const auto state = defaults.fileState();
  const auto before = defaults.persistentDomain();
  for (const char* key : {"hoverExpand", "autoCollapse", "autoCollapseDelay", "hotKeyPreset", "showSeparator"}) {
    defaults.boolForKey(key);
    defaults.doubleForKey(key);
    defaults.integerForKey(key);
  }
  if (before)
    for (const auto& entry : *before) defaults.integerForKey(entry.first);

  defaults.setBool("fuzz.written", true);
  check(defaults.writeError().empty(), "a write into a fresh folder failed");
  if (state == SimDefaults::FileState::Damaged) {
    check(readFile(path + ".corrupt") == bytes, "a damaged file's bytes were not kept");
  } else {
    SimDefaults again(path);
    auto after = again.persistentDomain();
    check(after.has_value(), "the written file does not read");
    for (const auto& [key, value] : before.value_or(Value::Dict{})) {
      if (key == "fuzz.written") continue;  // the one value this write changes
      bool kept = false;
      for (const auto& entry : *after) kept = kept || (entry.first == key && sim::identicalValues(entry.second, value));
      check(kept, "a value was lost or changed by a write");
    }
  }
  return 0;
}

}  // namespace tl::fuzz
