/*
 * Reference-counted property-list objects: strings, arrays, dictionaries, numbers and data.
 *
 * A created object belongs to its creator, who releases it once. Containers made with the
 * retaining callbacks add their own reference to what they store. Look-ups return borrowed
 * references. Constant strings (CFSTR) live for the whole program and ignore retain and release.
 * All functions are safe to call from several threads on different objects; retain and release
 * are atomic.
 */
#ifndef PLATFORM_PROPERTYLIST_H
#define PLATFORM_PROPERTYLIST_H

#include <stddef.h>
#include <stdint.h>

#if defined(PLATFORM_BUILDING)
#define PLATFORM_API __attribute__((visibility("default")))
#else
#define PLATFORM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef long CFIndex;
typedef unsigned long CFTypeID;
typedef uint32_t CFStringEncoding;
typedef unsigned char CFBoolean_t;

typedef const void* CFTypeRef;
typedef const void* CFPropertyListRef;
typedef const struct PLString* CFStringRef;
typedef const struct PLArray* CFArrayRef;
typedef struct PLArray* CFMutableArrayRef;
typedef const struct PLDictionary* CFDictionaryRef;
typedef struct PLDictionary* CFMutableDictionaryRef;
typedef const struct PLNumber* CFNumberRef;
typedef const struct PLData* CFDataRef;
typedef struct PLData* CFMutableDataRef;
typedef const struct PLAllocator* CFAllocatorRef;

#define kCFAllocatorDefault ((CFAllocatorRef)0)

enum { kCFStringEncodingASCII = 0x0600, kCFStringEncodingUTF8 = 0x08000100 };

typedef enum {
    kCFNumberSInt32Type = 3,
    kCFNumberSInt64Type = 4,
    kCFNumberFloat32Type = 5,
    kCFNumberFloat64Type = 6,
    kCFNumberFloatType = 12,
    kCFNumberDoubleType = 13
} CFNumberType;

/* Callback sets: only whether the container retains what it stores is configurable. */
typedef struct CFArrayCallBacks {
    int retainsValues;
} CFArrayCallBacks;
typedef struct CFDictionaryKeyCallBacks {
    int retainsKeys;
} CFDictionaryKeyCallBacks;
typedef struct CFDictionaryValueCallBacks {
    int retainsValues;
} CFDictionaryValueCallBacks;

PLATFORM_API extern const CFArrayCallBacks kCFTypeArrayCallBacks;
PLATFORM_API extern const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
PLATFORM_API extern const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;

/* ---- every object ---- */
PLATFORM_API CFTypeRef CFRetain(CFTypeRef object);
PLATFORM_API void CFRelease(CFTypeRef object);
PLATFORM_API CFIndex CFGetRetainCount(CFTypeRef object);
PLATFORM_API CFTypeID CFGetTypeID(CFTypeRef object);
/* Equal strings, numbers of equal value, equal bytes, element-wise equal containers. */
PLATFORM_API CFBoolean_t CFEqual(CFTypeRef a, CFTypeRef b);

PLATFORM_API CFTypeID CFStringGetTypeID(void);
PLATFORM_API CFTypeID CFArrayGetTypeID(void);
PLATFORM_API CFTypeID CFDictionaryGetTypeID(void);
PLATFORM_API CFTypeID CFNumberGetTypeID(void);
PLATFORM_API CFTypeID CFDataGetTypeID(void);

/* Objects created and not yet destroyed, constant strings excluded: tests prove no leak. */
PLATFORM_API long PlatformLiveObjectCount(void);

/* ---- strings ---- */
/* The interned, program-lifetime string for a literal. */
PLATFORM_API CFStringRef CFStringMakeConstantString(const char* cStr);
#define CFSTR(literal) CFStringMakeConstantString("" literal "")

/* Null when cStr is null or is not valid text in the encoding. */
PLATFORM_API CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr,
                                                   CFStringEncoding encoding);
/* Writes NUL-terminated text into buffer; false (with the text truncated to fit) when it did
 * not fit or the string has characters the encoding cannot express. */
PLATFORM_API CFBoolean_t CFStringGetCString(CFStringRef str, char* buffer, CFIndex bufferSize,
                                            CFStringEncoding encoding);
/* Length in UTF-8 bytes. */
PLATFORM_API CFIndex CFStringGetLength(CFStringRef str);
/* The UTF-8 text, valid while the string lives. */
PLATFORM_API const char* PlatformStringUTF8(CFStringRef str);

/* ---- arrays ---- */
PLATFORM_API CFArrayRef CFArrayCreate(CFAllocatorRef alloc, const void** values, CFIndex count,
                                      const CFArrayCallBacks* callBacks);
PLATFORM_API CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef alloc, CFIndex capacity,
                                                    const CFArrayCallBacks* callBacks);
PLATFORM_API void CFArrayAppendValue(CFMutableArrayRef array, const void* value);
PLATFORM_API CFIndex CFArrayGetCount(CFArrayRef array);
PLATFORM_API const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index);

/* ---- dictionaries (keys compared with CFEqual) ---- */
PLATFORM_API CFMutableDictionaryRef CFDictionaryCreateMutable(
    CFAllocatorRef alloc, CFIndex capacity, const CFDictionaryKeyCallBacks* keyCallBacks,
    const CFDictionaryValueCallBacks* valueCallBacks);
PLATFORM_API void CFDictionarySetValue(CFMutableDictionaryRef dict, const void* key,
                                       const void* value);
PLATFORM_API void CFDictionaryRemoveValue(CFMutableDictionaryRef dict, const void* key);
PLATFORM_API const void* CFDictionaryGetValue(CFDictionaryRef dict, const void* key);
PLATFORM_API CFBoolean_t CFDictionaryGetValueIfPresent(CFDictionaryRef dict, const void* key,
                                                       const void** value);
PLATFORM_API CFBoolean_t CFDictionaryContainsKey(CFDictionaryRef dict, const void* key);
PLATFORM_API CFIndex CFDictionaryGetCount(CFDictionaryRef dict);
/* Keys and values in insertion order; either array may be null. */
PLATFORM_API void CFDictionaryGetKeysAndValues(CFDictionaryRef dict, const void** keys,
                                               const void** values);

/* ---- numbers ---- */
PLATFORM_API CFNumberRef CFNumberCreate(CFAllocatorRef alloc, CFNumberType type,
                                        const void* valuePtr);
PLATFORM_API CFNumberType CFNumberGetType(CFNumberRef number);
/* Converts to the requested type; true when the value is represented exactly. */
PLATFORM_API CFBoolean_t CFNumberGetValue(CFNumberRef number, CFNumberType type, void* valuePtr);
PLATFORM_API CFBoolean_t CFNumberIsFloatType(CFNumberRef number);

/* ---- data ---- */
PLATFORM_API CFDataRef CFDataCreate(CFAllocatorRef alloc, const uint8_t* bytes, CFIndex length);
PLATFORM_API CFMutableDataRef CFDataCreateMutable(CFAllocatorRef alloc, CFIndex capacity);
PLATFORM_API void CFDataAppendBytes(CFMutableDataRef data, const uint8_t* bytes, CFIndex length);
PLATFORM_API const uint8_t* CFDataGetBytePtr(CFDataRef data);
PLATFORM_API CFIndex CFDataGetLength(CFDataRef data);

#ifdef __cplusplus
}
#endif

#endif
