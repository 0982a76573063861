#include "app/Prefs.h"

#include "platform/Platform.h"

namespace tl {

namespace {
const std::array<std::string, 7> kRawValues = {"hoverExpand",    "autoCollapse", "autoCollapseDelay", "showSeparator",
                                               "startCollapsed", "hotKeyPreset", "launchAtLogin"};
}

const std::string& rawValue(PrefKey key) { return kRawValues[static_cast<size_t>(key)]; }

std::optional<PrefKey> prefKeyFromRaw(const std::string& raw) {
  for (PrefKey k : kAllPrefKeys)
    if (rawValue(k) == raw) return k;
  return std::nullopt;
}

void registerDefaultPrefs() {
  platform().standardUserDefaults().registerDefaults({
      {rawValue(PrefKey::hoverExpand), Value(true)},
      {rawValue(PrefKey::autoCollapse), Value(false)},
      {rawValue(PrefKey::autoCollapseDelay), Value(5.0)},
      {rawValue(PrefKey::showSeparator), Value(true)},
      {rawValue(PrefKey::startCollapsed), Value(false)},
      {rawValue(PrefKey::hotKeyPreset), Value(0)},
      {rawValue(PrefKey::launchAtLogin), Value(false)},
  });
}

}  // namespace tl
