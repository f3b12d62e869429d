// Shared by the render tests: caller buffer lists, an input source that counts its pulls, the
// expected output of the voicing computed outside the unit, test effects registered as
// components of their own, and the unit's fast render function.
#pragma once

#include "Harwendel_QuenzalVoicing.h"
#include "UnitHost.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <ostream>
#include <random>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace rendertest {

using testhost::Signal;
using testhost::UnitHost;

constexpr Float64 kRate = 44100.0;
constexpr UInt32 kStereo = 2;

inline std::vector<Float32> Noise(size_t count, unsigned seed) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<Float32> uniform(-1.0f, 1.0f);
    std::vector<Float32> samples(count);
    for (Float32& sample : samples) {
        sample = uniform(generator);
    }
    return samples;
}

inline Signal StereoNoise(size_t frames, unsigned seed = 7) {
    return {Noise(frames, seed), Noise(frames, seed + 1)};
}

inline ::testing::AssertionResult SameBits(const std::vector<Float32>& actual,
                                           const std::vector<Float32>& expected) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure()
               << "sizes " << actual.size() << " and " << expected.size();
    }
    for (size_t i = 0; i < actual.size(); ++i) {
        if (std::memcmp(&actual[i], &expected[i], sizeof(Float32)) != 0) {
            return ::testing::AssertionFailure()
                   << "sample " << i << ": " << actual[i] << " instead of " << expected[i];
        }
    }
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult SameBits(const Signal& actual, const Signal& expected) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure() << "channel counts differ";
    }
    for (size_t channel = 0; channel < actual.size(); ++channel) {
        if (auto result = SameBits(actual[channel], expected[channel]); !result) {
            return result << " (channel " << channel << ")";
        }
    }
    return ::testing::AssertionSuccess();
}

inline std::vector<Float32> Slice(const std::vector<Float32>& samples, size_t begin, size_t end) {
    return {samples.begin() + std::ptrdiff_t(begin), samples.begin() + std::ptrdiff_t(end)};
}

#if defined(__x86_64__) || defined(__i386__)
inline unsigned FloatingPointMode() {
    return _mm_getcsr();
}
inline void SetFloatingPointMode(unsigned mode) {
    _mm_setcsr(mode);
}
#else
inline unsigned FloatingPointMode() {
    return 0;
}
inline void SetFloatingPointMode(unsigned) {}
#endif

// The expected output of one channel of the effect: the voicing run outside the framework, in the
// floating-point mode the unit renders in, with the memories carried from call to call.
class ReferenceChannel {
public:
    explicit ReferenceChannel(std::int32_t model = QuenzalVoicing::kDefaultModel,
                              Float64 rate = kRate)
        : mRate(Float32(rate)) {
        QuenzalVoicing::Voice(mVoicing, model, mRate);
        QuenzalVoicing::DesignCoefficients(mDesign, mVoicing, mRate);
    }

    std::vector<Float32> Process(const std::vector<Float32>& input, Float32 volumeDecibels = 0) {
        std::vector<Float32> output(input.size());
        const unsigned savedMode = FloatingPointMode();
        SetFloatingPointMode(savedMode | 0x8040);
        QuenzalVoicing::ProcessSamples(mDesign, mState, input.data(), output.data(),
                                       UInt32(input.size()), 1,
                                       QuenzalVoicing::VolumeGain(volumeDecibels));
        SetFloatingPointMode(savedMode);
        return output;
    }

private:
    Float32 mRate;
    QuenzalVoicing::Voicing mVoicing{};
    QuenzalVoicing::Design mDesign{};
    QuenzalVoicing::FilterState mState{};
};

// The voicing applied `passes` times in turn to every channel, as one call.
inline Signal ReferenceVoicing(const Signal& input, int passes = 1) {
    Signal signal = input;
    for (int pass = 0; pass < passes; ++pass) {
        for (std::vector<Float32>& channel : signal) {
            channel = ReferenceChannel().Process(channel);
        }
    }
    return signal;
}

// A caller's buffer list for a deinterleaved format: one buffer per channel, with memory of its
// own or with null data pointers that ask the unit for its memory.
class CallerBuffers {
public:
    CallerBuffers(UInt32 channels, UInt32 frames, bool withMemory = true)
        : mListMemory(AudioBufferListByteSize(channels)),
          mSamples(withMemory ? channels : 0, std::vector<Float32>(frames)) {
        List().mNumberBuffers = channels;
        for (UInt32 i = 0; i < channels; ++i) {
            List().mBuffers[i] = {1, UInt32(frames * sizeof(Float32)),
                                  withMemory ? mSamples[i].data() : nullptr};
        }
    }

    AudioBufferList& List() { return *reinterpret_cast<AudioBufferList*>(mListMemory.data()); }
    AudioBuffer& Buffer(UInt32 i) { return List().mBuffers[i]; }
    // What the list describes now, wherever its pointers lead.
    std::vector<Float32> Channel(UInt32 i) {
        const auto* samples = static_cast<const Float32*>(Buffer(i).mData);
        return {samples, samples + Buffer(i).mDataByteSize / sizeof(Float32)};
    }
    Signal Channels() {
        Signal signal;
        for (UInt32 i = 0; i < List().mNumberBuffers; ++i) {
            signal.push_back(Channel(i));
        }
        return signal;
    }

private:
    std::vector<std::byte> mListMemory;
    Signal mSamples;
};

// An input feed: serves its signal at the render's sample time, counts the pulls, and can mark
// what it delivers as silence, fail, or supply memory where the unit offers none.
class InputSource {
public:
    explicit InputSource(Signal signal = {}) : mSignal(std::move(signal)) {}

    static OSStatus Callback(void* refCon, AudioUnitRenderActionFlags* ioActionFlags,
                             const AudioTimeStamp* timeStamp, UInt32, UInt32 frames,
                             AudioBufferList* ioData) {
        return static_cast<InputSource*>(refCon)->Serve(*ioActionFlags, *timeStamp, frames,
                                                        *ioData);
    }
    OSStatus Attach(UnitHost& host) {
        return host.SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                                AURenderCallbackStruct{&Callback, this});
    }

    // Where the unit offers null data pointers, the samples go to memory of the source's own.
    void SupplyMemory(UInt32 channels, UInt32 maxFrames) {
        mSupplied.assign(channels, std::vector<Float32>(maxFrames));
    }

    int pulls = 0;
    bool flagSilence = false;
    OSStatus failure = noErr;
    std::vector<void*> dataSeen; // the data pointers the unit offered at the last pull

private:
    OSStatus Serve(AudioUnitRenderActionFlags& flags, const AudioTimeStamp& timeStamp,
                   UInt32 frames, AudioBufferList& ioData) {
        ++pulls;
        if (failure != noErr) {
            return failure;
        }
        dataSeen.clear();
        const auto start = size_t(timeStamp.mSampleTime);
        for (UInt32 channel = 0; channel < ioData.mNumberBuffers; ++channel) {
            AudioBuffer& buffer = ioData.mBuffers[channel];
            dataSeen.push_back(buffer.mData);
            if (buffer.mData == nullptr && channel < mSupplied.size()) {
                buffer.mData = mSupplied[channel].data();
            }
            if (buffer.mData == nullptr) {
                continue;
            }
            auto* samples = static_cast<Float32*>(buffer.mData);
            for (UInt32 i = 0; i < frames; ++i) {
                const size_t at = start + i;
                const bool served = channel < mSignal.size() && at < mSignal[channel].size();
                samples[i] = served ? mSignal[channel][at] : 0.0f;
            }
        }
        if (flagSilence) {
            flags |= kAudioUnitRenderAction_OutputIsSilence;
        }
        return noErr;
    }

    Signal mSignal;
    Signal mSupplied;
};

// A stereo effect at 44100 Hz, initialized and reset, fed by source.
inline void PrepareStereoEffect(UnitHost& host, InputSource& source) {
    ASSERT_EQ(host.OpenStatus(), noErr);
    ASSERT_EQ(host.SetFormat(kStereo, kRate), noErr);
    ASSERT_EQ(source.Attach(host), noErr);
    ASSERT_EQ(host.Initialize(), noErr);
    ASSERT_EQ(host.Reset(), noErr);
}

inline OSStatus RenderAt(AudioUnit unit, Float64 sampleTime, UInt32 frames, AudioBufferList& list,
                         AudioUnitRenderActionFlags* flags = nullptr) {
    AudioTimeStamp timeStamp{};
    timeStamp.mSampleTime = sampleTime;
    AudioUnitRenderActionFlags localFlags = 0;
    return AudioUnitRender(unit, flags != nullptr ? flags : &localFlags, &timeStamp, 0, frames,
                           &list);
}

// The unit's fast render function and the storage it takes.
struct FastRender {
    explicit FastRender(AudioUnit unit) : storage(GetComponentInstanceStorage(unit)) {
        UInt32 size = sizeof(proc);
        status = AudioUnitGetProperty(unit, kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global,
                                      kAudioUnitRenderFastSelect, &proc, &size);
    }
    OSStatus operator()(Float64 sampleTime, UInt32 frames, AudioBufferList& list,
                        AudioUnitRenderActionFlags& flags) const {
        AudioTimeStamp timeStamp{};
        timeStamp.mSampleTime = sampleTime;
        return proc(storage, &flags, &timeStamp, 0, frames, &list);
    }

    AudioUnitRenderProc proc = nullptr;
    void* storage;
    OSStatus status;
};

// Registers Effect (a unit class with the effect's constructor) as a component of its own, so
// that the tests reach it through the entry point like the effect itself.
template <class Effect> AudioComponent EffectComponent(const char (&subtype)[5]) {
    static const AudioComponent component = [&] {
        AudioComponentDescription desc = testhost::kQuenzalDescription;
        desc.componentSubType = testhost::FourCharCode(subtype);
        auto entry = [](ComponentParameters* params, void* storage) -> OSStatus {
            return ComponentEntryPoint<Effect>::Dispatch(params, static_cast<Effect*>(storage));
        };
        return PlatformRegisterComponent(&desc, entry, 1);
    }();
    return component;
}

namespace {
// The cases of the parameterized tests (declared in this same unnamed namespace) print by name.
template <class Case>
auto operator<<(std::ostream& os, const Case& testCase) -> decltype(testCase.name, os) {
    return os << testCase.name;
}
} // namespace

// The unit object behind a host's instance, for the few checks that need to look inside.
template <class Effect> Effect& UnitObject(const UnitHost& host) {
    return *static_cast<Effect*>(GetComponentInstanceStorage(host.Unit()));
}

} // namespace rendertest
