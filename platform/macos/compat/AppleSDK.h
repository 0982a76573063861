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

// ---- MacTypes.h (reached on a Mac through every framework). Point, Rect
// and Size are declared too: on a Mac they sit in the global namespace
// beside tl's own, and code that confuses the two should fail here as well.

typedef unsigned char Boolean;
typedef unsigned int UInt32;
typedef signed int SInt32;
typedef SInt32 OSStatus;
typedef UInt32 FourCharCode;
typedef FourCharCode OSType;
typedef UInt32 OptionBits;
typedef unsigned long ItemCount;
typedef long Size;
struct Point {
  short v;
  short h;
};
typedef struct Point Point;
struct Rect {
  short top;
  short left;
  short bottom;
  short right;
};
typedef struct Rect Rect;
enum { noErr = 0 };

// ---- Carbon: the hot-key slice of CarbonEvents.h (HIToolbox).

enum { paramErr = -50, eventHotKeyExistsErr = -9878, eventHotKeyInvalidErr = -9879 };
typedef struct OpaqueEventTargetRef* EventTargetRef;
typedef struct OpaqueEventHandlerRef* EventHandlerRef;
typedef struct OpaqueEventHandlerCallRef* EventHandlerCallRef;
typedef struct OpaqueEventHotKeyRef* EventHotKeyRef;
typedef struct OpaqueEventRef* EventRef;
typedef OSStatus (*EventHandlerProcPtr)(EventHandlerCallRef inHandlerCallRef, EventRef inEvent, void* inUserData);
typedef EventHandlerProcPtr EventHandlerUPP;
struct EventTypeSpec {
  OSType eventClass;
  UInt32 eventKind;
};
typedef struct EventTypeSpec EventTypeSpec;
struct EventHotKeyID {
  OSType signature;
  UInt32 id;
};
typedef struct EventHotKeyID EventHotKeyID;

#ifdef __cplusplus
extern "C" {
#endif
EventTargetRef GetApplicationEventTarget(void);
OSStatus InstallEventHandler(EventTargetRef inTarget, EventHandlerUPP inHandler, ItemCount inNumTypes,
                             const EventTypeSpec* inList, void* inUserData, EventHandlerRef* outRef);
OSStatus RemoveEventHandler(EventHandlerRef inHandlerRef);
OSStatus RegisterEventHotKey(UInt32 inHotKeyCode, UInt32 inHotKeyModifiers, EventHotKeyID inHotKeyID,
                             EventTargetRef inTarget, OptionBits inOptions, EventHotKeyRef* outRef);
OSStatus UnregisterEventHotKey(EventHotKeyRef inHotKey);
#ifdef __cplusplus
}
#endif

// ---- libdispatch, as Objective-C code with ARC sees it on a Mac: queues
// are objects. dispatch_get_main_queue is a macro there, called alike.

typedef uint64_t dispatch_time_t;
#define DISPATCH_TIME_NOW (0ull)
#define NSEC_PER_SEC 1000000000ull
@protocol OS_dispatch_queue <NSObject>
@end
typedef NSObject<OS_dispatch_queue>* dispatch_queue_t;
typedef void (^dispatch_block_t)(void);

#ifdef __cplusplus
extern "C" {
#endif
dispatch_queue_t dispatch_get_main_queue(void);
void dispatch_async(dispatch_queue_t queue, dispatch_block_t block);
void dispatch_after(dispatch_time_t when, dispatch_queue_t queue, dispatch_block_t block);
dispatch_time_t dispatch_time(dispatch_time_t when, int64_t delta);
#ifdef __cplusplus
}
#endif

// ---- <stdio.h>: renaming without replacing (10.12).

#define RENAME_EXCL 0x00000004
#ifdef __cplusplus
extern "C" {
#endif
int renamex_np(const char* from, const char* to, unsigned int flags);
#ifdef __cplusplus
}
#endif

// ---- Foundation.

@interface NSFileHandle (TLAppleSDK)
- (BOOL)seekToEndReturningOffset:(unsigned long long*)offsetInFile error:(NSError**)error;  // 10.15
- (BOOL)writeData:(NSData*)data error:(NSError**)error;                                      // 10.15
- (BOOL)closeAndReturnError:(NSError**)error;                                                // 10.15
@end

@interface NSTask (TLAppleSDK)
@property(copy) NSURL* executableURL;              // 10.13
- (BOOL)launchAndReturnError:(NSError**)error;     // 10.13
@property(readonly, getter=isRunning) BOOL running;
@end

@interface NSTimer (TLAppleSDK)
@property(readonly, getter=isValid) BOOL valid;
@end

// ---- QuartzCore: the one layer property the adapter sets.

@interface CALayer : NSObject
@property CGColorRef backgroundColor;
@end

// ---- AppKit.

@interface NSApplication (TLAppleSDK)
- (BOOL)setActivationPolicy:(NSApplicationActivationPolicy)activationPolicy;  // 10.6
- (NSApplicationActivationPolicy)activationPolicy;
@end

@interface NSAppearance (TLAppleSDK)
- (void)performAsCurrentDrawingAppearance:(void (^)(void))block;  // 11.0
@end

@interface NSView (TLAppleSDK)
@property BOOL wantsLayer;
@property(strong) CALayer* layer;
@property(readonly) BOOL wantsUpdateLayer;  // 10.8
- (void)updateLayer;                        // 10.8
@property(readonly, strong) NSAppearance* effectiveAppearance;  // 10.14
@property BOOL translatesAutoresizingMaskIntoConstraints;
- (void)setContentHuggingPriority:(NSLayoutPriority)priority
                   forOrientation:(NSLayoutConstraintOrientation)orientation;
- (void)addTrackingArea:(NSTrackingArea*)trackingArea;
- (void)removeTrackingArea:(NSTrackingArea*)trackingArea;
@property(readonly, strong) NSLayoutXAxisAnchor* leadingAnchor;   // 10.11
@property(readonly, strong) NSLayoutXAxisAnchor* trailingAnchor;
@property(readonly, strong) NSLayoutYAxisAnchor* topAnchor;
@property(readonly, strong) NSLayoutYAxisAnchor* bottomAnchor;
@property(readonly, strong) NSLayoutYAxisAnchor* centerYAnchor;
@property(readonly, strong) NSLayoutDimension* widthAnchor;
@property(readonly, strong) NSLayoutDimension* heightAnchor;
@property(readonly) NSSize fittingSize;  // 10.7
- (void)layoutSubtreeIfNeeded;           // 10.7
@end

@interface NSWindow (TLAppleSDK)
@property(readonly, getter=isVisible) BOOL visible;
@end

@interface NSStatusItem (TLAppleSDK)
@property(readonly, strong) NSStatusBarButton* button;  // 10.10
@end

@interface NSButton (TLAppleSDK)
+ (instancetype)buttonWithTitle:(NSString*)title target:(id)target action:(SEL)action;  // 10.12
@property NSImageScaling imageScaling;                                                 // 10.5
@end

@interface NSControl (TLAppleSDK)
@property NSLineBreakMode lineBreakMode;  // 10.10
@end

@interface NSTextField (TLAppleSDK)
+ (instancetype)labelWithString:(NSString*)stringValue;          // 10.12
+ (instancetype)wrappingLabelWithString:(NSString*)stringValue;  // 10.12
@end

@interface NSSlider (TLAppleSDK)
+ (instancetype)sliderWithValue:(double)value
                       minValue:(double)minValue
                       maxValue:(double)maxValue
                         target:(id)target
                         action:(SEL)action;  // 10.12
@end

@interface NSStackView : NSView  // 10.9
+ (instancetype)stackViewWithViews:(NSArray<NSView*>*)views;  // 10.11
@property NSUserInterfaceLayoutOrientation orientation;
@property NSLayoutAttribute alignment;
@property CGFloat spacing;
@property NSEdgeInsets edgeInsets;
- (void)addArrangedSubview:(NSView*)view;  // 10.11
@property(readonly, copy) NSArray<NSView*>* arrangedSubviews;
@end

@interface NSMenu (TLAppleSDK)
- (void)removeAllItems;  // 10.6
@end

@interface NSMenuItem (TLAppleSDK)
@property(readonly, getter=isSeparatorItem) BOOL separatorItem;
@end

@interface NSColor (TLAppleSDK)
@property(class, strong, readonly) NSColor* separatorColor;  // 10.14
@end

@interface NSFont (TLAppleSDK)
+ (NSFont*)systemFontOfSize:(CGFloat)fontSize weight:(NSFontWeight)weight;                  // 10.11
+ (NSFont*)monospacedDigitSystemFontOfSize:(CGFloat)fontSize weight:(NSFontWeight)weight;   // 10.11
@end

@interface NSImageSymbolConfiguration : NSObject <NSCopying, NSSecureCoding>  // 11.0
+ (instancetype)configurationWithPointSize:(CGFloat)pointSize weight:(NSFontWeight)weight;
@end

@interface NSImage (TLAppleSDK)
// The "template" property, spelt as its accessors: what ObjC++ can call.
- (void)setTemplate:(BOOL)isTemplate;
- (BOOL)isTemplate;
+ (instancetype)imageWithSystemSymbolName:(NSString*)name accessibilityDescription:(NSString*)description;  // 11.0
- (NSImage*)imageWithSymbolConfiguration:(NSImageSymbolConfiguration*)configuration;                       // 11.0
@end

// NSCompositingOperation's modern names (10.12); GNUstep has the older
// NSCompositeSourceOver only.
enum : NSCompositingOperation { NSCompositingOperationSourceOver = 2 };
