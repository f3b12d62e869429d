#include "PlistTestSupport.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <thread>
#include <vector>

namespace {

class PropertyListObjects : public LeakCheckedTest {};

TEST_F(PropertyListObjects, CreatedObjectsAreCountedUntilTheirLastReleaseConstantsNever) {
    const long start = PlatformLiveObjectCount();
    CFStringRef string = makeString("hello");
    EXPECT_EQ(PlatformLiveObjectCount(), start + 1);
    EXPECT_EQ(CFRetain(string), string);
    EXPECT_EQ(CFGetRetainCount(string), 2);
    CFRelease(string);
    EXPECT_EQ(PlatformLiveObjectCount(), start + 1);
    CFRelease(string);
    EXPECT_EQ(PlatformLiveObjectCount(), start);
    EXPECT_EQ(CFRetain(nullptr), nullptr);
    CFRelease(nullptr);

    CFStringRef constant = CFSTR("element-name");
    EXPECT_EQ(CFSTR("element-name"), constant);
    EXPECT_EQ(PlatformLiveObjectCount(), start);
    for (int i = 0; i < 3; ++i)
        CFRelease(constant);
    CFRetain(constant);
    EXPECT_EQ(textOf(constant), "element-name");
    EXPECT_EQ(CFGetTypeID(constant), CFStringGetTypeID());
}

TEST_F(PropertyListObjects, RetainAndReleaseAreAtomicAcrossThreads) {
    CFNumberRef number = makeInt64(7);
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

TEST_F(PropertyListObjects, RetainingDictionaryKeepsValuesAndReleasesReplacedOnes) {
    CFMutableDictionaryRef dict = makeRetainingDictionary();
    CFStringRef key = makeString("name");
    CFStringRef first = makeString("first");
    CFStringRef second = makeString("second");
    CFDictionarySetValue(dict, key, first);
    EXPECT_EQ(CFGetRetainCount(key), 2);
    EXPECT_EQ(CFGetRetainCount(first), 2);

    CFDictionarySetValue(dict, CFSTR("name"), second);
    EXPECT_EQ(CFGetRetainCount(first), 1);
    EXPECT_EQ(CFGetRetainCount(second), 2);
    EXPECT_EQ(CFDictionaryGetCount(dict), 1);
    EXPECT_EQ(CFDictionaryGetValue(dict, key), second);

    // Setting the value it already holds must not free it on the way.
    CFRelease(second);
    CFDictionarySetValue(dict, key, second);
    EXPECT_EQ(textOf(CFDictionaryGetValue(dict, key)), "second");

    CFRelease(first);
    CFRelease(key);
    CFRelease(dict);
}

TEST_F(PropertyListObjects, DictionaryKeysCompareByContentAndKeepInsertionOrder) {
    Owned owner(makeRetainingDictionary());
    auto* dict = static_cast<CFMutableDictionaryRef>(const_cast<void*>(owner.get()));
    for (const char* name : {"version", "type", "subtype", "data"}) {
        Owned key(makeString(name));
        CFDictionarySetValue(dict, key.get(), key.get());
    }
    CFDictionarySetValue(dict, Owned(makeInt64(1)).get(), CFSTR("integer one"));
    CFDictionarySetValue(dict, CFSTR("type"), CFSTR("replaced"));
    CFDictionaryRemoveValue(dict, CFSTR("subtype"));

    std::vector<const void*> keys(4), values(4);
    CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
    EXPECT_EQ(textOf(keys[0]) + textOf(keys[1]) + textOf(keys[2]), "versiontypedata");
    EXPECT_EQ(textOf(values[1]), "replaced");
    EXPECT_EQ(textOf(CFDictionaryGetValue(dict, Owned(makeDouble(1.0)).get())), "integer one");
    EXPECT_FALSE(CFDictionaryContainsKey(dict, CFSTR("Data")));
    const void* value = CFSTR("untouched");
    EXPECT_FALSE(CFDictionaryGetValueIfPresent(dict, CFSTR("missing"), &value));
    EXPECT_EQ(textOf(value), "untouched");
}

TEST_F(PropertyListObjects, ContainersRetainOnlyWithTypeCallbacks) {
    CFStringRef element = makeString("Guitar: warm");
    const void* values[] = {element, CFSTR("Bass: warm")};

    CFArrayRef borrowing = CFArrayCreate(kCFAllocatorDefault, values, 2, nullptr);
    EXPECT_EQ(CFGetRetainCount(element), 1);
    EXPECT_EQ(CFArrayGetCount(borrowing), 2);
    EXPECT_EQ(CFArrayGetValueAtIndex(borrowing, 1), CFSTR("Bass: warm"));
    EXPECT_EQ(CFArrayGetValueAtIndex(borrowing, 2), nullptr);
    EXPECT_EQ(CFArrayGetValueAtIndex(borrowing, -1), nullptr);
    // An immutable array refuses to grow.
    CFArrayAppendValue(const_cast<CFMutableArrayRef>(borrowing), element);
    EXPECT_EQ(CFArrayGetCount(borrowing), 2);
    CFRelease(borrowing);

    CFMutableArrayRef retaining =
        CFArrayCreateMutable(kCFAllocatorDefault, 0, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(retaining, element);
    EXPECT_EQ(CFGetRetainCount(element), 2);
    CFRelease(retaining);
    EXPECT_EQ(CFGetRetainCount(element), 1);

    CFMutableDictionaryRef borrowingDict =
        CFDictionaryCreateMutable(kCFAllocatorDefault, 0, nullptr, nullptr);
    CFDictionarySetValue(borrowingDict, element, element);
    EXPECT_EQ(CFGetRetainCount(element), 1);
    CFRelease(borrowingDict);
    EXPECT_EQ(CFGetRetainCount(element), 1);
    CFRelease(element);
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

// Nested content equality is proven by every XML round trip.
TEST_F(PropertyListObjects, EqualityFollowsValueAndKind) {
    // 2^63 is no 64-bit integer, though INT64_MAX converted to double rounds to it.
    Owned twoTo63(makeDouble(9223372036854775808.0)), maxInt(makeInt64(INT64_MAX));
    EXPECT_FALSE(CFEqual(twoTo63.get(), maxInt.get()));
    Owned nan(makeDouble(std::nan("")));
    EXPECT_TRUE(CFEqual(nan.get(), nan.get()));
    EXPECT_FALSE(CFEqual(nan.get(), Owned(makeString("nan")).get()));
}

// A host may hand any object to any function: the wrong kind does nothing and reports nothing.
TEST_F(PropertyListObjects, WrongKindOfObjectIsRefused) {
    Owned number(makeInt64(5)), string(makeString("text"));
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

// ---- numbers ----

struct NumberCase {
    const char* name;
    CFNumberType from;
    double fromValue; // read as the 'from' type
    CFNumberType to;
    double expected; // what is written, as a double
    bool exact;
};

template <class T> double loaded(const void* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return static_cast<double>(value);
}

double readAs(CFNumberType type, const void* bytes) {
    switch (type) {
    case kCFNumberSInt32Type:
        return loaded<int32_t>(bytes);
    case kCFNumberSInt64Type:
        return loaded<int64_t>(bytes);
    case kCFNumberFloat32Type:
    case kCFNumberFloatType:
        return loaded<float>(bytes);
    default:
        return loaded<double>(bytes);
    }
}

template <class T> CFNumberRef created(CFNumberType type, T value) {
    return CFNumberCreate(kCFAllocatorDefault, type, &value);
}

CFNumberRef createAs(CFNumberType type, double value) {
    switch (type) {
    case kCFNumberSInt32Type:
        return created(type, static_cast<int32_t>(value));
    case kCFNumberSInt64Type:
        return created(type, value >= 0x1p63 ? INT64_MAX : static_cast<int64_t>(value));
    case kCFNumberFloat32Type:
    case kCFNumberFloatType:
        return created(type, static_cast<float>(value));
    default:
        return created(type, value);
    }
}

TEST(NumberConversion, WritesDefinedValueAndReportsExactness) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    constexpr double kI64Max = 9223372036854775807.0; // rounds to 2^63
    // clang-format off
    const NumberCase cases[] = {
        //name                     from                  value    to                    written                    exact
        {"Int32ToInt32",           kCFNumberSInt32Type,  -7,      kCFNumberSInt32Type,  -7,                        true},
        {"Int32ToFloat",           kCFNumberSInt32Type,  16777217, kCFNumberFloatType,  16777216,                  false},
        {"Int64TooBigForInt32",    kCFNumberSInt64Type,  3e9,     kCFNumberSInt32Type,  2147483647,                false},
        {"Int64TooSmallForInt32",  kCFNumberSInt64Type,  -3e9,    kCFNumberSInt32Type,  -2147483648.0,             false},
        {"Int64MaxToDouble",       kCFNumberSInt64Type,  kI64Max, kCFNumberFloat64Type, 0x1p63,                    false},
        {"FloatToInt32",           kCFNumberFloatType,   42,      kCFNumberSInt32Type,  42,                        true},
        {"FractionTruncates",      kCFNumberFloat64Type, -2.75,   kCFNumberSInt32Type,  -2,                        false},
        {"NaNToInt32",             kCFNumberFloat64Type, kNaN,    kCFNumberSInt32Type,  0,                         false},
        {"InfinityToInt64",        kCFNumberFloat64Type, kInf,    kCFNumberSInt64Type,  kI64Max,                   false},
        {"TwoTo63ToInt64",         kCFNumberFloat64Type, 0x1p63,  kCFNumberSInt64Type,  kI64Max,                   false},
        {"TwoTo31ToInt32",         kCFNumberFloat64Type, 0x1p31,  kCFNumberSInt32Type,  2147483647,                false},
        {"MinusTwoTo31ToInt32",    kCFNumberFloat64Type, -0x1p31, kCFNumberSInt32Type,  -0x1p31,                   true},
        {"DoubleTooBigForFloat",   kCFNumberFloat64Type, 1e300,   kCFNumberFloat32Type, 3.4028234663852886e38,     false},
        {"DoubleInexactInFloat",   kCFNumberFloat64Type, 0.1,     kCFNumberFloatType,   static_cast<double>(0.1f), false},
        {"InfinityStaysInfinity",  kCFNumberFloat64Type, -kInf,   kCFNumberFloatType,   -kInf,                     true},
        {"FloatWidensExactly",     kCFNumberFloatType,   0.1,     kCFNumberDoubleType,  static_cast<double>(0.1f), true},
    };
    // clang-format on
    for (const NumberCase& c : cases) {
        SCOPED_TRACE(c.name);
        Owned number(createAs(c.from, c.fromValue));
        ASSERT_NE(number, nullptr);
        EXPECT_EQ(CFNumberGetType(static_cast<CFNumberRef>(number.get())), c.from);
        alignas(8) unsigned char out[8] = {};
        EXPECT_EQ(CFNumberGetValue(static_cast<CFNumberRef>(number.get()), c.to, out) != 0,
                  c.exact);
        const double written = readAs(c.to, out);
        if (std::isnan(c.expected)) {
            EXPECT_TRUE(std::isnan(written));
        } else {
            EXPECT_EQ(written, c.expected);
        }
    }
}

// ---- strings ----

TEST(StringCreation, AcceptsOnlyValidTextForTheEncoding) {
    const struct {
        const char* text;
        CFStringEncoding encoding;
        bool accepted;
    } cases[] = {{"plain", kCFStringEncodingASCII, true},
                 {"caf\xC3\xA9", kCFStringEncodingASCII, false},
                 {"caf\xC3\xA9", kCFStringEncodingUTF8, true},
                 {"\xF0\x9F\x94\x8A speaker", kCFStringEncodingUTF8, true},
                 {"\xC3", kCFStringEncodingUTF8, false},             // truncated
                 {"\xC0\xAF", kCFStringEncodingUTF8, false},         // overlong
                 {"\xED\xA0\x80", kCFStringEncodingUTF8, false},     // surrogate
                 {"\xF4\x90\x80\x80", kCFStringEncodingUTF8, false}, // > U+10FFFF
                 {"plain", 0x0201, false}};                          // an encoding not offered
    for (const auto& c : cases) {
        Owned string(CFStringCreateWithCString(kCFAllocatorDefault, c.text, c.encoding));
        EXPECT_EQ(string != nullptr, c.accepted) << c.text;
        if (string) {
            EXPECT_EQ(textOf(string.get()), c.text);
        }
    }
}

TEST(StringExtraction, TruncatesOnCharacterBoundaries) {
    // clang-format off
    const struct {
        const char* text;
        CFIndex bufferSize;
        CFStringEncoding encoding;
        const char* written;
        bool complete;
    } cases[] = {
        {"Volume", 7, kCFStringEncodingUTF8, "Volume", true},
        {"Volume", 6, kCFStringEncodingUTF8, "Volum", false},
        {"Volume", 1, kCFStringEncodingUTF8, "", false},
        {"ab\xC3\xA9", 5, kCFStringEncodingUTF8, "ab\xC3\xA9", true},
        {"ab\xC3\xA9", 4, kCFStringEncodingUTF8, "ab", false},
        {"a\xF0\x9F\x94\x8A", 5, kCFStringEncodingUTF8, "a", false},
        {"12", 32, kCFStringEncodingASCII, "12", true},
        {"1\xC3\xA9" "2", 32, kCFStringEncodingASCII, "1", false},
        {"1234", 3, kCFStringEncodingASCII, "12", false},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.text << " in " << c.bufferSize);
        Owned string(makeString(c.text));
        char buffer[40];
        std::memset(buffer, 'Z', sizeof buffer);
        EXPECT_EQ(CFStringGetCString(static_cast<CFStringRef>(string.get()), buffer, c.bufferSize,
                                     c.encoding) != 0,
                  c.complete);
        EXPECT_STREQ(buffer, c.written);
        EXPECT_EQ(buffer[c.bufferSize], 'Z') << "wrote past the buffer";
    }
}

TEST(StringExtractionLimits, RefusesMissingBufferOrSize) {
    Owned string(makeString("x"));
    auto ref = static_cast<CFStringRef>(string.get());
    char buffer[4] = "abc";
    EXPECT_FALSE(CFStringGetCString(ref, buffer, 0, kCFStringEncodingUTF8));
    EXPECT_FALSE(CFStringGetCString(ref, buffer, -5, kCFStringEncodingUTF8));
    EXPECT_FALSE(CFStringGetCString(ref, nullptr, 4, kCFStringEncodingUTF8));
    EXPECT_FALSE(CFStringGetCString(ref, buffer, 4, 0x0201));
    EXPECT_STREQ(buffer, "abc");
}

} // namespace
