// The effect's own render: the silence countdown, bypass, in-place processing, missing kernels
// and interleaved buffers.
#include "ProbeEffect.h"

#include <string>

namespace rendertest {
namespace {

constexpr UInt32 kFrames = 512;
constexpr Float32 kUntouched = 9.0f;

bool OutputIsSilence(AudioUnitRenderActionFlags flags) {
    return (flags & kAudioUnitRenderAction_OutputIsSilence) != 0;
}

OSStatus SetGlobalFlag(UnitHost& host, AudioUnitPropertyID id, bool on) {
    return host.SetProperty(id, kAudioUnitScope_Global, 0, UInt32{on});
}

void FillWith(CallerBuffers& caller, Float32 value) {
    for (UInt32 i = 0; i < caller.List().mNumberBuffers; ++i) {
        std::fill_n(static_cast<Float32*>(caller.Buffer(i).mData), kFrames, value);
    }
}

// ---- silence ----

// 0.5 s of tail at 44100 Hz is 22050 frames: 44 calls of 512 frames still count as sound.
constexpr int kCallsCountedAsSound = 44;

class SilenceCountdownTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(mHost, mSource)); }

    // Renders calls while the input is flagged silent; returns the numbers (from 1) of the calls
    // whose output was flagged silent.
    std::vector<int> SilentOutputsOver(int calls) {
        mSource.flagSilence = true;
        std::vector<int> silent;
        for (int call = 1; call <= calls; ++call) {
            if (Render() && OutputIsSilence(mFlags)) {
                silent.push_back(call);
            }
        }
        return silent;
    }
    bool Render() {
        CallerBuffers caller(kStereo, kFrames);
        mFlags = 0;
        const OSStatus status =
            RenderAt(mHost.Unit(), mSampleTime, kFrames, caller.List(), &mFlags);
        mSampleTime += kFrames;
        return status == noErr;
    }

    UnitHost mHost;
    InputSource mSource{StereoNoise(kFrames)};
    AudioUnitRenderActionFlags mFlags = 0;
    Float64 mSampleTime = 0;
};

std::vector<int> CallsFrom(int first, int last) {
    std::vector<int> calls;
    for (int call = first; call <= last; ++call) {
        calls.push_back(call);
    }
    return calls;
}

TEST_F(SilenceCountdownTest, SilentInputCountsAsSoundForTheTailThenAsSilence) {
    EXPECT_EQ(SilentOutputsOver(kCallsCountedAsSound + 6),
              CallsFrom(kCallsCountedAsSound + 1, kCallsCountedAsSound + 6));
}

TEST_F(SilenceCountdownTest, SoundInBetweenRestartsTheFullCountdown) {
    SilentOutputsOver(kCallsCountedAsSound + 2);
    mSource.flagSilence = false;
    ASSERT_TRUE(Render());
    EXPECT_FALSE(OutputIsSilence(mFlags));

    EXPECT_EQ(SilentOutputsOver(kCallsCountedAsSound + 2),
              CallsFrom(kCallsCountedAsSound + 1, kCallsCountedAsSound + 2));
}

// With no tail, silent input is silent output at once. Delivered as zeros, unless the kernels
// wrote over the input in place, where what they wrote stays.
TEST(SilentOutput, IsZeroedUnlessProcessedInPlace) {
    const Signal input = StereoNoise(kFrames);
    for (const bool inPlace : {true, false}) {
        SCOPED_TRACE(inPlace ? "in place" : "not in place");
        UnitHost host(ProbeComponent());
        Probe(host).tailSeconds = 0;
        InputSource source(input);
        source.flagSilence = true;
        ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
        ASSERT_EQ(SetGlobalFlag(host, kAudioUnitProperty_InPlaceProcessing, inPlace), noErr);
        CallerBuffers caller(kStereo, kFrames);
        AudioUnitRenderActionFlags flags = 0;

        ASSERT_EQ(RenderAt(host.Unit(), 0, kFrames, caller.List(), &flags), noErr);

        EXPECT_TRUE(OutputIsSilence(flags));
        const Signal expected = inPlace ? ReferenceVoicing(input)
                                        : Signal(kStereo, std::vector<Float32>(kFrames, 0.0f));
        EXPECT_TRUE(SameBits(caller.Channels(), expected));
    }
}

// ---- bypass ----

struct Bypass {
    const char* name;
    bool inPlace;
    bool outputAllocates;
    bool silentInput;
};

class BypassTest : public ::testing::TestWithParam<Bypass> {};

TEST_P(BypassTest, DeliversTheInputUnchangedWithItsSilenceFlag) {
    const Bypass& bypass = GetParam();
    const Signal input = StereoNoise(kFrames);
    UnitHost host;
    InputSource source(input);
    source.flagSilence = bypass.silentInput;
    ASSERT_EQ(host.SetProperty(kAudioUnitProperty_ShouldAllocateBuffer, kAudioUnitScope_Output, 0,
                               UInt32{bypass.outputAllocates}),
              noErr);
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    ASSERT_EQ(SetGlobalFlag(host, kAudioUnitProperty_InPlaceProcessing, bypass.inPlace), noErr);
    ASSERT_EQ(SetGlobalFlag(host, kAudioUnitProperty_BypassEffect, true), noErr);
    CallerBuffers caller(kStereo, kFrames);
    FillWith(caller, kUntouched);
    AudioUnitRenderActionFlags flags = 0;

    ASSERT_EQ(RenderAt(host.Unit(), 0, kFrames, caller.List(), &flags), noErr);

    EXPECT_EQ(OutputIsSilence(flags), bypass.silentInput);
    const bool zeroed = bypass.silentInput && !bypass.inPlace;
    EXPECT_TRUE(SameBits(caller.Channels(),
                         zeroed ? Signal(kStereo, std::vector<Float32>(kFrames, 0.0f)) : input));
}

INSTANTIATE_TEST_SUITE_P(
    Buffers, BypassTest,
    ::testing::Values(Bypass{"Copied", false, true, false}, Bypass{"InPlace", true, true, false},
                      // In place without buffers of its own, the output is the caller's memory.
                      Bypass{"InPlaceOutputMayNotAllocate", true, false, false},
                      Bypass{"CopiedOutputMayNotAllocate", false, false, false},
                      Bypass{"SilentInputNotInPlace", false, true, true},
                      Bypass{"SilentInputInPlace", true, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- kernels ----

TEST(Kernels, AChannelWithoutAKernelPassesThroughInPlace) {
    const Signal input = StereoNoise(kFrames);
    UnitHost host(ProbeComponent());
    Probe(host).leaveOutSecondKernel = true;
    InputSource source(input);
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    CallerBuffers caller(kStereo, kFrames);
    AudioUnitRenderActionFlags flags = 0;

    ASSERT_EQ(RenderAt(host.Unit(), 0, kFrames, caller.List(), &flags), noErr);

    EXPECT_TRUE(SameBits(caller.Channel(0), ReferenceChannel().Process(input[0])));
    EXPECT_TRUE(SameBits(caller.Channel(1), input[1]));
    EXPECT_FALSE(OutputIsSilence(flags));
}

TEST(Kernels, InterleavedChannelsAreStridedThroughOneBuffer) {
    const Signal input = StereoNoise(kFrames);
    UnitHost host(ProbeComponent());
    InputSource source;
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    std::vector<Float32> interleaved(kStereo * kFrames);
    for (UInt32 i = 0; i < kFrames; ++i) {
        interleaved[2 * i] = input[0][i];
        interleaved[2 * i + 1] = input[1][i];
    }
    AudioBufferList list{
        1, {{kStereo, UInt32(interleaved.size() * sizeof(Float32)), interleaved.data()}}};
    AudioUnitRenderActionFlags flags = 0;

    // Not a format this effect takes from a host; the effect base still serves subclasses.
    const unsigned savedMode = FloatingPointMode();
    SetFloatingPointMode(savedMode | 0x8040);
    Probe(host).ProcessBufferLists(flags, list, list, kFrames);
    SetFloatingPointMode(savedMode);

    const Signal expected = ReferenceVoicing(input);
    for (UInt32 i = 0; i < kFrames; ++i) {
        ASSERT_EQ(interleaved[2 * i], expected[0][i]) << "frame " << i;
        ASSERT_EQ(interleaved[2 * i + 1], expected[1][i]) << "frame " << i;
    }
}

} // namespace
} // namespace rendertest
