// Writes a property list as XML: tab-indented, dictionary entries in insertion order, so the
// same list always gives the same bytes and a file read and written again is unchanged.
#include "PlistXMLInternal.h"
#include "Utf8.h"

#include <charconv>
#include <cmath>
#include <vector>

namespace platform_xml {

namespace {

struct WriteError {
    std::string message;
};

// Reals in the shortest form that reads back to the same double.
std::string realText(double value) {
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value > 0 ? "inf" : "-inf";
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// Escapes markup, and carriage returns, which a reader would otherwise turn into line feeds.
void appendEscaped(std::string& out, std::string_view text) {
    size_t at = 0;
    while (at < text.size()) {
        const size_t length = platform_utf8::sequenceLength(text, at);
        if (length == 0)
            throw WriteError{"a string is not valid UTF-8"};
        const uint32_t codePoint = platform_utf8::codePointAt(text, at, length);
        if (!platform_utf8::isXmlChar(codePoint))
            throw WriteError{"string " + quoted(text) + " holds " + codePointText(codePoint) +
                             ", which XML cannot represent"};
        switch (text[at]) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '\r':
            out += "&#13;";
            break;
        default:
            out.append(text.substr(at, length));
        }
        at += length;
    }
}

class Writer {
public:
    std::string write(CFPropertyListRef plist) {
        mOut = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n";
        writeValue(plist, 0);
        mOut += "</plist>\n";
        return std::move(mOut);
    }

private:
    void writeValue(CFTypeRef value, int depth) {
        const CFTypeID type = CFGetTypeID(value);
        if (type == CFStringGetTypeID())
            writeText("string", static_cast<CFStringRef>(value), depth);
        else if (type == CFNumberGetTypeID())
            writeNumber(static_cast<CFNumberRef>(value), depth);
        else if (type == CFDataGetTypeID())
            writeData(static_cast<CFDataRef>(value), depth);
        else if (type == CFArrayGetTypeID())
            writeArray(static_cast<CFArrayRef>(value), depth);
        else if (type == CFDictionaryGetTypeID())
            writeDictionary(static_cast<CFDictionaryRef>(value), depth);
        else
            throw WriteError{"a value is not a property-list object"};
    }

    void openLine(int depth) { mOut.append(static_cast<size_t>(depth), '\t'); }

    void writeElement(const char* name, std::string_view content, int depth) {
        openLine(depth);
        mOut.append("<").append(name).append(">");
        mOut.append(content);
        mOut.append("</").append(name).append(">\n");
    }

    void writeText(const char* name, CFStringRef string, int depth) {
        std::string escaped;
        appendEscaped(escaped, PlatformStringUTF8(string));
        writeElement(name, escaped, depth);
    }

    void writeNumber(CFNumberRef number, int depth) {
        if (CFNumberIsFloatType(number)) {
            double real = 0.0;
            CFNumberGetValue(number, kCFNumberFloat64Type, &real);
            writeElement("real", realText(real), depth);
        } else {
            int64_t integer = 0;
            CFNumberGetValue(number, kCFNumberSInt64Type, &integer);
            writeElement("integer", std::to_string(integer), depth);
        }
    }

    void writeData(CFDataRef data, int depth) {
        const auto length = static_cast<size_t>(CFDataGetLength(data));
        writeElement("data", encodeBase64(CFDataGetBytePtr(data), length), depth);
    }

    // Opens a container; false when it is empty and written whole as <name/>.
    bool openContainer(const char* name, CFIndex count, int depth) {
        if (depth + 1 > kMaxNesting)
            throw WriteError{"containers nest deeper than " + std::to_string(kMaxNesting) +
                             " levels"};
        openLine(depth);
        mOut.append("<").append(name).append(count == 0 ? "/>\n" : ">\n");
        return count != 0;
    }

    void closeContainer(const char* name, int depth) {
        openLine(depth);
        mOut.append("</").append(name).append(">\n");
    }

    void writeArray(CFArrayRef array, int depth) {
        const CFIndex count = CFArrayGetCount(array);
        if (!openContainer("array", count, depth))
            return;
        for (CFIndex i = 0; i < count; ++i)
            writeValue(CFArrayGetValueAtIndex(array, i), depth + 1);
        closeContainer("array", depth);
    }

    void writeDictionary(CFDictionaryRef dictionary, int depth) {
        const CFIndex count = CFDictionaryGetCount(dictionary);
        if (!openContainer("dict", count, depth))
            return;
        std::vector<const void*> keys(static_cast<size_t>(count));
        std::vector<const void*> values(static_cast<size_t>(count));
        CFDictionaryGetKeysAndValues(dictionary, keys.data(), values.data());
        for (size_t i = 0; i < keys.size(); ++i) {
            if (CFGetTypeID(keys[i]) != CFStringGetTypeID())
                throw WriteError{"a dictionary key is not a string"};
            writeText("key", static_cast<CFStringRef>(keys[i]), depth + 1);
            writeValue(values[i], depth + 1);
        }
        closeContainer("dict", depth);
    }

    std::string mOut;
};

} // namespace

std::optional<std::string> writePlist(CFPropertyListRef plist, std::string& error) {
    try {
        return Writer().write(plist);
    } catch (const WriteError& failure) {
        error = failure.message;
        return std::nullopt;
    }
}

} // namespace platform_xml
