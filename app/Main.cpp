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
  // On a Mac run() never returns. Where it does (the simulated desktop ends
  // its loop at termination), the next run in the same process must start
  // from nothing, and the objects go while the platform that made them is
  // still there.
  AppDelegate::shared.reset();
  appDelegate.reset();
  application = nullptr;
  return 0;
}

}  // namespace tl
