// Parses the input as an XML property list; whatever parses must write back, parse again to an
// equal object, and write again to the same bytes. Nothing may leak.
#include "FuzzObjects.h"

#include "Platform/PlistXML.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

using fuzzsupport::ObjectPool;

void Require(bool holds, const char* what, const char* detail = "") {
    if (!holds) {
        std::fprintf(stderr, "XML property-list round trip: %s %s\n", what, detail);
        std::abort();
    }
}

bool SameBytes(CFDataRef a, CFDataRef b) {
    return CFDataGetLength(a) == CFDataGetLength(b) &&
           std::memcmp(CFDataGetBytePtr(a), CFDataGetBytePtr(b),
                       static_cast<size_t>(CFDataGetLength(a))) == 0;
}

// A NaN is unequal even to itself, so a list that holds one can only be compared as text.
bool HoldsNaN(CFDataRef written) {
    const std::string_view text(reinterpret_cast<const char*>(CFDataGetBytePtr(written)),
                                static_cast<size_t>(CFDataGetLength(written)));
    return text.find("<real>nan</real>") != std::string_view::npos;
}

void RoundTrip(const uint8_t* data, size_t size) {
    ObjectPool pool;
    char error[512] = "";
    CFPropertyListRef parsed = nullptr;
    const OSStatus parseStatus =
        PlatformPropertyListCreateFromXMLData(data, size, &parsed, error, sizeof error);
    pool.Adopt(parsed);
    if (parseStatus != noErr) {
        Require(parsed == nullptr && error[0] != '\0', "a refused document gave no message");
        return;
    }
    CFDataRef written = nullptr;
    Require(PlatformPropertyListCreateXMLData(parsed, &written, error, sizeof error) == noErr,
            "a parsed list could not be written:", error);
    pool.Adopt(written);
    CFPropertyListRef reparsed = nullptr;
    Require(PlatformPropertyListCreateFromXMLData(CFDataGetBytePtr(written),
                                                  static_cast<size_t>(CFDataGetLength(written)),
                                                  &reparsed, error, sizeof error) == noErr,
            "the written text did not parse:", error);
    pool.Adopt(reparsed);
    Require(CFEqual(parsed, reparsed) || HoldsNaN(written),
            "the written text parsed to another list");
    CFDataRef rewritten = nullptr;
    const OSStatus rewriteStatus =
        PlatformPropertyListCreateXMLData(reparsed, &rewritten, error, sizeof error);
    pool.Adopt(rewritten);
    Require(rewriteStatus == noErr && SameBytes(written, rewritten),
            "writing the same list twice gave different text");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fuzzsupport::LiveObjectCheck live;
    RoundTrip(data, size);
    return 0;
}
