#pragma once
#include <functional>
#include <memory>
#include <optional>

#include "platform/Application.h"
#include "platform/sim/SimRunLoop.h"

namespace tl::sim {

// NSApplication on the simulated desktop. run() delivers the launch callback
// as the first piece of work of the loop; terminate() runs the termination
// callback and stops every level of the loop, after which nothing more of
// the application runs.
class SimApplication : public Application {
 public:
  explicit SimApplication(SimRunLoop& loop) : loop_(loop) {}

  void setDelegate(std::weak_ptr<ApplicationDelegate> delegate) override { delegate_ = std::move(delegate); }
  void setActivationPolicy(int policy) override { policy_ = policy; }
  int activationPolicy() const override { return policy_; }
  void run() override;
  void terminate() override;
  std::optional<Event> currentEvent() const override { return currentEvent_; }
  void activateIgnoringOtherApps(bool flag) override;

  // The desktop dispatches input through here so the handler sees it as the
  // current event.
  void dispatch(const Event& event, const std::function<void()>& handler);
  bool isActive() const { return active_; }
  void resignActive() { active_ = false; }
  bool terminated() const { return terminated_; }
  int activationCount() const { return activations_; }

 private:
  SimRunLoop& loop_;
  std::weak_ptr<ApplicationDelegate> delegate_;
  int policy_ = kActivationPolicyRegular;
  std::optional<Event> currentEvent_;
  bool active_ = false;
  bool terminated_ = false;
  int activations_ = 0;
};

}  // namespace tl::sim
