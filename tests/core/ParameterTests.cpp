#include "AUBase.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

namespace {

AudioUnitParameterEvent Ramp(SInt32 startOffset, UInt32 duration, Float32 from, Float32 to) {
    AudioUnitParameterEvent event{0, 0, 0, kParameterEvent_Ramped, {}};
    event.eventValues.ramp = {startOffset, duration, from, to};
    return event;
}

struct RampCase {
    const char* what;
    AudioUnitParameterEvent event;
    UInt32 sliceOffset;
    Float32 start, end, delta;
};

TEST(ParameterRamps, ValuesAtTheSliceOf32Frames) {
    AudioUnitParameterEvent immediate{0, 0, 0, kParameterEvent_Immediate, {}};
    immediate.eventValues.immediate = {7, 0.3f};
    const RampCase cases[] = {
        {"begun 50 frames early", Ramp(-50, 100, 0.0f, 1.0f), 0, 0.5f, 0.82f, 0.01f},
        {"later slice of the buffer", Ramp(10, 100, 0.0f, 1.0f), 60, 0.5f, 0.82f, 0.01f},
        {"immediate", immediate, 0, 0.3f, 0.3f, 0.0f},
        {"zero duration has arrived", Ramp(-5, 0, 0.0f, 1.0f), 0, 1.0f, 1.0f, 0.0f},
        {"most negative offset", Ramp(INT_MIN, 1024, 0.0f, 1.0f), 0, 2097152.0f, 2097152.0f,
         1.0f / 1024},
    };
    for (const RampCase& c : cases) {
        const ParameterMapEvent stored(c.event, c.sliceOffset, 32);
        Float32 start = NAN, end = NAN, delta = NAN;
        stored.GetRampSliceStartEnd(start, end, delta);
        EXPECT_FLOAT_EQ(start, c.start) << c.what;
        EXPECT_FLOAT_EQ(end, c.end) << c.what;
        EXPECT_FLOAT_EQ(delta, c.delta) << c.what;
    }
}

TEST(ParameterInfo, NameIsTruncatedIntoItsFieldWholeCharactersOnly) {
    const std::string longest(51, 'x');
    const std::pair<std::string, std::string> cases[] = {
        {"Volume", "Volume"},
        {longest + "yz", longest},
        {std::string(50, 'a') + "\xC3\xA9", std::string(50, 'a')},
        {std::string(48, 'a') + "\xE2\x82\xAC", std::string(48, 'a') + "\xE2\x82\xAC"},
    };
    for (const auto& [text, stored] : cases) {
        CFStringRef name = CFStringCreateWithCString(nullptr, text.c_str(), kCFStringEncodingUTF8);
        AudioUnitParameterInfo info{};
        AUBase::FillInParameterName(info, name, text.size() > 10);
        EXPECT_EQ(info.name, stored);
        EXPECT_EQ(info.cfNameString, name);
        EXPECT_EQ(info.flags, text.size() > 10 ? 0x08000010u : 0x08000000u);
        CFRelease(name);
    }
}

} // namespace
