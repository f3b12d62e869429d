// Channels processed together in SIMD lanes: every channel's output, memories and silence flag
// as the kernels give them one by one (and as the oracle gives them), at every lane width the
// processor runs, for any channel count, slice length, model and parameter change, with a
// non-finite sample in one channel, and in the buffer arrangements that must not use the lanes.
#include "Harwendel_Quenzal.h"
#include "Harwendel_QuenzalLanes.h"
#include "KernelTestHelpers.h"

#include <cstring>
#include <limits>
#include <memory>
#include <vector>

using kerneltest::Kernel;
using kerneltest::SameBits;

namespace {

constexpr double kRate = 44100;
constexpr AudioUnitRenderActionFlags kSilent = kAudioUnitRenderAction_OutputIsSilence;

// The lane widths this processor runs; 1 is the kernels one by one.
std::vector<unsigned> LaneWidths() {
    std::vector<unsigned> widths{4};
    if (quenzal_lanes::WidestLanesAvailable() >= 8) {
        widths.push_back(8);
    }
    return widths;
}

// How a call lays out its buffers.
enum class Layout {
    kSeparate,          // each output its own memory
    kInPlace,           // each output is its own input
    kOutputIsNextInput, // channel c writes where channel c + 1 reads
    kInterleaved,       // one buffer holding every channel
};

// A unit with `channels` kernels at `rate`, reset, and the signals of its calls.
class Rig {
public:
    Rig(UInt32 channels, unsigned lanes, double rate = kRate)
        : mChannels(channels), mUnit(kerneltest::UnitAt(rate, channels)) {
        mUnit->Reset(kAudioUnitScope_Global, 0);
        mUnit->SetWidestLanes(lanes);
    }

    // One call on `input` (one vector per channel); returns each channel's output.
    std::vector<std::vector<float>> Process(const kerneltest::Call& call,
                                            const std::vector<std::vector<float>>& input,
                                            Layout layout, AudioUnitRenderActionFlags& flags) {
        mUnit->SetParameter(kParam_Loudspeaker, call.model);
        mUnit->SetParameter(kParam_Volume, call.volume);
        return layout == Layout::kInterleaved ? ProcessInterleaved(call.frames, input, flags)
                                              : ProcessChannels(call.frames, input, layout, flags);
    }

    const Kernel& KernelFor(std::size_t channel) const { return mUnit->KernelFor(channel); }

private:
    std::vector<std::vector<float>> ProcessChannels(UInt32 frames,
                                                    const std::vector<std::vector<float>>& input,
                                                    Layout layout,
                                                    AudioUnitRenderActionFlags& flags) {
        // One memory for all channels, so that one channel's output can be the next one's input.
        const std::size_t stride = std::size_t(frames) + 1;
        std::vector<float> inputs((mChannels + 1) * stride);
        std::vector<float> outputs((mChannels + 1) * stride);
        List in(mChannels);
        List out(mChannels);
        for (UInt32 c = 0; c < mChannels; ++c) {
            std::copy(input[c].begin(), input[c].end(), inputs.begin() + c * stride);
            float* source = inputs.data() + c * stride;
            float* destination = layout == Layout::kInPlace    ? source
                                 : layout == Layout::kSeparate ? outputs.data() + c * stride
                                                               : source + stride;
            in.Set(c, 1, frames, source);
            out.Set(c, 1, frames, destination);
        }
        mUnit->ProcessBufferLists(flags, in.Get(), out.Get(), frames);
        std::vector<std::vector<float>> result;
        for (UInt32 c = 0; c < mChannels; ++c) {
            const auto* samples = static_cast<const float*>(out.Get().mBuffers[c].mData);
            result.emplace_back(samples, samples + frames);
        }
        return result;
    }

    std::vector<std::vector<float>> ProcessInterleaved(UInt32 frames,
                                                       const std::vector<std::vector<float>>& input,
                                                       AudioUnitRenderActionFlags& flags) {
        std::vector<float> samples(std::size_t(frames) * mChannels);
        for (UInt32 c = 0; c < mChannels; ++c) {
            for (UInt32 n = 0; n < frames; ++n) {
                samples[std::size_t(n) * mChannels + c] = input[c][n];
            }
        }
        List list(1);
        list.Set(0, mChannels, frames, samples.data());
        mUnit->ProcessBufferLists(flags, list.Get(), list.Get(), frames);
        std::vector<std::vector<float>> result(mChannels, std::vector<float>(frames));
        for (UInt32 c = 0; c < mChannels; ++c) {
            for (UInt32 n = 0; n < frames; ++n) {
                result[c][n] = samples[std::size_t(n) * mChannels + c];
            }
        }
        return result;
    }

    class List {
    public:
        explicit List(UInt32 buffers) : mMemory(AudioBufferListByteSize(buffers)) {
            Get().mNumberBuffers = buffers;
        }
        AudioBufferList& Get() { return *reinterpret_cast<AudioBufferList*>(mMemory.data()); }
        void Set(UInt32 index, UInt32 channels, UInt32 frames, float* data) {
            Get().mBuffers[index] = {channels, UInt32(frames * channels * sizeof(float)), data};
        }

    private:
        std::vector<std::byte> mMemory;
    };

    UInt32 mChannels;
    testunits::UnitPtr<kerneltest::KernelUnit> mUnit;
};

std::vector<std::vector<float>> NoiseChannels(UInt32 channels, UInt32 frames, std::uint32_t seed) {
    std::vector<std::vector<float>> signal;
    for (UInt32 c = 0; c < channels; ++c) {
        signal.push_back(kerneltest::Noise(frames, seed * 31 + c));
    }
    return signal;
}

::testing::AssertionResult SameMemories(const Kernel& actual, const Kernel& expected) {
    const quenzal_voicing::FilterState& a = actual.GetState();
    const quenzal_voicing::FilterState& b = expected.GetState();
    if (std::memcmp(&a, &b, sizeof a) != 0 ||
        actual.GetVoicedModel() != expected.GetVoicedModel() ||
        std::memcmp(&actual.GetDesign(), &expected.GetDesign(), sizeof(quenzal_voicing::Design)) !=
            0) {
        return ::testing::AssertionFailure() << "memories, node or design differ";
    }
    return ::testing::AssertionSuccess();
}

// Runs `calls` through a unit in lanes and one kernel by kernel, on the same input, and checks
// that every channel's output, memories and the silence flag agree bit for bit. `prepare` may
// alter the input of a call.
void ExpectLanesMatchKernels(
    UInt32 channels, unsigned lanes, const std::vector<kerneltest::Call>& calls, Layout layout,
    const std::function<void(std::size_t call, std::vector<std::vector<float>>&)>& prepare = {}) {
    Rig inLanes(channels, lanes);
    Rig oneByOne(channels, 1);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "call " << i << ", " << calls[i].frames << " frames");
        std::vector<std::vector<float>> input =
            NoiseChannels(channels, calls[i].frames, std::uint32_t(i));
        if (prepare) {
            prepare(i, input);
        }
        AudioUnitRenderActionFlags laneFlags = 0;
        AudioUnitRenderActionFlags kernelFlags = 0;
        const auto laneOutput = inLanes.Process(calls[i], input, layout, laneFlags);
        const auto kernelOutput = oneByOne.Process(calls[i], input, layout, kernelFlags);
        EXPECT_EQ(laneFlags, kernelFlags);
        for (UInt32 c = 0; c < channels; ++c) {
            ASSERT_TRUE(SameBits(laneOutput[c], kernelOutput[c])) << "channel " << c;
            ASSERT_TRUE(SameMemories(inLanes.KernelFor(c), oneByOne.KernelFor(c)))
                << "channel " << c;
        }
    }
}

// Slices of 512 and 1156 frames (the default maximum), odd lengths below and above a block, a
// slice too short for the overlapped schedule, an empty one, and parameter changes in between.
std::vector<kerneltest::Call> SliceSequence(int model) {
    std::vector<kerneltest::Call> calls = kerneltest::ParameterChangingCalls(model);
    const float next = static_cast<float>(model % quenzal_voicing::kModelCount + 1);
    calls.push_back({next, -3.0f, 1156});
    calls.push_back({next, 1.5f, 65});
    calls.push_back({static_cast<float>(model), 0.0f, 5});
    calls.push_back({static_cast<float>(model), 0.0f, 512});
    return calls;
}

// Buffers the lanes cannot take as they are (one interleaved buffer, outputs that are other
// channels' inputs) go kernel by kernel, with the same result.
TEST(Lanes, MatchTheKernelsForAnyChannelCountModelSliceAndLayout) {
    constexpr Layout kLayouts[] = {Layout::kSeparate, Layout::kInPlace, Layout::kInterleaved,
                                   Layout::kOutputIsNextInput};
    for (const unsigned lanes : LaneWidths()) {
        for (UInt32 channels = 1; channels <= 9; ++channels) {
            for (int model = 1; model <= quenzal_voicing::kModelCount; ++model) {
                SCOPED_TRACE(testing::Message()
                             << lanes << " lanes, " << channels << " channels, model " << model);
                const Layout layout = kLayouts[model % std::size(kLayouts)];
                ExpectLanesMatchKernels(channels, lanes, SliceSequence(model), layout);
            }
        }
    }
}

// The lanes, and the kernels one by one, against the documented loop itself, channel by channel,
// at every rate the loop runs unguarded and in every layout that reads each input once.
TEST(Lanes, MatchTheOracle) {
    constexpr UInt32 kChannels = 7;
    constexpr Layout kLayouts[] = {Layout::kSeparate, Layout::kInPlace, Layout::kInterleaved};
    std::vector<unsigned> widths = LaneWidths();
    widths.push_back(1);
    for (const double rate : {22050.0, 44100.0, 48000.0, 96000.0}) {
        for (const unsigned lanes : widths) {
            for (int model = 1; model <= quenzal_voicing::kModelCount; ++model) {
                SCOPED_TRACE(testing::Message()
                             << rate << " Hz, " << lanes << " lanes, model " << model);
                Rig rig(kChannels, lanes, rate);
                std::vector<ReferenceKernel> oracles(kChannels);
                for (ReferenceKernel& oracle : oracles) {
                    oracle.Reset(rate);
                }
                const std::vector<kerneltest::Call> calls = SliceSequence(model);
                for (std::size_t i = 0; i < calls.size(); ++i) {
                    const auto input = NoiseChannels(kChannels, calls[i].frames, std::uint32_t(i));
                    AudioUnitRenderActionFlags flags = 0;
                    const auto output = rig.Process(calls[i], input, kLayouts[model % 3], flags);
                    for (UInt32 c = 0; c < kChannels; ++c) {
                        std::vector<float> expected(calls[i].frames);
                        oracles[c].Process(calls[i].model, calls[i].volume, input[c].data(),
                                           expected.data(), calls[i].frames, 1);
                        ASSERT_TRUE(SameBits(output[c], expected))
                            << "call " << i << ", channel " << c;
                    }
                }
            }
        }
    }
}

// A non-finite sample clears only its own channel's memories, on the sample after it, wherever it
// falls: the first samples of a block, its last one, a short slice, the lanes or the channel left
// over for its kernel alone.
TEST(Lanes, RecoverFromANonFiniteSampleInOneChannelOnly) {
    const struct {
        UInt32 channels;
        UInt32 channel;
        UInt32 frame;
        UInt32 frames;
    } kCases[] = {{2, 1, 0, 512},   {4, 0, 3, 512},   {5, 4, 63, 512},   {8, 7, 64, 1156},
                  {8, 2, 511, 512}, {9, 8, 100, 512}, {9, 3, 700, 1156}, {3, 1, 2, 4}};
    const float kNaN = std::numeric_limits<float>::quiet_NaN();
    const float kInf = std::numeric_limits<float>::infinity();
    for (const unsigned lanes : LaneWidths()) {
        for (const auto& c : kCases) {
            for (const float bad : {kNaN, kInf, -kInf}) {
                SCOPED_TRACE(testing::Message()
                             << lanes << " lanes, " << c.channels << " channels, " << bad
                             << " in channel " << c.channel << " at frame " << c.frame);
                const std::vector<kerneltest::Call> calls = {
                    {3, 0, c.frames}, {3, 0, c.frames}, {3, -2, 512}};
                ExpectLanesMatchKernels(
                    c.channels, lanes, calls, Layout::kSeparate,
                    [&](std::size_t call, std::vector<std::vector<float>>& input) {
                        if (call == 1) {
                            input[c.channel][c.frame] = bad;
                        }
                    });
            }
        }
    }
}

// The silence flag: input flagged silent counts as sound until the tail has passed, and one
// call of sound restarts the count, exactly as kernel by kernel.
TEST(Lanes, KeepTheSilenceFlagsOfTheKernels) {
    const AudioUnitRenderActionFlags kPattern[] = {0,       kSilent, kSilent, kSilent, kSilent,
                                                   0,       kSilent, kSilent, kSilent, kSilent,
                                                   kSilent, kSilent, kSilent, kSilent, kSilent};
    for (const unsigned lanes : LaneWidths()) {
        Rig inLanes(4, lanes);
        Rig oneByOne(4, 1);
        AudioUnitRenderActionFlags lastFlags = 0;
        for (std::size_t i = 0; i < std::size(kPattern); ++i) {
            // 8192 frames: the 0.5 s tail at 44100 Hz passes within three silent calls.
            const kerneltest::Call call{2, 0, 8192};
            const auto input = NoiseChannels(4, call.frames, std::uint32_t(i));
            AudioUnitRenderActionFlags laneFlags = kPattern[i];
            AudioUnitRenderActionFlags kernelFlags = kPattern[i];
            inLanes.Process(call, input, Layout::kInPlace, laneFlags);
            oneByOne.Process(call, input, Layout::kInPlace, kernelFlags);
            EXPECT_EQ(laneFlags, kernelFlags) << "call " << i;
            lastFlags = laneFlags;
        }
        EXPECT_EQ(lastFlags, kSilent) << "the tail has passed";
    }
}

} // namespace
