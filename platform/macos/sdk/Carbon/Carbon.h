// Carbon as Apple's SDK declares the part the adapter uses: MacTypes.h and
// the hot-key slice of CarbonEvents.h (HIToolbox), from
// https://developer.apple.com/documentation/carbon and the headers' own
// documentation of each function. Only for platform/macos/check.sh on
// machines without Apple's SDK.
#pragma once
#include "../Availability.h"

// MacTypes.h. Point, Rect and Size are declared too: on a Mac they sit in
// the global namespace beside tl's own, and code that confuses the two
// should fail here as well.
typedef unsigned char Boolean;
typedef unsigned int UInt32;
typedef signed int SInt32;
typedef SInt32 OSStatus;
typedef UInt32 FourCharCode;
typedef FourCharCode OSType;
typedef UInt32 OptionBits;
typedef unsigned long ItemCount;
typedef long Size;
struct Point { short v; short h; };
typedef struct Point Point;
struct Rect { short top; short left; short bottom; short right; };
typedef struct Rect Rect;
enum { noErr = 0 };

enum { paramErr = -50, eventHotKeyExistsErr = -9878, eventHotKeyInvalidErr = -9879 };
typedef struct OpaqueEventTargetRef* EventTargetRef;
typedef struct OpaqueEventHandlerRef* EventHandlerRef;
typedef struct OpaqueEventHandlerCallRef* EventHandlerCallRef;
typedef struct OpaqueEventHotKeyRef* EventHotKeyRef;
typedef struct OpaqueEventRef* EventRef;
typedef OSStatus (*EventHandlerProcPtr)(EventHandlerCallRef inHandlerCallRef, EventRef inEvent, void* inUserData);
typedef EventHandlerProcPtr EventHandlerUPP;
struct EventTypeSpec { OSType eventClass; UInt32 eventKind; };
typedef struct EventTypeSpec EventTypeSpec;
struct EventHotKeyID { OSType signature; UInt32 id; };
typedef struct EventHotKeyID EventHotKeyID;

#ifdef __cplusplus
extern "C" {
#endif
EventTargetRef GetApplicationEventTarget(void) TL_SINCE(10.0);
OSStatus InstallEventHandler(EventTargetRef inTarget, EventHandlerUPP inHandler, ItemCount inNumTypes,
                             const EventTypeSpec* inList, void* inUserData, EventHandlerRef* outRef) TL_SINCE(10.0);
OSStatus RemoveEventHandler(EventHandlerRef inHandlerRef) TL_SINCE(10.0);
OSStatus RegisterEventHotKey(UInt32 inHotKeyCode, UInt32 inHotKeyModifiers, EventHotKeyID inHotKeyID,
                             EventTargetRef inTarget, OptionBits inOptions, EventHotKeyRef* outRef) TL_SINCE(10.3);
OSStatus UnregisterEventHotKey(EventHotKeyRef inHotKey) TL_SINCE(10.3);
#ifdef __cplusplus
}
#endif
