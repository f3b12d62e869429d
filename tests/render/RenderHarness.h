// Shared by the render tests: the expected voicing computed outside the unit, caller buffer
// lists, an input feed that counts its pulls, and a probing effect registered as a component of
// its own so that it too is reached through the entry point.
#pragma once

#include "CAMath.h"
#include "Harwendel_QuenzalVoicing.h"
#include "LinkedEffect.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <random>
#include <stdexcept>

namespace rendertest {

using testhost::QuenzalUnit;
using testhost::Signal;

constexpr Float64 kRate = 44100.0;
constexpr UInt32 kStereo = 2;
constexpr UInt32 kFrames = 512;
constexpr UInt32 kTooManyFrames = AUBase::kDefaultMaxFramesPerSlice + 1;

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

inline bool SameBits(const Signal& actual, const Signal& expected) {
    if (actual.size() != expected.size()) {
        return false;
    }
    for (size_t i = 0; i < actual.size(); ++i) {
        if (actual[i].size() != expected[i].size() ||
            std::memcmp(actual[i].data(), expected[i].data(), actual[i].size() * 4) != 0) {
            return false;
        }
    }
    return true;
}

// One channel of the effect run outside the framework, in the mode the unit renders in, with
// its memories carried from call to call.
class ReferenceChannel {
public:
    ReferenceChannel() {
        QuenzalVoicing::Voice(mVoicing, QuenzalVoicing::kDefaultModel, Float32(kRate));
        QuenzalVoicing::DesignCoefficients(mDesign, mVoicing, Float32(kRate));
    }
    std::vector<Float32> Process(const std::vector<Float32>& input, size_t begin, size_t end,
                                 Float32 volumeDecibels = 0) {
        std::vector<Float32> output(end - begin);
        const CADenormalsOff denormalsOff;
        QuenzalVoicing::ProcessSamples(mDesign, mState, input.data() + begin, output.data(),
                                       UInt32(output.size()), 1,
                                       QuenzalVoicing::VolumeGain(volumeDecibels));
        return output;
    }

private:
    QuenzalVoicing::Voicing mVoicing{};
    QuenzalVoicing::Design mDesign{};
    QuenzalVoicing::FilterState mState{};
};

// The voicing applied `passes` times in turn to every channel.
inline Signal ReferenceVoicing(Signal signal, int passes = 1) {
    for (int pass = 0; pass < passes; ++pass) {
        for (auto& channel : signal) {
            channel = ReferenceChannel().Process(channel, 0, channel.size());
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

// An input feed serving its signal at the render's sample time. It counts its pulls, keeps the
// data pointers it was offered, and can flag silence, fail, or supply memory where offered none.
class InputSource {
public:
    explicit InputSource(Signal signal = {}) : mSignal(std::move(signal)) {
        dataSeen.reserve(kStereo);
    }
    OSStatus Attach(hosting::Unit& host) {
        return host.SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                                AURenderCallbackStruct{&Callback, this});
    }
    void SupplyMemory() { mSupplied.assign(kStereo, std::vector<Float32>(kFrames)); }

    int pulls = 0;
    bool flagSilence = false;
    OSStatus failure = noErr;
    std::vector<void*> dataSeen;

private:
    static OSStatus Callback(void* refCon, AudioUnitRenderActionFlags* flags,
                             const AudioTimeStamp* timeStamp, UInt32, UInt32 frames,
                             AudioBufferList* ioData) {
        auto& source = *static_cast<InputSource*>(refCon);
        ++source.pulls;
        source.dataSeen.clear();
        for (UInt32 channel = 0; channel < ioData->mNumberBuffers; ++channel) {
            AudioBuffer& buffer = ioData->mBuffers[channel];
            source.dataSeen.push_back(buffer.mData);
            if (buffer.mData == nullptr && channel < source.mSupplied.size()) {
                buffer.mData = source.mSupplied[channel].data();
            }
            if (buffer.mData != nullptr) {
                source.Fill(static_cast<Float32*>(buffer.mData), channel,
                            size_t(timeStamp->mSampleTime), frames);
            }
        }
        if (source.flagSilence) {
            *flags |= kAudioUnitRenderAction_OutputIsSilence;
        }
        return source.failure;
    }
    void Fill(Float32* samples, UInt32 channel, size_t start, UInt32 frames) const {
        for (UInt32 i = 0; i < frames; ++i) {
            const bool served = channel < mSignal.size() && start + i < mSignal[channel].size();
            samples[i] = served ? mSignal[channel][start + i] : 0.0f;
        }
    }

    Signal mSignal;
    Signal mSupplied;
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

// The voicing effect with probes: it records each ProcessBufferLists call (one per slice) and
// the mode its kernels ran in, and can be told to misbehave.
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
    Float64 GetTailTime() override { return tailSeconds; }
    AUKernelBase* NewKernel() override { return new ProbeKernel(this); }
    OSStatus ProcessBufferLists(AudioUnitRenderActionFlags& flags, const AudioBufferList& in,
                                AudioBufferList& out, UInt32 frames) override {
        slices.push_back({frames, static_cast<const Byte*>(in.mBuffers[0].mData),
                          in.mBuffers[0].mDataByteSize, GetParameter(kParam_Volume)});
        return Harwendel_Quenzal::ProcessBufferLists(flags, in, out, frames);
    }

    std::vector<Slice> slices;
    Float64 tailSeconds = 0.5;
    bool throwFromKernel = false;
    unsigned modeSeenByKernel = 0;

private:
    class ProbeKernel : public Harwendel_QuenzalKernel {
    public:
        explicit ProbeKernel(ProbeEffect* owner) : Harwendel_QuenzalKernel(owner), mProbe(*owner) {}
        void Process(const Float32* source, Float32* destination, UInt32 frames,
                     UInt32 channelStride, bool& ioSilence) override {
            mProbe.modeSeenByKernel = CAFloatingPointMode::Read();
            if (mProbe.throwFromKernel) {
                throw std::runtime_error("kernel failure");
            }
            Harwendel_QuenzalKernel::Process(source, destination, frames, channelStride, ioSilence);
        }

    private:
        ProbeEffect& mProbe;
    };
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
// The cases of the parameterized tests (declared in this same unnamed namespace) print by name.
template <class Case>
auto operator<<(std::ostream& os, const Case& testCase) -> decltype(testCase.name, os) {
    return os << testCase.name;
}
} // namespace

} // namespace rendertest
