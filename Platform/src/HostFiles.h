/*
 * What the host services that read and write files share: messages for callers who pass a
 * buffer that may be null or empty, and ownership of the property lists they read.
 */
#ifndef PLATFORM_HOSTFILES_H
#define PLATFORM_HOSTFILES_H

#include "Platform/PropertyList.h"

#include "Utf8.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// The one writer of every message the platform's C calls hand back. A host prints the buffer as
// text, so a message too long for it is cut before the character that does not fit, never inside.
inline void WriteErrorText(char* errorText, std::size_t errorSize, std::string_view message) {
    if (errorText == nullptr || errorSize == 0) {
        return;
    }
    const std::size_t length = platform_utf8::prefixFitting(message, errorSize - 1);
    if (length > 0) {
        std::memcpy(errorText, message.data(), length);
    }
    errorText[length] = '\0';
}

__attribute__((format(printf, 3, 4))) inline void
WriteErrorText(char* errorText, std::size_t errorSize, const char* format, ...) {
    if (errorText == nullptr || errorSize == 0) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    va_list measuring;
    va_copy(measuring, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    std::string message(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
    std::vsnprintf(message.data(), message.size() + 1, format, arguments);
    va_end(arguments);
    WriteErrorText(errorText, errorSize, message);
}

struct ReleasePropertyList {
    void operator()(CFPropertyListRef plist) const { CFRelease(plist); }
};
using OwnedPropertyList = std::unique_ptr<const void, ReleasePropertyList>;

} // namespace platform

#endif
