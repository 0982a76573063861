#include "platform/macos/MacBridge.h"

#include <unistd.h>

// NSApp holds its delegate weakly; MacApplication owns this one, and it
// holds tl's delegate weakly in turn, as the interface asks.
@interface TLAppDelegateBridge : NSObject <NSApplicationDelegate> {
 @public
  std::weak_ptr<tl::ApplicationDelegate> delegate;
}
@end

@implementation TLAppDelegateBridge
- (void)applicationDidFinishLaunching:(NSNotification*)notification {
  (void)notification;
  if (auto d = delegate.lock()) d->applicationDidFinishLaunching();
}
- (void)applicationWillTerminate:(NSNotification*)notification {
  (void)notification;
  if (auto d = delegate.lock()) d->applicationWillTerminate();
}
@end

namespace tl::mac {

namespace {

class MacApplication final : public Application {
 public:
  MacApplication() : bridge_([[TLAppDelegateBridge alloc] init]) {}
  ~MacApplication() override {
    if (NSApp.delegate == bridge_) NSApp.delegate = nil;
  }

  void setDelegate(std::weak_ptr<ApplicationDelegate> delegate) override {
    bridge_->delegate = std::move(delegate);
    NSApp.delegate = bridge_;
  }

  void setActivationPolicy(int policy) override {
    NSApplicationActivationPolicy p = NSApplicationActivationPolicyRegular;
    if (policy == kActivationPolicyAccessory) p = NSApplicationActivationPolicyAccessory;
    else if (policy != kActivationPolicyRegular) p = NSApplicationActivationPolicyProhibited;
    [NSApp setActivationPolicy:p];
  }

  int activationPolicy() const override {
    switch (NSApp.activationPolicy) {
      case NSApplicationActivationPolicyRegular: return kActivationPolicyRegular;
      case NSApplicationActivationPolicyAccessory: return kActivationPolicyAccessory;
      default: return 2;  // prohibited: no tl name, AppKit's value
    }
  }

  void run() override { [NSApp run]; }

  // terminate: sends applicationWillTerminate: to the delegate and exits.
  void terminate() override { [NSApp terminate:nil]; }

  std::optional<Event> currentEvent() const override {
    NSEvent* event = NSApp.currentEvent;
    if (!event) return std::nullopt;
    return fromNS(event);
  }

  // macOS 14 activates cooperatively: the old call is deprecated there and
  // may leave the alert behind the frontmost application, so 14 and later
  // get the new request. On 13 the old call is the only one there is. The
  // new one is declared only from the macOS 14 SDK on, and Xcode 14 (the
  // only Xcode for macOS 13.0-13.4) must still compile this: the SDK check
  // guards the compile, @available the run.
  void activateIgnoringOtherApps(bool flag) override {
#if defined(__MAC_OS_X_VERSION_MAX_ALLOWED) && __MAC_OS_X_VERSION_MAX_ALLOWED >= 140000
    if (@available(macOS 14, *)) {
      (void)flag;
      [NSApp activate];
      return;
    }
#endif
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
    [NSApp activateIgnoringOtherApps:flag ? YES : NO];
#pragma clang diagnostic pop
  }

 private:
  TLAppDelegateBridge* bridge_;
};

// When the kernel started the process, in seconds since 1970; absent for a
// process that has ended or that this user may not inspect.
std::optional<double> kernelStartTime(pid_t pid) {
  struct proc_bsdinfo info = {};
  if (proc_pidinfo(pid, PROC_PIDTBSDINFO, 0, &info, static_cast<int>(sizeof info)) != static_cast<int>(sizeof info))
    return std::nullopt;
  return static_cast<double>(info.pbi_start_tvsec) + static_cast<double>(info.pbi_start_tvusec) / 1e6;
}

class MacWorkspace final : public Workspace {
 public:
  // In AppKit's order; the launch dates let the core order the copies.
  // LaunchServices dates only what it launched itself: a copy launchd
  // starts at login has none. Without a date the core would compare process
  // ids, and once the pid counter wraps a newer copy can hold the lower one
  // and stay beside the older; the kernel's start time keeps the order, so
  // ids break only exact ties.
  std::vector<RunningApplication> runningApplicationsWithBundleIdentifier(const std::string& bundleID) override {
    std::vector<RunningApplication> result;
    for (NSRunningApplication* app in [NSRunningApplication runningApplicationsWithBundleIdentifier:toNS(bundleID)]) {
      RunningApplication running{static_cast<int32_t>(app.processIdentifier), std::nullopt};
      if (NSDate* launched = app.launchDate) running.launchDate = launched.timeIntervalSince1970;
      else running.launchDate = kernelStartTime(app.processIdentifier);
      result.push_back(running);
    }
    return result;
  }
};

class MacProcessInfo final : public ProcessInfo {
 public:
  int32_t processIdentifier() const override {
    return static_cast<int32_t>([NSProcessInfo processInfo].processIdentifier);
  }
  uint32_t userID() const override { return static_cast<uint32_t>(getuid()); }
  std::optional<std::string> executablePath() const override {
    NSString* path = [NSBundle mainBundle].executablePath;
    if (!path) return std::nullopt;
    return fromNSPath(path);
  }
};

class MacAlert final : public Alert {
 public:
  MacAlert() : alert_([[NSAlert alloc] init]) {}
  void setMessageText(const std::string& text) override { alert_.messageText = toNS(text); }
  void setInformativeText(const std::string& text) override { alert_.informativeText = toNS(text); }
  void addButtonWithTitle(const std::string& title) override { [alert_ addButtonWithTitle:toNS(title)]; }
  // NSAlertFirstButtonReturn and on are tl's 1000 and on.
  long runModal() override { return static_cast<long>([alert_ runModal]); }

 private:
  NSAlert* alert_;
};

class MacAlerts final : public Alerts {
 public:
  std::unique_ptr<Alert> newAlert() override { return std::make_unique<MacAlert>(); }
};

}  // namespace

std::unique_ptr<Application> makeApplication() { return std::make_unique<MacApplication>(); }
std::unique_ptr<Workspace> makeWorkspace() { return std::make_unique<MacWorkspace>(); }
std::unique_ptr<ProcessInfo> makeProcessInfo() { return std::make_unique<MacProcessInfo>(); }
std::unique_ptr<Alerts> makeAlerts() { return std::make_unique<MacAlerts>(); }

}  // namespace tl::mac
