#include "app/Main.h"

#include "app/AppDelegate.h"
#include "app/Prefs.h"
#include "hotkey/HotKeyCenter.h"

namespace tl {

int tucklineMain() {
  // The constants are compile-time; the hot-key bridge starts absent.
  resetHotKeyBridge();
  registerDefaultPrefs();
  application = &platform().application();
  appDelegate = std::make_shared<AppDelegate>();
  application->setDelegate(appDelegate);
  application->setActivationPolicy(kActivationPolicyAccessory);
  application->run();
  return 0;
}

}  // namespace tl
