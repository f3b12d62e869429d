/*
 * Property lists as XML files: dictionaries, arrays, strings, integer and real numbers, and data
 * (base64). Reading validates everything.
 *
 * Every call returns noErr, paramErr for a missing argument, memFullErr, or kPlatformErr_Failed,
 * and on failure writes a message into errorText (which may be null, or errorSize 0). A result
 * handed out through an out-parameter belongs to the caller; on failure it is set to null.
 */
#ifndef PLATFORM_PLISTXML_H
#define PLATFORM_PLISTXML_H

#include "Platform/AudioTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* [any thread, plist not changing] The XML text of a property list as a new data object; fails when
 * the list holds something XML property lists cannot express. */
PLATFORM_API OSStatus PlatformPropertyListCreateXMLData(CFPropertyListRef plist, CFDataRef* outData,
                                                        char* errorText, size_t errorSize);
/* [any thread] Parses the caller's XML text. */
PLATFORM_API OSStatus PlatformPropertyListCreateFromXMLData(const void* bytes, size_t length,
                                                            CFPropertyListRef* outPlist,
                                                            char* errorText, size_t errorSize);
/* [any thread, plist not changing] Writes atomically (a temporary file beside path, then rename);
 * the message names the file. */
PLATFORM_API OSStatus PlatformPropertyListWriteFile(CFPropertyListRef plist, const char* path,
                                                    char* errorText, size_t errorSize);
/* [any thread] Reads and parses a file; the message names the file. */
PLATFORM_API OSStatus PlatformPropertyListReadFile(const char* path, CFPropertyListRef* outPlist,
                                                   char* errorText, size_t errorSize);

#ifdef __cplusplus
}
#endif

#endif
