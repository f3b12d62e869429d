// What the unit itself answers: parameter defaults, parameter info, value strings, latency, tail,
// version, and the properties it leaves to the effect base.
#include "Harwendel_Quenzal.h"
#include "TestUnits.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

namespace {

constexpr UInt32 kReadWrite = 0xC0000000u;
constexpr UInt32 kReadWriteNamed = 0xC8000000u;

auto OpenQuenzal() {
    return testunits::OpenUnit<Harwendel_Quenzal>(nullptr);
}

TEST(UnitDefinition, NewUnitHoldsTheDefaults) {
    auto unit = OpenQuenzal();
    EXPECT_EQ(unit->GetParameter(kParam_Loudspeaker), 1.0f);
    EXPECT_EQ(unit->GetParameter(kParam_Volume), 0.0f);
}

TEST(UnitDefinition, DescribesBothParameters) {
    const struct {
        AudioUnitParameterID id;
        const char* name;
        UInt32 unit;
        float min, max, def;
    } kCases[] = {{kParam_Loudspeaker, "Loudspeaker", 1, 1, 5, 1},
                  {kParam_Volume, "Volume", 13, -6, 6, 0}};
    auto unit = OpenQuenzal();
    for (const auto& c : kCases) {
        AudioUnitParameterInfo info{};
        ASSERT_EQ(unit->GetParameterInfo(kAudioUnitScope_Global, c.id, info), noErr);
        EXPECT_STREQ(info.name, c.name);
        EXPECT_EQ(info.cfNameString, CFStringMakeConstantString(c.name)) << "the constant itself";
        // The constant name is not to be released: flags 0xC8000000, not 0xC8000010.
        EXPECT_EQ(std::tie(info.unit, info.minValue, info.maxValue, info.defaultValue, info.flags),
                  std::tie(c.unit, c.min, c.max, c.def, kReadWriteNamed));
    }
}

// The flags are set before anything is checked, so a refused query still carries them.
TEST(UnitDefinition, RefusesOtherScopesAndIdsWithTheFlagsSet) {
    const struct {
        AudioUnitScope scope;
        AudioUnitParameterID id;
    } kCases[] = {{kAudioUnitScope_Input, 0}, {kAudioUnitScope_Output, 1}, {0, 2}, {0, 0xFFFFFFFF}};
    auto unit = OpenQuenzal();
    for (const auto& c : kCases) {
        AudioUnitParameterInfo info;
        std::memset(&info, 0x5A, sizeof info);
        EXPECT_EQ(unit->GetParameterInfo(c.scope, c.id, info), kAudioUnitErr_InvalidParameter);
        EXPECT_EQ(info.flags, kReadWrite);
        EXPECT_EQ(info.name[0], 0x5A) << "nothing but the flags is written";
    }
}

TEST(UnitDefinition, NamesTheFiveSpeakerModelsInModelOrder) {
    auto unit = OpenQuenzal();
    const long liveBefore = PlatformLiveObjectCount();
    EXPECT_EQ(unit->GetParameterValueStrings(kAudioUnitScope_Global, kParam_Loudspeaker, nullptr),
              noErr);
    EXPECT_EQ(PlatformLiveObjectCount(), liveBefore) << "a null query creates nothing";

    CFArrayRef strings = nullptr;
    ASSERT_EQ(unit->GetParameterValueStrings(kAudioUnitScope_Global, kParam_Loudspeaker, &strings),
              noErr);
    ASSERT_NE(strings, nullptr);
    const char* kNames[] = {"Guitar: warm", "Guitar: bright", "Guitar: full", "Bass: warm",
                            "Bass: bright"};
    ASSERT_EQ(CFArrayGetCount(strings), 5);
    for (CFIndex i = 0; i < 5; ++i) {
        const auto name = static_cast<CFStringRef>(CFArrayGetValueAtIndex(strings, i));
        EXPECT_STREQ(PlatformStringUTF8(name), kNames[i]);
    }
    CFRelease(strings);
    EXPECT_EQ(PlatformLiveObjectCount(), liveBefore) << "the caller's release frees the array";
}

TEST(UnitDefinition, HasNoValueStringsElsewhere) {
    const struct {
        AudioUnitScope scope;
        AudioUnitParameterID id;
    } kCases[] = {{kAudioUnitScope_Global, kParam_Volume}, {kAudioUnitScope_Input, 0}, {0, 2}};
    auto unit = OpenQuenzal();
    for (const auto& c : kCases) {
        CFArrayRef strings = reinterpret_cast<CFArrayRef>(&unit);
        EXPECT_EQ(unit->GetParameterValueStrings(c.scope, c.id, &strings),
                  kAudioUnitErr_InvalidProperty);
        EXPECT_EQ(strings, reinterpret_cast<CFArrayRef>(&unit)) << "nothing stored";
    }
}

TEST(UnitDefinition, ReportsLatencyTailAndVersion) {
    auto unit = OpenQuenzal();
    EXPECT_EQ(unit->GetLatency(), 0.0);
    EXPECT_EQ(unit->GetTailTime(), 0.5);
    EXPECT_TRUE(unit->SupportsTail());
    EXPECT_EQ(static_cast<UInt32>(unit->Version()), 0xFFFFFFFFu);
}

// The unit has no properties of its own: bypass and in-place come from the effect base.
TEST(UnitDefinition, LeavesPropertiesToTheEffectBase) {
    auto unit = OpenQuenzal();
    UInt32 size = 0;
    Boolean writable = false;
    EXPECT_EQ(unit->GetPropertyInfo(kAudioUnitProperty_InPlaceProcessing, kAudioUnitScope_Global, 0,
                                    size, writable),
              noErr);
    EXPECT_EQ(size, 4u);
    EXPECT_TRUE(writable);
    UInt32 inPlace = 0;
    EXPECT_EQ(unit->GetProperty(kAudioUnitProperty_InPlaceProcessing, kAudioUnitScope_Global, 0,
                                &inPlace),
              noErr);
    EXPECT_EQ(inPlace, 1u);
}

} // namespace
