#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Files.h"

namespace tl {

struct RunningApplication {
  int32_t processIdentifier = 0;
  // Seconds since 1970; absent where the platform does not know it (on a
  // Mac, an application not launched through LaunchServices).
  std::optional<double> launchDate;
};

class Workspace {
 public:
  virtual ~Workspace() = default;
  // In the platform's own order, which promises nothing.
  virtual std::vector<RunningApplication> runningApplicationsWithBundleIdentifier(const std::string& bundleID) = 0;
};

class ProcessInfo {
 public:
  virtual ~ProcessInfo() = default;
  virtual int32_t processIdentifier() const = 0;
  virtual uint32_t userID() const = 0;  // getuid
  // The main bundle's executable path; absent if the bundle has none.
  virtual std::optional<std::string> executablePath() const = 0;
};

// Seconds since 1970 in UTC, plus a formatter honouring the local time zone.
class DateFormatter {
 public:
  virtual ~DateFormatter() = default;
  virtual void setDateFormat(const std::string& format) = 0;
  virtual std::string stringFromDate(double secondsSince1970) const = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual double now() const = 0;  // wall-clock seconds since 1970
  virtual std::unique_ptr<DateFormatter> newDateFormatter() = 0;
};

// NSLog: one line, written verbatim.
class SystemLog {
 public:
  virtual ~SystemLog() = default;
  virtual void log(const std::string& message) = 0;
};

class Task {
 public:
  virtual ~Task() = default;
  virtual void setExecutablePath(const std::string& path) = 0;
  virtual void setArguments(const std::vector<std::string>& arguments) = 0;
  virtual void setStandardOutput(std::shared_ptr<FileHandle> handle) = 0;
  virtual void setStandardError(std::shared_ptr<FileHandle> handle) = 0;
  virtual bool launch(std::string* error) = 0;
  virtual void waitUntilExit() = 0;
  virtual int32_t terminationStatus() const = 0;
};

class Tasks {
 public:
  virtual ~Tasks() = default;
  virtual std::unique_ptr<Task> newTask() = 0;
};

}  // namespace tl
