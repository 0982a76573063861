// What Darwin's <stdio.h> declares beyond glibc's and the adapter uses:
// renaming without replacing (renamex_np(2), macOS 10.12).
#pragma once
#include "../Availability.h"

#define RENAME_EXCL 0x00000004
#ifdef __cplusplus
extern "C" {
#endif
int renamex_np(const char* from, const char* to, unsigned int flags) TL_SINCE(10.12);
#ifdef __cplusplus
}
#endif
