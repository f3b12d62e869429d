// What the unit itself answers: parameter info, value strings, latency, tail and version.
#include "Harwendel_Quenzal.h"
#include "TestUnits.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <utility>

namespace {

using Address = std::pair<AudioUnitScope, AudioUnitParameterID>;

auto OpenQuenzal() {
    return testunits::OpenUnit<Harwendel_Quenzal>(nullptr);
}

// Asked through the parameter-info property into a record of 0x5A bytes, which keeps whatever the
// unit does not write.
AudioUnitParameterInfo InfoOf(Harwendel_Quenzal& unit, Address address, OSStatus expected) {
    AudioUnitParameterInfo info;
    std::memset(&info, 0x5A, sizeof info);
    EXPECT_EQ(unit.DispatchGetProperty(kAudioUnitProperty_ParameterInfo, address.first,
                                       address.second, &info),
              expected);
    return info;
}

TEST(UnitDefinition, DescribesBothParametersAndRefusesOthersWithTheFlagsSet) {
    const struct {
        AudioUnitParameterID id;
        const char* name;
        UInt32 unit;
        float min, max, def;
    } kCases[] = {{kParam_Loudspeaker, "Loudspeaker", 1, 1, 5, 1},
                  {kParam_Volume, "Volume", 13, -6, 6, 0}};
    AudioUnitParameterInfo untouched;
    std::memset(&untouched, 0x5A, sizeof untouched);
    auto unit = OpenQuenzal();
    for (const auto& c : kCases) {
        const AudioUnitParameterInfo info = InfoOf(*unit, {kAudioUnitScope_Global, c.id}, noErr);
        EXPECT_STREQ(info.name, c.name);
        EXPECT_EQ(info.cfNameString, CFStringMakeConstantString(c.name)) << "the constant itself";
        // The constant name is not to be released: flags 0xC8000000, not 0xC8000010.
        EXPECT_EQ(std::tie(info.unit, info.minValue, info.maxValue, info.defaultValue, info.flags),
                  std::make_tuple(c.unit, c.min, c.max, c.def, 0xC8000000u));
        EXPECT_EQ(std::tie(info.unitName, info.clumpID),
                  std::tie(untouched.unitName, untouched.clumpID))
            << "the unit name and clump are the caller's";
    }
    // The flags are set before anything is checked, so a refused query still carries them.
    for (const Address& address :
         {Address{kAudioUnitScope_Input, 0u}, Address{kAudioUnitScope_Output, 1u},
          Address{kAudioUnitScope_Global, 2u}, Address{kAudioUnitScope_Global, 0xFFFFFFFFu}}) {
        AudioUnitParameterInfo info = InfoOf(*unit, address, kAudioUnitErr_InvalidParameter);
        EXPECT_EQ(info.flags, 0xC0000000u);
        info.flags = untouched.flags;
        EXPECT_EQ(std::memcmp(&info, &untouched, sizeof info), 0) << "nothing but the flags";
    }
}

TEST(UnitDefinition, NamesTheFiveSpeakerModelsInModelOrderAndNothingElse) {
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

    for (const auto& [scope, id] : {Address{kAudioUnitScope_Global, kParam_Volume},
                                    Address{kAudioUnitScope_Input, kParam_Loudspeaker},
                                    Address{kAudioUnitScope_Global, 2u}}) {
        strings = reinterpret_cast<CFArrayRef>(&unit);
        EXPECT_EQ(unit->GetParameterValueStrings(scope, id, &strings),
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

} // namespace
