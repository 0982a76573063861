#include "platform/sim/SimApplication.h"

namespace tl::sim {

void SimApplication::run() {
  // Launching is the application's own event, not a main-queue block.
  loop_.postInput([this] {
    if (auto d = delegate_.lock()) d->applicationDidFinishLaunching();
  });
  loop_.run();
}

void SimApplication::terminate() {
  if (terminated_) return;
  terminated_ = true;
  if (auto d = delegate_.lock()) d->applicationWillTerminate();
  loop_.stop();
}

void SimApplication::activateIgnoringOtherApps(bool) {
  active_ = true;
  ++activations_;
}

void SimApplication::dispatch(const Event& event, const std::function<void()>& handler) {
  auto previous = currentEvent_;
  currentEvent_ = event;
  handler();
  currentEvent_ = previous;
}

}  // namespace tl::sim
