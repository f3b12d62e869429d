/*
 * Property lists as XML files: dictionaries, arrays, strings, integer and real numbers, and data
 * (base64). Reading validates everything; a malformed document gives null and a message.
 */
#ifndef PLATFORM_PLISTXML_H
#define PLATFORM_PLISTXML_H

#include "Platform/PropertyList.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The XML text of a property list as a new data object, or null (message in errorText) when the
 * list holds something XML property lists cannot express. */
PLATFORM_API CFDataRef PlatformPropertyListCreateXMLData(CFPropertyListRef plist, char* errorText,
                                                         size_t errorSize);
/* Parses XML text; the caller owns the result. Null with a message on any fault. */
PLATFORM_API CFPropertyListRef PlatformPropertyListCreateFromXMLData(const void* bytes,
                                                                     size_t length, char* errorText,
                                                                     size_t errorSize);
/* Writes atomically (a temporary file beside path, then rename). 0, or -1 with a message that
 * names the file. */
PLATFORM_API int PlatformPropertyListWriteFile(CFPropertyListRef plist, const char* path,
                                               char* errorText, size_t errorSize);
/* Reads and parses a file; null with a message that names the file. */
PLATFORM_API CFPropertyListRef PlatformPropertyListReadFile(const char* path, char* errorText,
                                                            size_t errorSize);

#ifdef __cplusplus
}
#endif

#endif
