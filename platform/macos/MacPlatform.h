#pragma once
#include <memory>

#include "platform/Platform.h"
#include "platform/Views.h"

namespace tl::mac {

// The real Mac behind platform(): AppKit, Foundation and Carbon. Construct
// it after [NSApplication sharedApplication] and on the main thread; every
// call into it must come from the main thread too.
class MacPlatform final : public Platform {
 public:
  MacPlatform();
  ~MacPlatform() override;
  MacPlatform(const MacPlatform&) = delete;
  MacPlatform& operator=(const MacPlatform&) = delete;

  Application& application() override { return *application_; }
  Workspace& workspace() override { return *workspace_; }
  ProcessInfo& processInfo() override { return *processInfo_; }
  StatusBar& systemStatusBar() override { return *statusBar_; }
  Graphics& graphics() override { return *graphics_; }
  Menus& menus() override { return *menus_; }
  Timers& timers() override { return *timers_; }
  MainQueue& mainQueue() override { return *mainQueue_; }
  UserDefaults& standardUserDefaults() override { return *defaults_; }
  FileManager& fileManager() override { return *files_; }
  Clock& clock() override { return *clock_; }
  SystemLog& systemLog() override { return *log_; }
  Tasks& tasks() override { return *tasks_; }
  HotKeyEvents& hotKeys() override { return *hotKeys_; }
  Alerts& alerts() override { return *alerts_; }
  Views& views() override { return *views_; }

 private:
  std::unique_ptr<Application> application_;
  std::unique_ptr<Workspace> workspace_;
  std::unique_ptr<ProcessInfo> processInfo_;
  std::unique_ptr<StatusBar> statusBar_;
  std::unique_ptr<Graphics> graphics_;
  std::unique_ptr<Menus> menus_;
  std::unique_ptr<Timers> timers_;
  std::unique_ptr<MainQueue> mainQueue_;
  std::unique_ptr<UserDefaults> defaults_;
  std::unique_ptr<FileManager> files_;
  std::unique_ptr<Clock> clock_;
  std::unique_ptr<SystemLog> log_;
  std::unique_ptr<Tasks> tasks_;
  std::unique_ptr<HotKeyEvents> hotKeys_;
  std::unique_ptr<Alerts> alerts_;
  std::unique_ptr<Views> views_;
};

}  // namespace tl::mac
