// The effect's own render: the silence countdown and bypass.
#include "RenderHarness.h"

#include <string>

namespace rendertest {
namespace {

bool OutputIsSilence(AudioUnitRenderActionFlags flags) {
    return (flags & kAudioUnitRenderAction_OutputIsSilence) != 0;
}

// 0.5 s of tail at 44100 Hz is 22050 frames: the first 44 silent calls of 512 frames still count
// as sound.
TEST(SilenceCountdown, SilentInputCountsAsSoundForTheTailAndSoundRestartsIt) {
    QuenzalUnit host;
    InputSource source(StereoNoise(kFrames));
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    Float64 sampleTime = 0;
    auto renderSilentOutput = [&](bool silentInput) {
        source.flagSilence = silentInput;
        CallerBuffers caller;
        AudioUnitRenderActionFlags flags = 0;
        EXPECT_EQ(RenderAt(host.Get(), sampleTime, caller.List(), kFrames, &flags), noErr);
        sampleTime += kFrames;
        return OutputIsSilence(flags);
    };

    for (const bool soundFirst : {false, true}) {
        if (soundFirst) {
            EXPECT_FALSE(renderSilentOutput(false));
        }
        for (int call = 1; call <= 47; ++call) {
            EXPECT_EQ(renderSilentOutput(true), call >= 45) << "silent call " << call;
        }
    }
}

struct Bypass {
    const char* name;
    bool inPlace;
    bool outputAllocates;
};

class BypassTest : public ::testing::TestWithParam<Bypass> {};

TEST_P(BypassTest, DeliversTheInputUnchanged) {
    const Bypass& bypass = GetParam();
    const Signal input = StereoNoise(kFrames);
    QuenzalUnit host;
    InputSource source(input);
    ASSERT_EQ(host.SetProperty(kAudioUnitProperty_ShouldAllocateBuffer, kAudioUnitScope_Output, 0,
                               UInt32{bypass.outputAllocates}),
              noErr);
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    ASSERT_EQ(host.SetProperty(kAudioUnitProperty_InPlaceProcessing, kAudioUnitScope_Global, 0,
                               UInt32{bypass.inPlace}),
              noErr);
    ASSERT_EQ(
        host.SetProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, UInt32{1}),
        noErr);
    CallerBuffers caller;

    ASSERT_EQ(RenderAt(host.Get(), 0, caller.List()), noErr);

    EXPECT_TRUE(SameBits(caller.Channels(), input));
}

INSTANTIATE_TEST_SUITE_P(
    Buffers, BypassTest,
    ::testing::Values(Bypass{"Copied", false, true}, Bypass{"InPlace", true, true},
                      // In place without buffers of its own, the output is the caller's memory.
                      Bypass{"InPlaceOutputMayNotAllocate", true, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace rendertest
