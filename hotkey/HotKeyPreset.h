#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tl {

// The selectable global hot keys; the raw value is the position.
enum class HotKeyPreset : int { controlOptionCommandB = 0, controlOptionB = 1, optionCommandH = 2, disabled = 3 };

inline constexpr std::array<HotKeyPreset, 4> kAllHotKeyPresets = {
    HotKeyPreset::controlOptionCommandB, HotKeyPreset::controlOptionB, HotKeyPreset::optionCommandH,
    HotKeyPreset::disabled};

inline int rawValue(HotKeyPreset p) { return static_cast<int>(p); }
std::optional<HotKeyPreset> hotKeyPresetFromRaw(int64_t raw);
uint32_t keyCode(HotKeyPreset p);
uint32_t modifiers(HotKeyPreset p);
const std::string& display(HotKeyPreset p);

namespace HotKeyPresets {
// The preset in force, read from the user defaults at each call.
HotKeyPreset current();
}  // namespace HotKeyPresets

}  // namespace tl
