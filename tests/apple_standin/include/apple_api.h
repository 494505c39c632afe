// The part of Apple's C API (Core Foundation, HIServices accessibility, Core
// Graphics events) that the macOS backend and its tests use, declared as
// Apple's headers declare it: the types and constants here, the functions
// from ../calls.def. Only builds without macOS put this folder on the
// include path; standin.cpp implements it.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

extern "C" {

typedef unsigned char Boolean;
typedef unsigned short UniChar;
typedef unsigned long CFTypeID, CFOptionFlags, CFHashCode, CFStringCompareFlags;
typedef long CFIndex;
typedef const void* CFTypeRef;
typedef const struct __CFAllocator* CFAllocatorRef;
typedef const struct __CFString* CFStringRef;
typedef const struct __CFAttributedString* CFAttributedStringRef;
typedef const struct __CFNumber* CFNumberRef;
typedef const struct __CFBoolean* CFBooleanRef;
typedef const struct __CFArray* CFArrayRef;
typedef const struct __CFDictionary* CFDictionaryRef;
typedef const struct __AXUIElement* AXUIElementRef;
typedef const struct __AXValue* AXValueRef;
typedef struct __CGEvent* CGEventRef;
typedef struct __CGEventSource* CGEventSourceRef;
typedef struct CGImage* CGImageRef;
typedef struct CGContext* CGContextRef;
typedef struct CGColorSpace* CGColorSpaceRef;

struct CFRange { CFIndex location, length; };
struct CGPoint { double x, y; };
struct CGSize { double width, height; };
struct CGRect { CGPoint origin; CGSize size; };
struct CFArrayCallBacks { CFIndex version; };
inline CFRange CFRangeMake(CFIndex location, CFIndex length) { return {location, length}; }
inline CGPoint CGPointMake(double x, double y) { return {x, y}; }
inline CGRect CGRectMake(double x, double y, double w, double h) { return {{x, y}, {w, h}}; }

// Only the enumerators somebody names; the others exist as plain numbers.
enum CFComparisonResult : CFIndex { kCFCompareLessThan = -1, kCFCompareEqualTo, kCFCompareGreaterThan };
enum : CFOptionFlags { kCFCompareCaseInsensitive = 1, kCFCompareDiacriticInsensitive = 128 };
enum CFNumberType : CFIndex { kCFNumberSInt64Type = 4, kCFNumberFloat64Type = 6, kCFNumberDoubleType = 13 };
enum AXError : int32_t { kAXErrorSuccess = 0, kAXErrorFailure = -25200, kAXErrorInvalidUIElement = -25202,
                         kAXErrorCannotComplete = -25204, kAXErrorNoValue = -25212 };
enum AXValueType : uint32_t { kAXValueTypeCGPoint = 1, kAXValueTypeCGSize, kAXValueTypeCGRect };
typedef uint32_t CGEventType, CGMouseButton, CGDirectDisplayID;
typedef int32_t CGError;
typedef uint16_t CGKeyCode;
typedef uint64_t CGEventFlags;
typedef unsigned long UniCharCount;
enum CGScrollEventUnit : uint32_t { kCGScrollEventUnitPixel = 0 };
enum CGEventTapLocation : uint32_t { kCGHIDEventTap = 0 };
enum : uint32_t { kCGImageAlphaNoneSkipFirst = 6, kCGBitmapByteOrder32Little = 2 << 12 };

extern const CFAllocatorRef kCFAllocatorDefault;
extern const CFBooleanRef kCFBooleanTrue, kCFBooleanFalse;
extern const CFArrayCallBacks kCFTypeArrayCallBacks;
extern const CFStringRef kCGColorSpaceSRGB;
// Written out in standin.cpp.
size_t CGImageGetWidth(CGImageRef image);
size_t CGImageGetHeight(CGImageRef image);

#define X(kind, Ret, name, params, ...) Ret name params;
#include "../calls.def"
#undef X

}  // extern "C"
