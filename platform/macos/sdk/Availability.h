// Apple's availability machinery as the adapter meets it through the
// frameworks: the SDK's own version, and the attributes with which each
// declaration below says when it came, when it was deprecated and, as
// Apple marks them, how it may be used. The attributes are clang's own, so
// a use outside its range is the same warning (an error under -Werror) that
// Xcode gives.
//
// TL_SDK_VERSION picks the SDK: 130000 is Xcode 14's macOS 13 SDK, where
// nothing later exists; the default is the newest SDK the Mac job builds
// with. A declaration that first appeared in a later SDK sits under
// #if __MAC_OS_X_VERSION_MAX_ALLOWED >= N, as in Apple's headers, so code
// that sends it without the same check fails against the older SDK.
#pragma once

#ifndef TL_SDK_VERSION
#define TL_SDK_VERSION 260000
#endif

#define __MAC_10_0 1000
#define __MAC_13_0 130000
#define __MAC_14_0 140000
#define __MAC_15_0 150000
#define __MAC_26_0 260000
#ifndef __MAC_OS_X_VERSION_MAX_ALLOWED
#define __MAC_OS_X_VERSION_MAX_ALLOWED TL_SDK_VERSION
#endif
#ifndef __MAC_OS_X_VERSION_MIN_REQUIRED
#define __MAC_OS_X_VERSION_MIN_REQUIRED __ENVIRONMENT_MAC_OS_X_VERSION_MIN_REQUIRED__
#endif

// API_DEPRECATED("message", macos(introduced, deprecated)), spelt out.
#define TL_DEPRECATED(text, since, until) \
  __attribute__((availability(macos, introduced = since, deprecated = until, message = text)))
#define TL_SINCE(version) __attribute__((availability(macos, introduced = version)))
