#include "TestUnits.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

using testunits::OpenUnit;
using testunits::StatusOf;

namespace {

AudioUnitParameterEvent Ramp(SInt32 startOffset, UInt32 duration, Float32 from, Float32 to) {
    AudioUnitParameterEvent event{};
    event.eventType = kParameterEvent_Ramped;
    event.eventValues.ramp = {startOffset, duration, from, to};
    return event;
}

AudioUnitParameterEvent Immediate(UInt32 offset, Float32 value) {
    AudioUnitParameterEvent event{};
    event.eventType = kParameterEvent_Immediate;
    event.eventValues.immediate = {offset, value};
    return event;
}

TEST(ParameterStorage, IndexedStorageHoldsExactlyItsIDs) {
    auto unit = OpenUnit();
    AUElement* globals = unit->Globals();
    globals->UseIndexedParameters(2);
    for (bool initialized : {false, true}) {
        if (initialized) {
            unit->DoInitialize();
        }
        EXPECT_EQ(StatusOf([&] { return unit->SetParameter(1, 0, 0, 3.5f, 0); }), noErr);
        EXPECT_EQ(StatusOf([&] { return unit->SetParameter(2, 0, 0, 1.0f, 0); }),
                  kAudioUnitErr_InvalidParameter);
        Float32 value = 0;
        EXPECT_EQ(unit->GetParameter(1, 0, 0, value), noErr);
        EXPECT_EQ(value, 3.5f);
        EXPECT_EQ(globals->GetParameter(0), 0.0f) << "new entries start at 0";
    }
    std::vector<AudioUnitParameterID> ids(globals->GetNumberOfParameters());
    globals->GetParameterList(ids.data());
    EXPECT_EQ(ids, (std::vector<AudioUnitParameterID>{0, 1}));
}

TEST(ParameterStorage, MapStorageGrowsOnlyWhileUninitialized) {
    auto unit = OpenUnit();
    AUElement* globals = unit->Globals();
    globals->SetParameter(40, 1.0f);
    globals->SetParameter(3, 2.0f);
    std::vector<AudioUnitParameterID> ids(globals->GetNumberOfParameters());
    globals->GetParameterList(ids.data());
    EXPECT_EQ(ids, (std::vector<AudioUnitParameterID>{3, 40}));

    unit->DoInitialize();
    testing::internal::CaptureStderr(); // the logging string's own diagnostics, made once
    const std::string prefix = std::string("WARNING: ") + unit->GetLoggingString();
    testing::internal::GetCapturedStderr();
    testing::internal::CaptureStderr();
    globals->SetParameter(7, 1.0f);
    globals->SetScheduledEvent(8, Immediate(0, 1.0f), 0, 64);
    globals->SetParameter(3, 5.0f);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              prefix + " SetParameter for undefined param ID 7 while initialized. Ignoring..\n" +
                  prefix +
                  " SetScheduledEvent for undefined param ID 8 while initialized. Ignoring..\n");
    EXPECT_EQ(StatusOf([&] { globals->GetParameter(7); }), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(StatusOf([&] { globals->GetParameter(8); }), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(globals->GetParameter(3), 5.0f);

    globals->SetParameter(7, 9.0f, true);
    EXPECT_EQ(globals->GetParameter(7), 9.0f) << "allowed when the caller says so";
}

TEST(ParameterStorage, UnitLevelRouting) {
    auto unit = OpenUnit();
    Float32 value = 0;
    struct Case {
        const char* what;
        std::function<OSStatus()> call;
        OSStatus status;
    };
    const Case cases[] = {
        {"group get", [&] { return unit->GetParameter(0, 3, 0, value); },
         kAudioUnitErr_InvalidScope},
        {"group set", [&] { return unit->SetParameter(0, 3, 0, 1.0f, 0); },
         kAudioUnitErr_InvalidScope},
        {"scope 5", [&] { return unit->SetParameter(0, 5, 0, 1.0f, 0); },
         kAudioUnitErr_InvalidScope},
        {"missing element", [&] { return unit->GetParameter(0, 2, 1, value); },
         kAudioUnitErr_InvalidElement},
        {"unknown ID", [&] { return unit->GetParameter(12, 0, 0, value); },
         kAudioUnitErr_InvalidParameter},
        {"output set", [&] { return unit->SetParameter(12, 2, 0, 0.5f, 99); }, noErr},
        {"output get", [&] { return unit->GetParameter(12, 2, 0, value); }, noErr},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StatusOf(c.call), c.status) << c.what;
    }
    EXPECT_EQ(value, 0.5f);
}

struct RampCase {
    const char* what;
    AudioUnitParameterEvent event;
    UInt32 sliceOffset;
    UInt32 sliceFrames;
    Float32 start, end, delta;
};

TEST(ParameterRamps, SliceStartAndEnd) {
    const RampCase cases[] = {
        {"begun 50 frames early", Ramp(-50, 100, 0.0f, 1.0f), 0, 32, 0.5f, 0.82f, 0.01f},
        {"later slice of the buffer", Ramp(10, 100, 0.0f, 1.0f), 60, 32, 0.5f, 0.82f, 0.01f},
        {"falling", Ramp(0, 10, 1.0f, 0.0f), 0, 5, 1.0f, 0.5f, -0.1f},
        {"immediate", Immediate(7, 0.3f), 0, 64, 0.3f, 0.3f, 0.0f},
        {"zero duration has arrived", Ramp(-5, 0, 0.0f, 1.0f), 0, 32, 1.0f, 1.0f, 0.0f},
    };
    for (const RampCase& c : cases) {
        auto unit = OpenUnit();
        AUElement* globals = unit->Globals();
        globals->SetScheduledEvent(4, c.event, c.sliceOffset, c.sliceFrames);
        Float32 start = NAN, end = NAN, delta = NAN;
        globals->GetRampSliceStartEnd(4, start, end, delta);
        EXPECT_FLOAT_EQ(start, c.start) << c.what;
        EXPECT_FLOAT_EQ(end, c.end) << c.what;
        EXPECT_FLOAT_EQ(delta, c.delta) << c.what;
        EXPECT_EQ(globals->GetParamEvent(4).GetSliceDurationFrames(), c.sliceFrames);
    }
}

TEST(ParameterRamps, ImmediateEventTakesTheSliceAsItsDuration) {
    const ParameterMapEvent stored(Immediate(12, 0.75f), 0, 256);
    EXPECT_EQ(stored.GetEventType(), static_cast<UInt32>(kParameterEvent_Immediate));
    EXPECT_EQ(stored.GetBufferOffset(), 0);
    EXPECT_EQ(stored.GetDurationInFrames(), 256u);
    EXPECT_EQ(stored.GetEndValue(), 0.75f);
}

TEST(ParameterRamps, SetValueAfterARampKeepsItsTimingButStopsIt) {
    ParameterMapEvent stored(Ramp(-20, 100, 0.0f, 1.0f), 0, 32);
    stored.SetValue(0.4f);
    EXPECT_EQ(stored.GetBufferOffset(), -20);
    EXPECT_EQ(stored.GetDurationInFrames(), 100u);
    EXPECT_EQ(stored.GetSliceDurationFrames(), 32u);
    Float32 start = 0, end = 0, delta = 1;
    stored.GetRampSliceStartEnd(start, end, delta);
    EXPECT_EQ(start, 0.4f);
    EXPECT_EQ(end, 0.4f);
    EXPECT_EQ(delta, 0.0f);
}

TEST(ParameterRamps, MostNegativeOffsetStaysDefined) {
    const ParameterMapEvent stored(Ramp(INT_MIN, 1000, 0.0f, 1.0f), 0, 16);
    Float32 start = 0, end = 0, delta = 0;
    stored.GetRampSliceStartEnd(start, end, delta);
    EXPECT_FLOAT_EQ(start, 2147483648.0f * 0.001f);
    EXPECT_TRUE(std::isfinite(end));
}

TEST(ParameterList, TheFirstLargestElementSpeaksForTheScope) {
    auto unit = OpenUnit(nullptr, 1, 1, 3);
    const std::vector<std::vector<AudioUnitParameterID>> held = {
        {5, 6}, {12, 10, 11}, {20, 21, 22}};
    for (UInt32 i = 0; i < held.size(); ++i) {
        for (AudioUnitParameterID id : held[i]) {
            unit->Groups().GetElement(i)->SetParameter(id, 0.0f);
        }
    }
    UInt32 count = 0;
    EXPECT_EQ(unit->GetParameterList(kAudioUnitScope_Group, nullptr, count), noErr);
    EXPECT_EQ(count, 3u);
    std::vector<AudioUnitParameterID> ids(count);
    unit->GetParameterList(kAudioUnitScope_Group, ids.data(), count);
    EXPECT_EQ(ids, (std::vector<AudioUnitParameterID>{10, 11, 12}));

    EXPECT_EQ(unit->GetParameterList(kAudioUnitScope_Part, ids.data(), count), noErr);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(StatusOf([&] { return unit->GetParameterList(5, nullptr, count); }),
              kAudioUnitErr_InvalidScope);
}

TEST(ParameterDescriptions, BaseAnswers) {
    auto unit = OpenUnit();
    AudioUnitParameterInfo info{};
    CFArrayRef strings = nullptr;
    CFStringRef clump = nullptr;
    EXPECT_EQ(unit->GetParameterInfo(0, 0, info), kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(unit->GetParameterValueStrings(0, 0, &strings), kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(unit->CopyClumpName(0, 1, 10, &clump), kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(unit->GetLatency(), 0.0);
    EXPECT_EQ(unit->GetTailTime(), 0.0);
    EXPECT_FALSE(unit->SupportsTail());
}

struct NameCase {
    std::string name;
    bool release;
    std::string stored;
};

TEST(ParameterDescriptions, FillInParameterName) {
    const std::string longest(51, 'x');
    const NameCase cases[] = {
        {"Volume", false, "Volume"},
        {longest, true, longest},
        {longest + "yz", false, longest},
        {std::string(50, 'a') + "\xC3\xA9", true, std::string(50, 'a')},
        {std::string(49, 'a') + "\xE2\x82\xAC", false, std::string(49, 'a')},
        {std::string(48, 'a') + "\xE2\x82\xAC", false, std::string(48, 'a') + "\xE2\x82\xAC"},
    };
    for (const NameCase& c : cases) {
        CFStringRef name =
            CFStringCreateWithCString(nullptr, c.name.c_str(), kCFStringEncodingUTF8);
        AudioUnitParameterInfo info{};
        info.flags = kAudioUnitParameterFlag_IsReadable;
        AUBase::FillInParameterName(info, name, c.release);
        EXPECT_EQ(std::string(info.name), c.stored) << c.name;
        EXPECT_EQ(info.cfNameString, name);
        const UInt32 release = c.release ? UInt32{kAudioUnitParameterFlag_CFNameRelease} : 0u;
        const UInt32 expectedFlags =
            kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_HasCFNameString | release;
        EXPECT_EQ(info.flags, expectedFlags) << c.name;
        CFRelease(name);
    }
}

} // namespace
