#include "platform/macos/MacBridge.h"

namespace tl::mac {

namespace {

class MacDateFormatter final : public DateFormatter {
 public:
  // Locale, calendar and time zone stay the formatter's defaults, the
  // user's own: a log read beside the clock shows the same local time.
  MacDateFormatter() : formatter_([[NSDateFormatter alloc] init]) {}
  void setDateFormat(const std::string& format) override { formatter_.dateFormat = toNS(format); }
  std::string stringFromDate(double secondsSince1970) const override {
    return fromNS([formatter_ stringFromDate:[NSDate dateWithTimeIntervalSince1970:secondsSince1970]]);
  }

 private:
  NSDateFormatter* formatter_;
};

class MacClock final : public Clock {
 public:
  double now() const override { return [NSDate date].timeIntervalSince1970; }
  std::unique_ptr<DateFormatter> newDateFormatter() override { return std::make_unique<MacDateFormatter>(); }
};

class MacSystemLog final : public SystemLog {
 public:
  // The text is an argument, never the format: a "%@" in it must not be
  // read as one.
  void log(const std::string& message) override { NSLog(@"%@", toNS(message)); }
};

class MacTask final : public Task {
 public:
  MacTask() : task_([[NSTask alloc] init]) {}

  void setExecutablePath(const std::string& path) override { task_.executableURL = [NSURL fileURLWithPath:toNSPath(path)]; }

  void setArguments(const std::vector<std::string>& arguments) override {
    NSMutableArray<NSString*>* args = [NSMutableArray arrayWithCapacity:arguments.size()];
    for (const std::string& a : arguments) [args addObject:toNS(a)];
    task_.arguments = args;
  }

  // Absent (or not one of ours): the child inherits this process's stream.
  void setStandardOutput(std::shared_ptr<FileHandle> handle) override {
    if (NSFileHandle* h = nsFileHandle(handle)) task_.standardOutput = h;
  }
  void setStandardError(std::shared_ptr<FileHandle> handle) override {
    if (NSFileHandle* h = nsFileHandle(handle)) task_.standardError = h;
  }

  bool launch(std::string* error) override {
    if (launched_) {
      if (error) *error = "The task was already launched.";
      return false;
    }
    if (!task_.executableURL) {
      if (error) *error = "No executable was given.";
      return false;
    }
    NSError* failure = nil;
    BOOL ok = NO;
    // NSTask still raises for some misuse (a closed handle, say) rather
    // than reporting it.
    @try {
      ok = [task_ launchAndReturnError:&failure];
    } @catch (NSException* exception) {
      if (error) *error = fromNS(exception.reason);
      return false;
    }
    if (!ok) {
      describeError(failure, error, "The task could not be launched.");
      return false;
    }
    launched_ = true;
    return true;
  }

  void waitUntilExit() override {
    if (launched_) [task_ waitUntilExit];
  }

  // NSTask raises when asked this before the task has ended.
  int32_t terminationStatus() const override {
    if (!launched_ || task_.running) return -1;
    return static_cast<int32_t>(task_.terminationStatus);
  }

 private:
  NSTask* task_;
  bool launched_ = false;
};

class MacTasks final : public Tasks {
 public:
  std::unique_ptr<Task> newTask() override { return std::make_unique<MacTask>(); }
};

}  // namespace

std::unique_ptr<Clock> makeClock() { return std::make_unique<MacClock>(); }
std::unique_ptr<SystemLog> makeSystemLog() { return std::make_unique<MacSystemLog>(); }
std::unique_ptr<Tasks> makeTasks() { return std::make_unique<MacTasks>(); }

}  // namespace tl::mac
