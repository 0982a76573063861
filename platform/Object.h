#pragma once
#include <memory>
#include <string>

namespace tl {

// Root of every platform object that can be the sender of an action.
class Object {
 public:
  virtual ~Object() = default;
};

// The receiving end of target-action. Controls and menu items hold their
// target weakly, as AppKit does, and deliver the selector by name.
class Responder {
 public:
  virtual ~Responder() = default;
  virtual void performAction(const std::string& selector, Object* sender) = 0;
};

}  // namespace tl
