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
//
// The main queue is serial, as dispatch's is: a block never starts while
// another is still running. So a modal loop run from inside a block (the
// first-run alert, shown by a delayed block) holds every later block, the
// hot-key action included, until it returns; one run from an event, a menu
// action or a timer does not, and blocks fall due inside it as usual.
// Input is not a block: it runs in every mode whatever the queue is doing.
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
  // Main thread: NSTask's waitUntilExit, which runs the run loop in the
  // default mode until the task ends. Timers and main-queue blocks run
  // meanwhile; input waits, since nobody takes events from the window
  // server. A driver does not see the loop idle while it waits: the task is
  // work still going on. Another thread calls wake() once done() holds.
  void runWhileWaiting(const std::function<bool()>& done);
  void wake();
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
  // Several may watch (a terminal and a page showing the same copy), each
  // called in the order added.
  void addIdleObserver(std::function<void()> observer);
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
  struct Frame {
    RunLoopMode mode;
    bool input;  // takes input events
  };
  bool takeRunnable(const Frame& frame, std::function<void()>& work, std::shared_ptr<SimTimer>& timer, bool& block);
  bool canRunLocked(const Item& item, RunLoopMode mode) const;
  bool hasRunnableLocked(const Frame& frame) const;
  double nextRunnableDueLocked(RunLoopMode mode) const;
  void loop(Frame frame, const std::function<bool()>& done);

  const Time time_;
  mutable std::mutex mu_;
  std::condition_variable cv_;       // wakes the main thread
  std::condition_variable idleCv_;   // wakes drivers
  std::map<Key, Item> scheduled_;
  std::vector<std::function<void()>> input_;
  uint64_t seq_ = 0;
  double virtualNow_ = 0;
  double limit_ = 0;
  std::vector<Frame> frames_;
  int taskWaits_ = 0;  // waitUntilExit frames on the stack
  bool waiting_ = false;
  bool blockRunning_ = false;  // a main-queue block is on the stack
  bool stopped_ = false;
  uint64_t workDone_ = 0;  // pieces of work started and ended
  std::thread::id mainThread_;
  double realStart_ = 0;
  std::vector<std::function<void()>> idleObservers_;
  uint64_t observedWork_ = 0;
};

}  // namespace tl::sim
