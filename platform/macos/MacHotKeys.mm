#include "platform/macos/MacBridge.h"

#include <cstddef>
#include <map>
#include <vector>

namespace tl::mac {

namespace {

// tl's Carbon look-alikes are their own types; these are what make the
// casts below sound.
static_assert(sizeof(tl::EventTypeSpec) == sizeof(::EventTypeSpec) &&
              offsetof(tl::EventTypeSpec, eventKind) == offsetof(::EventTypeSpec, eventKind));
static_assert(sizeof(tl::OSStatus) == sizeof(::OSStatus) && sizeof(tl::OSType) == sizeof(::OSType));

// The core's handler, called with tl's types from Carbon's own: Carbon gets
// this trampoline, never a function pointer cast to a type it is not.
struct Handler {
  tl::EventHandlerUPP handler;
  void* userData;
};

::OSStatus trampoline(::EventHandlerCallRef call, ::EventRef event, void* userData) {
  const auto* h = static_cast<const Handler*>(userData);
  return h->handler(reinterpret_cast<tl::EventHandlerCallRef>(call), reinterpret_cast<tl::EventRef>(event),
                    h->userData);
}

class MacHotKeys final : public HotKeyEvents {
 public:
  ~MacHotKeys() override {
    for (auto& [ref, handler] : handlers_) ::RemoveEventHandler(ref);
  }

  tl::EventTargetRef GetApplicationEventTarget() override {
    return reinterpret_cast<tl::EventTargetRef>(::GetApplicationEventTarget());
  }

  tl::OSStatus InstallEventHandler(tl::EventTargetRef target, tl::EventHandlerUPP handler, uint32_t numTypes,
                                   const tl::EventTypeSpec* list, void* userData,
                                   tl::EventHandlerRef* outRef) override {
    if (!target || !handler || (numTypes && !list)) return tl::paramErr;
    std::vector<::EventTypeSpec> types;
    for (uint32_t i = 0; i < numTypes; ++i) types.push_back({list[i].eventClass, list[i].eventKind});
    auto record = std::make_unique<Handler>(Handler{handler, userData});
    ::EventHandlerRef ref = nullptr;
    ::OSStatus status = ::InstallEventHandler(reinterpret_cast<::EventTargetRef>(target), &trampoline,
                                              static_cast<::ItemCount>(types.size()), types.data(), record.get(), &ref);
    if (status != ::noErr) return static_cast<tl::OSStatus>(status);
    handlers_[ref] = std::move(record);
    if (outRef) *outRef = reinterpret_cast<tl::EventHandlerRef>(ref);
    return tl::noErr;
  }

  tl::OSStatus RemoveEventHandler(tl::EventHandlerRef handler) override {
    if (!handler) return tl::paramErr;
    auto ref = reinterpret_cast<::EventHandlerRef>(handler);
    ::OSStatus status = ::RemoveEventHandler(ref);
    // Carbon calls the handler no more once removed; the record may go.
    if (status == ::noErr) handlers_.erase(ref);
    return static_cast<tl::OSStatus>(status);
  }

  tl::OSStatus RegisterEventHotKey(uint32_t keyCode, uint32_t modifiers, tl::EventHotKeyID hotKeyID,
                                   tl::EventTargetRef target, uint32_t options, tl::EventHotKeyRef* outRef) override {
    if (!target) return tl::paramErr;
    ::EventHotKeyID carbonID = {hotKeyID.signature, hotKeyID.id};
    ::EventHotKeyRef ref = nullptr;
    ::OSStatus status = ::RegisterEventHotKey(keyCode, modifiers, carbonID, reinterpret_cast<::EventTargetRef>(target),
                                              options, &ref);
    if (outRef) *outRef = status == ::noErr ? reinterpret_cast<tl::EventHotKeyRef>(ref) : nullptr;
    return static_cast<tl::OSStatus>(status);
  }

  tl::OSStatus UnregisterEventHotKey(tl::EventHotKeyRef hotKey) override {
    if (!hotKey) return tl::paramErr;
    return static_cast<tl::OSStatus>(::UnregisterEventHotKey(reinterpret_cast<::EventHotKeyRef>(hotKey)));
  }

 private:
  std::map<::EventHandlerRef, std::unique_ptr<Handler>> handlers_;
};

}  // namespace

std::unique_ptr<HotKeyEvents> makeHotKeys() { return std::make_unique<MacHotKeys>(); }

}  // namespace tl::mac
