// UTF-8 checks shared by the string objects and the XML reader and writer.
#ifndef PLATFORM_SRC_UTF8_H
#define PLATFORM_SRC_UTF8_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform_utf8 {

inline bool isContinuation(unsigned char c) {
    return (c & 0xC0) == 0x80;
}

// Length of the well-formed sequence that starts at text[at], or 0 when it is malformed
// (overlong forms, surrogates and code points above U+10FFFF are malformed).
inline size_t sequenceLength(std::string_view text, size_t at) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[at + k]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80)
        return 1;
    size_t length = 0;
    unsigned char secondLow = 0x80, secondHigh = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        secondLow = lead == 0xE0 ? 0xA0 : 0x80;
        secondHigh = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        secondLow = lead == 0xF0 ? 0x90 : 0x80;
        secondHigh = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() - at < length || byte(1) < secondLow || byte(1) > secondHigh)
        return 0;
    for (size_t k = 2; k < length; ++k) {
        if (!isContinuation(byte(k)))
            return 0;
    }
    return length;
}

// The code point of the well-formed sequence of the given length at text[at].
inline uint32_t codePointAt(std::string_view text, size_t at, size_t length) {
    static constexpr unsigned char kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    uint32_t codePoint = static_cast<unsigned char>(text[at]) & kLeadMask[length];
    for (size_t k = 1; k < length; ++k)
        codePoint = (codePoint << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
    return codePoint;
}

// The characters an XML 1.0 document may hold, literally or as a character reference.
inline bool isXmlChar(uint32_t codePoint) {
    return codePoint == 0x9 || codePoint == 0xA || codePoint == 0xD ||
           (codePoint >= 0x20 && codePoint <= 0xD7FF) ||
           (codePoint >= 0xE000 && codePoint <= 0xFFFD) ||
           (codePoint >= 0x10000 && codePoint <= 0x10FFFF);
}

// Appends the UTF-8 form of a code point of at most U+10FFFF.
inline void appendCodePoint(std::string& text, uint32_t codePoint) {
    const auto put = [&](uint32_t bits) { text.push_back(static_cast<char>(bits)); };
    if (codePoint < 0x80) {
        put(codePoint);
    } else if (codePoint < 0x800) {
        put(0xC0 | (codePoint >> 6));
        put(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        put(0xE0 | (codePoint >> 12));
        put(0x80 | ((codePoint >> 6) & 0x3F));
        put(0x80 | (codePoint & 0x3F));
    } else {
        put(0xF0 | (codePoint >> 18));
        put(0x80 | ((codePoint >> 12) & 0x3F));
        put(0x80 | ((codePoint >> 6) & 0x3F));
        put(0x80 | (codePoint & 0x3F));
    }
}

// Offset of the first malformed byte, or text.size() when the whole text is well-formed.
inline size_t firstInvalidOffset(std::string_view text) {
    size_t at = 0;
    while (at < text.size()) {
        const size_t length = sequenceLength(text, at);
        if (length == 0)
            return at;
        at += length;
    }
    return at;
}

inline bool isValid(std::string_view text) {
    return firstInvalidOffset(text) == text.size();
}

inline size_t asciiPrefixLength(std::string_view text) {
    size_t at = 0;
    while (at < text.size() && static_cast<unsigned char>(text[at]) < 0x80)
        ++at;
    return at;
}

// The longest prefix of well-formed text that fits in maxBytes without splitting a character.
inline size_t prefixFitting(std::string_view text, size_t maxBytes) {
    if (maxBytes >= text.size())
        return text.size();
    size_t end = maxBytes;
    while (end > 0 && isContinuation(static_cast<unsigned char>(text[end])))
        --end;
    return end;
}

} // namespace platform_utf8

#endif
