#include "platform/macos/MacPlatform.h"

#include "platform/macos/MacBridge.h"

namespace tl::mac {

MacPlatform::MacPlatform()
    : application_(makeApplication()),
      workspace_(makeWorkspace()),
      processInfo_(makeProcessInfo()),
      statusBar_(makeStatusBar()),
      graphics_(makeGraphics()),
      menus_(makeMenus()),
      timers_(makeTimers()),
      mainQueue_(makeMainQueue()),
      defaults_(makeUserDefaults()),
      files_(makeFileManager()),
      clock_(makeClock()),
      log_(makeSystemLog()),
      tasks_(makeTasks()),
      hotKeys_(makeHotKeys()),
      alerts_(makeAlerts()),
      views_(makeViews()) {}

MacPlatform::~MacPlatform() = default;

}  // namespace tl::mac
