// What the Objective-C++ files of the Mac adapter share. Objective-C++ only.
//
// The platform interfaces come first, before any Apple header: their Carbon
// look-alikes (tl::EventRef and friends) must name tl's own opaque structs in
// every translation unit, with or without Carbon around, or the core and the
// adapter would disagree about one class's layout. The adapter converts
// between the two explicitly.
#pragma once

// Held, not hoped for: a file that brings in an Apple header (or, for the
// header check, GNUstep's or the compat header) before this one would bind
// the look-alikes to Carbon's global structs, and the mismatch would only
// show at link time or as a call through the wrong vtable slot.
#if defined(__MACTYPES__) || defined(__CARBON__) || defined(__HITOOLBOX__) || defined(__CARBONEVENTS__) || \
    defined(_GNUstep_H_AppKit) || defined(TUCKLINE_APPLE_SDK_COMPAT)
#error "include platform/macos/MacBridge.h before any Apple header"
#endif

#include <memory>
#include <string>
#include <unordered_map>

#include "platform/Platform.h"
#include "platform/Views.h"

// Carbon's AssertMacros would otherwise define check(), verify() and
// require() as macros and break any C++ that uses those words.
#ifndef __ASSERT_MACROS_DEFINE_VERSIONS_WITHOUT_UNDERSCORES
#define __ASSERT_MACROS_DEFINE_VERSIONS_WITHOUT_UNDERSCORES 0
#endif

#if defined(TUCKLINE_SYNTAX_CHECK) && !defined(__APPLE__)
// Only for the header check on machines without Apple's SDK: GNUstep's
// AppKit plus what it lacks, declared as Apple documents it.
#import <AppKit/AppKit.h>
#include "platform/macos/compat/AppleSDK.h"
#else
#import <AppKit/AppKit.h>
#import <Carbon/Carbon.h>
#import <QuartzCore/QuartzCore.h>
#include <libproc.h>
#endif

namespace tl::mac {

// --- Text. Strings cross the boundary as UTF-8 both ways. Bytes that are not
// UTF-8 become U+FFFD rather than making Foundation hand back nil, which
// would silently drop a title, a key or a whole file.
std::string validUTF8(const std::string& bytes);
NSString* toNS(const std::string& text);
std::string fromNS(NSString* text);
NSString* toNSPath(const std::string& path);
std::string fromNSPath(NSString* path);
// NSError's localizedDescription, for the "error" out-parameters.
void describeError(NSError* error, std::string* out, const char* fallback);

// --- Geometry. Non-finite numbers become 0: AppKit raises on NaN frames.
NSRect toNS(Rect rect);
Rect fromNS(NSRect rect);

// --- Events and appearance.
Event fromNS(NSEvent* event);
// The named system colour with the alpha applied; nil for a name the system
// has no colour for.
NSColor* systemColor(const Color& color);
NSFontWeight toNS(FontWeight weight);
NSFont* systemFont(const Font& font);

// --- Target–action. One bridge per control, menu item or status bar button,
// owned by its wrapper, because AppKit does not retain targets. It answers
// exactly the action selectors set through setAction and hands each on by
// name, with the wrapper as the sender.
class ActionBinding {
 public:
  ActionBinding();
  ~ActionBinding();
  ActionBinding(const ActionBinding&) = delete;
  ActionBinding& operator=(const ActionBinding&) = delete;

  // The AppKit target: the bridge object itself.
  id bridge() const { return bridge_; }
  void setSender(std::weak_ptr<Object> sender);
  void setResponder(std::weak_ptr<Responder> responder);
  std::shared_ptr<Responder> responder() const;

  // The selector for an action name, made answerable by every bridge; NULL
  // for "" and for names NSObject itself implements (answering those would
  // hijack AppKit's own messages).
  static SEL selectorFor(const std::string& name);
  // The name as given to selectorFor; "" for NULL.
  static std::string nameOf(SEL selector);

 private:
  id bridge_;
};

// --- Wrappers the adapter's files hand to each other. Each returns nil /
// nullptr for an object of another platform.
NSImage* nsImage(const std::shared_ptr<Image>& image);
std::shared_ptr<Image> wrapImage(NSImage* image, bool isSymbol);
NSMenu* nsMenu(const std::shared_ptr<Menu>& menu);
NSFileHandle* nsFileHandle(const std::shared_ptr<FileHandle>& handle);
std::shared_ptr<Screen> wrapScreen(NSScreen* screen);

// --- The services, one factory each; MacPlatform owns what they make.
std::unique_ptr<Application> makeApplication();
std::unique_ptr<Workspace> makeWorkspace();
std::unique_ptr<ProcessInfo> makeProcessInfo();
std::unique_ptr<StatusBar> makeStatusBar();
std::unique_ptr<Graphics> makeGraphics();
std::unique_ptr<Menus> makeMenus();
std::unique_ptr<Timers> makeTimers();
std::unique_ptr<MainQueue> makeMainQueue();
std::unique_ptr<UserDefaults> makeUserDefaults();
std::unique_ptr<FileManager> makeFileManager();
std::unique_ptr<Clock> makeClock();
std::unique_ptr<SystemLog> makeSystemLog();
std::unique_ptr<Tasks> makeTasks();
std::unique_ptr<HotKeyEvents> makeHotKeys();
std::unique_ptr<Alerts> makeAlerts();
std::unique_ptr<Views> makeViews();

}  // namespace tl::mac
