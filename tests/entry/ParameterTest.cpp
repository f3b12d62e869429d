// Parameters through the selectors and through the fast functions a host fetches with property 5.
#include "UnitHost.h"

#include <gtest/gtest.h>

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

TEST_F(Parameters, SelectorsAndFastFunctionsAnswerEveryAddress) {
    const auto get = FetchFastFunction<AudioUnitGetParameterProc>(host, 6);
    const auto set = FetchFastFunction<AudioUnitSetParameterProc>(host, 7);
    ASSERT_NE(get, nullptr);
    ASSERT_NE(set, nullptr);
    for (const Address& a : kAddresses) {
        SCOPED_TRACE(Describe(a));
        AudioUnitParameterValue value = -99.0f;
        EXPECT_EQ(AudioUnitGetParameter(host.Unit(), a.id, a.scope, a.element, &value),
                  a.getStatus);
        EXPECT_EQ(get(Storage(), a.id, a.scope, a.element, &value), a.getStatus);
        EXPECT_EQ(AudioUnitSetParameter(host.Unit(), a.id, a.scope, a.element, 2.0f, 0),
                  a.setStatus);
        EXPECT_EQ(set(Storage(), a.id, a.scope, a.element, 2.0f, 0), a.setStatus);
    }
}

TEST_F(Parameters, ValuesTravelBitExactAndNullPointersAreRefused) {
    const auto get = FetchFastFunction<AudioUnitGetParameterProc>(host, 6);
    const auto set = FetchFastFunction<AudioUnitSetParameterProc>(host, 7);
    ASSERT_EQ(host.SetParameter(kParam_Volume, -5.25f), noErr);
    AudioUnitParameterValue value = 0;
    ASSERT_EQ(get(Storage(), kParam_Volume, kAudioUnitScope_Global, 0, &value), noErr);
    EXPECT_EQ(value, -5.25f);
    ASSERT_EQ(set(Storage(), kParam_Volume, kAudioUnitScope_Global, 0, 1.0e-7f, 0), noErr);
    ASSERT_EQ(host.GetParameter(kParam_Volume, value), noErr);
    EXPECT_EQ(value, 1.0e-7f);

    EXPECT_EQ(AudioUnitGetParameter(host.Unit(), kParam_Volume, 0, 0, nullptr), paramErr);
    EXPECT_EQ(get(Storage(), kParam_Volume, 0, 0, nullptr), paramErr);
    EXPECT_EQ(get(nullptr, kParam_Volume, 0, 0, &value), paramErr);
    EXPECT_EQ(set(nullptr, kParam_Volume, 0, 0, 1.0f, 0), paramErr);
}

} // namespace
