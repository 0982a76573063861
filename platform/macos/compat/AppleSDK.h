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

// ---- The C parts: MacTypes and Carbon's hot keys, libdispatch, Darwin's
// stdio and libproc, as the Xcode pass of check.sh declares them too (one
// declaration each, under platform/macos/sdk/). Their macros of
// availability sit beside GNUstep's without clashing.
#include "platform/macos/sdk/Carbon/Carbon.h"
#include "platform/macos/sdk/dispatch/dispatch.h"
#include "platform/macos/sdk/libc/darwin_stdio.h"
#include "platform/macos/sdk/libproc.h"

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
