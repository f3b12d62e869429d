// Hosts one instance of a component the way a real host does: through the registry and the
// selector calls of the platform host API, never by touching the unit object.
#pragma once

#include "CAStreamBasicDescription.h"
#include "Harwendel_Quenzal.h"
#include "Harwendel_QuenzalComponent.h"
#include "Platform/Host.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace testhost {

// One vector of samples per channel.
using Signal = std::vector<std::vector<Float32>>;

constexpr OSType FourCharCode(const char (&code)[5]) {
    return OSType(Byte(code[0])) << 24 | OSType(Byte(code[1])) << 16 | OSType(Byte(code[2])) << 8 |
           OSType(Byte(code[3]));
}

// The codes and version of the registration file.
constexpr AudioComponentDescription kQuenzalDescription{
    FourCharCode(Harwendel_QuenzalComponent::kType),
    FourCharCode(Harwendel_QuenzalComponent::kSubtype),
    FourCharCode(Harwendel_QuenzalComponent::kManufacturer), 0, 0};
constexpr UInt32 kQuenzalVersion = Harwendel_QuenzalComponent::kVersion;

inline OSStatus QuenzalEntry(ComponentParameters* params, void* storage) {
    return Harwendel_QuenzalEntry(params, static_cast<Harwendel_Quenzal*>(storage));
}

// The statically linked effect, registered once per test process.
inline AudioComponent QuenzalComponent() {
    static const AudioComponent component =
        PlatformRegisterComponent(&kQuenzalDescription, QuenzalEntry, kQuenzalVersion);
    return component;
}

// The 32-bit float, non-interleaved format every bus of an effect accepts.
inline CAStreamBasicDescription CanonicalFormat(UInt32 channels, Float64 sampleRate) {
    CAStreamBasicDescription format;
    format.SetAUCanonical(channels, false);
    format.mSampleRate = sampleRate;
    return format;
}

class UnitHost {
public:
    explicit UnitHost(AudioComponent component = QuenzalComponent()) {
        mOpenStatus = AudioComponentInstanceNew(component, &mUnit);
    }
    ~UnitHost() {
        if (mUnit != nullptr) {
            AudioComponentInstanceDispose(mUnit);
        }
    }
    UnitHost(const UnitHost&) = delete;
    UnitHost& operator=(const UnitHost&) = delete;

    AudioUnit Unit() const { return mUnit; }
    OSStatus OpenStatus() const { return mOpenStatus; }

    template <class T>
    OSStatus SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                         const T& value) {
        return AudioUnitSetProperty(mUnit, id, scope, element, &value, sizeof value);
    }
    template <class T>
    OSStatus GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                         T& value) {
        UInt32 size = sizeof value;
        return AudioUnitGetProperty(mUnit, id, scope, element, &value, &size);
    }

    // The same format on input 0 and output 0.
    OSStatus SetFormat(UInt32 channels, Float64 sampleRate) {
        const OSStatus status = SetFormat(kAudioUnitScope_Input, channels, sampleRate);
        return status != noErr ? status : SetFormat(kAudioUnitScope_Output, channels, sampleRate);
    }
    OSStatus SetFormat(AudioUnitScope scope, UInt32 channels, Float64 sampleRate) {
        const AudioStreamBasicDescription format = CanonicalFormat(channels, sampleRate);
        const OSStatus status = SetProperty(kAudioUnitProperty_StreamFormat, scope, 0, format);
        if (status == noErr && scope == kAudioUnitScope_Output) {
            mOutputChannels = channels;
        }
        return status;
    }

    OSStatus Initialize() { return AudioUnitInitialize(mUnit); }
    OSStatus Uninitialize() { return AudioUnitUninitialize(mUnit); }
    OSStatus Reset() { return AudioUnitReset(mUnit, kAudioUnitScope_Global, 0); }

    OSStatus SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value) {
        return AudioUnitSetParameter(mUnit, id, kAudioUnitScope_Global, 0, value, 0);
    }
    OSStatus GetParameter(AudioUnitParameterID id, AudioUnitParameterValue& value) {
        return AudioUnitGetParameter(mUnit, id, kAudioUnitScope_Global, 0, &value);
    }

    // Feeds input 0 from a render callback that serves signal at the render's sample time,
    // and silence past its end.
    OSStatus ServeInput(Signal signal) {
        mInput = std::move(signal);
        const AURenderCallbackStruct callback{&UnitHost::InputCallback, this};
        return SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                           callback);
    }

    // Renders the next frames of output bus 0 into output, one vector per output channel.
    OSStatus Render(UInt32 frames, Signal& output) {
        output.assign(mOutputChannels, std::vector<Float32>(frames));
        std::vector<std::byte> listMemory(AudioBufferListByteSize(mOutputChannels));
        auto* list = reinterpret_cast<AudioBufferList*>(listMemory.data());
        list->mNumberBuffers = mOutputChannels;
        for (UInt32 channel = 0; channel < mOutputChannels; ++channel) {
            list->mBuffers[channel] = {1, UInt32(frames * sizeof(Float32)), output[channel].data()};
        }
        AudioTimeStamp timeStamp{};
        timeStamp.mSampleTime = mSampleTime;
        AudioUnitRenderActionFlags flags = 0;
        const OSStatus status = AudioUnitRender(mUnit, &flags, &timeStamp, 0, frames, list);
        mLastRenderFlags = flags;
        mSampleTime += frames;
        return status;
    }
    AudioUnitRenderActionFlags LastRenderFlags() const { return mLastRenderFlags; }

private:
    static OSStatus InputCallback(void* refCon, AudioUnitRenderActionFlags*,
                                  const AudioTimeStamp* timeStamp, UInt32, UInt32 frames,
                                  AudioBufferList* ioData) {
        auto& host = *static_cast<UnitHost*>(refCon);
        const auto start = static_cast<size_t>(timeStamp->mSampleTime);
        host.mInputScratch.resize(ioData->mNumberBuffers);
        for (UInt32 channel = 0; channel < ioData->mNumberBuffers; ++channel) {
            AudioBuffer& buffer = ioData->mBuffers[channel];
            if (buffer.mData == nullptr) {
                host.mInputScratch[channel].resize(frames);
                buffer.mData = host.mInputScratch[channel].data();
                buffer.mDataByteSize = UInt32(frames * sizeof(Float32));
            }
            auto* samples = static_cast<Float32*>(buffer.mData);
            std::fill(samples, samples + frames, 0.0f);
            if (channel < host.mInput.size() && start < host.mInput[channel].size()) {
                const std::vector<Float32>& source = host.mInput[channel];
                const size_t count = std::min<size_t>(frames, source.size() - start);
                std::copy_n(source.begin() + std::ptrdiff_t(start), count, samples);
            }
        }
        return noErr;
    }

    AudioUnit mUnit = nullptr;
    OSStatus mOpenStatus = noErr;
    UInt32 mOutputChannels = 2;
    Float64 mSampleTime = 0;
    AudioUnitRenderActionFlags mLastRenderFlags = 0;
    Signal mInput;
    Signal mInputScratch;
};

} // namespace testhost
