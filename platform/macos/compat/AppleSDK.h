// Apple SDK declarations that GNUstep's AppKit and Foundation lack, for the
// header check on machines without Apple's SDK (check.sh). Included
// only when TUCKLINE_SYNTAX_CHECK is set and the compiler is not Apple's; a
// Mac build never sees this file.
//
// Each declaration is written as Apple's public API documentation gives it
// (names, parameter and return types, 64-bit sizes), so that what passes
// here also passes there. Only what the adapter uses is declared; nothing
// here is ever compiled to code or linked.
#pragma once

#if !defined(TUCKLINE_SYNTAX_CHECK) || defined(__APPLE__)
#error "compat/AppleSDK.h is for the header check on non-Apple systems only"
#endif

#import <AppKit/AppKit.h>

#include <stdint.h>
#include <sys/time.h>

// MacBridge.h refuses to come after this header (its look-alikes must be
// declared first), as it refuses Apple's own.
#define TUCKLINE_APPLE_SDK_COMPAT 1

// The macOS version that introduced a declaration, as Apple's documentation
// gives it (reviewed-sends.txt names the page where it has been read). check.sh (sends.c) requires it on every declaration below and
// rejects a use of one later than the deployment target outside
// if (@available(macOS N, *)); clang itself ignores macOS availability on
// this host.
#define TL_MACOS(version) __attribute__((availability(macos, introduced = version)))

// ---- MacTypes.h (reached on a Mac through every framework). Point, Rect
// and Size are declared too: on a Mac they sit in the global namespace
// beside tl's own, and code that confuses the two should fail here as well.

typedef unsigned char Boolean TL_MACOS(10.0);
typedef unsigned int UInt32 TL_MACOS(10.0);
typedef signed int SInt32 TL_MACOS(10.0);
typedef SInt32 OSStatus TL_MACOS(10.0);
typedef UInt32 FourCharCode TL_MACOS(10.0);
typedef FourCharCode OSType TL_MACOS(10.0);
typedef UInt32 OptionBits TL_MACOS(10.0);
typedef unsigned long ItemCount TL_MACOS(10.0);
typedef long Size TL_MACOS(10.0);
struct TL_MACOS(10.0) Point {
  short v;
  short h;
};
typedef struct Point Point TL_MACOS(10.0);
struct TL_MACOS(10.0) Rect {
  short top;
  short left;
  short bottom;
  short right;
};
typedef struct Rect Rect TL_MACOS(10.0);
enum { noErr TL_MACOS(10.0) = 0 };

// ---- Carbon: the hot-key slice of CarbonEvents.h (HIToolbox).

enum {
  paramErr TL_MACOS(10.0) = -50,
  eventHotKeyExistsErr TL_MACOS(10.0) = -9878,
  eventHotKeyInvalidErr TL_MACOS(10.0) = -9879
};
struct TL_MACOS(10.0) OpaqueEventTargetRef;
struct TL_MACOS(10.0) OpaqueEventHandlerRef;
struct TL_MACOS(10.0) OpaqueEventHandlerCallRef;
struct TL_MACOS(10.0) OpaqueEventHotKeyRef;
struct TL_MACOS(10.0) OpaqueEventRef;
typedef struct OpaqueEventTargetRef* EventTargetRef TL_MACOS(10.0);
typedef struct OpaqueEventHandlerRef* EventHandlerRef TL_MACOS(10.0);
typedef struct OpaqueEventHandlerCallRef* EventHandlerCallRef TL_MACOS(10.0);
typedef struct OpaqueEventHotKeyRef* EventHotKeyRef TL_MACOS(10.0);
typedef struct OpaqueEventRef* EventRef TL_MACOS(10.0);
typedef OSStatus (*EventHandlerProcPtr)(EventHandlerCallRef inHandlerCallRef, EventRef inEvent, void* inUserData) TL_MACOS(10.0);
typedef EventHandlerProcPtr EventHandlerUPP TL_MACOS(10.0);
struct TL_MACOS(10.0) EventTypeSpec {
  OSType eventClass;
  UInt32 eventKind;
};
typedef struct EventTypeSpec EventTypeSpec TL_MACOS(10.0);
struct TL_MACOS(10.0) EventHotKeyID {
  OSType signature;
  UInt32 id;
};
typedef struct EventHotKeyID EventHotKeyID TL_MACOS(10.0);

#ifdef __cplusplus
extern "C" {
#endif
EventTargetRef GetApplicationEventTarget(void) TL_MACOS(10.0);
OSStatus InstallEventHandler(EventTargetRef inTarget, EventHandlerUPP inHandler, ItemCount inNumTypes,
                             const EventTypeSpec* inList, void* inUserData, EventHandlerRef* outRef) TL_MACOS(10.0);
OSStatus RemoveEventHandler(EventHandlerRef inHandlerRef) TL_MACOS(10.0);
OSStatus RegisterEventHotKey(UInt32 inHotKeyCode, UInt32 inHotKeyModifiers, EventHotKeyID inHotKeyID,
                             EventTargetRef inTarget, OptionBits inOptions, EventHotKeyRef* outRef) TL_MACOS(10.0);
OSStatus UnregisterEventHotKey(EventHotKeyRef inHotKey) TL_MACOS(10.0);
#ifdef __cplusplus
}
#endif

// ---- libdispatch, as Objective-C code with ARC sees it on a Mac: queues
// are objects. dispatch_get_main_queue is a macro there, called alike.

typedef uint64_t dispatch_time_t TL_MACOS(10.6);
#define DISPATCH_TIME_NOW (0ull)
#define NSEC_PER_SEC 1000000000ull
TL_MACOS(10.6) @protocol OS_dispatch_queue <NSObject>
@end
typedef NSObject<OS_dispatch_queue>* dispatch_queue_t TL_MACOS(10.6);
typedef void (^dispatch_block_t)(void) TL_MACOS(10.6);

#ifdef __cplusplus
extern "C" {
#endif
dispatch_queue_t dispatch_get_main_queue(void) TL_MACOS(10.6);
void dispatch_async(dispatch_queue_t queue, dispatch_block_t block) TL_MACOS(10.6);
void dispatch_after(dispatch_time_t when, dispatch_queue_t queue, dispatch_block_t block) TL_MACOS(10.6);
dispatch_time_t dispatch_time(dispatch_time_t when, int64_t delta) TL_MACOS(10.6);
#ifdef __cplusplus
}
#endif

// ---- <stdio.h>: renaming without replacing (10.12).

#define RENAME_EXCL 0x00000004
#ifdef __cplusplus
extern "C" {
#endif
int renamex_np(const char* from, const char* to, unsigned int flags) TL_MACOS(10.12);
#ifdef __cplusplus
}
#endif

// ---- <libproc.h> and <sys/proc_info.h>: when the kernel started a process.

#define PROC_PIDTBSDINFO 3
#define MAXCOMLEN 16
struct proc_bsdinfo {
  uint32_t pbi_flags;
  uint32_t pbi_status;
  uint32_t pbi_xstatus;
  uint32_t pbi_pid;
  uint32_t pbi_ppid;
  uid_t pbi_uid;
  gid_t pbi_gid;
  uid_t pbi_ruid;
  gid_t pbi_rgid;
  uid_t pbi_svuid;
  gid_t pbi_svgid;
  uint32_t rfu_1;
  char pbi_comm[MAXCOMLEN];
  char pbi_name[2 * MAXCOMLEN];
  uint32_t pbi_nfiles;
  uint32_t pbi_pgid;
  uint32_t pbi_pjobc;
  uint32_t e_tdev;
  uint32_t e_tpgid;
  int32_t pbi_nice;
  uint64_t pbi_start_tvsec;
  uint64_t pbi_start_tvusec;
} TL_MACOS(10.6);
#ifdef __cplusplus
extern "C" {
#endif
int proc_pidinfo(int pid, int flavor, uint64_t arg, void* buffer, int buffersize) TL_MACOS(10.6);
#ifdef __cplusplus
}
#endif

// ---- Foundation.

@interface NSFileHandle (TLAppleSDK)
- (BOOL)seekToEndReturningOffset:(unsigned long long*)offsetInFile error:(NSError**)error TL_MACOS(10.15);
- (BOOL)writeData:(NSData*)data error:(NSError**)error TL_MACOS(10.15);
- (BOOL)closeAndReturnError:(NSError**)error TL_MACOS(10.15);
@end

@interface NSTask (TLAppleSDK)
@property(copy) NSURL* executableURL TL_MACOS(10.13);
- (BOOL)launchAndReturnError:(NSError**)error TL_MACOS(10.13);
@property(readonly, getter=isRunning) BOOL running TL_MACOS(10.0);
@end

@interface NSTimer (TLAppleSDK)
@property(readonly, getter=isValid) BOOL valid TL_MACOS(10.0);
@end

// ---- QuartzCore: the one layer property the adapter sets.

TL_MACOS(10.5) @interface CALayer : NSObject
@property CGColorRef backgroundColor TL_MACOS(10.5);
@end

// ---- AppKit.

@interface NSApplication (TLAppleSDK)
- (BOOL)setActivationPolicy:(NSApplicationActivationPolicy)activationPolicy TL_MACOS(10.6);
- (NSApplicationActivationPolicy)activationPolicy TL_MACOS(10.6);
- (void)activate TL_MACOS(14.0);
@end

@interface NSAppearance (TLAppleSDK)
- (void)performAsCurrentDrawingAppearance:(void (^)(void))block TL_MACOS(11.0);
@end

@interface NSView (TLAppleSDK)
@property BOOL wantsLayer TL_MACOS(10.5);
@property(strong) CALayer* layer TL_MACOS(10.5);
@property(readonly) BOOL wantsUpdateLayer TL_MACOS(10.8);
- (void)updateLayer TL_MACOS(10.8);
@property(readonly, strong) NSAppearance* effectiveAppearance TL_MACOS(10.9);
@property BOOL translatesAutoresizingMaskIntoConstraints TL_MACOS(10.7);
- (void)setContentHuggingPriority:(NSLayoutPriority)priority
                   forOrientation:(NSLayoutConstraintOrientation)orientation TL_MACOS(10.7);
- (void)addTrackingArea:(NSTrackingArea*)trackingArea TL_MACOS(10.5);
- (void)removeTrackingArea:(NSTrackingArea*)trackingArea TL_MACOS(10.5);
@property(readonly, strong) NSLayoutXAxisAnchor* leadingAnchor TL_MACOS(10.11);
@property(readonly, strong) NSLayoutXAxisAnchor* trailingAnchor TL_MACOS(10.11);
@property(readonly, strong) NSLayoutYAxisAnchor* topAnchor TL_MACOS(10.11);
@property(readonly, strong) NSLayoutYAxisAnchor* bottomAnchor TL_MACOS(10.11);
@property(readonly, strong) NSLayoutYAxisAnchor* centerYAnchor TL_MACOS(10.11);
@property(readonly, strong) NSLayoutDimension* widthAnchor TL_MACOS(10.11);
@property(readonly, strong) NSLayoutDimension* heightAnchor TL_MACOS(10.11);
@property(readonly) NSSize fittingSize TL_MACOS(10.7);
- (void)layoutSubtreeIfNeeded TL_MACOS(10.7);
@end

@interface NSWindow (TLAppleSDK)
@property(readonly, getter=isVisible) BOOL visible TL_MACOS(10.0);
@end

@interface NSStatusItem (TLAppleSDK)
@property(readonly, strong) NSStatusBarButton* button TL_MACOS(10.10);
@end

@interface NSButton (TLAppleSDK)
+ (instancetype)buttonWithTitle:(NSString*)title target:(id)target action:(SEL)action TL_MACOS(10.12);
@property NSImageScaling imageScaling TL_MACOS(10.5);
@end

@interface NSControl (TLAppleSDK)
@property NSLineBreakMode lineBreakMode TL_MACOS(10.10);
@end

@interface NSTextField (TLAppleSDK)
+ (instancetype)labelWithString:(NSString*)stringValue TL_MACOS(10.12);
+ (instancetype)wrappingLabelWithString:(NSString*)stringValue TL_MACOS(10.12);
@end

@interface NSSlider (TLAppleSDK)
+ (instancetype)sliderWithValue:(double)value
                       minValue:(double)minValue
                       maxValue:(double)maxValue
                         target:(id)target
                         action:(SEL)action TL_MACOS(10.12);
@end

TL_MACOS(10.9) @interface NSStackView : NSView
+ (instancetype)stackViewWithViews:(NSArray<NSView*>*)views TL_MACOS(10.9);
@property NSUserInterfaceLayoutOrientation orientation TL_MACOS(10.9);
@property NSLayoutAttribute alignment TL_MACOS(10.9);
@property CGFloat spacing TL_MACOS(10.9);
@property NSEdgeInsets edgeInsets TL_MACOS(10.9);
- (void)addArrangedSubview:(NSView*)view TL_MACOS(10.11);
@property(readonly, copy) NSArray<NSView*>* arrangedSubviews TL_MACOS(10.11);
@end

@interface NSMenu (TLAppleSDK)
- (void)removeAllItems TL_MACOS(10.6);
@end

@interface NSMenuItem (TLAppleSDK)
@property(readonly, getter=isSeparatorItem) BOOL separatorItem TL_MACOS(10.0);
@end

@interface NSColor (TLAppleSDK)
@property(class, strong, readonly) NSColor* separatorColor TL_MACOS(10.14);
@end

@interface NSFont (TLAppleSDK)
+ (NSFont*)systemFontOfSize:(CGFloat)fontSize weight:(NSFontWeight)weight TL_MACOS(10.11);
+ (NSFont*)monospacedDigitSystemFontOfSize:(CGFloat)fontSize weight:(NSFontWeight)weight TL_MACOS(10.11);
@end

TL_MACOS(11.0) @interface NSImageSymbolConfiguration : NSObject <NSCopying, NSSecureCoding>
+ (instancetype)configurationWithPointSize:(CGFloat)pointSize weight:(NSFontWeight)weight TL_MACOS(11.0);
@end

@interface NSImage (TLAppleSDK)
// The "template" property, spelt as its accessors: what ObjC++ can call.
- (void)setTemplate:(BOOL)isTemplate TL_MACOS(10.5);
- (BOOL)isTemplate TL_MACOS(10.5);
+ (instancetype)imageWithSystemSymbolName:(NSString*)name accessibilityDescription:(NSString*)description TL_MACOS(11.0);
- (NSImage*)imageWithSymbolConfiguration:(NSImageSymbolConfiguration*)configuration TL_MACOS(11.0);
@end

// NSCompositingOperation's modern names (10.12); GNUstep has the older
// NSCompositeSourceOver only.
enum : NSCompositingOperation { NSCompositingOperationSourceOver TL_MACOS(10.12) = 2 };
