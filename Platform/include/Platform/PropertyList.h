/*
 * Reference-counted property-list objects: strings, arrays, dictionaries, numbers and data.
 *
 * A created object belongs to its creator, who releases it once. Containers made with the
 * retaining callbacks add their own reference to what they store. Look-ups return borrowed
 * references. Constant strings (CFSTR) live for the whole program and ignore retain and release.
 * Every call may be made from any thread. Retain and release are atomic, and reading an object
 * that no thread changes needs no care; a mutable object changes on one thread at a time, and no
 * other thread reads it meanwhile. Creating allocates, so none of this belongs on a render path.
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
/* [any thread] Adds a reference that the caller owns; returns object. */
PLATFORM_API CFTypeRef CFRetain(CFTypeRef object);
/* [any thread] Gives up one reference the caller owns; the last one frees the object. */
PLATFORM_API void CFRelease(CFTypeRef object);
/* [any thread] */
PLATFORM_API CFIndex CFGetRetainCount(CFTypeRef object);
/* [any thread] */
PLATFORM_API CFTypeID CFGetTypeID(CFTypeRef object);
/* [any thread, neither object changing] Equal strings, numbers of equal value, equal bytes,
 * element-wise equal containers. */
PLATFORM_API CFBoolean_t CFEqual(CFTypeRef a, CFTypeRef b);

/* [any thread] The type identifiers that CFGetTypeID answers. */
PLATFORM_API CFTypeID CFStringGetTypeID(void);
PLATFORM_API CFTypeID CFArrayGetTypeID(void);
PLATFORM_API CFTypeID CFDictionaryGetTypeID(void);
PLATFORM_API CFTypeID CFNumberGetTypeID(void);
PLATFORM_API CFTypeID CFDataGetTypeID(void);

/* [any thread] Objects created and not yet destroyed, constant strings excluded: tests prove no
 * leak. */
PLATFORM_API long PlatformLiveObjectCount(void);

/* ---- strings ---- */
/* [any thread] The interned, program-lifetime string for a literal; nobody needs to release it. */
PLATFORM_API CFStringRef CFStringMakeConstantString(const char* cStr);
#define CFSTR(literal) CFStringMakeConstantString("" literal "")

/* [any thread] The caller owns the new string. Null when cStr is null or is not valid text in the
 * encoding. */
PLATFORM_API CFStringRef CFStringCreateWithCString(CFAllocatorRef alloc, const char* cStr,
                                                   CFStringEncoding encoding);
/* [any thread] Writes NUL-terminated text into the caller's buffer; false (with the text truncated
 * to fit) when it did not fit or the string has characters the encoding cannot express. */
PLATFORM_API CFBoolean_t CFStringGetCString(CFStringRef str, char* buffer, CFIndex bufferSize,
                                            CFStringEncoding encoding);
/* [any thread] Length in UTF-8 bytes. */
PLATFORM_API CFIndex CFStringGetLength(CFStringRef str);
/* [any thread] The UTF-8 text, borrowed: valid while the string lives. */
PLATFORM_API const char* PlatformStringUTF8(CFStringRef str);

/* ---- arrays ---- */
/* [any thread] The caller owns the new array; it retains values when callBacks say so. */
PLATFORM_API CFArrayRef CFArrayCreate(CFAllocatorRef alloc, const void** values, CFIndex count,
                                      const CFArrayCallBacks* callBacks);
/* [any thread] The caller owns the new array. */
PLATFORM_API CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef alloc, CFIndex capacity,
                                                    const CFArrayCallBacks* callBacks);
/* [the array's one writing thread] */
PLATFORM_API void CFArrayAppendValue(CFMutableArrayRef array, const void* value);
/* [any thread, the array not changing] */
PLATFORM_API CFIndex CFArrayGetCount(CFArrayRef array);
/* [any thread, the array not changing] Borrowed. */
PLATFORM_API const void* CFArrayGetValueAtIndex(CFArrayRef array, CFIndex index);

/* ---- dictionaries (keys compared with CFEqual) ---- */
/* [any thread] The caller owns the new dictionary. */
PLATFORM_API CFMutableDictionaryRef CFDictionaryCreateMutable(
    CFAllocatorRef alloc, CFIndex capacity, const CFDictionaryKeyCallBacks* keyCallBacks,
    const CFDictionaryValueCallBacks* valueCallBacks);
/* [the dictionary's one writing thread] */
PLATFORM_API void CFDictionarySetValue(CFMutableDictionaryRef dict, const void* key,
                                       const void* value);
/* [the dictionary's one writing thread] */
PLATFORM_API void CFDictionaryRemoveValue(CFMutableDictionaryRef dict, const void* key);
/* [any thread, the dictionary not changing] Borrowed, or null. */
PLATFORM_API const void* CFDictionaryGetValue(CFDictionaryRef dict, const void* key);
/* [any thread, the dictionary not changing] *value is borrowed. */
PLATFORM_API CFBoolean_t CFDictionaryGetValueIfPresent(CFDictionaryRef dict, const void* key,
                                                       const void** value);
/* [any thread, the dictionary not changing] */
PLATFORM_API CFBoolean_t CFDictionaryContainsKey(CFDictionaryRef dict, const void* key);
/* [any thread, the dictionary not changing] */
PLATFORM_API CFIndex CFDictionaryGetCount(CFDictionaryRef dict);
/* [any thread, the dictionary not changing] Borrowed keys and values in insertion order into the
 * caller's arrays, either of which may be null. */
PLATFORM_API void CFDictionaryGetKeysAndValues(CFDictionaryRef dict, const void** keys,
                                               const void** values);

/* ---- numbers ---- */
/* [any thread] The caller owns the new number. */
PLATFORM_API CFNumberRef CFNumberCreate(CFAllocatorRef alloc, CFNumberType type,
                                        const void* valuePtr);
/* [any thread] */
PLATFORM_API CFNumberType CFNumberGetType(CFNumberRef number);
/* [any thread] Converts to the requested type; true when the value is represented exactly. */
PLATFORM_API CFBoolean_t CFNumberGetValue(CFNumberRef number, CFNumberType type, void* valuePtr);
/* [any thread] */
PLATFORM_API CFBoolean_t CFNumberIsFloatType(CFNumberRef number);

/* ---- data ---- */
/* [any thread] The caller owns the new data, a copy of bytes. */
PLATFORM_API CFDataRef CFDataCreate(CFAllocatorRef alloc, const uint8_t* bytes, CFIndex length);
/* [any thread] The caller owns the new data. */
PLATFORM_API CFMutableDataRef CFDataCreateMutable(CFAllocatorRef alloc, CFIndex capacity);
/* [the data's one writing thread] bytes may lie inside the data itself. */
PLATFORM_API void CFDataAppendBytes(CFMutableDataRef data, const uint8_t* bytes, CFIndex length);
/* [any thread, the data not changing] Borrowed until the data changes or dies. */
PLATFORM_API const uint8_t* CFDataGetBytePtr(CFDataRef data);
/* [any thread, the data not changing] */
PLATFORM_API CFIndex CFDataGetLength(CFDataRef data);

#ifdef __cplusplus
}
#endif

#endif
