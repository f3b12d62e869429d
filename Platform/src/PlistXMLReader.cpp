// Reads an XML property list. The input may be any bytes (saved state, registration files), so
// everything is checked before it becomes an object, and every refusal says where and why.
#include "PlistXMLInternal.h"
#include "Utf8.h"

#include <pugixml.hpp>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <system_error>

namespace platform_xml {

namespace {

constexpr size_t kNoOffset = std::numeric_limits<size_t>::max();

// Entity references are decoded here rather than by the parser, which would accept unknown
// entities as text and cut a string at a reference to character 0.
constexpr unsigned kParseOptions =
    pugi::parse_cdata | pugi::parse_ws_pcdata | pugi::parse_declaration;

struct ReadError {
    size_t offset;
    std::string message;
};

bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isBlank(std::string_view text) {
    return std::all_of(text.begin(), text.end(), isXmlSpace);
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isXmlSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isXmlSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

size_t offsetOf(pugi::xml_node node) {
    const ptrdiff_t offset = node.offset_debug();
    return offset < 0 ? kNoOffset : static_cast<size_t>(offset);
}

std::string tagOf(pugi::xml_node node) {
    std::string tag = "<";
    tag.append(shortened(node.name())).push_back('>');
    return tag;
}

// XML reads CR LF and a lone CR as LF. Doing that before parsing keeps the parser's offsets
// valid for the text that line numbers are counted in, and leaves &#13; to mean CR.
std::string withLineFeeds(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '\r')
            result.push_back(text[at]);
        else if (at + 1 == text.size() || text[at + 1] != '\n')
            result.push_back('\n');
    }
    return result;
}

void checkCharacters(std::string_view text) {
    size_t at = 0;
    while (at < text.size()) {
        const size_t length = platform_utf8::sequenceLength(text, at);
        if (length == 0)
            throw ReadError{at, "invalid UTF-8"};
        const uint32_t codePoint = platform_utf8::codePointAt(text, at, length);
        if (!platform_utf8::isXmlChar(codePoint))
            throw ReadError{at, "character " + codePointText(codePoint) + " is not allowed in XML"};
        at += length;
    }
}

// The parser silently drops text before and after the root element; a truncated or
// concatenated file must not pass for a good one.
void checkNothingOutsideMarkup(std::string_view text) {
    const size_t start = text.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    size_t first = start;
    while (first < text.size() && isXmlSpace(text[first]))
        ++first;
    if (first == text.size())
        throw ReadError{first, "the document is empty"};
    size_t last = text.size() - 1;
    while (isXmlSpace(text[last]))
        --last;
    if (text[first] != '<')
        throw ReadError{first, "text outside the <plist> element"};
    if (text[last] != '>')
        throw ReadError{last, "text outside the <plist> element"};
}

uint32_t parseCharacterReference(std::string_view reference, size_t offset) {
    const bool hex = reference.starts_with("#x");
    const std::string_view digits = reference.substr(hex ? 2 : 1);
    uint32_t codePoint = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), codePoint, hex ? 16 : 10);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        !platform_utf8::isXmlChar(codePoint))
        throw ReadError{offset, "invalid character reference " +
                                    quoted("&" + std::string(reference) + ";")};
    return codePoint;
}

void appendReference(std::string& out, std::string_view reference, size_t offset) {
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [name, character] : kEntities) {
        if (reference == name) {
            out.push_back(character);
            return;
        }
    }
    if (!reference.starts_with('#'))
        throw ReadError{offset, "unknown entity " + quoted("&" + std::string(reference) + ";")};
    platform_utf8::appendCodePoint(out, parseCharacterReference(reference, offset));
}

// Character data with its entity and character references replaced.
std::string decodeReferences(std::string_view raw, size_t offset) {
    std::string text;
    text.reserve(raw.size());
    size_t at = 0;
    while (at < raw.size()) {
        const size_t amp = raw.find('&', at);
        text.append(raw.substr(at, amp - at));
        if (amp == std::string_view::npos)
            break;
        const size_t semicolon = raw.find(';', amp);
        const size_t where = offset == kNoOffset ? kNoOffset : offset + amp;
        if (semicolon == std::string_view::npos)
            throw ReadError{where, "'&' does not start a reference"};
        appendReference(text, raw.substr(amp + 1, semicolon - amp - 1), where);
        at = semicolon + 1;
    }
    return text;
}

OwnedRef makeString(const std::string& text) {
    return OwnedRef(
        CFStringCreateWithCString(kCFAllocatorDefault, text.c_str(), kCFStringEncodingUTF8));
}

template <class T> OwnedRef makeNumber(CFNumberType type, T value) {
    return OwnedRef(CFNumberCreate(kCFAllocatorDefault, type, &value));
}

class Reader {
public:
    explicit Reader(std::string_view text) : mText(text) {}

    OwnedRef read() {
        checkCharacters(mText);
        checkNothingOutsideMarkup(mText);
        const pugi::xml_parse_result parsed =
            mDocument.load_buffer(mText.data(), mText.size(), kParseOptions, pugi::encoding_utf8);
        if (!parsed)
            throw ReadError{static_cast<size_t>(std::max<ptrdiff_t>(parsed.offset, 0)),
                            std::string("malformed XML: ") + parsed.description()};
        const pugi::xml_node root = rootElement();
        const std::vector<pugi::xml_node> values = elementChildren(root);
        if (values.size() != 1)
            throw ReadError{offsetOf(root), values.empty() ? "<plist> holds no value"
                                                           : "<plist> holds more than one value"};
        return readValue(values.front(), 0);
    }

private:
    pugi::xml_node rootElement() const {
        pugi::xml_node root;
        for (pugi::xml_node child : mDocument.children()) {
            if (child.type() == pugi::node_declaration)
                checkDeclaration(child);
            if (child.type() != pugi::node_element)
                continue;
            if (root)
                throw ReadError{offsetOf(child), "more than one root element"};
            root = child;
        }
        if (!root)
            throw ReadError{0, "no root element"};
        if (std::strcmp(root.name(), "plist") != 0)
            throw ReadError{offsetOf(root), "the root element is " + tagOf(root) + ", not <plist>"};
        const pugi::xml_attribute version = root.attribute("version");
        if (version && std::strcmp(version.value(), "1.0") != 0)
            throw ReadError{offsetOf(root),
                            "unsupported <plist> version " + quoted(version.value())};
        return root;
    }

    static void checkDeclaration(pugi::xml_node declaration) {
        const pugi::xml_attribute encoding = declaration.attribute("encoding");
        if (encoding && strcasecmp(encoding.value(), "UTF-8") != 0)
            throw ReadError{offsetOf(declaration),
                            "unsupported encoding " + quoted(encoding.value())};
    }

    // The element children of a container; text between them may only be whitespace.
    static std::vector<pugi::xml_node> elementChildren(pugi::xml_node container) {
        std::vector<pugi::xml_node> elements;
        for (pugi::xml_node child : container.children()) {
            if (child.type() == pugi::node_element)
                elements.push_back(child);
            else if (!isBlank(child.value()))
                throw ReadError{offsetOf(child), "unexpected text in " + tagOf(container)};
        }
        return elements;
    }

    // The text of an element that may hold only text: character data and CDATA sections.
    static std::string textOf(pugi::xml_node element) {
        std::string text;
        for (pugi::xml_node child : element.children()) {
            if (child.type() == pugi::node_pcdata)
                text += decodeReferences(child.value(), offsetOf(child));
            else if (child.type() == pugi::node_cdata)
                text += child.value();
            else if (child.type() == pugi::node_element)
                throw ReadError{offsetOf(child), tagOf(element) + " must hold only text"};
        }
        return text;
    }

    OwnedRef readValue(pugi::xml_node node, int depth) const {
        const std::string_view name = node.name();
        if (name == "dict" || name == "array") {
            if (depth + 1 > kMaxNesting)
                throw ReadError{offsetOf(node), "containers nest deeper than " +
                                                    std::to_string(kMaxNesting) + " levels"};
            return name == "dict" ? readDictionary(node, depth) : readArray(node, depth);
        }
        if (name == "string")
            return makeString(textOf(node));
        if (name == "integer")
            return readInteger(node);
        if (name == "real")
            return readReal(node);
        if (name == "data")
            return readData(node);
        if (name == "true" || name == "false" || name == "date")
            throw ReadError{offsetOf(node), tagOf(node) + " is not supported"};
        throw ReadError{offsetOf(node), "unknown element " + tagOf(node)};
    }

    OwnedRef readArray(pugi::xml_node node, int depth) const {
        OwnedRef array(CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks));
        auto* mutableArray = static_cast<CFMutableArrayRef>(const_cast<void*>(array.get()));
        for (pugi::xml_node child : elementChildren(node))
            CFArrayAppendValue(mutableArray, readValue(child, depth + 1).get());
        return array;
    }

    OwnedRef readDictionary(pugi::xml_node node, int depth) const {
        OwnedRef dict(CFDictionaryCreateMutable(kCFAllocatorDefault, 0,
                                                &kCFTypeDictionaryKeyCallBacks,
                                                &kCFTypeDictionaryValueCallBacks));
        auto* mutableDict = static_cast<CFMutableDictionaryRef>(const_cast<void*>(dict.get()));
        const std::vector<pugi::xml_node> children = elementChildren(node);
        for (size_t i = 0; i < children.size(); i += 2) {
            const pugi::xml_node keyNode = children[i];
            if (std::strcmp(keyNode.name(), "key") != 0)
                throw ReadError{offsetOf(keyNode),
                                "<dict> value " + tagOf(keyNode) + " has no <key>"};
            const std::string keyText = textOf(keyNode);
            const bool valueMissing =
                i + 1 == children.size() || std::strcmp(children[i + 1].name(), "key") == 0;
            if (valueMissing)
                throw ReadError{offsetOf(keyNode),
                                "<dict> key " + quoted(keyText) + " has no value"};
            const OwnedRef key = makeString(keyText);
            if (CFDictionaryContainsKey(mutableDict, key.get()))
                throw ReadError{offsetOf(keyNode),
                                "duplicate key " + quoted(keyText) + " in <dict>"};
            CFDictionarySetValue(mutableDict, key.get(),
                                 readValue(children[i + 1], depth + 1).get());
        }
        return dict;
    }

    template <class T> static T parseNumber(pugi::xml_node node, std::string_view text) {
        std::string_view digits = trimmed(text);
        // A leading '+' is allowed, but not in front of another sign.
        if (digits.size() > 1 && digits[0] == '+' && digits[1] != '-')
            digits.remove_prefix(1);
        T value{};
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), value);
        const bool whole = !digits.empty() && end == digits.data() + digits.size();
        if (whole && error == std::errc())
            return value;
        const bool tooLarge = whole && error == std::errc::result_out_of_range;
        throw ReadError{offsetOf(node), tagOf(node) + " value " + quoted(trimmed(text)) +
                                            (tooLarge ? " is out of range" : " is not a number")};
    }

    static OwnedRef readInteger(pugi::xml_node node) {
        const auto value = parseNumber<int64_t>(node, textOf(node));
        // Numbers that fit 32 bits come back as the type the unit stores them in.
        if (value >= std::numeric_limits<int32_t>::min() &&
            value <= std::numeric_limits<int32_t>::max())
            return makeNumber(kCFNumberSInt32Type, static_cast<int32_t>(value));
        return makeNumber(kCFNumberSInt64Type, value);
    }

    static OwnedRef readReal(pugi::xml_node node) {
        return makeNumber(kCFNumberFloat64Type, parseNumber<double>(node, textOf(node)));
    }

    static OwnedRef readData(pugi::xml_node node) {
        std::vector<uint8_t> bytes;
        if (!decodeBase64(textOf(node), bytes))
            throw ReadError{offsetOf(node), "<data> is not valid base64"};
        return OwnedRef(
            CFDataCreate(kCFAllocatorDefault, bytes.data(), static_cast<CFIndex>(bytes.size())));
    }

    std::string_view mText;
    pugi::xml_document mDocument;
};

std::string located(std::string_view text, const ReadError& failure) {
    if (failure.offset == kNoOffset)
        return failure.message;
    const size_t end = std::min(failure.offset, text.size());
    const auto line =
        1 + std::count(text.begin(), text.begin() + static_cast<ptrdiff_t>(end), '\n');
    return "line " + std::to_string(line) + ": " + failure.message;
}

} // namespace

OwnedRef readPlist(std::string_view raw, std::string& error) {
    const std::string text = withLineFeeds(raw);
    try {
        return Reader(text).read();
    } catch (const ReadError& failure) {
        error = located(text, failure);
        return nullptr;
    }
}

} // namespace platform_xml
