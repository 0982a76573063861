#include "platform/sim/SimHotKeys.h"

#include <algorithm>

namespace tl::sim {

namespace {
// The one application target of this process; any non-null token will do.
int gApplicationTarget;
}

EventTargetRef SimHotKeys::GetApplicationEventTarget() { return reinterpret_cast<EventTargetRef>(&gApplicationTarget); }

OSStatus SimHotKeys::InstallEventHandler(EventTargetRef target, EventHandlerUPP handler, uint32_t numTypes,
                                         const EventTypeSpec* list, void* userData, EventHandlerRef* outRef) {
  if (!target || !handler || (numTypes && !list)) return paramErr;
  auto ref = reinterpret_cast<EventHandlerRef>(nextRef_++);
  handlers_.push_back({ref, Handler{handler, std::vector<EventTypeSpec>(list, list + numTypes), userData}});
  if (outRef) *outRef = ref;
  return noErr;
}

OSStatus SimHotKeys::RemoveEventHandler(EventHandlerRef handler) {
  auto it = std::find_if(handlers_.begin(), handlers_.end(), [&](auto& h) { return h.first == handler; });
  if (it == handlers_.end()) return paramErr;
  handlers_.erase(it);
  return noErr;
}

OSStatus SimHotKeys::RegisterEventHotKey(uint32_t keyCode, uint32_t modifiers, EventHotKeyID id, EventTargetRef target,
                                         uint32_t, EventHotKeyRef* outRef) {
  if (!target || !outRef) return paramErr;
  bool mine = std::any_of(hotKeys_.begin(), hotKeys_.end(),
                          [&](auto& h) { return h.second.reg.keyCode == keyCode && h.second.reg.modifiers == modifiers; });
  if (mine || taken_.count({keyCode, modifiers})) return eventHotKeyExistsErr;
  auto ref = reinterpret_cast<EventHotKeyRef>(nextRef_++);
  hotKeys_.push_back({ref, HotKey{{keyCode, modifiers, id}}});
  *outRef = ref;
  return noErr;
}

OSStatus SimHotKeys::UnregisterEventHotKey(EventHotKeyRef hotKey) {
  auto it = std::find_if(hotKeys_.begin(), hotKeys_.end(), [&](auto& h) { return h.first == hotKey; });
  if (it == hotKeys_.end()) return eventHotKeyInvalidErr;
  hotKeys_.erase(it);
  return noErr;
}

bool SimHotKeys::press(uint32_t keyCode, uint32_t modifiers) {
  auto it = std::find_if(hotKeys_.begin(), hotKeys_.end(),
                         [&](auto& h) { return h.second.reg.keyCode == keyCode && h.second.reg.modifiers == modifiers; });
  if (it == hotKeys_.end()) return false;
  // Copy first: a handler may install or remove handlers.
  auto handlers = handlers_;
  for (auto& [ref, h] : handlers) {
    bool wants = std::any_of(h.types.begin(), h.types.end(), [](const EventTypeSpec& t) {
      return t.eventClass == kEventClassKeyboard && t.eventKind == kEventHotKeyPressed;
    });
    if (wants) h.proc(nullptr, nullptr, h.userData);
  }
  return true;
}

std::vector<SimHotKeys::Registration> SimHotKeys::registrations() const {
  std::vector<Registration> out;
  for (auto& h : hotKeys_) out.push_back(h.second.reg);
  return out;
}

}  // namespace tl::sim
