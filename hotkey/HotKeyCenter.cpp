#include "hotkey/HotKeyCenter.h"

#include <string>

#include "platform/Platform.h"

namespace tl {

namespace {
std::function<void()> gHotKeyAction;

constexpr OSType kHotKeySignature = (OSType('T') << 24) | (OSType('K') << 16) | (OSType('L') << 8) | OSType('N');
constexpr uint32_t kHotKeyID = 1;
}  // namespace

const std::shared_ptr<HotKeyCenter>& HotKeyCenter::shared() {
  static const std::shared_ptr<HotKeyCenter> instance = std::make_shared<HotKeyCenter>();
  return instance;
}

void resetHotKeyBridge() { gHotKeyAction = nullptr; }

void HotKeyCenter::unregister() {
  HotKeyEvents& carbon = platform().hotKeys();
  if (hotKeyRef_) {
    carbon.UnregisterEventHotKey(hotKeyRef_);
    hotKeyRef_ = nullptr;
  }
  if (eventHandlerRef_) {
    carbon.RemoveEventHandler(eventHandlerRef_);
    eventHandlerRef_ = nullptr;
  }
}

void HotKeyCenter::apply(HotKeyPreset preset) {
  // Through the nothing-registered state first, so the old key never lingers.
  unregister();
  if (preset == HotKeyPreset::disabled) return;

  std::weak_ptr<HotKeyCenter> weak = shared();
  gHotKeyAction = [weak] {
    if (auto center = weak.lock(); center && center->action) center->action();
  };

  HotKeyEvents& carbon = platform().hotKeys();
  EventTypeSpec pressed{kEventClassKeyboard, kEventHotKeyPressed};
  carbon.InstallEventHandler(carbon.GetApplicationEventTarget(), &carbonHotKeyCallback, 1, &pressed, nullptr,
                             &eventHandlerRef_);
  OSStatus status = carbon.RegisterEventHotKey(keyCode(preset), modifiers(preset), EventHotKeyID{kHotKeySignature, kHotKeyID},
                                               carbon.GetApplicationEventTarget(), 0, &hotKeyRef_);
  if (status != noErr) platform().systemLog().log("[Tuckline] 快捷键注册失败: " + std::to_string(status));
}

OSStatus carbonHotKeyCallback(EventHandlerCallRef, EventRef, void*) {
  // Never act inside the Carbon callback: hand over to a later turn of the
  // main loop.
  platform().mainQueue().async([] {
    if (gHotKeyAction) gHotKeyAction();
  });
  return noErr;
}

}  // namespace tl
