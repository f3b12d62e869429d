// Helpers for the property-list tests: owned references and a leak check.
#ifndef TESTS_PLATFORM_PLISTTESTSUPPORT_H
#define TESTS_PLATFORM_PLISTTESTSUPPORT_H

#include "Platform/PropertyList.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

struct CFReleaser {
    void operator()(const void* object) const { CFRelease(object); }
};
using Owned = std::unique_ptr<const void, CFReleaser>;

inline CFStringRef makeString(const char* text) {
    return CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingUTF8);
}

inline CFNumberRef makeInt64(int64_t value) {
    return CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt64Type, &value);
}

inline CFNumberRef makeDouble(double value) {
    return CFNumberCreate(kCFAllocatorDefault, kCFNumberFloat64Type, &value);
}

inline CFMutableDictionaryRef makeRetainingDictionary() {
    return CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks,
                                     &kCFTypeDictionaryValueCallBacks);
}

inline std::string textOf(CFTypeRef string) {
    const char* text = PlatformStringUTF8(static_cast<CFStringRef>(string));
    return text != nullptr ? text : "<not a string>";
}

// Fails the test when objects created during the fixture's test are still alive at its end.
class LeakCheckedTest : public ::testing::Test {
protected:
    void SetUp() override { mLiveAtStart = PlatformLiveObjectCount(); }
    void TearDown() override { EXPECT_EQ(PlatformLiveObjectCount(), mLiveAtStart); }

private:
    long mLiveAtStart = 0;
};

#endif
