#pragma once
#include <cstdint>

namespace tl {

// The slice of the Carbon event manager that registers global hot keys.
using OSStatus = int32_t;
using OSType = uint32_t;
using EventTargetRef = struct OpaqueEventTargetRef*;
using EventHandlerRef = struct OpaqueEventHandlerRef*;
using EventHandlerCallRef = struct OpaqueEventHandlerCallRef*;
using EventHotKeyRef = struct OpaqueEventHotKeyRef*;
using EventRef = struct OpaqueEventRef*;
using EventHandlerUPP = OSStatus (*)(EventHandlerCallRef, EventRef, void*);

constexpr OSStatus noErr = 0;
constexpr OSStatus paramErr = -50;
constexpr OSStatus eventHotKeyExistsErr = -9878;
constexpr OSStatus eventHotKeyInvalidErr = -9879;

constexpr OSType kEventClassKeyboard = 0x6B657962;  // 'keyb'
constexpr uint32_t kEventHotKeyPressed = 5;
constexpr uint32_t kEventHotKeyReleased = 6;

constexpr uint32_t cmdKey = 0x0100;
constexpr uint32_t shiftKey = 0x0200;
constexpr uint32_t optionKey = 0x0800;
constexpr uint32_t controlKey = 0x1000;

constexpr uint32_t kVK_ANSI_H = 0x04;
constexpr uint32_t kVK_ANSI_B = 0x0B;

struct EventTypeSpec {
  OSType eventClass;
  uint32_t eventKind;
};

struct EventHotKeyID {
  OSType signature;
  uint32_t id;
};

class HotKeyEvents {
 public:
  virtual ~HotKeyEvents() = default;
  virtual EventTargetRef GetApplicationEventTarget() = 0;
  virtual OSStatus InstallEventHandler(EventTargetRef target, EventHandlerUPP handler, uint32_t numTypes,
                                       const EventTypeSpec* list, void* userData, EventHandlerRef* outRef) = 0;
  virtual OSStatus RemoveEventHandler(EventHandlerRef handler) = 0;
  virtual OSStatus RegisterEventHotKey(uint32_t keyCode, uint32_t modifiers, EventHotKeyID id,
                                       EventTargetRef target, uint32_t options, EventHotKeyRef* outRef) = 0;
  virtual OSStatus UnregisterEventHotKey(EventHotKeyRef hotKey) = 0;
};

}  // namespace tl
