#include "TestUnits.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

using testunits::OpenUnit;
using testunits::StatusOf;

namespace {

std::vector<AudioUnitParameterID> ListOf(const AUElement& element) {
    std::vector<AudioUnitParameterID> ids(element.GetNumberOfParameters());
    element.GetParameterList(ids.data());
    return ids;
}

TEST(ParameterStorage, IndexedStorageHoldsExactlyItsIDs) {
    auto unit = OpenUnit();
    unit->Globals()->UseIndexedParameters(2);
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(StatusOf([&] { return unit->SetParameter(1, 0, 0, 3.5f, 0); }), noErr);
        EXPECT_EQ(StatusOf([&] { return unit->SetParameter(2, 0, 0, 1.0f, 0); }),
                  kAudioUnitErr_InvalidParameter);
        unit->DoInitialize();
    }
    EXPECT_EQ(unit->Globals()->GetParameter(1), 3.5f);
    EXPECT_EQ(ListOf(*unit->Globals()), (std::vector<AudioUnitParameterID>{0, 1}));
}

TEST(ParameterStorage, MapStorageGrowsOnlyWhileUninitialized) {
    auto unit = OpenUnit();
    AUElement* globals = unit->Globals();
    globals->SetParameter(40, 1.0f);
    globals->SetParameter(3, 2.0f);
    EXPECT_EQ(ListOf(*globals), (std::vector<AudioUnitParameterID>{3, 40}));

    unit->DoInitialize();
    testing::internal::CaptureStderr(); // the logging string's own diagnostics
    const std::string prefix = std::string("WARNING: ") + unit->GetLoggingString();
    testing::internal::GetCapturedStderr();
    testing::internal::CaptureStderr();
    AudioUnitParameterEvent event{0, 0, 8, kParameterEvent_Immediate, {}};
    globals->SetParameter(7, 1.0f);
    globals->SetScheduledEvent(8, event, 0, 64);
    globals->SetParameter(3, 5.0f);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              prefix + " SetParameter for undefined param ID 7 while initialized. Ignoring..\n" +
                  prefix +
                  " SetScheduledEvent for undefined param ID 8 while initialized. Ignoring..\n");
    EXPECT_EQ(StatusOf([&] { globals->GetParameter(7); }), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(globals->GetParameter(3), 5.0f);
}

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

TEST(ParameterList, TheFirstLargestElementSpeaksForTheScope) {
    auto unit = OpenUnit(nullptr, 1, 1, 3);
    const std::vector<std::vector<AudioUnitParameterID>> held = {{5, 6}, {12, 10, 11}, {1, 2, 3}};
    for (UInt32 i = 0; i < held.size(); ++i) {
        for (AudioUnitParameterID id : held[i]) {
            unit->Groups().GetElement(i)->SetParameter(id, 0.0f);
        }
    }
    UInt32 count = 0;
    std::vector<AudioUnitParameterID> ids(3);
    EXPECT_EQ(unit->GetParameterList(kAudioUnitScope_Group, ids.data(), count), noErr);
    EXPECT_EQ(ids, (std::vector<AudioUnitParameterID>{10, 11, 12}));
    EXPECT_EQ(unit->GetParameterList(kAudioUnitScope_Part, nullptr, count), noErr);
    EXPECT_EQ(count, 0u);
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
