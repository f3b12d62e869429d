// The pieces of the XML property-list reader and writer that the public functions put together.
#ifndef PLATFORM_SRC_PLISTXMLINTERNAL_H
#define PLATFORM_SRC_PLISTXMLINTERNAL_H

#include "Platform/PropertyList.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform_xml {

// Containers may nest this deep and no deeper, in both directions: a hostile file must not
// exhaust the stack, and neither may a cyclic container handed to the writer.
constexpr int kMaxNesting = 512;

struct Releaser {
    void operator()(const void* object) const { CFRelease(object); }
};
using OwnedRef = std::unique_ptr<const void, Releaser>;

// The XML text of plist; on failure an empty result and a message in error.
std::optional<std::string> writePlist(CFPropertyListRef plist, std::string& error);

// The property list in an XML text; on failure null and a message ("line N: ...") in error.
OwnedRef readPlist(std::string_view text, std::string& error);

std::string encodeBase64(const uint8_t* bytes, size_t length);
// False on any character outside the alphabet and whitespace, or on wrong padding.
bool decodeBase64(std::string_view text, std::vector<uint8_t>& bytes);

// Text for a message: at most a few dozen bytes of it, cut on a character boundary.
std::string shortened(std::string_view text);
// The same in single quotes.
std::string quoted(std::string_view text);
// "U+0001" and the like.
std::string codePointText(uint32_t codePoint);

} // namespace platform_xml

#endif
