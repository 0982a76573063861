#pragma once
#include "platform/Alert.h"
#include "platform/Application.h"
#include "platform/HotKeys.h"
#include "platform/Image.h"
#include "platform/Menu.h"
#include "platform/RunLoop.h"
#include "platform/StatusBar.h"
#include "platform/System.h"
#include "platform/UserDefaults.h"

namespace tl {

class Views;

// Everything the core asks of the operating system. One implementation per
// platform; the core reaches it through platform().
class Platform {
 public:
  virtual ~Platform() = default;
  virtual Application& application() = 0;
  virtual Workspace& workspace() = 0;
  virtual ProcessInfo& processInfo() = 0;
  virtual StatusBar& systemStatusBar() = 0;
  virtual Graphics& graphics() = 0;
  virtual Menus& menus() = 0;
  virtual Timers& timers() = 0;
  virtual MainQueue& mainQueue() = 0;
  virtual UserDefaults& standardUserDefaults() = 0;
  virtual FileManager& fileManager() = 0;
  virtual Clock& clock() = 0;
  virtual SystemLog& systemLog() = 0;
  virtual Tasks& tasks() = 0;
  virtual HotKeyEvents& hotKeys() = 0;
  virtual Alerts& alerts() = 0;
  virtual Views& views() = 0;
};

// The platform the process runs on. Set once by the front end before the
// application's entry point runs.
Platform& platform();
void setPlatform(Platform* p);

}  // namespace tl
