// The Objective-C runtime as Apple's <objc/runtime.h> and <objc/objc.h>
// declare the part the adapter uses.
#pragma once
#include "../Availability.h"

// On arm64 Apple's BOOL is C's bool (OBJC_BOOL_IS_BOOL).
typedef bool BOOL;
#define YES __objc_yes
#define NO __objc_no
#define Nil nullptr
#ifndef nil
#define nil nullptr
#endif
typedef void (*IMP)(void);

#ifdef __cplusplus
extern "C" {
#endif
BOOL class_addMethod(Class _Nullable cls, SEL _Nonnull name, IMP _Nonnull imp, const char* _Nullable types)
    TL_SINCE(10.5);
#ifdef __cplusplus
}
#endif
