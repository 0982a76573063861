// libdispatch, as Objective-C code with ARC sees it on a Mac: queues are
// objects (https://developer.apple.com/documentation/dispatch).
// dispatch_get_main_queue is a macro there, called alike. Needs NSObject
// declared first, as Foundation (or GNUstep's, for the compat header) has it.
#pragma once
#include <stdint.h>
#include "../Availability.h"

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
dispatch_queue_t dispatch_get_main_queue(void) TL_SINCE(10.6);
void dispatch_async(dispatch_queue_t queue, dispatch_block_t block) TL_SINCE(10.6);
void dispatch_after(dispatch_time_t when, dispatch_queue_t queue, dispatch_block_t block) TL_SINCE(10.6);
dispatch_time_t dispatch_time(dispatch_time_t when, int64_t delta) TL_SINCE(10.6);
#ifdef __cplusplus
}
#endif
