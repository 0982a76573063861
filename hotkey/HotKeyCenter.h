#pragma once
#include <functional>
#include <memory>

#include "hotkey/HotKeyPreset.h"
#include "platform/HotKeys.h"

namespace tl {

// The single owner of the global hot-key registration and of what a press
// does.
class HotKeyCenter {
 public:
  static const std::shared_ptr<HotKeyCenter>& shared();

  std::function<void()> action;

  void apply(HotKeyPreset preset);
  void unregister();

  EventHotKeyRef hotKeyRef() const { return hotKeyRef_; }
  EventHandlerRef eventHandlerRef() const { return eventHandlerRef_; }

 private:
  EventHotKeyRef hotKeyRef_ = nullptr;
  EventHandlerRef eventHandlerRef_ = nullptr;
};

// Carbon calls back without context; this is its way back to the center.
OSStatus carbonHotKeyCallback(EventHandlerCallRef callRef, EventRef event, void* userData);

// Clears the bridge at process entry.
void resetHotKeyBridge();

}  // namespace tl
