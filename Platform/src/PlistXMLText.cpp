// Text helpers of the XML reader and writer: base64 for the <data> elements (the standard
// alphabet with '=' padding; whitespace between characters is allowed on reading, nothing else
// is), and the shortening of values quoted in messages.
#include "PlistXMLInternal.h"
#include "Utf8.h"

#include <array>
#include <cstdio>

namespace platform_xml {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int8_t kNotInAlphabet = -1;

constexpr std::array<int8_t, 256> makeDecodeTable() {
    std::array<int8_t, 256> table{};
    table.fill(kNotInAlphabet);
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
    return table;
}

constexpr std::array<int8_t, 256> kDecodeTable = makeDecodeTable();

bool isWhitespace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string withoutWhitespace(std::string_view text) {
    std::string compact;
    compact.reserve(text.size());
    for (char c : text) {
        if (!isWhitespace(c))
            compact.push_back(c);
    }
    return compact;
}

} // namespace

std::string encodeBase64(const uint8_t* bytes, size_t length) {
    std::string text;
    text.reserve((length + 2) / 3 * 4);
    for (size_t at = 0; at < length; at += 3) {
        const size_t count = length - at < 3 ? length - at : 3;
        uint32_t group = static_cast<uint32_t>(bytes[at]) << 16;
        if (count > 1)
            group |= static_cast<uint32_t>(bytes[at + 1]) << 8;
        if (count > 2)
            group |= bytes[at + 2];
        for (size_t k = 0; k < 4; ++k)
            text.push_back(k <= count ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=');
    }
    return text;
}

bool decodeBase64(std::string_view text, std::vector<uint8_t>& bytes) {
    const std::string compact = withoutWhitespace(text);
    if (compact.size() % 4 != 0)
        return false;
    const size_t padding = compact.ends_with("==") ? 2 : compact.ends_with('=') ? 1 : 0;
    bytes.clear();
    bytes.reserve(compact.size() / 4 * 3);
    for (size_t at = 0; at < compact.size(); at += 4) {
        const bool last = at + 4 == compact.size();
        const size_t symbols = last ? 4 - padding : 4;
        uint32_t group = 0;
        for (size_t k = 0; k < 4; ++k) {
            const int8_t value =
                k < symbols ? kDecodeTable[static_cast<unsigned char>(compact[at + k])] : 0;
            if (value == kNotInAlphabet)
                return false;
            group = (group << 6) | static_cast<uint32_t>(value);
        }
        for (size_t k = 0; k + 1 < symbols; ++k)
            bytes.push_back(static_cast<uint8_t>(group >> (16 - 8 * k)));
    }
    return true;
}

std::string shortened(std::string_view text) {
    constexpr size_t kMostShown = 40;
    const size_t shown = platform_utf8::prefixFitting(text, kMostShown);
    std::string result(text.substr(0, shown));
    if (shown < text.size())
        result.append("...");
    return result;
}

std::string codePointText(uint32_t codePoint) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(codePoint));
    return text;
}

std::string quoted(std::string_view text) {
    std::string result = "'";
    result.append(shortened(text)).push_back('\'');
    return result;
}

} // namespace platform_xml
