// AppKit as Apple's SDK declares the part the adapter uses: each
// declaration with the macOS version that introduced it, its deprecation
// and its nullability as Apple's documentation gives them
// (https://developer.apple.com/documentation/appkit/ and the page of each
// symbol there; reviewed-sends.txt names the page for every message). What
// a later SDK added sits under the same SDK check as in Apple's headers.
// Only for platform/macos/check.sh on machines without Apple's SDK.
#pragma once

#import <Foundation/Foundation.h>
#import <QuartzCore/QuartzCore.h>

NS_ASSUME_NONNULL_BEGIN

@class NSEvent, NSMenu, NSMenuItem, NSWindow, NSScreen, NSImage, NSColor, NSFont, NSAppearance, NSStatusBarButton,
    NSLayoutConstraint, NSTrackingArea, NSLayoutXAxisAnchor, NSLayoutYAxisAnchor, NSLayoutDimension;

// ---- Enumerations, with the values the adapter converts to and from.

typedef NS_ENUM(NSInteger, NSApplicationActivationPolicy){
    NSApplicationActivationPolicyRegular, NSApplicationActivationPolicyAccessory,
    NSApplicationActivationPolicyProhibited} TL_SINCE(10.6);

typedef NS_ENUM(NSUInteger, NSEventType){NSEventTypeLeftMouseDown = 1, NSEventTypeLeftMouseUp = 2,
                                         NSEventTypeRightMouseDown = 3, NSEventTypeRightMouseUp = 4,
                                         NSEventTypeMouseMoved = 5, NSEventTypeKeyDown = 10} TL_SINCE(10.0);
typedef unsigned long long NSEventMask;
typedef NS_OPTIONS(NSUInteger, NSEventModifierFlags){
    NSEventModifierFlagShift = 1 << 17, NSEventModifierFlagControl = 1 << 18, NSEventModifierFlagOption = 1 << 19,
    NSEventModifierFlagCommand = 1 << 20} TL_SINCE(10.12);

typedef NSInteger NSModalResponse;
enum : NSModalResponse { NSAlertFirstButtonReturn TL_SINCE(10.0) = 1000 };

typedef NS_ENUM(NSUInteger, NSBackingStoreType){NSBackingStoreRetained TL_DEPRECATED("", 10.0, 10.13) = 0,
                                                NSBackingStoreNonretained TL_DEPRECATED("", 10.0, 10.13) = 1,
                                                NSBackingStoreBuffered = 2};
typedef NS_OPTIONS(NSUInteger, NSWindowStyleMask){NSWindowStyleMaskBorderless = 0, NSWindowStyleMaskTitled = 1 << 0,
                                                  NSWindowStyleMaskClosable = 1 << 1} TL_SINCE(10.12);

typedef NS_ENUM(NSUInteger, NSCompositingOperation){
    NSCompositingOperationClear = 0, NSCompositingOperationCopy = 1, NSCompositingOperationSourceOver = 2,
    NSCompositingOperationLuminosity = 28} TL_SINCE(10.12);
// The pre-10.12 names, which Apple's header keeps, deprecated "macOS
// 10.0–10.12" (https://developer.apple.com/documentation/appkit/nscompositesourceover).
static const NSCompositingOperation NSCompositeClear
    TL_DEPRECATED("Use NSCompositingOperationClear", 10.0, 10.12) = NSCompositingOperationClear;
static const NSCompositingOperation NSCompositeSourceOver
    TL_DEPRECATED("Use NSCompositingOperationSourceOver", 10.0, 10.12) = NSCompositingOperationSourceOver;

typedef NS_ENUM(NSUInteger, NSCellImagePosition){NSNoImage = 0, NSImageOnly = 1} TL_SINCE(10.0);
typedef NS_ENUM(NSUInteger, NSImageScaling){NSImageScaleProportionallyDown = 0} TL_SINCE(10.5);
typedef NS_ENUM(NSUInteger, NSBezelStyle){NSBezelStyleRounded = 1} TL_SINCE(10.0);
#if __MAC_OS_X_VERSION_MAX_ALLOWED >= 140000
// The 14 SDK renamed the default push button's style; the value is the same.
static const NSBezelStyle NSBezelStylePush TL_SINCE(10.0) = NSBezelStyleRounded;
#endif
typedef NSInteger NSControlStateValue;
static const NSControlStateValue NSControlStateValueOff TL_SINCE(10.13) = 0;
static const NSControlStateValue NSControlStateValueOn TL_SINCE(10.13) = 1;
typedef NS_ENUM(NSInteger, NSTextAlignment){NSTextAlignmentLeft = 0, NSTextAlignmentCenter = 1,
                                            NSTextAlignmentRight = 2, NSTextAlignmentJustified = 3,
                                            NSTextAlignmentNatural = 4} TL_SINCE(10.0);
typedef NS_ENUM(NSUInteger, NSLineBreakMode){NSLineBreakByWordWrapping = 0, NSLineBreakByTruncatingMiddle = 5}
    TL_SINCE(10.0);
typedef NS_ENUM(NSInteger, NSUserInterfaceLayoutOrientation){NSUserInterfaceLayoutOrientationHorizontal = 0,
                                                             NSUserInterfaceLayoutOrientationVertical = 1}
    TL_SINCE(10.9);
typedef NS_ENUM(NSInteger, NSLayoutConstraintOrientation){NSLayoutConstraintOrientationHorizontal = 0,
                                                          NSLayoutConstraintOrientationVertical = 1}
    TL_SINCE(10.7);
typedef NS_ENUM(NSInteger, NSLayoutAttribute){NSLayoutAttributeTop = 3, NSLayoutAttributeBottom = 4,
                                              NSLayoutAttributeLeading = 5, NSLayoutAttributeTrailing = 6,
                                              NSLayoutAttributeWidth = 7, NSLayoutAttributeHeight = 8,
                                              NSLayoutAttributeCenterY = 10, NSLayoutAttributeNotAnAttribute = 0}
    TL_SINCE(10.7);
typedef float NSLayoutPriority TL_SINCE(10.7);
typedef NS_OPTIONS(NSUInteger, NSTrackingAreaOptions){NSTrackingMouseEnteredAndExited = 0x01,
                                                      NSTrackingActiveAlways = 0x80} TL_SINCE(10.5);
typedef CGFloat NSFontWeight TL_SINCE(10.11);
extern const NSFontWeight NSFontWeightRegular TL_SINCE(10.11);
extern const NSFontWeight NSFontWeightMedium TL_SINCE(10.11);
extern const NSFontWeight NSFontWeightSemibold TL_SINCE(10.11);
typedef struct NSEdgeInsets { CGFloat top; CGFloat left; CGFloat bottom; CGFloat right; } NSEdgeInsets TL_SINCE(10.10);
static inline NSEdgeInsets NSEdgeInsetsMake(CGFloat top, CGFloat left, CGFloat bottom, CGFloat right) TL_SINCE(10.10) {
  return NSEdgeInsets{top, left, bottom, right};
}
#define NSVariableStatusItemLength (-1)

extern NSNotificationName const NSApplicationWillTerminateNotification TL_SINCE(10.0);
extern NSNotificationName const NSWindowWillCloseNotification TL_SINCE(10.0);

// ---- Responders, the application, events.

TL_SINCE(10.0) @interface NSResponder : NSObject <NSCoding>
- (void)mouseEntered:(NSEvent*)event TL_SINCE(10.0);
- (void)mouseExited:(NSEvent*)event TL_SINCE(10.0);
@end

@protocol NSApplicationDelegate <NSObject>
@optional
- (void)applicationDidFinishLaunching:(NSNotification*)notification;
- (void)applicationWillTerminate:(NSNotification*)notification;
@end

TL_SINCE(10.0) @interface NSApplication : NSResponder
@property(class, readonly, strong) __kindof NSApplication* sharedApplication TL_SINCE(10.0);
@property(nullable, weak) id<NSApplicationDelegate> delegate TL_SINCE(10.0);
- (NSApplicationActivationPolicy)activationPolicy TL_SINCE(10.6);
- (BOOL)setActivationPolicy:(NSApplicationActivationPolicy)activationPolicy TL_SINCE(10.6);
- (void)run TL_SINCE(10.0);
- (void)terminate:(nullable id)sender TL_SINCE(10.0);
@property(nullable, readonly, strong) NSEvent* currentEvent TL_SINCE(10.0);
#if __MAC_OS_X_VERSION_MAX_ALLOWED >= 140000
// From the 14 SDK on the old call is marked for deprecation in favour of
// cooperative activation; Apple's page now gives "macOS 10.0–27.0"
// (https://developer.apple.com/documentation/appkit/nsapplication/activate(ignoringotherapps:)).
- (void)activateIgnoringOtherApps:(BOOL)flag
    TL_DEPRECATED("This method will be deprecated in a future release. Use NSApp.activate instead.", 10.0, 27.0);
// https://developer.apple.com/documentation/appkit/nsapplication/activate()
- (void)activate TL_SINCE(14.0);
#else
- (void)activateIgnoringOtherApps:(BOOL)flag TL_SINCE(10.0);
#endif
@end
extern __kindof NSApplication* _Null_unspecified NSApp TL_SINCE(10.0);

TL_SINCE(10.0) @interface NSEvent : NSObject <NSCopying, NSCoding>
@property(readonly) NSEventType type TL_SINCE(10.0);
@property(readonly) NSEventModifierFlags modifierFlags TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSRunningApplication : NSObject
+ (NSArray<NSRunningApplication*>*)runningApplicationsWithBundleIdentifier:(NSString*)bundleIdentifier
    TL_SINCE(10.6);
@property(readonly) pid_t processIdentifier TL_SINCE(10.6);
@property(nullable, readonly, copy) NSDate* launchDate TL_SINCE(10.6);
@end

// ---- Appearance, colour, fonts, images, drawing.

TL_SINCE(10.9) @interface NSAppearance : NSObject <NSSecureCoding>
- (void)performAsCurrentDrawingAppearance:(void(NS_NOESCAPE ^)(void))block TL_SINCE(11.0);
@end

TL_SINCE(10.0) @interface NSColor : NSObject <NSCopying, NSSecureCoding>
@property(class, strong, readonly) NSColor* blackColor TL_SINCE(10.0);
@property(class, strong, readonly) NSColor* whiteColor TL_SINCE(10.0);
@property(class, strong, readonly) NSColor* clearColor TL_SINCE(10.0);
@property(class, strong, readonly) NSColor* labelColor TL_SINCE(10.10);
@property(class, strong, readonly) NSColor* secondaryLabelColor TL_SINCE(10.10);
@property(class, strong, readonly) NSColor* tertiaryLabelColor TL_SINCE(10.10);
@property(class, strong, readonly) NSColor* separatorColor TL_SINCE(10.14);
@property(class, strong, readonly) NSColor* windowBackgroundColor TL_SINCE(10.0);
@property(class, strong, readonly) NSColor* controlBackgroundColor TL_SINCE(10.0);
- (NSColor*)colorWithAlphaComponent:(CGFloat)alpha TL_SINCE(10.0);
@property(readonly) CGColorRef CGColor TL_SINCE(10.8);
- (void)set TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSFont : NSObject <NSCopying, NSSecureCoding>
+ (NSFont*)systemFontOfSize:(CGFloat)fontSize weight:(NSFontWeight)weight TL_SINCE(10.11);
+ (NSFont*)monospacedDigitSystemFontOfSize:(CGFloat)fontSize weight:(NSFontWeight)weight TL_SINCE(10.11);
@end

TL_SINCE(10.0) @interface NSImageSymbolConfiguration : NSObject <NSCopying, NSSecureCoding>
+ (instancetype)configurationWithPointSize:(CGFloat)pointSize weight:(NSFontWeight)weight TL_SINCE(11.0);
@end

TL_SINCE(10.0) @interface NSImage : NSObject <NSCopying, NSSecureCoding>
- (instancetype)initWithSize:(NSSize)size NS_DESIGNATED_INITIALIZER TL_SINCE(10.0);
+ (nullable instancetype)imageWithSystemSymbolName:(NSString*)name
                          accessibilityDescription:(nullable NSString*)description TL_SINCE(11.0);
- (nullable NSImage*)imageWithSymbolConfiguration:(NSImageSymbolConfiguration*)configuration TL_SINCE(11.0);
@property NSSize size TL_SINCE(10.0);
- (void)setTemplate:(BOOL)isTemplate TL_SINCE(10.5);
- (BOOL)isTemplate TL_SINCE(10.5);
#if __MAC_OS_X_VERSION_MAX_ALLOWED >= 140000
// Deprecated "macOS 10.0–27.0" on https://developer.apple.com/documentation/appkit/nsimage/lockfocus()
- (void)lockFocus TL_DEPRECATED("This method is incompatible with high resolution windows.", 10.0, 27.0);
- (void)unlockFocus TL_DEPRECATED("This method is incompatible with high resolution windows.", 10.0, 27.0);
#else
- (void)lockFocus TL_SINCE(10.0);
- (void)unlockFocus TL_SINCE(10.0);
#endif
@end

TL_SINCE(10.0) @interface NSGraphicsContext : NSObject
@property(class, nullable, strong) NSGraphicsContext* currentContext TL_SINCE(10.0);
@property NSCompositingOperation compositingOperation TL_SINCE(10.6);
- (void)saveGraphicsState TL_SINCE(10.0);
- (void)restoreGraphicsState TL_SINCE(10.0);
@end

#ifdef __cplusplus
extern "C" {
#endif
void NSRectFillUsingOperation(NSRect rect, NSCompositingOperation op) TL_SINCE(10.0);
#ifdef __cplusplus
}
#endif

// ---- Views, controls, windows.

TL_SINCE(10.11) @interface NSLayoutAnchor<AnchorType> : NSObject <NSCopying, NSCoding>
- (NSLayoutConstraint*)constraintEqualToAnchor:(NSLayoutAnchor<AnchorType>*)anchor
                                      constant:(CGFloat)c TL_SINCE(10.11);
- (NSLayoutConstraint*)constraintGreaterThanOrEqualToAnchor:(NSLayoutAnchor<AnchorType>*)anchor TL_SINCE(10.11);
@end
TL_SINCE(10.11) @interface NSLayoutXAxisAnchor : NSLayoutAnchor<NSLayoutXAxisAnchor*>
@end
TL_SINCE(10.11) @interface NSLayoutYAxisAnchor : NSLayoutAnchor<NSLayoutYAxisAnchor*>
@end
TL_SINCE(10.11) @interface NSLayoutDimension : NSLayoutAnchor<NSLayoutDimension*>
- (NSLayoutConstraint*)constraintEqualToConstant:(CGFloat)c TL_SINCE(10.11);
@end

TL_SINCE(10.7) @interface NSLayoutConstraint : NSObject
+ (void)activateConstraints:(NSArray<NSLayoutConstraint*>*)constraints TL_SINCE(10.10);
+ (void)deactivateConstraints:(NSArray<NSLayoutConstraint*>*)constraints TL_SINCE(10.10);
@end

TL_SINCE(10.5) @interface NSTrackingArea : NSObject <NSCopying, NSCoding>
- (instancetype)initWithRect:(NSRect)rect
                     options:(NSTrackingAreaOptions)options
                       owner:(nullable id)owner
                    userInfo:(nullable NSDictionary<id, id>*)userInfo TL_SINCE(10.5);
@end

TL_SINCE(10.0) @interface NSView : NSResponder
- (instancetype)initWithFrame:(NSRect)frameRect NS_DESIGNATED_INITIALIZER TL_SINCE(10.0);
@property NSRect frame TL_SINCE(10.0);
@property NSRect bounds TL_SINCE(10.0);
@property(nullable, readonly, assign) NSWindow* window TL_SINCE(10.0);
@property(copy) NSArray<__kindof NSView*>* subviews TL_SINCE(10.0);
- (void)addSubview:(NSView*)view TL_SINCE(10.0);
- (nullable NSView*)ancestorSharedWithView:(NSView*)view TL_SINCE(10.0);
- (BOOL)isDescendantOf:(NSView*)view TL_SINCE(10.0);
@property(nullable, copy) NSString* toolTip TL_SINCE(10.0);
@property BOOL wantsLayer TL_SINCE(10.5);
@property(nullable, strong) CALayer* layer TL_SINCE(10.5);
@property(readonly) BOOL wantsUpdateLayer TL_SINCE(10.8);
- (void)updateLayer TL_SINCE(10.8);
@property(readonly, strong) NSAppearance* effectiveAppearance TL_SINCE(10.9);
@property BOOL translatesAutoresizingMaskIntoConstraints TL_SINCE(10.7);
- (void)setContentHuggingPriority:(NSLayoutPriority)priority
                   forOrientation:(NSLayoutConstraintOrientation)orientation TL_SINCE(10.7);
- (void)addTrackingArea:(NSTrackingArea*)trackingArea TL_SINCE(10.5);
- (void)removeTrackingArea:(NSTrackingArea*)trackingArea TL_SINCE(10.5);
@property(readonly, strong) NSLayoutXAxisAnchor* leadingAnchor TL_SINCE(10.11);
@property(readonly, strong) NSLayoutXAxisAnchor* trailingAnchor TL_SINCE(10.11);
@property(readonly, strong) NSLayoutYAxisAnchor* topAnchor TL_SINCE(10.11);
@property(readonly, strong) NSLayoutYAxisAnchor* bottomAnchor TL_SINCE(10.11);
@property(readonly, strong) NSLayoutYAxisAnchor* centerYAnchor TL_SINCE(10.11);
@property(readonly, strong) NSLayoutDimension* widthAnchor TL_SINCE(10.11);
@property(readonly, strong) NSLayoutDimension* heightAnchor TL_SINCE(10.11);
@property(readonly) NSSize fittingSize TL_SINCE(10.7);
- (void)layoutSubtreeIfNeeded TL_SINCE(10.7);
@end

TL_SINCE(10.0) @interface NSControl : NSView
@property(nullable, weak) id target TL_SINCE(10.0);
@property(nullable) SEL action TL_SINCE(10.0);
@property(copy) NSString* stringValue TL_SINCE(10.0);
@property double doubleValue TL_SINCE(10.0);
@property(nullable, strong) NSFont* font TL_SINCE(10.0);
@property NSTextAlignment alignment TL_SINCE(10.0);
@property(getter=isContinuous) BOOL continuous TL_SINCE(10.0);
@property NSLineBreakMode lineBreakMode TL_SINCE(10.10);
- (NSInteger)sendActionOn:(NSEventMask)mask TL_SINCE(10.0);
- (void)performClick:(nullable id)sender TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSButton : NSControl
+ (instancetype)buttonWithTitle:(NSString*)title target:(nullable id)target action:(nullable SEL)action
    TL_SINCE(10.12);
@property(nullable, strong) NSImage* image TL_SINCE(10.0);
@property NSCellImagePosition imagePosition TL_SINCE(10.0);
@property NSImageScaling imageScaling TL_SINCE(10.5);
@property NSBezelStyle bezelStyle TL_SINCE(10.0);
@end

TL_SINCE(10.10) @interface NSStatusBarButton : NSButton
@end

TL_SINCE(10.0) @interface NSTextField : NSControl
+ (instancetype)labelWithString:(NSString*)stringValue TL_SINCE(10.12);
+ (instancetype)wrappingLabelWithString:(NSString*)stringValue TL_SINCE(10.12);
@property(nullable, copy) NSColor* textColor TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSSlider : NSControl
+ (instancetype)sliderWithValue:(double)value
                       minValue:(double)minValue
                       maxValue:(double)maxValue
                         target:(nullable id)target
                         action:(nullable SEL)action TL_SINCE(10.12);
@property double minValue TL_SINCE(10.0);
@end

TL_SINCE(10.15) @interface NSSwitch : NSControl
@property NSControlStateValue state TL_SINCE(10.15);
@end

TL_SINCE(10.0) @interface NSPopUpButton : NSButton
- (instancetype)initWithFrame:(NSRect)buttonFrame pullsDown:(BOOL)flag TL_SINCE(10.0);
- (void)addItemWithTitle:(NSString*)title TL_SINCE(10.0);
- (void)selectItemAtIndex:(NSInteger)index TL_SINCE(10.0);
@property(readonly) NSInteger indexOfSelectedItem TL_SINCE(10.0);
@property(readonly) NSInteger numberOfItems TL_SINCE(10.0);
@end

TL_SINCE(10.9) @interface NSStackView : NSView
+ (instancetype)stackViewWithViews:(NSArray<NSView*>*)views TL_SINCE(10.9);
@property NSUserInterfaceLayoutOrientation orientation TL_SINCE(10.9);
@property NSLayoutAttribute alignment TL_SINCE(10.9);
@property CGFloat spacing TL_SINCE(10.9);
@property NSEdgeInsets edgeInsets TL_SINCE(10.9);
- (void)addArrangedSubview:(NSView*)view TL_SINCE(10.11);
@property(readonly, copy) NSArray<__kindof NSView*>* arrangedSubviews TL_SINCE(10.11);
@end

TL_SINCE(10.0) @interface NSScreen : NSObject
@property(readonly) NSRect frame TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSWindow : NSResponder
- (instancetype)initWithContentRect:(NSRect)contentRect
                          styleMask:(NSWindowStyleMask)style
                            backing:(NSBackingStoreType)backingStoreType
                              defer:(BOOL)flag NS_DESIGNATED_INITIALIZER TL_SINCE(10.0);
@property(copy) NSString* title TL_SINCE(10.0);
@property(nullable, strong) __kindof NSView* contentView TL_SINCE(10.0);
@property(readonly) NSRect frame TL_SINCE(10.0);
@property(nullable, readonly, assign) NSScreen* screen TL_SINCE(10.0);
@property(getter=isReleasedWhenClosed) BOOL releasedWhenClosed TL_SINCE(10.0);
@property(readonly, getter=isVisible) BOOL visible TL_SINCE(10.0);
- (void)setContentSize:(NSSize)size TL_SINCE(10.0);
- (void)setFrameTopLeftPoint:(NSPoint)point TL_SINCE(10.0);
- (void)center TL_SINCE(10.0);
- (void)makeKeyAndOrderFront:(nullable id)sender TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSAlert : NSObject
@property(copy) NSString* messageText TL_SINCE(10.0);
@property(copy) NSString* informativeText TL_SINCE(10.0);
- (NSButton*)addButtonWithTitle:(NSString*)title TL_SINCE(10.0);
- (NSModalResponse)runModal TL_SINCE(10.0);
@end

// ---- Menus and the status bar.

TL_SINCE(10.0) @interface NSMenuItem : NSObject <NSCopying, NSCoding>
+ (NSMenuItem*)separatorItem TL_SINCE(10.0);
@property(readonly, getter=isSeparatorItem) BOOL separatorItem TL_SINCE(10.0);
@property(copy) NSString* title TL_SINCE(10.0);
@property(copy) NSString* keyEquivalent TL_SINCE(10.0);
@property(nullable, weak) id target TL_SINCE(10.0);
@property(nullable) SEL action TL_SINCE(10.0);
@property(nullable, assign) NSMenu* menu TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSMenu : NSObject <NSCopying, NSCoding>
- (instancetype)initWithTitle:(NSString*)title NS_DESIGNATED_INITIALIZER TL_SINCE(10.0);
- (void)addItem:(NSMenuItem*)newItem TL_SINCE(10.0);
- (NSMenuItem*)addItemWithTitle:(NSString*)string action:(nullable SEL)selector keyEquivalent:(NSString*)charCode
    TL_SINCE(10.0);
- (void)removeItem:(NSMenuItem*)item TL_SINCE(10.0);
- (void)removeAllItems TL_SINCE(10.6);
@property(copy) NSArray<NSMenuItem*>* itemArray TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSStatusItem : NSObject
@property CGFloat length TL_SINCE(10.0);
@property(nullable, strong) NSMenu* menu TL_SINCE(10.0);
@property(nullable, readonly, strong) NSStatusBarButton* button TL_SINCE(10.10);
@end

TL_SINCE(10.0) @interface NSStatusBar : NSObject
@property(class, readonly, strong) NSStatusBar* systemStatusBar TL_SINCE(10.0);
- (NSStatusItem*)statusItemWithLength:(CGFloat)length TL_SINCE(10.0);
- (void)removeStatusItem:(NSStatusItem*)item TL_SINCE(10.0);
@property(readonly) CGFloat thickness TL_SINCE(10.0);
@end

NS_ASSUME_NONNULL_END
