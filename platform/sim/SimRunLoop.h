#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/RunLoop.h"

namespace tl::sim {

enum class RunLoopMode { Default, EventTracking, ModalPanel };

// The main run loop of the simulated desktop.
//
// One thread (the application's main thread) runs the loop; other threads
// only post input and, in virtual time, move the clock. Virtual time never
// moves by itself: advance() releases the callbacks that fall due, one at a
// time in due order, and returns once the loop is idle again, so a test sees
// every delay exactly as scheduled. Real time is for people: the loop sleeps
// until the next item falls due or input arrives; idle means blocked.
//
// Timers fire only in the default mode, as on a Mac: a collapse timer waits
// while a menu is tracking or an alert is modal. Main-queue blocks and input
// run in every mode.
class SimRunLoop : public MainQueue, public Timers {
 public:
  enum class Time { Virtual, Real };
  explicit SimRunLoop(Time time);
  ~SimRunLoop() override;

  Time time() const { return time_; }
  double elapsed() const;

  // MainQueue / Timers (any thread).
  void async(std::function<void()> block) override;
  void asyncAfter(double seconds, std::function<void()> block) override;
  std::shared_ptr<Timer> scheduledTimer(double interval, bool repeats, std::function<void(Timer&)> block) override;

  // Main thread: the outer loop, until stop().
  void run();
  // Main thread: a nested loop in the given mode until done() holds or the
  // loop is stopped.
  void runNested(RunLoopMode mode, const std::function<bool()>& done);
  void stop();
  bool stopped() const;
  bool onMainThread() const;
  RunLoopMode currentMode() const;

  // Any thread: queue an input event (a closure run on the main thread).
  void postInput(std::function<void()> event);
  // Driver thread: wait until the loop is blocked with nothing runnable, or
  // stopped. True if it reached idle, false if stopped.
  bool waitIdle();
  // Driver thread, virtual time only: let `seconds` pass and wait for idle.
  void advance(double seconds);
  // Called on the main thread each time the loop falls idle after doing
  // work: the hook for front ends that redraw on change instead of polling.
  void setIdleObserver(std::function<void()> observer);
  // Number of pending timers that are still valid (for tests and display).
  size_t pendingTimerCount() const;
  // Seconds until the earliest pending item; negative when none.
  double nextDueIn() const;

 private:
  class SimTimer;
  struct Item {
    std::function<void()> block;
    std::shared_ptr<SimTimer> timer;  // set for timers
  };
  using Key = std::pair<double, uint64_t>;

  void schedule(double due, Item item);
  double nowLocked() const;
  // Pops the next runnable piece of work for this mode, or returns false.
  bool takeRunnable(RunLoopMode mode, std::function<void()>& work, std::shared_ptr<SimTimer>& timer);
  bool hasRunnableLocked(RunLoopMode mode) const;
  void loop(RunLoopMode mode, const std::function<bool()>& done);

  const Time time_;
  mutable std::mutex mu_;
  std::condition_variable cv_;       // wakes the main thread
  std::condition_variable idleCv_;   // wakes drivers
  std::map<Key, Item> scheduled_;
  std::vector<std::function<void()>> input_;
  uint64_t seq_ = 0;
  double virtualNow_ = 0;
  double limit_ = 0;
  std::vector<RunLoopMode> modes_;
  bool waiting_ = false;
  bool stopped_ = false;
  uint64_t workDone_ = 0;
  std::thread::id mainThread_;
  double realStart_ = 0;
  std::function<void()> idleObserver_;
  uint64_t observedWork_ = 0;
};

}  // namespace tl::sim
