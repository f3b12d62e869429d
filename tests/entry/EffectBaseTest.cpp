// The effect base's switches as a host sets them.
#include "LinkedEffect.h"

#include <gtest/gtest.h>

namespace {

class EffectBase : public testing::Test {
protected:
    OSStatus SetWord(AudioUnitPropertyID id, UInt32 value) {
        return host.SetProperty(id, kAudioUnitScope_Global, 0, value);
    }
    UInt32 GetWord(AudioUnitPropertyID id) {
        UInt32 value = 99;
        EXPECT_EQ(host.GetProperty(id, kAudioUnitScope_Global, 0, value), noErr);
        return value;
    }

    testhost::QuenzalUnit host;
};

// Only a list that survived a cleanup is kept or trimmed; the unit's own lifecycle never does
// that, so the unit is driven directly here.
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
} // namespace
