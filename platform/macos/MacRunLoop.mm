#include "platform/macos/MacBridge.h"

#include <cmath>

namespace tl::mac {

namespace {

// Past this, delays only risk overflowing dispatch's nanosecond arithmetic;
// a century is as good as never.
constexpr double kLongestDelay = 100.0 * 365 * 24 * 3600;

double sanitizedDelay(double seconds) {
  if (!(seconds > 0)) return 0;  // NaN too
  return seconds < kLongestDelay ? seconds : kLongestDelay;
}

// The run loop owns a scheduled NSTimer, and the timer's block owns this
// wrapper, so a timer keeps firing however the core holds it, as in AppKit.
// The wrapper refers back to the timer weakly; the last firing of a
// one-shot timer, or invalidate, lets the whole lot go.
class MacTimer final : public Timer {
 public:
  explicit MacTimer(std::function<void(Timer&)> block) : block_(std::move(block)) {}

  void start(const std::shared_ptr<MacTimer>& self, double interval, bool repeats) {
    std::shared_ptr<MacTimer> owner = self;
    timer_ = [NSTimer scheduledTimerWithTimeInterval:interval
                                             repeats:repeats ? YES : NO
                                               block:^(NSTimer*) {
                                                 if (owner->block_) owner->block_(*owner);
                                               }];
  }

  void invalidate() override { [timer_ invalidate]; }
  bool isValid() const override {
    NSTimer* timer = timer_;
    return timer && timer.valid;
  }

 private:
  std::function<void(Timer&)> block_;
  __weak NSTimer* timer_ = nil;
};

class MacTimers final : public Timers {
 public:
  std::shared_ptr<Timer> scheduledTimer(double interval, bool repeats, std::function<void(Timer&)> block) override {
    auto timer = std::make_shared<MacTimer>(std::move(block));
    timer->start(timer, sanitizedDelay(interval), repeats);
    return timer;
  }
};

// The main queue is served in every run-loop mode AppKit uses, menu
// tracking and modal panels included.
class MacMainQueue final : public MainQueue {
 public:
  void async(std::function<void()> block) override {
    if (!block) return;
    dispatch_async(dispatch_get_main_queue(), ^{
      block();
    });
  }

  void asyncAfter(double seconds, std::function<void()> block) override {
    if (!block) return;
    auto nanoseconds = static_cast<int64_t>(sanitizedDelay(seconds) * static_cast<double>(NSEC_PER_SEC));
    dispatch_after(dispatch_time(DISPATCH_TIME_NOW, nanoseconds), dispatch_get_main_queue(), ^{
      block();
    });
  }
};

}  // namespace

std::unique_ptr<Timers> makeTimers() { return std::make_unique<MacTimers>(); }
std::unique_ptr<MainQueue> makeMainQueue() { return std::make_unique<MacMainQueue>(); }

}  // namespace tl::mac
