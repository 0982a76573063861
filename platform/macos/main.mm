#include "app/AppDelegate.h"
#include "app/Main.h"
#include "hotkey/HotKeyCenter.h"
#include "platform/macos/MacBridge.h"
#include "platform/macos/MacPlatform.h"

int main(int, char**) {
  @autoreleasepool {
    [NSApplication sharedApplication];
    // Never destroyed: NSApp's terminate: ends the process with exit(), and
    // static destructors then would tear down status items and windows
    // while AppKit is still shutting down around them.
    auto* platform = new tl::mac::MacPlatform();
    tl::setPlatform(platform);
    // The same goes for the core's long-lived objects: the delegate owns the
    // status items, menus, settings window and timers, and the hot-key center
    // its Carbon references. Nothing is to be restored at termination, so an
    // extra reference, never released, keeps exit() from destroying them.
    [[NSNotificationCenter defaultCenter] addObserverForName:NSApplicationWillTerminateNotification
                                                      object:nil
                                                       queue:nil
                                                  usingBlock:^(NSNotification*) {
                                                    new std::shared_ptr<tl::AppDelegate>(tl::appDelegate);
                                                    new std::shared_ptr<tl::HotKeyCenter>(tl::HotKeyCenter::shared());
                                                  }];
    return tl::tucklineMain();
  }
}
