#pragma once
#include <functional>
#include <memory>

#include "platform/Object.h"

namespace tl {

// One-shot or repeating timer on the main run loop, default mode only: it
// does not fire while a menu is tracking or a modal alert runs.
class Timer : public Object {
 public:
  virtual void invalidate() = 0;
  virtual bool isValid() const = 0;
};

class Timers {
 public:
  virtual ~Timers() = default;
  virtual std::shared_ptr<Timer> scheduledTimer(double interval, bool repeats,
                                                std::function<void(Timer&)> block) = 0;
};

// The main dispatch queue: blocks run on the main thread in every run-loop
// mode, in the order they fall due.
class MainQueue {
 public:
  virtual ~MainQueue() = default;
  virtual void async(std::function<void()> block) = 0;
  virtual void asyncAfter(double seconds, std::function<void()> block) = 0;
};

}  // namespace tl
