#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "frontends/web/State.h"
#include "platform/sim/SimDesktop.h"

namespace tl::web {

// One thing a person does on the page, checked before anything happens.
struct Command {
  enum class Kind {
    Click, RightClick, Drag, Hover, Unhover, Key, MenuChoose, MenuClose, AlertButton,
    WindowSwitch, WindowSlide, WindowPick, WindowButton, WindowClose, Frontmost, WindowMove, Fault, Login, Launch,
    Terminate,
  };
  Kind kind = Kind::Click;
  std::string item;      // status item, menu title, alert button, window row, fault name
  std::string other;     // drag target, pop-up item, fault kind, key combination
  bool flag = false;     // drag: left of; fault: on / missing
  uint64_t modifiers = 0;
  uint32_t keyCode = 0, carbonModifiers = 0;
  double value = 0;
  double x = 0, y = 0;   // window move: the frame's new origin, bottom left, in screen points
};

struct Parsed {
  std::optional<Command> command;
  std::string error;  // why there is none
};

// The request body as JSON: {"type":"click","item":"arrow","modifiers":["ctrl"]} …
// Anything malformed, of an unknown type or with a missing or wrong-typed
// field is refused here, so nothing of it reaches the desktop.
Parsed parseCommand(std::string_view body);

struct Outcome {
  bool ok = false;
  std::string message;  // what went wrong, for the person
};

// A fault switch thrown on the desktop: on its main thread while it runs,
// or, once the application has ended, on the ended desktop, whose switches
// the next launch takes over. False for a fault that is not one.
bool applyFault(sim::SimDesktop& desktop, FaultBook& faults, const Command& command);

// Carries the command out on the desktop, from a thread other than the
// main thread; returns once the application is idle again. Login and
// Launch are not handled here (they concern the session, not one desktop).
Outcome applyCommand(sim::SimDesktop& desktop, FaultBook& faults, const Command& command);

}  // namespace tl::web
