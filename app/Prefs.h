#pragma once
#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace tl {

// The user-defaults keys; each case's raw value is its name.
enum class PrefKey { hoverExpand, autoCollapse, autoCollapseDelay, showSeparator, startCollapsed, hotKeyPreset, launchAtLogin };

inline constexpr std::array<PrefKey, 7> kAllPrefKeys = {PrefKey::hoverExpand,   PrefKey::autoCollapse,
                                                        PrefKey::autoCollapseDelay, PrefKey::showSeparator,
                                                        PrefKey::startCollapsed, PrefKey::hotKeyPreset,
                                                        PrefKey::launchAtLogin};

const std::string& rawValue(PrefKey key);
std::optional<PrefKey> prefKeyFromRaw(const std::string& raw);

// Not a PrefKey: it has no registered default, so it reads false until
// start-up writes it.
inline const std::string kDidShowIntroKey = "didShowIntro";

void registerDefaultPrefs();

}  // namespace tl

template <>
struct std::hash<tl::PrefKey> {
  size_t operator()(tl::PrefKey k) const noexcept { return std::hash<std::string>()(tl::rawValue(k)); }
};
