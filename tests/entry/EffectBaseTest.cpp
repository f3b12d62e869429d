// The effect base as a host drives it: the channel rule at initialize, one kernel per channel,
// kernel resets, bypass and in-place processing.
#include "LinkedEffect.h"
#include "TestEffects.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using testeffects::CountingEffectOf;
using testeffects::gKernelLog;
using testhost::QuenzalUnit;

namespace {

class EffectBase : public testing::Test {
protected:
    EffectBase() { testeffects::ResetConfiguration(); }
    ~EffectBase() override { testeffects::ResetConfiguration(); }

    const std::vector<AUKernelBase*>& Kernels() { return CountingEffectOf(host).Kernels(); }

    OSStatus SetWord(AudioUnitPropertyID id, UInt32 value, AudioUnitScope scope = 0) {
        return host.SetProperty(id, scope, 0, value);
    }
    UInt32 GetWord(AudioUnitPropertyID id) {
        UInt32 value = 99;
        EXPECT_EQ(host.GetProperty(id, kAudioUnitScope_Global, 0, value), noErr);
        return value;
    }

    hosting::Unit host{testeffects::CountingEffectComponent()};
};

TEST_F(EffectBase, EachInitializeMakesOneKernelPerOutputChannel) {
    ASSERT_EQ(host.SetBusFormats(hosting::CanonicalFormat(3, 48000)), noErr);
    ASSERT_EQ(AudioUnitInitialize(host.Get()), noErr);
    ASSERT_EQ(Kernels().size(), 3u);
    for (UInt32 channel = 0; channel < 3; ++channel) {
        ASSERT_NE(Kernels()[channel], nullptr);
        EXPECT_EQ(Kernels()[channel]->GetChannelNum(), channel);
    }
    ASSERT_EQ(AudioUnitReset(host.Get(), kAudioUnitScope_Global, 0), noErr);
    EXPECT_EQ(gKernelLog.resets, 3);
    EXPECT_EQ(Kernels()[0]->GetSampleRate(), 48000.0);
    EXPECT_EQ(Kernels()[0]->GetParameter(testeffects::kGainParameter), testeffects::kGainDefault);

    ASSERT_EQ(AudioUnitUninitialize(host.Get()), noErr);
    EXPECT_TRUE(Kernels().empty());
    EXPECT_EQ(gKernelLog.destroyed, 3);
    ASSERT_EQ(host.SetBusFormats(hosting::CanonicalFormat(1, 44100)), noErr);
    ASSERT_EQ(AudioUnitInitialize(host.Get()), noErr);
    ASSERT_EQ(Kernels().size(), 1u);
    EXPECT_EQ(Kernels()[0]->GetChannelNum(), 0u);
    EXPECT_EQ(gKernelLog.constructed, 4);
}

TEST_F(EffectBase, InitializeAcceptsExactlyThePublishedChannelConfigurations) {
    struct Case {
        std::vector<AUChannelInfo> table;
        UInt32 in, out;
        OSStatus status;
    };
    constexpr OSStatus kRefused = kAudioUnitErr_FormatNotSupported;
    const Case cases[] = {
        // Without a table: as many outputs as inputs, at least one.
        {{}, 2, 2, noErr},
        {{}, 1, 1, noErr},
        {{}, 1, 2, kRefused},
        // -1 beside a fixed count takes any count on its side.
        {{{-1, 2}}, 1, 2, noErr},
        {{{-1, 2}}, 6, 2, noErr},
        {{{-1, 2}}, 1, 3, kRefused},
        {{{2, -1}}, 2, 6, noErr},
        {{{2, -1}}, 3, 6, kRefused},
        // Two wildcards: (-1, -1) any equal counts; (-1, -2) and (-2, -1) any counts at all.
        {{{-1, -1}}, 2, 2, noErr},
        {{{-1, -1}}, 1, 2, kRefused},
        {{{-2, -1}}, 3, 5, noErr},
        {{{-1, -2}}, 5, 3, noErr},
        {{{-2, -2}}, 2, 2, kRefused},
        {{{-3, -1}}, 2, 2, kRefused},
        // Pairs are tried in order until one fits.
        {{{1, 1}, {2, 2}}, 2, 2, noErr},
        {{{1, 1}, {2, 2}}, 2, 1, kRefused},
        {{{1, 2}, {-1, -1}}, 4, 4, noErr},
        // Counts beyond 16 bits cannot be matched against the table honestly.
        {{}, 65537, 1, kRefused},
        {{{1, 1}}, 65537, 1, kRefused},
    };
    for (const Case& c : cases) {
        std::string table;
        for (const AUChannelInfo& pair : c.table) {
            table += " (" + std::to_string(pair.inChannels) + ", " +
                     std::to_string(pair.outChannels) + ")";
        }
        SCOPED_TRACE(std::to_string(c.in) + " in, " + std::to_string(c.out) + " out, table" +
                     table);
        testeffects::ResetConfiguration();
        testeffects::gChannelTable = c.table;
        hosting::Unit unit(testeffects::CountingEffectComponent());
        for (const auto& [scope, channels] :
             {std::pair{kAudioUnitScope_Input, c.in}, std::pair{kAudioUnitScope_Output, c.out}}) {
            ASSERT_EQ(unit.SetProperty(kAudioUnitProperty_StreamFormat, scope, 0,
                                       hosting::CanonicalFormat(channels, 44100)),
                      noErr);
        }
        EXPECT_EQ(AudioUnitInitialize(unit.Get()), c.status);
        const size_t kernels = c.status == noErr ? c.out : 0;
        EXPECT_EQ(CountingEffectOf(unit).Kernels().size(), kernels);
        EXPECT_EQ(gKernelLog.constructed, int(kernels));
    }
}

// Only a list that survived a cleanup is kept or trimmed; the unit's own lifecycle never does
// that, so the unit is driven directly here.
TEST_F(EffectBase, MaintainingKeepsExistingKernels) {
    ASSERT_EQ(AudioUnitInitialize(host.Get()), noErr);
    testeffects::CountingEffect& effect = CountingEffectOf(host);
    AUKernelBase* const first = Kernels()[0];
    ASSERT_EQ(effect.GetOutput(0)->SetStreamFormat(hosting::CanonicalFormat(1, 44100)), noErr);
    effect.MaintainKernels();
    ASSERT_EQ(Kernels().size(), 1u);
    EXPECT_EQ(Kernels()[0], first);
    EXPECT_EQ(gKernelLog.destroyed, 1);

    ASSERT_EQ(effect.GetOutput(0)->SetStreamFormat(hosting::CanonicalFormat(3, 44100)), noErr);
    effect.MaintainKernels();
    ASSERT_EQ(Kernels().size(), 3u);
    EXPECT_EQ(Kernels()[0], first);
    EXPECT_EQ(Kernels()[2]->GetChannelNum(), 2u);
    EXPECT_EQ(gKernelLog.constructed, 4);
}

TEST_F(EffectBase, NullKernelsAreSkipped) {
    testeffects::gNullKernels = true;
    ASSERT_EQ(AudioUnitInitialize(host.Get()), noErr);
    EXPECT_EQ(Kernels(), (std::vector<AUKernelBase*>{nullptr, nullptr}));
    EXPECT_EQ(AudioUnitReset(host.Get(), kAudioUnitScope_Global, 0), noErr);
    EXPECT_EQ(AudioUnitUninitialize(host.Get()), noErr);
    EXPECT_TRUE(Kernels().empty());
}

TEST_F(EffectBase, SwitchingBypassOffWhileInitializedResetsTheKernelsFirst) {
    ASSERT_EQ(AudioUnitInitialize(host.Get()), noErr);
    EXPECT_EQ(GetWord(kAudioUnitProperty_BypassEffect), 0u);
    ASSERT_EQ(SetWord(kAudioUnitProperty_BypassEffect, 1), noErr);
    ASSERT_EQ(SetWord(kAudioUnitProperty_BypassEffect, 5), noErr);
    EXPECT_EQ(GetWord(kAudioUnitProperty_BypassEffect), 1u);
    EXPECT_EQ(gKernelLog.resets, 0);

    ASSERT_EQ(SetWord(kAudioUnitProperty_BypassEffect, 0), noErr);
    EXPECT_EQ(GetWord(kAudioUnitProperty_BypassEffect), 0u);
    EXPECT_EQ(gKernelLog.bypassedAtReset, (std::vector<bool>{true, true}));

    // Switched off while already off, or while uninitialized: no reset.
    ASSERT_EQ(SetWord(kAudioUnitProperty_BypassEffect, 0), noErr);
    ASSERT_EQ(AudioUnitUninitialize(host.Get()), noErr);
    ASSERT_EQ(SetWord(kAudioUnitProperty_BypassEffect, 1), noErr);
    ASSERT_EQ(SetWord(kAudioUnitProperty_BypassEffect, 0), noErr);
    EXPECT_EQ(gKernelLog.resets, 2);
}

TEST_F(EffectBase, InPlaceIsOnAndTakesWholeWordsOnly) {
    EXPECT_EQ(GetWord(kAudioUnitProperty_InPlaceProcessing), 1u);
    ASSERT_EQ(SetWord(kAudioUnitProperty_InPlaceProcessing, 0), noErr);
    EXPECT_EQ(GetWord(kAudioUnitProperty_InPlaceProcessing), 0u);
    ASSERT_EQ(SetWord(kAudioUnitProperty_InPlaceProcessing, 2), noErr);
    EXPECT_EQ(GetWord(kAudioUnitProperty_InPlaceProcessing), 1u);
    ASSERT_EQ(SetWord(kAudioUnitProperty_InPlaceProcessing, 0), noErr);

    // Both are off now; half a word must not switch either on.
    const UInt16 on = 1;
    for (const AudioUnitPropertyID id :
         {kAudioUnitProperty_BypassEffect, kAudioUnitProperty_InPlaceProcessing}) {
        EXPECT_EQ(AudioUnitSetProperty(host.Get(), id, kAudioUnitScope_Global, 0, &on, sizeof on),
                  kAudioUnitErr_InvalidPropertyValue)
            << "property " << id;
        EXPECT_EQ(GetWord(id), 0u) << "property " << id;
    }
}

// Outside the global scope both belong to the core, which does not serve them.
TEST_F(EffectBase, OtherScopesBelongToTheCore) {
    for (const AudioUnitPropertyID id :
         {kAudioUnitProperty_BypassEffect, kAudioUnitProperty_InPlaceProcessing}) {
        for (const AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
            EXPECT_EQ(SetWord(id, 1, scope), kAudioUnitErr_InvalidProperty)
                << "property " << id << " scope " << scope;
        }
    }
}

} // namespace
