// Shared by the render tests: caller buffer lists, an input feed that counts its pulls, and a
// probing effect registered as a component of its own so that it too is reached through the entry
// point.
#pragma once

#include "LinkedEffect.h"

#include <gtest/gtest.h>

#include <ostream>
#include <random>

namespace rendertest {

using testhost::QuenzalUnit;
using testhost::Signal;

constexpr Float64 kRate = 44100.0;
constexpr UInt32 kStereo = 2;
constexpr UInt32 kFrames = 512;

inline Signal StereoNoise(size_t frames, unsigned seed = 7) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<Float32> uniform(-1.0f, 1.0f);
    Signal signal(kStereo, std::vector<Float32>(frames));
    for (auto& channel : signal) {
        for (Float32& sample : channel) {
            sample = uniform(generator);
        }
    }
    return signal;
}

// A caller's deinterleaved buffer list, with memory of its own or with null data pointers.
class CallerBuffers {
public:
    explicit CallerBuffers(UInt32 frames = kFrames, bool withMemory = true)
        : mListMemory(AudioBufferListByteSize(kStereo)),
          mSamples(kStereo, std::vector<Float32>(frames)) {
        List().mNumberBuffers = kStereo;
        for (UInt32 i = 0; i < kStereo; ++i) {
            Buffer(i) = {1, UInt32(frames * 4), withMemory ? mSamples[i].data() : nullptr};
        }
    }
    AudioBufferList& List() { return *reinterpret_cast<AudioBufferList*>(mListMemory.data()); }
    AudioBuffer& Buffer(UInt32 i) { return List().mBuffers[i]; }
    // What the list describes now, wherever its pointers lead.
    Signal Channels() {
        Signal signal;
        for (UInt32 i = 0; i < kStereo; ++i) {
            const auto* samples = static_cast<const Float32*>(Buffer(i).mData);
            signal.emplace_back(samples, samples + Buffer(i).mDataByteSize / 4);
        }
        return signal;
    }

private:
    std::vector<std::byte> mListMemory;
    Signal mSamples;
};

// An input feed serving its signal at the render's sample time. It counts its pulls.
class InputSource {
public:
    explicit InputSource(Signal signal = {}) : mSignal(std::move(signal)) {}
    OSStatus Attach(hosting::Unit& host) {
        return host.SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                                AURenderCallbackStruct{&Callback, this});
    }

    int pulls = 0;

private:
    static OSStatus Callback(void* refCon, AudioUnitRenderActionFlags*,
                             const AudioTimeStamp* timeStamp, UInt32, UInt32 frames,
                             AudioBufferList* ioData) {
        auto& source = *static_cast<InputSource*>(refCon);
        ++source.pulls;
        for (UInt32 channel = 0; channel < ioData->mNumberBuffers; ++channel) {
            AudioBuffer& buffer = ioData->mBuffers[channel];
            if (buffer.mData != nullptr) {
                source.Fill(static_cast<Float32*>(buffer.mData), channel,
                            size_t(timeStamp->mSampleTime), frames);
            }
        }
        return noErr;
    }
    void Fill(Float32* samples, UInt32 channel, size_t start, UInt32 frames) const {
        for (UInt32 i = 0; i < frames; ++i) {
            const bool served = channel < mSignal.size() && start + i < mSignal[channel].size();
            samples[i] = served ? mSignal[channel][start + i] : 0.0f;
        }
    }

    Signal mSignal;
};

// Stereo at 44100 Hz, fed by source, initialized and reset.
inline void PrepareStereoEffect(hosting::Unit& host, InputSource& source) {
    ASSERT_EQ(host.SetBusFormats(hosting::CanonicalFormat(kStereo, kRate)), noErr);
    ASSERT_EQ(source.Attach(host), noErr);
    ASSERT_EQ(AudioUnitInitialize(host.Get()), noErr);
    ASSERT_EQ(AudioUnitReset(host.Get(), kAudioUnitScope_Global, 0), noErr);
}

inline OSStatus RenderAt(AudioUnit unit, Float64 sampleTime, AudioBufferList& list,
                         UInt32 frames = kFrames, AudioUnitRenderActionFlags* flags = nullptr) {
    AudioTimeStamp timeStamp{};
    timeStamp.mSampleTime = sampleTime;
    AudioUnitRenderActionFlags noFlags = 0;
    return AudioUnitRender(unit, flags != nullptr ? flags : &noFlags, &timeStamp, 0, frames, &list);
}

// The voicing effect with a probe: it records each ProcessBufferLists call (one per slice).
class ProbeEffect : public Harwendel_Quenzal {
public:
    struct Slice {
        UInt32 frames;
        const Byte* inputData;
        UInt32 inputBytes;
        Float32 volume;
    };

    explicit ProbeEffect(ComponentInstance instance) : Harwendel_Quenzal(instance) {
        slices.reserve(16);
    }
    OSStatus ProcessBufferLists(AudioUnitRenderActionFlags& flags, const AudioBufferList& in,
                                AudioBufferList& out, UInt32 frames) override {
        slices.push_back({frames, static_cast<const Byte*>(in.mBuffers[0].mData),
                          in.mBuffers[0].mDataByteSize, GetParameter(kParam_Volume)});
        return Harwendel_Quenzal::ProcessBufferLists(flags, in, out, frames);
    }

    std::vector<Slice> slices;
};

inline AudioComponent ProbeComponent() {
    static const AudioComponent component = [] {
        AudioComponentDescription desc = testhost::kQuenzalDescription;
        desc.componentSubType = hosting::FourCharCode("prob");
        auto entry = [](ComponentParameters* params, void* storage) -> OSStatus {
            return ComponentEntryPoint<ProbeEffect>::Dispatch(params,
                                                              static_cast<ProbeEffect*>(storage));
        };
        return PlatformRegisterComponent(&desc, entry, 1);
    }();
    return component;
}

// The probe behind a host's instance: tests read its records and set its switches.
inline ProbeEffect& Probe(const hosting::Unit& host) {
    return *static_cast<ProbeEffect*>(GetComponentInstanceStorage(host.Get()));
}

namespace {
// The cases of the parameterized tests (declared in this same unnamed namespace) print by name,
// which keeps the listed test names free of addresses.
template <class Case>
auto operator<<(std::ostream& os, const Case& testCase) -> decltype(testCase.name, os) {
    return os << testCase.name;
}
} // namespace

} // namespace rendertest
