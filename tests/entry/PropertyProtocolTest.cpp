// How the property selectors treat the host's buffers and size words: the size query, short and
// long client buffers, missing data or size, and the diagnostics they print.
#include "UnitHost.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <string>

using testhost::UnitHost;

namespace {

std::string DiagnosticPattern(const std::string& message) {
    return "^ca_debug_string: " + message + " AUDispatch:[0-9]+\n$";
}

class PropertyProtocol : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(host.OpenStatus(), noErr); }

    OSStatus GetStreamFormat(void* data, UInt32* size) {
        return AudioUnitGetProperty(host.Unit(), kAudioUnitProperty_StreamFormat,
                                    kAudioUnitScope_Output, 0, data, size);
    }

    UnitHost host;
};

// A failed size query leaves the size zero.
TEST_F(PropertyProtocol, NullDataAsksForTheSize) {
    UInt32 size = 1234;
    EXPECT_EQ(GetStreamFormat(nullptr, &size), noErr);
    EXPECT_EQ(size, sizeof(AudioStreamBasicDescription));
    for (const AudioUnitScope scope : {AudioUnitScope(kAudioUnitScope_Global), AudioUnitScope(7)}) {
        size = 1234;
        EXPECT_NE(AudioUnitGetProperty(host.Unit(), 9999, scope, 0, nullptr, &size), noErr);
        EXPECT_EQ(size, 0u) << "scope " << scope;
    }
}

TEST_F(PropertyProtocol, MissingSizeOrDataIsRefusedWithItsDiagnostic) {
    AudioStreamBasicDescription format{};
    UInt32 zero = 0;
    const UInt32 value = 1;
    const auto set = [&](const void* data, UInt32 size) {
        return AudioUnitSetProperty(host.Unit(), kAudioUnitProperty_BypassEffect,
                                    kAudioUnitScope_Global, 0, data, size);
    };
    const std::pair<std::function<OSStatus()>, const char*> cases[] = {
        {[&] { return GetStreamFormat(&format, nullptr); },
         "AudioUnitGetProperty: null size pointer"},
        {[&] { return GetStreamFormat(&format, &zero); },
         "AudioUnitGetProperty: \\*ioDataSize == 0 on entry"},
        {[&] { return set(&value, 0); }, "AudioUnitSetProperty: inDataSize == 0"},
        {[&] { return set(nullptr, 4); }, "AudioUnitSetProperty: inData == NULL"},
    };
    for (const auto& [call, message] : cases) {
        testing::internal::CaptureStderr();
        const OSStatus status = call();
        const std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, paramErr) << message;
        EXPECT_THAT(printed, testing::MatchesRegex(DiagnosticPattern(message)));
    }
    UInt32 bypass = 7;
    ASSERT_EQ(host.GetProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, bypass),
              noErr);
    EXPECT_EQ(bypass, 0u);
}

// A client buffer receives as much of the value as fits, and the size word says how much.
TEST_F(PropertyProtocol, ClientBuffersOfAnySizeReceiveWhatFits) {
    constexpr Byte kUntouched = 0xA5;
    for (const UInt32 clientSize : {64u, 40u, 12u}) {
        std::array<Byte, 64> buffer;
        buffer.fill(kUntouched);
        UInt32 size = clientSize;
        ASSERT_EQ(GetStreamFormat(buffer.data(), &size), noErr);
        const UInt32 written = std::min<UInt32>(clientSize, sizeof(AudioStreamBasicDescription));
        EXPECT_EQ(size, written);
        // The first 12 bytes: the sample rate and the format ID.
        Float64 rate;
        UInt32 formatID;
        memcpy(&rate, buffer.data(), sizeof rate);
        memcpy(&formatID, buffer.data() + 8, sizeof formatID);
        EXPECT_EQ(rate, 44100.0);
        EXPECT_EQ(formatID, UInt32(kAudioFormatLinearPCM));
        for (size_t i = written; i < buffer.size(); ++i) {
            ASSERT_EQ(buffer[i], kUntouched) << "client size " << clientSize << ", byte " << i;
        }
    }
}

// The context name has a size but no value until a host sets one; an unknown property has
// neither, so the size word is not touched.
TEST_F(PropertyProtocol, AFailedReadLeavesSizeZeroAndAFailedInfoLeavesItAlone) {
    struct Case {
        AudioUnitPropertyID id;
        OSStatus status;
        UInt32 sizeAfter;
    };
    for (const Case& c :
         {Case{kAudioUnitProperty_ContextName, kAudioUnitErr_InvalidPropertyValue, 0},
          Case{9999, kAudioUnitErr_InvalidProperty, 8}}) {
        UInt64 value = 0;
        UInt32 size = sizeof value;
        EXPECT_EQ(AudioUnitGetProperty(host.Unit(), c.id, kAudioUnitScope_Global, 0, &value, &size),
                  c.status);
        EXPECT_EQ(size, c.sizeAfter) << "property " << c.id;
    }
}

TEST_F(PropertyProtocol, InfoOutputsAreOptionalAndClearedOnFailure) {
    UInt32 size = 77;
    Boolean writable = false;
    ASSERT_EQ(AudioUnitGetPropertyInfo(host.Unit(), kAudioUnitProperty_BypassEffect,
                                       kAudioUnitScope_Global, 0, &size, &writable),
              noErr);
    EXPECT_EQ(size, 4u);
    EXPECT_TRUE(writable);
    EXPECT_EQ(AudioUnitGetPropertyInfo(host.Unit(), kAudioUnitProperty_BypassEffect,
                                       kAudioUnitScope_Global, 0, nullptr, nullptr),
              noErr);

    for (const AudioUnitScope scope : {AudioUnitScope(kAudioUnitScope_Input), AudioUnitScope(7)}) {
        size = 77;
        writable = true;
        EXPECT_NE(AudioUnitGetPropertyInfo(host.Unit(), 9999, scope, 0, &size, &writable), noErr);
        EXPECT_EQ(size, 0u) << "scope " << scope;
        EXPECT_FALSE(writable) << "scope " << scope;
    }
}

TEST_F(PropertyProtocol, SetWithNeitherDataNorSizeRemovesTheValue) {
    CFStringRef name = CFStringCreateWithCString(nullptr, "Track 3", kCFStringEncodingUTF8);
    ASSERT_EQ(host.SetProperty(kAudioUnitProperty_ContextName, kAudioUnitScope_Global, 0, name),
              noErr);
    CFRelease(name);
    ASSERT_EQ(AudioUnitSetProperty(host.Unit(), kAudioUnitProperty_ContextName,
                                   kAudioUnitScope_Global, 0, nullptr, 0),
              noErr);
    CFStringRef read = nullptr;
    EXPECT_EQ(host.GetProperty(kAudioUnitProperty_ContextName, kAudioUnitScope_Global, 0, read),
              kAudioUnitErr_InvalidPropertyValue);
}

} // namespace
