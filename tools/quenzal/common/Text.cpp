#include "Text.h"

#include <charconv>
#include <cstdio>

namespace quenzal {
namespace {

template <class Number> std::string Shortest(Number value) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

} // namespace

std::string NumberText(float value) {
    return Shortest(value);
}

std::string NumberText(double value) {
    return Shortest(value);
}

std::string CodeText(OSType code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((code >> shift) & 0xFF);
        if (c < 0x20 || c > 0x7E) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
            return hex;
        }
        text += c;
    }
    return text;
}

} // namespace quenzal
