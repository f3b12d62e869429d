// A stereo instance of the effect as a host runs it: fed by a render callback, rendered through
// the fast render function fetched through the fast-dispatch property, into the caller's buffers.
// Beside it, the effect's own processing of the same frames called directly.
#pragma once

#include "Hosting/Unit.h"
#include "LinkedEffect.h"
#include "PairedTiming.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace renderedeffect {

inline constexpr UInt32 kChannels = 2;
inline constexpr Float64 kRate = 44100.0;

using Channels = std::vector<std::vector<Float32>>;

inline Channels Noise(UInt32 frames) {
    std::mt19937 generator(3);
    std::uniform_real_distribution<Float32> uniform(-1.0f, 1.0f);
    Channels channels(kChannels, std::vector<Float32>(frames));
    for (auto& channel : channels) {
        for (Float32& sample : channel) {
            sample = uniform(generator);
        }
    }
    return channels;
}

// The host's input callback: copies its signal into the unit's input buffers.
inline OSStatus ServeInput(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                           UInt32 frames, AudioBufferList* ioData) {
    const auto& input = *static_cast<const Channels*>(refCon);
    for (UInt32 i = 0; i < ioData->mNumberBuffers; ++i) {
        std::copy_n(input[i].data(), frames, static_cast<Float32*>(ioData->mBuffers[i].mData));
    }
    return noErr;
}

// A deinterleaved buffer list describing the whole of some channels' memory.
class ChannelList {
public:
    explicit ChannelList(Channels& channels) {
        List().mNumberBuffers = kChannels;
        for (UInt32 i = 0; i < kChannels; ++i) {
            List().mBuffers[i] = {1, UInt32(channels[i].size() * sizeof(Float32)),
                                  channels[i].data()};
        }
    }
    AudioBufferList& List() { return *reinterpret_cast<AudioBufferList*>(mMemory.data()); }

private:
    std::vector<std::byte> mMemory = std::vector<std::byte>(AudioBufferListByteSize(kChannels));
};

// One initialized stereo instance, its fast render function and a caller's buffer list.
class RenderedEffect {
public:
    explicit RenderedEffect(UInt32 frames) : mFrames(frames), mInput(Noise(frames)) {
        mUnit.SetStreamFormat(kChannels, kRate);
        mUnit.SetInputCallback(&ServeInput, &mInput);
        mUnit.Initialize();
        mUnit.Reset();
        mFast = mUnit.FetchFastCalls();
    }
    RenderedEffect(const RenderedEffect&) = delete;
    RenderedEffect& operator=(const RenderedEffect&) = delete;

    OSStatus Render() {
        AudioUnitRenderActionFlags flags = 0;
        const OSStatus status = mFast.Render(flags, mTimeStamp, mFrames, &mCaller.List());
        mTimeStamp.mSampleTime += mFrames;
        return status;
    }
    AUEffectBase* Unit() const { return static_cast<AUEffectBase*>(mFast.storage); }
    const Channels& Input() const { return mInput; }

private:
    UInt32 mFrames;
    Channels mInput;
    Channels mOutput = Channels(kChannels, std::vector<Float32>(mFrames));
    hosting::Unit mUnit{testhost::QuenzalComponent()};
    hosting::FastCalls mFast;
    AudioTimeStamp mTimeStamp{};
    ChannelList mCaller{mOutput};
};

// The effect's own processing of the same frames outside the framework: its ProcessBufferLists
// (the kernels, or whatever the effect runs in their place), out of place.
class BareProcessing {
public:
    BareProcessing(AUEffectBase& unit, const Channels& input)
        : mUnit(unit), mInput(input), mOutput(input) {}
    void Process() {
        AudioUnitRenderActionFlags flags = 0;
        mUnit.ProcessBufferLists(flags, mInputList.List(), mOutputList.List(),
                                 UInt32(mInput[0].size()));
    }

private:
    AUEffectBase& mUnit;
    Channels mInput;
    Channels mOutput;
    ChannelList mInputList{mInput};
    ChannelList mOutputList{mOutput};
};

// Renders state.range(0) frames a call against Reference(unit, input) processing the same frames,
// the two timed in alternating blocks (a sample is one channel's frame).
template <class Reference>
void RunRenderAgainst(benchmark::State& state, const std::string& referenceName) {
    const auto frames = UInt32(state.range(0));
    RenderedEffect effect(frames);
    Reference reference(*effect.Unit(), effect.Input());
    if (effect.Render() != noErr) {
        state.SkipWithError("render failed");
        return;
    }
    pairedtiming::RunPaired(
        state, "render", [&] { effect.Render(); }, referenceName, [&] { reference.Process(); },
        double(frames) * kChannels);
}

// The slice sizes measured: small host buffers, the common 512 and the default maximum.
inline void SliceSizes(benchmark::internal::Benchmark* benchmark) {
    benchmark->Arg(32)->Arg(64)->Arg(512)->Arg(1156)->MinTime(2.0);
}

} // namespace renderedeffect
