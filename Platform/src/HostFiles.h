/*
 * What the host services that read and write files share: messages for callers who pass a
 * buffer that may be null or empty, and ownership of the property lists they read.
 */
#ifndef PLATFORM_HOSTFILES_H
#define PLATFORM_HOSTFILES_H

#include "Platform/PropertyList.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <memory>

namespace platform {

__attribute__((format(printf, 3, 4))) inline void
WriteErrorText(char* errorText, std::size_t errorSize, const char* format, ...) {
    if (errorText == nullptr || errorSize == 0) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(errorText, errorSize, format, arguments);
    va_end(arguments);
}

struct ReleasePropertyList {
    void operator()(CFPropertyListRef plist) const { CFRelease(plist); }
};
using OwnedPropertyList = std::unique_ptr<const void, ReleasePropertyList>;

} // namespace platform

#endif
