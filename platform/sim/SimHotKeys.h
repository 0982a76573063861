#pragma once
#include <cstdint>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "platform/HotKeys.h"

namespace tl::sim {

// Carbon's hot-key registry as the simulated window server keeps it. A
// combination already taken by another application is refused the way a Mac
// refuses it.
class SimHotKeys : public HotKeyEvents {
 public:
  EventTargetRef GetApplicationEventTarget() override;
  OSStatus InstallEventHandler(EventTargetRef target, EventHandlerUPP handler, uint32_t numTypes,
                               const EventTypeSpec* list, void* userData, EventHandlerRef* outRef) override;
  OSStatus RemoveEventHandler(EventHandlerRef handler) override;
  OSStatus RegisterEventHotKey(uint32_t keyCode, uint32_t modifiers, EventHotKeyID id, EventTargetRef target,
                               uint32_t options, EventHotKeyRef* outRef) override;
  OSStatus UnregisterEventHotKey(EventHotKeyRef hotKey) override;

  // A person presses a combination, whatever application is frontmost.
  // Returns true if a registration of this application took it.
  bool press(uint32_t keyCode, uint32_t modifiers);
  // Fault injection: another application holds this combination.
  void takeByOtherApplication(uint32_t keyCode, uint32_t modifiers) { taken_.insert({keyCode, modifiers}); }
  const std::set<std::pair<uint32_t, uint32_t>>& takenByOthers() const { return taken_; }

  struct Registration {
    uint32_t keyCode, modifiers;
    EventHotKeyID id;
  };
  std::vector<Registration> registrations() const;
  size_t handlerCount() const { return handlers_.size(); }

 private:
  struct Handler {
    EventHandlerUPP proc;
    std::vector<EventTypeSpec> types;
    void* userData;
  };
  struct HotKey {
    Registration reg;
  };
  std::vector<std::pair<EventHandlerRef, Handler>> handlers_;
  std::vector<std::pair<EventHotKeyRef, HotKey>> hotKeys_;
  std::set<std::pair<uint32_t, uint32_t>> taken_;
  uintptr_t nextRef_ = 0x1000;
};

}  // namespace tl::sim
