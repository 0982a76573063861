#include "app/Main.h"
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
    return tl::tucklineMain();
  }
}
