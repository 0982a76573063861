// Foundation as Apple's SDK declares the part the adapter uses: each
// declaration with the macOS version that introduced it, its deprecation
// and its nullability as Apple's documentation gives them
// (https://developer.apple.com/documentation/foundation/ and the page of
// each symbol there; reviewed-sends.txt names the page for every message).
// Only for platform/macos/check.sh on machines without Apple's SDK.
#pragma once

#include <stdint.h>
#include <stddef.h>
#include <stdarg.h>
#include <objc/runtime.h>
#include "../Availability.h"

#define NS_ASSUME_NONNULL_BEGIN _Pragma("clang assume_nonnull begin")
#define NS_ASSUME_NONNULL_END _Pragma("clang assume_nonnull end")
#define NS_ENUM(type, name) enum name : type name; enum name : type
#define NS_OPTIONS(type, name) enum name : type name; enum name : type
#define NS_RETURNS_INNER_POINTER __attribute__((objc_returns_inner_pointer))
#define NS_REQUIRES_NIL_TERMINATION __attribute__((sentinel(0, 1)))
#define NS_FORMAT_FUNCTION(f, a) __attribute__((format(__NSString__, f, a)))
#define NS_DESIGNATED_INITIALIZER __attribute__((objc_designated_initializer))
#define NS_SWIFT_NAME(name)
#define NS_NOESCAPE __attribute__((noescape))
#define CF_SWIFT_NAME(name)

NS_ASSUME_NONNULL_BEGIN

typedef long NSInteger;
typedef unsigned long NSUInteger;
typedef double CGFloat;
typedef double NSTimeInterval;
typedef struct CGPoint { CGFloat x; CGFloat y; } CGPoint;
typedef struct CGSize { CGFloat width; CGFloat height; } CGSize;
typedef struct CGRect { CGPoint origin; CGSize size; } CGRect;
typedef CGPoint NSPoint;
typedef CGSize NSSize;
typedef CGRect NSRect;
typedef struct CGColor* CGColorRef;
typedef const struct __CFBoolean* CFBooleanRef;
#define NSNotFound ((NSInteger)0x7fffffffffffffffL)

typedef NSUInteger NSStringEncoding;
enum : NSStringEncoding { NSUTF8StringEncoding = 4 };

@class NSString, NSArray<ObjectType>, NSDictionary<KeyType, ObjectType>, NSError, NSData, NSDate, NSURL,
    NSNotification, NSOperationQueue, NSCoder;

@protocol NSObject
- (BOOL)isKindOfClass:(Class)aClass;
- (BOOL)respondsToSelector:(SEL)aSelector;
- (Class)class;
- (BOOL)isEqual:(nullable id)object;
@property(readonly) NSUInteger hash;
@property(readonly, copy) NSString* description;
@end

TL_SINCE(10.0) __attribute__((objc_root_class)) @interface NSObject <NSObject> {
  Class isa;
}
+ (instancetype)alloc TL_SINCE(10.0);
+ (instancetype)new TL_SINCE(10.0);
- (instancetype)init TL_SINCE(10.0) NS_DESIGNATED_INITIALIZER;
+ (Class)class TL_SINCE(10.0);
+ (BOOL)instancesRespondToSelector:(SEL)aSelector TL_SINCE(10.0);
@end

@protocol NSCopying
- (id)copyWithZone:(nullable void*)zone;
@end
@protocol NSCoding
@end
@protocol NSSecureCoding <NSCoding>
@end
@protocol NSFastEnumeration
- (NSUInteger)countByEnumeratingWithState:(void*)state objects:(id __unsafe_unretained _Nullable[_Nonnull])buffer
                                    count:(NSUInteger)len;
@end

TL_SINCE(10.0) @interface NSString : NSObject <NSCopying, NSSecureCoding>
@property(readonly) NSUInteger length TL_SINCE(10.0);
- (nullable instancetype)initWithBytes:(const void*)bytes length:(NSUInteger)len encoding:(NSStringEncoding)encoding
    TL_SINCE(10.0);
- (nullable NSData*)dataUsingEncoding:(NSStringEncoding)encoding allowLossyConversion:(BOOL)lossy TL_SINCE(10.0);
@property(readonly) const char* fileSystemRepresentation NS_RETURNS_INNER_POINTER TL_SINCE(10.0);
- (BOOL)writeToFile:(NSString*)path atomically:(BOOL)useAuxiliaryFile encoding:(NSStringEncoding)enc
              error:(NSError**)error TL_SINCE(10.5);
@property(nullable, readonly) const char* UTF8String NS_RETURNS_INNER_POINTER TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSArray<__covariant ObjectType> : NSObject <NSCopying, NSSecureCoding, NSFastEnumeration>
+ (instancetype)array TL_SINCE(10.0);
@property(readonly) NSUInteger count TL_SINCE(10.0);
- (BOOL)containsObject:(ObjectType)anObject TL_SINCE(10.0);
- (ObjectType)objectAtIndexedSubscript:(NSUInteger)idx TL_SINCE(10.8);
+ (instancetype)arrayWithObjects:(const ObjectType _Nonnull[_Nonnull])objects count:(NSUInteger)cnt TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSMutableArray<ObjectType> : NSArray<ObjectType>
+ (instancetype)arrayWithCapacity:(NSUInteger)numItems TL_SINCE(10.0);
- (void)addObject:(ObjectType)anObject TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSDictionary<__covariant KeyType, __covariant ObjectType> : NSObject <NSCopying, NSSecureCoding,
                                                                                               NSFastEnumeration>
- (nullable ObjectType)objectForKeyedSubscript:(KeyType)key TL_SINCE(10.8);
+ (instancetype)dictionaryWithObjects:(const ObjectType _Nonnull[_Nullable])objects
                              forKeys:(const KeyType<NSCopying> _Nonnull[_Nullable])keys
                                count:(NSUInteger)cnt TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSMutableDictionary<KeyType, ObjectType> : NSDictionary<KeyType, ObjectType>
+ (instancetype)dictionaryWithCapacity:(NSUInteger)numItems TL_SINCE(10.0);
- (void)setObject:(ObjectType)obj forKeyedSubscript:(KeyType<NSCopying>)key TL_SINCE(10.8);
@end

TL_SINCE(10.0) @interface NSValue : NSObject <NSCopying, NSSecureCoding>
@property(readonly) const char* objCType NS_RETURNS_INNER_POINTER TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSNumber : NSValue
+ (NSNumber*)numberWithBool:(BOOL)value TL_SINCE(10.0);
+ (NSNumber*)numberWithDouble:(double)value TL_SINCE(10.0);
+ (NSNumber*)numberWithLongLong:(long long)value TL_SINCE(10.0);
+ (NSNumber*)numberWithUnsignedLongLong:(unsigned long long)value TL_SINCE(10.0);
+ (NSNumber*)numberWithInt:(int)value TL_SINCE(10.0);
+ (NSNumber*)numberWithInteger:(NSInteger)value TL_SINCE(10.5);
@property(readonly) BOOL boolValue TL_SINCE(10.0);
@property(readonly) double doubleValue TL_SINCE(10.0);
@property(readonly) long long longLongValue TL_SINCE(10.0);
@property(readonly) unsigned long long unsignedLongLongValue TL_SINCE(10.0);
@end

typedef NSUInteger NSDataWritingOptions;
enum : NSDataWritingOptions { NSDataWritingAtomic = 1UL << 0 };

TL_SINCE(10.0) @interface NSData : NSObject <NSCopying, NSSecureCoding>
+ (instancetype)dataWithBytes:(nullable const void*)bytes length:(NSUInteger)length TL_SINCE(10.0);
@property(readonly) const void* bytes NS_RETURNS_INNER_POINTER TL_SINCE(10.0);
@property(readonly) NSUInteger length TL_SINCE(10.0);
- (BOOL)writeToFile:(NSString*)path options:(NSDataWritingOptions)writeOptionsMask error:(NSError**)errorPtr
    TL_SINCE(10.4);
@end

TL_SINCE(10.0) @interface NSDate : NSObject <NSCopying, NSSecureCoding>
+ (instancetype)date TL_SINCE(10.0);
+ (instancetype)dateWithTimeIntervalSince1970:(NSTimeInterval)secs TL_SINCE(10.0);
+ (instancetype)dateWithTimeIntervalSinceReferenceDate:(NSTimeInterval)ti TL_SINCE(10.0);
@property(readonly) NSTimeInterval timeIntervalSince1970 TL_SINCE(10.0);
@property(readonly) NSTimeInterval timeIntervalSinceReferenceDate TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSFormatter : NSObject <NSCopying, NSCoding>
@end

TL_SINCE(10.0) @interface NSDateFormatter : NSFormatter
@property(null_resettable, copy) NSString* dateFormat TL_SINCE(10.0);
- (NSString*)stringFromDate:(NSDate*)date TL_SINCE(10.0);
@end

typedef NSString* NSErrorDomain;
extern NSErrorDomain const NSPOSIXErrorDomain TL_SINCE(10.0);

TL_SINCE(10.0) @interface NSError : NSObject <NSCopying, NSSecureCoding>
+ (instancetype)errorWithDomain:(NSErrorDomain)domain code:(NSInteger)code
                       userInfo:(nullable NSDictionary<NSString*, id>*)dict TL_SINCE(10.0);
@property(readonly, copy) NSString* localizedDescription TL_SINCE(10.0);
@property(readonly) NSInteger code TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSException : NSObject <NSCopying, NSSecureCoding>
@property(nullable, readonly, copy) NSString* reason TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSURL : NSObject <NSSecureCoding, NSCopying>
+ (NSURL*)fileURLWithPath:(NSString*)path TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSBundle : NSObject
@property(class, readonly, strong) NSBundle* mainBundle TL_SINCE(10.0);
@property(nullable, readonly, copy) NSString* executablePath TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSProcessInfo : NSObject
@property(class, readonly, strong) NSProcessInfo* processInfo TL_SINCE(10.0);
@property(readonly) int processIdentifier TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSFileManager : NSObject
@property(class, readonly, strong) NSFileManager* defaultManager TL_SINCE(10.0);
- (BOOL)createDirectoryAtPath:(NSString*)path
    withIntermediateDirectories:(BOOL)createIntermediates
                     attributes:(nullable NSDictionary<NSString*, id>*)attributes
                          error:(NSError**)error TL_SINCE(10.5);
- (BOOL)fileExistsAtPath:(NSString*)path TL_SINCE(10.0);
- (BOOL)removeItemAtPath:(NSString*)path error:(NSError**)error TL_SINCE(10.5);
- (NSString*)stringWithFileSystemRepresentation:(const char*)str length:(NSUInteger)len TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSFileHandle : NSObject <NSSecureCoding>
+ (NSFileHandle*)fileHandleWithNullDevice TL_SINCE(10.0);
- (instancetype)initWithFileDescriptor:(int)fd closeOnDealloc:(BOOL)closeopt TL_SINCE(10.0);
- (BOOL)seekToEndReturningOffset:(out unsigned long long* _Nullable)offsetInFile error:(NSError**)error
    TL_SINCE(10.15);
- (BOOL)writeData:(NSData*)data error:(NSError**)error TL_SINCE(10.15);
- (BOOL)closeAndReturnError:(NSError**)error TL_SINCE(10.15);
@end

TL_SINCE(10.0) @interface NSTask : NSObject
- (instancetype)init TL_SINCE(10.0) NS_DESIGNATED_INITIALIZER;
@property(nullable, copy) NSURL* executableURL TL_SINCE(10.13);
@property(nullable, copy) NSArray<NSString*>* arguments TL_SINCE(10.0);
@property(nullable, retain) id standardOutput TL_SINCE(10.0);
@property(nullable, retain) id standardError TL_SINCE(10.0);
- (BOOL)launchAndReturnError:(out NSError**)error TL_SINCE(10.13);
- (void)waitUntilExit TL_SINCE(10.0);
@property(readonly) int terminationStatus TL_SINCE(10.0);
@property(readonly, getter=isRunning) BOOL running TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSTimer : NSObject
+ (NSTimer*)scheduledTimerWithTimeInterval:(NSTimeInterval)interval
                                   repeats:(BOOL)repeats
                                     block:(void (^)(NSTimer* timer))block TL_SINCE(10.12);
- (void)invalidate TL_SINCE(10.0);
@property(readonly, getter=isValid) BOOL valid TL_SINCE(10.0);
@end

typedef NSString* NSNotificationName;
TL_SINCE(10.0) @interface NSNotification : NSObject <NSCopying, NSCoding>
@property(readonly, copy) NSNotificationName name TL_SINCE(10.0);
@property(nullable, readonly, retain) id object TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSNotificationCenter : NSObject
@property(class, readonly, strong) NSNotificationCenter* defaultCenter TL_SINCE(10.0);
- (id<NSObject>)addObserverForName:(nullable NSNotificationName)name
                            object:(nullable id)obj
                             queue:(nullable NSOperationQueue*)queue
                        usingBlock:(void (^)(NSNotification* notification))block TL_SINCE(10.6);
- (void)removeObserver:(id)observer TL_SINCE(10.0);
@end

TL_SINCE(10.0) @interface NSUserDefaults : NSObject
@property(class, readonly, strong) NSUserDefaults* standardUserDefaults TL_SINCE(10.0);
- (nullable id)objectForKey:(NSString*)defaultName TL_SINCE(10.0);
- (void)setObject:(nullable id)value forKey:(NSString*)defaultName TL_SINCE(10.0);
- (void)removeObjectForKey:(NSString*)defaultName TL_SINCE(10.0);
- (BOOL)boolForKey:(NSString*)defaultName TL_SINCE(10.0);
- (double)doubleForKey:(NSString*)defaultName TL_SINCE(10.0);
- (NSInteger)integerForKey:(NSString*)defaultName TL_SINCE(10.0);
- (void)setBool:(BOOL)value forKey:(NSString*)defaultName TL_SINCE(10.0);
- (void)setDouble:(double)value forKey:(NSString*)defaultName TL_SINCE(10.0);
- (void)setInteger:(NSInteger)value forKey:(NSString*)defaultName TL_SINCE(10.0);
- (void)registerDefaults:(NSDictionary<NSString*, id>*)registrationDictionary TL_SINCE(10.0);
@end

#ifdef __cplusplus
extern "C" {
#endif
void NSLog(NSString* format, ...) NS_FORMAT_FUNCTION(1, 2) TL_SINCE(10.0);
NSString* NSHomeDirectory(void) TL_SINCE(10.0);
SEL _Nullable NSSelectorFromString(NSString* aSelectorName) TL_SINCE(10.0);
NSString* NSStringFromSelector(SEL aSelector) TL_SINCE(10.0);
#ifdef __cplusplus
}
#endif

static inline NSPoint NSMakePoint(CGFloat x, CGFloat y) { return NSPoint{x, y}; }
static inline NSSize NSMakeSize(CGFloat w, CGFloat h) { return NSSize{w, h}; }
static inline NSRect NSMakeRect(CGFloat x, CGFloat y, CGFloat w, CGFloat h) { return NSRect{{x, y}, {w, h}}; }
static inline CGFloat NSMinX(NSRect r) { return r.origin.x; }
static inline CGFloat NSMaxY(NSRect r) { return r.origin.y + r.size.height; }
static inline CGFloat NSWidth(NSRect r) { return r.size.width; }
extern const NSRect NSZeroRect TL_SINCE(10.0);

NS_ASSUME_NONNULL_END

#include <dispatch/dispatch.h>
#include <darwin_stdio.h>
