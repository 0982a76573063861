// The one Core Animation class the adapter touches, as Apple's SDK declares
// it (https://developer.apple.com/documentation/quartzcore/calayer).
#pragma once
#import <Foundation/Foundation.h>

NS_ASSUME_NONNULL_BEGIN
TL_SINCE(10.5) @interface CALayer : NSObject <NSSecureCoding>
@property(nullable) CGColorRef backgroundColor TL_SINCE(10.5);
@end
NS_ASSUME_NONNULL_END
