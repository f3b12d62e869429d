// What the framework costs around the kernels: a stereo effect fed by a host callback, rendered
// through its fast render function into the caller's buffers, against the same two kernels'
// Process called directly on the same frames. Blocks of calls to each alternate within one run,
// timed in thread CPU time, so that both see the same machine; a sample is one channel's frame.
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
        mList->mNumberBuffers = kChannels;
    }
    ~RenderedEffect() { AudioComponentInstanceDispose(mUnit); }
    RenderedEffect(const RenderedEffect&) = delete;
    RenderedEffect& operator=(const RenderedEffect&) = delete;

    OSStatus Render() {
        for (UInt32 i = 0; i < kChannels; ++i) {
            mList->mBuffers[i] = {1, mFrames * UInt32(sizeof(Float32)), mOutput[i].data()};
        }
        AudioUnitRenderActionFlags flags = 0;
        const OSStatus status = mRender(mStorage, &flags, &mTimeStamp, 0, mFrames, mList);
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
    std::vector<std::byte> mListMemory = std::vector<std::byte>(AudioBufferListByteSize(kChannels));
    AudioBufferList* mList = reinterpret_cast<AudioBufferList*>(mListMemory.data());
};

// Two kernels of the same effect, called as the effect base calls them, out of place.
class BareKernels {
public:
    BareKernels(AUEffectBase* owner, const Channels& input)
        : mInput(input), mKernels{Kernel(owner), Kernel(owner)} {
        for (auto& kernel : mKernels) {
            kernel.Reset();
        }
    }
    void Process() {
        bool silence = false;
        for (UInt32 i = 0; i < kChannels; ++i) {
            mKernels[i].Process(mInput[i].data(), mOutput[i].data(), UInt32(mInput[i].size()), 1,
                                silence);
        }
    }

private:
    using Kernel = Harwendel_Quenzal::Harwendel_QuenzalKernel;
    const Channels& mInput;
    Channels mOutput = Channels(kChannels, std::vector<Float32>(mInput[0].size()));
    Kernel mKernels[kChannels];
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

// The kernels render in the mode the render entry sets; measured alone, they get it too.
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

void BM_RenderAgainstKernels(benchmark::State& state) {
    const auto frames = UInt32(state.range(0));
    RenderedEffect effect(frames);
    BareKernels kernels(effect.Unit(), effect.Input());
    if (effect.Render() != noErr) {
        state.SkipWithError("render failed");
        return;
    }
    double renderSeconds = 0;
    double kernelSeconds = 0;
    bool renderFirst = true;
    for (auto _ : state) {
        if (renderFirst) {
            renderSeconds += SecondsOfBlock([&] { effect.Render(); });
        }
        {
            const DenormalsFlushed flushed;
            kernelSeconds += SecondsOfBlock([&] { kernels.Process(); });
        }
        if (!renderFirst) {
            renderSeconds += SecondsOfBlock([&] { effect.Render(); });
        }
        renderFirst = !renderFirst;
    }
    const double samples = double(state.iterations()) * kCallsPerBlock * frames * kChannels;
    state.counters["render_ns_per_sample"] = renderSeconds * 1e9 / samples;
    state.counters["kernels_ns_per_sample"] = kernelSeconds * 1e9 / samples;
    state.counters["ratio"] = renderSeconds / kernelSeconds;
}
BENCHMARK(BM_RenderAgainstKernels)->Name("RenderAgainstKernels")->Arg(64)->Arg(512)->MinTime(2.0);

} // namespace
