#include "hotkey/HotKeyPreset.h"

#include "app/Prefs.h"
#include "platform/Platform.h"

namespace tl {

namespace {
constexpr std::array<uint32_t, 4> kKeyCodes = {kVK_ANSI_B, kVK_ANSI_B, kVK_ANSI_H, 0};
constexpr std::array<uint32_t, 4> kModifiers = {controlKey | optionKey | cmdKey, controlKey | optionKey,
                                                optionKey | cmdKey, 0};
const std::array<std::string, 4> kDisplay = {"⌃⌥⌘ B", "⌃⌥ B", "⌥⌘ H", "不使用"};
}  // namespace

std::optional<HotKeyPreset> hotKeyPresetFromRaw(int64_t raw) {
  if (raw < 0 || raw >= 4) return std::nullopt;
  return static_cast<HotKeyPreset>(raw);
}

uint32_t keyCode(HotKeyPreset p) { return kKeyCodes[static_cast<size_t>(p)]; }
uint32_t modifiers(HotKeyPreset p) { return kModifiers[static_cast<size_t>(p)]; }
const std::string& display(HotKeyPreset p) { return kDisplay[static_cast<size_t>(p)]; }

HotKeyPreset HotKeyPresets::current() {
  int64_t stored = platform().standardUserDefaults().integerForKey(rawValue(PrefKey::hotKeyPreset));
  // Compared unsigned: negative numbers fall back as well.
  if (static_cast<uint64_t>(stored) < 4) return static_cast<HotKeyPreset>(stored);
  return HotKeyPreset::controlOptionCommandB;
}

}  // namespace tl
