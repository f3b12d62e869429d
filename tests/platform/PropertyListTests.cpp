// Property-list objects, their conversions, and the XML form that saved states and registration
// files are kept in.
#include "Platform/PlistXML.h"
#include "Platform/PropertyList.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct CFReleaser {
    void operator()(const void* object) const { CFRelease(object); }
};
using Owned = std::unique_ptr<const void, CFReleaser>;

CFStringRef makeString(const char* text) {
    return CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingUTF8);
}
template <class T> CFNumberRef makeNumber(CFNumberType type, T value) {
    return CFNumberCreate(kCFAllocatorDefault, type, &value);
}
CFMutableDictionaryRef makeRetainingDictionary() {
    return CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}
std::string textOf(CFTypeRef string) {
    const char* text = PlatformStringUTF8(static_cast<CFStringRef>(string));
    return text != nullptr ? text : "<not a string>";
}
void set(CFMutableDictionaryRef dict, const char* key, CFTypeRef value) {
    CFDictionarySetValue(dict, Owned(makeString(key)).get(), value);
    CFRelease(value);
}

// Fails the test when objects created during it are still alive at its end.
class LeakCheckedTest : public ::testing::Test {
protected:
    void SetUp() override { mLiveAtStart = PlatformLiveObjectCount(); }
    void TearDown() override { EXPECT_EQ(PlatformLiveObjectCount(), mLiveAtStart); }

private:
    long mLiveAtStart = 0;
};

class PropertyListObjects : public LeakCheckedTest {};

TEST_F(PropertyListObjects, RetainAndReleaseAreAtomicAcrossThreads) {
    CFNumberRef number = makeNumber(kCFNumberSInt64Type, int64_t{7});
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([number] {
            for (int i = 0; i < 20000; ++i) {
                CFRetain(number);
                CFRelease(number);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(CFGetRetainCount(number), 1);
    CFRelease(number);
}

TEST_F(PropertyListObjects, ReplacingADictionaryValueReleasesTheOldOneButNeverItself) {
    CFMutableDictionaryRef dict = makeRetainingDictionary();
    CFStringRef first = makeString("first");
    CFStringRef second = makeString("second");
    CFDictionarySetValue(dict, CFSTR("name"), first);
    CFDictionarySetValue(dict, Owned(makeString("name")).get(), second);
    EXPECT_EQ(CFGetRetainCount(first), 1);
    EXPECT_EQ(CFDictionaryGetCount(dict), 1);
    CFRelease(second);
    CFDictionarySetValue(dict, CFSTR("name"), second);
    EXPECT_EQ(textOf(CFDictionaryGetValue(dict, CFSTR("name"))), "second");
    CFRelease(first);
    CFRelease(dict);
}

TEST_F(PropertyListObjects, DataAppendsInOrderEvenFromItsOwnBytes) {
    CFMutableDataRef data = CFDataCreateMutable(kCFAllocatorDefault, 0);
    EXPECT_NE(CFDataGetBytePtr(data), nullptr);
    const uint8_t head[] = {1, 2, 3};
    CFDataAppendBytes(data, head, 3);
    for (int i = 0; i < 6; ++i)
        CFDataAppendBytes(data, CFDataGetBytePtr(data), CFDataGetLength(data));
    ASSERT_EQ(CFDataGetLength(data), 3 * 64);
    const uint8_t* bytes = CFDataGetBytePtr(data);
    for (int i = 0; i < 3 * 64; ++i)
        ASSERT_EQ(bytes[i], head[i % 3]) << i;

    CFDataRef fixed = CFDataCreate(kCFAllocatorDefault, head, 3);
    CFDataAppendBytes(const_cast<CFMutableDataRef>(fixed), head, 3);
    EXPECT_EQ(CFDataGetLength(fixed), 3);
    CFRelease(fixed);
    CFRelease(data);
}

// A host may hand any object to any function: the wrong kind does nothing and reports nothing.
TEST_F(PropertyListObjects, WrongKindOfObjectIsRefused) {
    Owned number(makeNumber(kCFNumberSInt64Type, int64_t{5})), string(makeString("text"));
    const void* notAString = number.get();
    void* notAContainer = const_cast<void*>(number.get());
    char buffer[8] = "keep";
    const uint8_t twoBytes[] = {1, 2};
    int32_t value = 99;

    EXPECT_FALSE(
        CFStringGetCString(static_cast<CFStringRef>(notAString), buffer, 8, kCFStringEncodingUTF8));
    EXPECT_EQ(PlatformStringUTF8(static_cast<CFStringRef>(notAString)), nullptr);
    CFDictionarySetValue(static_cast<CFMutableDictionaryRef>(notAContainer), string.get(),
                         string.get());
    CFArrayAppendValue(static_cast<CFMutableArrayRef>(notAContainer), string.get());
    CFDataAppendBytes(static_cast<CFMutableDataRef>(notAContainer), twoBytes, 2);
    EXPECT_EQ(CFDataGetBytePtr(static_cast<CFDataRef>(notAString)), nullptr);
    EXPECT_FALSE(
        CFNumberGetValue(static_cast<CFNumberRef>(string.get()), kCFNumberSInt32Type, &value));
    EXPECT_EQ(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, nullptr), nullptr);
    EXPECT_EQ(CFNumberCreate(kCFAllocatorDefault, static_cast<CFNumberType>(7), &value), nullptr);
    EXPECT_EQ(CFGetTypeID(buffer), 0u);
    EXPECT_EQ(CFGetTypeID(buffer + 1), 0u);

    EXPECT_STREQ(buffer, "keep");
    EXPECT_EQ(value, 99);
    EXPECT_EQ(CFGetRetainCount(string.get()), 1);
    int64_t stored = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(number.get()), kCFNumberSInt64Type, &stored);
    EXPECT_EQ(stored, 5);
}

// ---- the XML form ----

std::string xmlOf(CFPropertyListRef plist) {
    char error[256] = "";
    CFDataRef written = nullptr;
    EXPECT_EQ(PlatformPropertyListCreateXMLData(plist, &written, error, sizeof error), noErr)
        << error;
    Owned data(written);
    if (!data)
        return {};
    auto ref = static_cast<CFDataRef>(data.get());
    return {reinterpret_cast<const char*>(CFDataGetBytePtr(ref)),
            static_cast<size_t>(CFDataGetLength(ref))};
}

Owned parse(std::string_view xml, std::string* error = nullptr) {
    char text[256] = "";
    CFPropertyListRef parsed = nullptr;
    const OSStatus status =
        PlatformPropertyListCreateFromXMLData(xml.data(), xml.size(), &parsed, text, sizeof text);
    Owned plist(parsed);
    EXPECT_EQ(status == noErr, plist != nullptr) << status;
    if (error != nullptr)
        *error = text;
    return plist;
}

std::string wrapped(std::string_view body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n" +
           std::string(body) + "\n</plist>\n";
}

std::string nestedArrays(int depth) {
    std::string open, close;
    for (int i = 0; i < depth; ++i) {
        open += "<array>";
        close += "</array>";
    }
    return wrapped(open + "<string>deep</string>" + close);
}

// Everything the format can hold, including values that a careless writer or reader mangles.
Owned richList() {
    CFMutableDictionaryRef root = makeRetainingDictionary();
    set(root, "unicode \xE2\x99\xAA", makeString("caf\xC3\xA9 \xF0\x9F\x94\x8A <&> ]]> \"'"));
    set(root, "whitespace", makeString("  tab\tnew\nline\r\nreturn  "));
    std::vector<uint8_t> bytes(256);
    for (int i = 0; i < 256; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    set(root, "all bytes", CFDataCreate(kCFAllocatorDefault, bytes.data(), 256));
    set(root, "no bytes", CFDataCreate(kCFAllocatorDefault, nullptr, 0));
    CFMutableArrayRef numbers =
        CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
    for (int64_t value : {INT64_MIN, INT64_MAX, int64_t{-1}, int64_t{INT32_MIN}})
        CFArrayAppendValue(numbers, Owned(makeNumber(kCFNumberSInt64Type, value)).get());
    for (double value : {-0.0, 0.1, 5e-324, 1.7976931348623157e308, 1.0 / 3.0,
                         static_cast<double>(0.1f), double{INFINITY}, -double{INFINITY}})
        CFArrayAppendValue(numbers, Owned(makeNumber(kCFNumberFloat64Type, value)).get());
    CFArrayAppendValue(numbers, Owned(makeRetainingDictionary()).get());
    set(root, "numbers", numbers);
    return Owned(root);
}

class PlistXML : public LeakCheckedTest {};

TEST_F(PlistXML, WritesTheStandardFormTabIndented) {
    CFMutableDictionaryRef dict = makeRetainingDictionary();
    set(dict, "version", makeNumber(kCFNumberSInt64Type, int64_t{0}));
    set(dict, "name", makeString("Untitled"));
    const uint8_t blob[] = {0, 0, 0, 0, 0x3F, 0x80};
    set(dict, "data", CFDataCreate(kCFAllocatorDefault, blob, 6));
    set(dict, "list", CFArrayCreateMutable(kCFAllocatorDefault, 0, nullptr));
    EXPECT_EQ(xmlOf(dict), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n"
                           "<dict>\n\t<key>version</key>\n\t<integer>0</integer>\n"
                           "\t<key>name</key>\n\t<string>Untitled</string>\n"
                           "\t<key>data</key>\n\t<data>AAAAAD+A</data>\n"
                           "\t<key>list</key>\n\t<array/>\n</dict>\n</plist>\n");
    CFRelease(dict);
}

TEST_F(PlistXML, RoundTripsEveryKindOfValueExactly) {
    const Owned original = richList();
    const std::string xml = xmlOf(original.get());
    std::string error;
    const Owned restored = parse(xml, &error);
    ASSERT_NE(restored, nullptr) << error;
    EXPECT_TRUE(CFEqual(original.get(), restored.get()));
    EXPECT_EQ(xmlOf(restored.get()), xml);

    auto numbers = static_cast<CFArrayRef>(
        CFDictionaryGetValue(static_cast<CFDictionaryRef>(restored.get()), CFSTR("numbers")));
    auto number = [numbers](CFIndex i) {
        return static_cast<CFNumberRef>(CFArrayGetValueAtIndex(numbers, i));
    };
    double negativeZero = 1.0;
    CFNumberGetValue(number(4), kCFNumberFloat64Type, &negativeZero);
    EXPECT_TRUE(std::signbit(negativeZero));
    // Integers that fit 32 bits come back as the type the unit saves them in.
    EXPECT_EQ(CFNumberGetType(number(3)), kCFNumberSInt32Type);
    EXPECT_EQ(CFNumberGetType(number(0)), kCFNumberSInt64Type);
}

TEST_F(PlistXML, ToleratesWhatOtherWritersProduce) {
    const std::string xml =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
        "<!DOCTYPE plist PUBLIC \"-//Example//DTD PLIST 1.0//EN\" \"plist.dtd\">\r\n"
        "<plist version=\"1.0\"><!-- comment --><dict>\r\n"
        "<key>a&amp;b</key><string>&#x1F50A;&lt;<![CDATA[<raw>&amp;]]>&#13;</string>\n"
        "<key>n</key><integer> +42\n</integer>\n"
        "<key>d</key><data>\n\tAAEC\n\tAw==\n</data></dict></plist>";
    std::string error;
    Owned plist = parse(xml, &error);
    ASSERT_NE(plist, nullptr) << error;
    auto dict = static_cast<CFDictionaryRef>(plist.get());
    EXPECT_EQ(textOf(CFDictionaryGetValue(dict, CFSTR("a&b"))), "\xF0\x9F\x94\x8A<<raw>&amp;\r");
    int32_t n = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFSTR("n"))),
                     kCFNumberSInt32Type, &n);
    EXPECT_EQ(n, 42);
    EXPECT_EQ(CFDataGetLength(static_cast<CFDataRef>(CFDictionaryGetValue(dict, CFSTR("d")))), 4);
}

TEST_F(PlistXML, MalformedDocumentsAreRefusedWithAMessageThatNamesTheProblem) {
    // clang-format off
    const std::pair<std::string, const char*> cases[] = {
        {"", "line 1: the document is empty"},
        {" \n\t", "line 2: the document is empty"},
        {wrapped("<dict><key>a</key><string>b</str"), "malformed XML"},
        {"<plst><string/></plst>", "root element is <plst>, not <plist>"},
        {wrapped("<string/>") + "<plist><string/></plist>", "more than one root"},
        {wrapped("<string/>") + "junk", "text outside the <plist>"},
        {wrapped(""), "<plist> holds no value"},
        {wrapped("<string/><string/>"), "more than one value"},
        {"<plist version=\"2.0\"><string/></plist>", "version '2.0'"},
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><plist><string/></plist>", "unsupported encoding 'ISO-8859-1'"},
        {wrapped("<dict><key>a</key></dict>"), "key 'a' has no value"},
        {wrapped("<dict><string>v</string></dict>"), "value <string> has no <key>"},
        {wrapped("<dict><key>a</key><string/><key>a</key><string/></dict>"), "duplicate key 'a'"},
        {wrapped("<dict>x<key>a</key><string/></dict>"), "unexpected text in <dict>"},
        {wrapped("<dict>\n<key>k</key>\n<integer>x1</integer>\n</dict>"), "line 5: <integer> value 'x1' is not a number"},
        {"<plist>\r\n<array>\r\n<integer>x1</integer></array></plist>", "line 3: <integer>"},
        {wrapped("<integer>9223372036854775808</integer>"), "'9223372036854775808' is out of range"},
        {wrapped("<integer>9223372036854775808x</integer>"), "'9223372036854775808x' is not a number"},
        {wrapped("<real>1e</real>"), "<real> value '1e' is not a number"},
        {wrapped("<real>1e999</real>"), "is out of range"},
        {wrapped("<data>QQ!=</data>"), "<data> is not valid base64"},
        {wrapped("<data>QQ==QUFB</data>"), "not valid base64"},
        {wrapped("<string>\xC3\x28</string>"), "line 3: invalid UTF-8"},
        {wrapped("<string>\x01</string>"), "U+0001 is not allowed"},
        {wrapped("<string>a&#0;b</string>"), "invalid character reference '&#0;'"},
        {wrapped("<string>&nbsp;</string>"), "unknown entity '&nbsp;'"},
        {wrapped("<string>a & b</string>"), "does not start a reference"},
        {wrapped("<true/>"), "<true> is not supported"},
        {wrapped("<float>1</float>"), "unknown element <float>"},
        {nestedArrays(513), "nest deeper than 512 levels"},
    };
    // clang-format on
    for (const auto& [document, message] : cases) {
        std::string error;
        EXPECT_EQ(parse(document, &error), nullptr) << message;
        EXPECT_NE(error.find(message), std::string::npos) << error;
    }
    EXPECT_NE(parse(nestedArrays(512)), nullptr);
}

TEST_F(PlistXML, RefusesEveryTruncationOfAGoodDocument) {
    const std::string xml = xmlOf(richList().get());
    for (size_t length = 0; length < xml.size() - 1; ++length) {
        std::string error;
        EXPECT_EQ(parse(std::string_view(xml).substr(0, length), &error), nullptr) << length;
        EXPECT_FALSE(error.empty()) << length;
    }
}

TEST_F(PlistXML, WriterRefusesWhatTheFormatCannotHold) {
    Owned badKey(makeRetainingDictionary());
    CFDictionarySetValue(static_cast<CFMutableDictionaryRef>(const_cast<void*>(badKey.get())),
                         Owned(makeNumber(kCFNumberSInt64Type, int64_t{1})).get(), CFSTR("v"));
    Owned control(makeString("bell\x07"));
    // A container that holds itself must not take the writer down.
    CFMutableArrayRef cycle = CFArrayCreateMutable(kCFAllocatorDefault, 0, nullptr);
    CFArrayAppendValue(cycle, cycle);
    const std::pair<CFPropertyListRef, const char*> cases[] = {
        {badKey.get(), "a dictionary key is not a string"},
        {control.get(), "string 'bell\x07' holds U+0007, which XML cannot represent"},
        {nullptr, "a value is not a property-list object"},
        {cycle, "contain"}, // cut to the caller's buffer
    };
    for (const auto& [plist, message] : cases) {
        char error[128];
        CFDataRef none = nullptr;
        EXPECT_EQ(PlatformPropertyListCreateXMLData(plist, &none, error,
                                                    plist == cycle ? 8 : sizeof error),
                  kPlatformErr_Failed);
        EXPECT_STREQ(error, message);
    }
    CFRelease(cycle);
}

class PlistFiles : public LeakCheckedTest {
protected:
    void SetUp() override {
        LeakCheckedTest::SetUp();
        fs::remove_all(mDir);
        fs::create_directories(mDir);
    }
    void TearDown() override {
        fs::remove_all(mDir);
        mRead.reset();
        LeakCheckedTest::TearDown();
    }
    std::string path(const char* name) const { return (mDir / name).string(); }
    size_t entries() const {
        return static_cast<size_t>(std::distance(fs::directory_iterator(mDir), {}));
    }
    // Reads a file into mRead; null there on failure.
    OSStatus read(const std::string& file) {
        CFPropertyListRef plist = nullptr;
        const OSStatus status = PlatformPropertyListReadFile(file.c_str(), &plist, mError, 256);
        mRead.reset(plist);
        return status;
    }
    OSStatus write(CFPropertyListRef plist, const std::string& file) {
        return PlatformPropertyListWriteFile(plist, file.c_str(), mError, 256);
    }
    const fs::path mDir =
        fs::path(::testing::TempDir()) / ("plist-files-" + std::to_string(::getpid()));
    char mError[256] = "";
    Owned mRead;
};

TEST_F(PlistFiles, RoundTripAndErrorsThatNameTheFileLeavingNoPartialFile) {
    const Owned original = richList();
    ASSERT_EQ(write(original.get(), path("a.plist")), noErr) << mError;
    ASSERT_EQ(read(path("a.plist")), noErr) << mError;
    EXPECT_TRUE(CFEqual(original.get(), mRead.get()));
    EXPECT_EQ(entries(), 1u) << "the temporary file was left behind";

    const std::string missing = path("missing.plist");
    EXPECT_EQ(read(missing), kPlatformErr_Failed);
    EXPECT_EQ(mRead, nullptr);
    EXPECT_EQ(std::string(mError), missing + ": cannot open: No such file or directory");

    EXPECT_EQ(read(mDir.string()), kPlatformErr_Failed);
    EXPECT_EQ(std::string(mError), mDir.string() + ": not a regular file");

    std::ofstream(path("bad.plist"))
        << wrapped("<dict>\n<key>k</key>\n<integer>x1</integer></dict>");
    EXPECT_EQ(read(path("bad.plist")), kPlatformErr_Failed);
    EXPECT_EQ(std::string(mError),
              path("bad.plist") + ": line 5: <integer> value 'x1' is not a number");

    // A directory that cannot exist, since a file stands where it would be.
    const std::string unwritable = path("bad.plist") + "/a.plist";
    EXPECT_EQ(write(CFSTR("x"), unwritable), kPlatformErr_Failed);
    EXPECT_EQ(std::string(mError), unwritable + ": cannot write: Not a directory");

    fs::create_directory(path("occupied"));
    EXPECT_EQ(write(CFSTR("x"), path("occupied")), kPlatformErr_Failed);
    EXPECT_NE(std::string(mError).find(path("occupied") + ": cannot write: "), std::string::npos);

    const Owned unrepresentable(makeString("\x01"));
    ASSERT_EQ(write(CFSTR("old"), path("kept.plist")), noErr);
    EXPECT_EQ(write(unrepresentable.get(), path("kept.plist")), kPlatformErr_Failed);
    EXPECT_EQ(entries(), 4u);
    ASSERT_EQ(read(path("kept.plist")), noErr);
    EXPECT_EQ(textOf(mRead.get()), "old");
}

} // namespace
