#include "platform/sim/SimRunLoop.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <atomic>

namespace tl::sim {

namespace {
double steadySeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// NSTimer takes any interval at or below zero as 0.1 ms. NaN compares false
// to everything, so it is taken the same way rather than poisoning the
// ordering of the queue; an infinite interval schedules a timer that never
// falls due, which keeps the loop idle instead of spinning.
double sanitizeTimerInterval(double interval) {
  if (std::isnan(interval) || interval <= 0) return 0.0001;
  return interval;
}

double sanitizeDelay(double seconds) {
  if (std::isnan(seconds) || seconds < 0) return 0;
  return seconds;
}
}  // namespace

class SimRunLoop::SimTimer : public Timer {
 public:
  SimTimer(double interval, bool repeats, std::function<void(Timer&)> block)
      : interval(interval), repeats(repeats), block(std::move(block)) {}
  void invalidate() override { valid = false; }
  bool isValid() const override { return valid; }

  double interval;
  bool repeats;
  std::function<void(Timer&)> block;
  std::atomic<bool> valid{true};
};

SimRunLoop::SimRunLoop(Time time) : time_(time), realStart_(steadySeconds()) {}

SimRunLoop::~SimRunLoop() = default;

double SimRunLoop::nowLocked() const {
  return time_ == Time::Virtual ? virtualNow_ : steadySeconds() - realStart_;
}

double SimRunLoop::elapsed() const {
  std::lock_guard lock(mu_);
  return nowLocked();
}

void SimRunLoop::schedule(double due, Item item) {
  {
    std::lock_guard lock(mu_);
    scheduled_.emplace(Key{due, seq_++}, std::move(item));
  }
  cv_.notify_all();
}

void SimRunLoop::async(std::function<void()> block) { asyncAfter(0, std::move(block)); }

void SimRunLoop::asyncAfter(double seconds, std::function<void()> block) {
  double due;
  {
    std::lock_guard lock(mu_);
    due = nowLocked() + sanitizeDelay(seconds);
  }
  schedule(due, Item{std::move(block), nullptr});
}

std::shared_ptr<Timer> SimRunLoop::scheduledTimer(double interval, bool repeats,
                                                  std::function<void(Timer&)> block) {
  auto timer = std::make_shared<SimTimer>(sanitizeTimerInterval(interval), repeats, std::move(block));
  double due;
  {
    std::lock_guard lock(mu_);
    due = nowLocked() + timer->interval;
  }
  schedule(due, Item{nullptr, timer});
  return timer;
}

bool SimRunLoop::canRunLocked(const Item& item, RunLoopMode mode) const {
  if (item.timer) return !item.timer->valid || mode == RunLoopMode::Default;  // dropping an invalid one is work too
  return !blockRunning_;
}

bool SimRunLoop::hasRunnableLocked(const Frame& frame) const {
  if (frame.input && !input_.empty()) return true;
  double horizon = time_ == Time::Virtual ? limit_ : nowLocked();
  for (const auto& [key, item] : scheduled_) {
    if (key.first > horizon) break;
    if (canRunLocked(item, frame.mode)) return true;
  }
  return false;
}

double SimRunLoop::nextRunnableDueLocked(RunLoopMode mode) const {
  for (const auto& [key, item] : scheduled_)
    if (canRunLocked(item, mode)) return key.first;
  return std::numeric_limits<double>::infinity();
}

bool SimRunLoop::takeRunnable(const Frame& frame, std::function<void()>& work, std::shared_ptr<SimTimer>& timer,
                              bool& block) {
  block = false;
  if (frame.input && !input_.empty()) {
    work = std::move(input_.front());
    input_.erase(input_.begin());
    return true;
  }
  double horizon = time_ == Time::Virtual ? limit_ : nowLocked();
  for (auto it = scheduled_.begin(); it != scheduled_.end(); ++it) {
    if (it->first.first > horizon) break;
    Item& item = it->second;
    if (!canRunLocked(item, frame.mode)) continue;
    if (item.timer && !item.timer->valid) {
      scheduled_.erase(it);
      work = nullptr;
      timer = nullptr;
      return true;
    }
    if (time_ == Time::Virtual && it->first.first > virtualNow_) virtualNow_ = it->first.first;
    work = std::move(item.block);
    timer = std::move(item.timer);
    block = !timer;
    if (block) blockRunning_ = true;
    scheduled_.erase(it);
    return true;
  }
  return false;
}

void SimRunLoop::loop(Frame frame, const std::function<bool()>& done) {
  std::unique_lock lock(mu_);
  frames_.push_back(frame);
  while (!stopped_ && !(done && done())) {
    std::function<void()> work;
    std::shared_ptr<SimTimer> timer;
    bool block = false;
    if (takeRunnable(frame, work, timer, block)) {
      // Counted when it starts as well as when it ends: work that opens a
      // menu or an alert is still running when the nested loop falls idle,
      // and the observer must see what it put on the screen.
      ++workDone_;
      lock.unlock();
      if (timer) {
        timer->block(*timer);
        if (timer->repeats && timer->valid) {
          double due;
          {
            std::lock_guard relock(mu_);
            due = nowLocked() + timer->interval;
          }
          schedule(due, Item{nullptr, timer});
        } else {
          timer->valid = false;
        }
      } else if (work) {
        work();
      }
      lock.lock();
      // A main-queue block holds the queue until it returns, also through
      // any modal loop it runs.
      if (block) blockRunning_ = false;
      ++workDone_;
      continue;
    }
    if (!idleObservers_.empty() && observedWork_ != workDone_) {
      observedWork_ = workDone_;
      auto observers = idleObservers_;
      lock.unlock();
      for (const auto& observer : observers) observer();
      lock.lock();
      continue;
    }
    // Idle: let virtual time catch up with the limit, then block.
    if (time_ == Time::Virtual && limit_ > virtualNow_) virtualNow_ = limit_;
    waiting_ = true;
    idleCv_.notify_all();
    if (time_ == Time::Real) {
      // Only what this loop may run counts: a timer in a modal loop or a
      // block behind a running one would otherwise wake it at once, forever.
      double wait = nextRunnableDueLocked(frame.mode) - nowLocked();
      if (std::isfinite(wait) && wait < 1e7) {
        cv_.wait_for(lock, std::chrono::duration<double>(std::max(wait, 0.0)));
      } else {
        cv_.wait(lock);
      }
    } else {
      cv_.wait(lock);
    }
    waiting_ = false;
  }
  frames_.pop_back();
  idleCv_.notify_all();
}

void SimRunLoop::run() {
  {
    std::lock_guard lock(mu_);
    mainThread_ = std::this_thread::get_id();
  }
  loop({RunLoopMode::Default, true}, nullptr);
  std::lock_guard lock(mu_);
  stopped_ = true;
  idleCv_.notify_all();
}

void SimRunLoop::runNested(RunLoopMode mode, const std::function<bool()>& done) { loop({mode, true}, done); }

void SimRunLoop::runWhileWaiting(const std::function<bool()>& done) {
  {
    std::lock_guard lock(mu_);
    ++taskWaits_;
  }
  loop({RunLoopMode::Default, false}, done);
  std::lock_guard lock(mu_);
  --taskWaits_;
  idleCv_.notify_all();
}

void SimRunLoop::wake() {
  { std::lock_guard lock(mu_); }  // done() is read under the lock: no wake-up is lost
  cv_.notify_all();
}

void SimRunLoop::stop() {
  {
    std::lock_guard lock(mu_);
    stopped_ = true;
  }
  cv_.notify_all();
  idleCv_.notify_all();
}

bool SimRunLoop::stopped() const {
  std::lock_guard lock(mu_);
  return stopped_;
}

bool SimRunLoop::onMainThread() const {
  std::lock_guard lock(mu_);
  return std::this_thread::get_id() == mainThread_;
}

RunLoopMode SimRunLoop::currentMode() const {
  std::lock_guard lock(mu_);
  return frames_.empty() ? RunLoopMode::Default : frames_.back().mode;
}

void SimRunLoop::postInput(std::function<void()> event) {
  {
    std::lock_guard lock(mu_);
    input_.push_back(std::move(event));
  }
  cv_.notify_all();
}

bool SimRunLoop::waitIdle() {
  std::unique_lock lock(mu_);
  // In virtual time idle also means the clock has caught up with the limit:
  // a loop still asleep from before advance() moved the limit has not yet
  // let the time pass, and input posted now would run at the old time.
  idleCv_.wait(lock, [&] {
    return stopped_ || (waiting_ && taskWaits_ == 0 &&
                        !hasRunnableLocked(frames_.empty() ? Frame{RunLoopMode::Default, true} : frames_.back()) &&
                        (time_ != Time::Virtual || virtualNow_ >= limit_));
  });
  return !stopped_;
}

void SimRunLoop::advance(double seconds) {
  {
    std::lock_guard lock(mu_);
    if (time_ == Time::Virtual && seconds > 0) limit_ = std::max(limit_, virtualNow_) + seconds;
  }
  cv_.notify_all();
  waitIdle();
}

void SimRunLoop::addIdleObserver(std::function<void()> observer) {
  std::lock_guard lock(mu_);
  idleObservers_.push_back(std::move(observer));
}

size_t SimRunLoop::pendingTimerCount() const {
  std::lock_guard lock(mu_);
  size_t n = 0;
  for (const auto& [key, item] : scheduled_)
    if (item.timer && item.timer->valid) ++n;
  return n;
}

double SimRunLoop::nextDueIn() const {
  std::lock_guard lock(mu_);
  for (const auto& [key, item] : scheduled_)
    if (!item.timer || item.timer->valid) return key.first - nowLocked();
  return -1;
}

}  // namespace tl::sim
