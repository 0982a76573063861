#pragma once
#include <memory>
#include <optional>

#include "platform/Event.h"

namespace tl {

constexpr int kActivationPolicyRegular = 0;
constexpr int kActivationPolicyAccessory = 1;

class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual void applicationDidFinishLaunching() = 0;
  virtual void applicationWillTerminate() = 0;
};

class Application {
 public:
  virtual ~Application() = default;
  // The application does not own its delegate.
  virtual void setDelegate(std::weak_ptr<ApplicationDelegate> delegate) = 0;
  virtual void setActivationPolicy(int policy) = 0;
  virtual int activationPolicy() const = 0;
  // Runs the event loop; returns only if the platform lets it.
  virtual void run() = 0;
  // Runs applicationWillTerminate, then ends the process.
  virtual void terminate() = 0;
  virtual std::optional<Event> currentEvent() const = 0;
  virtual void activateIgnoringOtherApps(bool flag) = 0;
};

}  // namespace tl
