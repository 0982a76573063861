#pragma once
#include <cstdint>

namespace tl {

enum class EventType : unsigned {
  LeftMouseDown = 1,
  LeftMouseUp = 2,
  RightMouseDown = 3,
  RightMouseUp = 4,
  MouseMoved = 5,
  MouseEntered = 8,
  MouseExited = 9,
  KeyDown = 10,
};

constexpr uint64_t kEventMaskLeftMouseUp = 1ull << 2;
constexpr uint64_t kEventMaskRightMouseUp = 1ull << 4;

constexpr uint64_t kEventModifierFlagShift = 1ull << 17;
constexpr uint64_t kEventModifierFlagControl = 1ull << 18;
constexpr uint64_t kEventModifierFlagOption = 1ull << 19;
constexpr uint64_t kEventModifierFlagCommand = 1ull << 20;

struct Event {
  EventType type = EventType::LeftMouseUp;
  uint64_t modifierFlags = 0;
};

}  // namespace tl
