// Parameters through the selectors and through the fast functions a host fetches with property 5,
// and the parameter descriptions a host reads before it shows them.
#include "UnitHost.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using testhost::UnitHost;

namespace {

struct Address {
    AudioUnitParameterID id;
    AudioUnitScope scope;
    AudioUnitElement element;
    OSStatus getStatus;
    OSStatus setStatus;
};

// Every way an address can be wrong, beside the two good ones. An uninitialized element in map
// storage takes a new parameter on set, so the input bus accepts what it cannot answer yet.
const Address kAddresses[] = {
    {kParam_Loudspeaker, kAudioUnitScope_Global, 0, noErr, noErr},
    {kParam_Volume, kAudioUnitScope_Global, 0, noErr, noErr},
    {2, kAudioUnitScope_Global, 0, kAudioUnitErr_InvalidParameter, kAudioUnitErr_InvalidParameter},
    {kParam_Loudspeaker, kAudioUnitScope_Input, 0, kAudioUnitErr_InvalidParameter, noErr},
    {kParam_Loudspeaker, kAudioUnitScope_Global, 1, kAudioUnitErr_InvalidElement,
     kAudioUnitErr_InvalidElement},
    {kParam_Loudspeaker, kAudioUnitScope_Output, 1, kAudioUnitErr_InvalidElement,
     kAudioUnitErr_InvalidElement},
    {kParam_Loudspeaker, kAudioUnitScope_Group, 0, kAudioUnitErr_InvalidScope,
     kAudioUnitErr_InvalidScope},
    {kParam_Loudspeaker, 5, 0, kAudioUnitErr_InvalidScope, kAudioUnitErr_InvalidScope},
};

std::string Describe(const Address& a) {
    return "id " + std::to_string(a.id) + " scope " + std::to_string(a.scope) + " element " +
           std::to_string(a.element);
}

template <class Proc> Proc FetchFastFunction(UnitHost& host, AudioUnitElement selector) {
    Proc proc = nullptr;
    UInt32 size = sizeof proc;
    EXPECT_EQ(AudioUnitGetProperty(host.Unit(), kAudioUnitProperty_FastDispatch,
                                   kAudioUnitScope_Global, selector, &proc, &size),
              noErr);
    return proc;
}

class Parameters : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(host.OpenStatus(), noErr); }
    void* Storage() const { return GetComponentInstanceStorage(host.Unit()); }

    UnitHost host;
};

TEST_F(Parameters, SelectorsAnswerEveryAddress) {
    for (const Address& a : kAddresses) {
        AudioUnitParameterValue value = -99.0f;
        EXPECT_EQ(AudioUnitGetParameter(host.Unit(), a.id, a.scope, a.element, &value), a.getStatus)
            << Describe(a);
        EXPECT_EQ(AudioUnitSetParameter(host.Unit(), a.id, a.scope, a.element, 2.0f, 0),
                  a.setStatus)
            << Describe(a);
    }
}

TEST_F(Parameters, FastFunctionsAnswerEveryAddress) {
    const auto get = FetchFastFunction<AudioUnitGetParameterProc>(host, 6);
    const auto set = FetchFastFunction<AudioUnitSetParameterProc>(host, 7);
    ASSERT_NE(get, nullptr);
    ASSERT_NE(set, nullptr);
    for (const Address& a : kAddresses) {
        AudioUnitParameterValue value = -99.0f;
        EXPECT_EQ(get(Storage(), a.id, a.scope, a.element, &value), a.getStatus) << Describe(a);
        EXPECT_EQ(set(Storage(), a.id, a.scope, a.element, 2.0f, 0), a.setStatus) << Describe(a);
    }
}

TEST_F(Parameters, NewUnitHoldsTheDefaults) {
    AudioUnitParameterValue speaker = 0, volume = -1;
    ASSERT_EQ(host.GetParameter(kParam_Loudspeaker, speaker), noErr);
    ASSERT_EQ(host.GetParameter(kParam_Volume, volume), noErr);
    EXPECT_EQ(speaker, 1.0f);
    EXPECT_EQ(volume, 0.0f);
}

TEST_F(Parameters, ValuesTravelBitExactThroughEveryPath) {
    const auto get = FetchFastFunction<AudioUnitGetParameterProc>(host, 6);
    const auto set = FetchFastFunction<AudioUnitSetParameterProc>(host, 7);
    ASSERT_EQ(host.SetParameter(kParam_Volume, -5.25f), noErr);
    AudioUnitParameterValue value = 0;
    ASSERT_EQ(get(Storage(), kParam_Volume, kAudioUnitScope_Global, 0, &value), noErr);
    EXPECT_EQ(value, -5.25f);

    ASSERT_EQ(set(Storage(), kParam_Volume, kAudioUnitScope_Global, 0, 1.0e-7f, 0), noErr);
    ASSERT_EQ(host.GetParameter(kParam_Volume, value), noErr);
    EXPECT_EQ(value, 1.0e-7f);
}

TEST_F(Parameters, NullPointersAreRefused) {
    const auto get = FetchFastFunction<AudioUnitGetParameterProc>(host, 6);
    const auto set = FetchFastFunction<AudioUnitSetParameterProc>(host, 7);
    EXPECT_EQ(AudioUnitGetParameter(host.Unit(), kParam_Volume, 0, 0, nullptr), paramErr);
    EXPECT_EQ(get(Storage(), kParam_Volume, 0, 0, nullptr), paramErr);
    AudioUnitParameterValue value = 0;
    EXPECT_EQ(get(nullptr, kParam_Volume, 0, 0, &value), paramErr);
    EXPECT_EQ(set(nullptr, kParam_Volume, 0, 0, 1.0f, 0), paramErr);
}

TEST_F(Parameters, InfoDescribesBothParameters) {
    struct Expected {
        AudioUnitParameterID id;
        const char* name;
        UInt32 unit;
        Float32 min, max, defaultValue;
    };
    for (const Expected& e : {Expected{kParam_Loudspeaker, "Loudspeaker", 1, 1, 5, 1},
                              Expected{kParam_Volume, "Volume", 13, -6, 6, 0}}) {
        AudioUnitParameterInfo info{};
        ASSERT_EQ(
            host.GetProperty(kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, e.id, info),
            noErr);
        EXPECT_STREQ(info.name, e.name);
        EXPECT_STREQ(PlatformStringUTF8(info.cfNameString), e.name);
        EXPECT_EQ(info.unit, e.unit);
        EXPECT_EQ(info.minValue, e.min);
        EXPECT_EQ(info.maxValue, e.max);
        EXPECT_EQ(info.defaultValue, e.defaultValue);
        EXPECT_EQ(info.flags, 0xC8000000u);
    }
}

TEST_F(Parameters, InfoOfParametersTheUnitLacksIsRefused) {
    AudioUnitParameterInfo info{};
    EXPECT_EQ(host.GetProperty(kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, 2, info),
              kAudioUnitErr_InvalidParameter);
    EXPECT_EQ(host.GetProperty(kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Input, 0, info),
              kAudioUnitErr_InvalidParameter);
}

TEST_F(Parameters, ValueStringsNameTheSpeakerModels) {
    UInt32 size = 0;
    Boolean writable = true;
    ASSERT_EQ(AudioUnitGetPropertyInfo(host.Unit(), kAudioUnitProperty_ParameterValueStrings,
                                       kAudioUnitScope_Global, kParam_Loudspeaker, &size,
                                       &writable),
              noErr);
    EXPECT_FALSE(writable);

    CFArrayRef strings = nullptr;
    ASSERT_EQ(host.GetProperty(kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global,
                               kParam_Loudspeaker, strings),
              noErr);
    ASSERT_NE(strings, nullptr);
    ASSERT_EQ(CFArrayGetCount(strings), 5);
    const auto text = [&](CFIndex i) {
        return std::string(PlatformStringUTF8(CFStringRef(CFArrayGetValueAtIndex(strings, i))));
    };
    EXPECT_EQ(text(0), "Guitar: warm");
    EXPECT_EQ(text(4), "Bass: bright");
    CFRelease(strings);
}

TEST_F(Parameters, VolumeHasNoValueStrings) {
    CFArrayRef strings = nullptr;
    EXPECT_EQ(host.GetProperty(kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global,
                               kParam_Volume, strings),
              kAudioUnitErr_InvalidProperty);
    EXPECT_EQ(strings, nullptr);
}

} // namespace
