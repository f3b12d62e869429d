// What the framework costs around the kernels: a stereo effect fed by a host callback, rendered
// through its fast render function into the caller's buffers (subject), against the effect's own
// processing of the same frames called directly (reference).
#include "Harwendel_Quenzal.h"
#include "Platform/Host.h"

#include <benchmark/benchmark.h>

#include <ctime>

#include <random>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace {

constexpr UInt32 kChannels = 2;
constexpr Float64 kRate = 44100.0;
constexpr int kCallsPerBlock = 64;

OSStatus Entry(ComponentParameters* params, void* storage) {
    return Harwendel_QuenzalEntry(params, static_cast<Harwendel_Quenzal*>(storage));
}

AudioComponent EffectComponent() {
    static const AudioComponent component = [] {
        const AudioComponentDescription desc{0x65666374 /* efct */, 0x716e7a6c /* qnzl */,
                                             0x48727764 /* Hrwd */, 0, 0};
        return PlatformRegisterComponent(&desc, &Entry, 1);
    }();
    return component;
}

using Channels = std::vector<std::vector<Float32>>;

Channels Noise(UInt32 frames) {
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
OSStatus ServeInput(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
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
        AudioComponentInstanceNew(EffectComponent(), &mUnit);
        CAStreamBasicDescription format;
        format.SetAUCanonical(kChannels, false);
        format.mSampleRate = kRate;
        for (const AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
            AudioUnitSetProperty(mUnit, kAudioUnitProperty_StreamFormat, scope, 0, &format,
                                 sizeof(AudioStreamBasicDescription));
        }
        const AURenderCallbackStruct callback{&ServeInput, &mInput};
        AudioUnitSetProperty(mUnit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                             &callback, sizeof callback);
        AudioUnitInitialize(mUnit);
        AudioUnitReset(mUnit, kAudioUnitScope_Global, 0);
        UInt32 size = sizeof(mRender);
        AudioUnitGetProperty(mUnit, kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global,
                             kAudioUnitRenderFastSelect, &mRender, &size);
        mStorage = GetComponentInstanceStorage(mUnit);
    }
    ~RenderedEffect() { AudioComponentInstanceDispose(mUnit); }
    RenderedEffect(const RenderedEffect&) = delete;
    RenderedEffect& operator=(const RenderedEffect&) = delete;

    OSStatus Render() {
        AudioUnitRenderActionFlags flags = 0;
        const OSStatus status = mRender(mStorage, &flags, &mTimeStamp, 0, mFrames, &mCaller.List());
        mTimeStamp.mSampleTime += mFrames;
        return status;
    }
    AUEffectBase* Unit() const { return static_cast<AUEffectBase*>(mStorage); }
    const Channels& Input() const { return mInput; }

private:
    UInt32 mFrames;
    Channels mInput;
    Channels mOutput = Channels(kChannels, std::vector<Float32>(mFrames));
    AudioUnit mUnit = nullptr;
    AudioUnitRenderProc mRender = nullptr;
    void* mStorage = nullptr;
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

double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

template <class Call> double SecondsOfBlock(Call&& call) {
    const double start = ThreadSeconds();
    for (int i = 0; i < kCallsPerBlock; ++i) {
        call();
        benchmark::ClobberMemory();
    }
    return ThreadSeconds() - start;
}

// Work measured outside a render runs in the mode the render entry sets.
class DenormalsFlushed {
public:
#if defined(__x86_64__) || defined(__i386__)
    DenormalsFlushed() : mSaved(_mm_getcsr()) {
        _mm_setcsr(mSaved | 0x8040);
    }
    ~DenormalsFlushed() {
        _mm_setcsr(mSaved);
    }

private:
    unsigned mSaved;
#endif
};

// Blocks of calls to each in turn, the order alternating, in thread CPU time, so that both see
// the same machine; a sample is one channel's frame.
void BM_RenderAgainstKernels(benchmark::State& state) {
    const auto frames = UInt32(state.range(0));
    RenderedEffect effect(frames);
    BareProcessing processing(*effect.Unit(), effect.Input());
    if (effect.Render() != noErr) {
        state.SkipWithError("render failed");
        return;
    }
    double renderSeconds = 0;
    double processingSeconds = 0;
    bool renderFirst = true;
    for (auto _ : state) {
        if (renderFirst) {
            renderSeconds += SecondsOfBlock([&] { effect.Render(); });
        }
        {
            const DenormalsFlushed flushed;
            processingSeconds += SecondsOfBlock([&] { processing.Process(); });
        }
        if (!renderFirst) {
            renderSeconds += SecondsOfBlock([&] { effect.Render(); });
        }
        renderFirst = !renderFirst;
    }
    const double samples = double(state.iterations()) * kCallsPerBlock * frames * kChannels;
    state.counters["render_ns_per_sample"] = renderSeconds * 1e9 / samples;
    state.counters["kernels_ns_per_sample"] = processingSeconds * 1e9 / samples;
    state.counters["ratio"] = renderSeconds / processingSeconds;
}
BENCHMARK(BM_RenderAgainstKernels)->Name("RenderAgainstKernels")->Arg(64)->Arg(512)->MinTime(2.0);

} // namespace
