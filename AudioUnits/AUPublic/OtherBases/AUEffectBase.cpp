#include "AUEffectBase.h"

#include "CAMath.h"

#include <cstdint>
#include <cstring>

namespace {

// Whether one published (in, out) pair accepts the bus channel counts. Negative entries are
// wildcards: (-1, -2) and (-2, -1) take any counts, (-1, -1) any equal counts, and -1 beside a
// fixed count takes any count on its side.
bool ChannelPairAccepts(const AUChannelInfo& pair, SInt16 inChannels, SInt16 outChannels) {
    const SInt16 in = pair.inChannels;
    const SInt16 out = pair.outChannels;
    if (in < 0 && out < 0) {
        if ((in == -1 && out == -2) || (in == -2 && out == -1)) {
            return true;
        }
        return in == -1 && out == -1 && inChannels == outChannels;
    }
    return (inChannels == in || in == -1) && (outChannels == out || out == -1);
}

bool FitsChannelTable(UInt32 channels) {
    return channels <= static_cast<UInt32>(INT16_MAX);
}

UInt32 ReadPropertyWord(const void* data) {
    UInt32 value;
    memcpy(&value, data, sizeof value);
    return value;
}

void WritePropertyWord(void* data, bool flag) {
    const UInt32 value = flag ? 1 : 0;
    memcpy(data, &value, sizeof value);
}

// Switching bypass off resets the unit first: the kernels kept their state from before the bypass,
// and stale filter memories would click.
OSStatus ChangeBypass(AUEffectBase& effect, bool bypass) {
    if (bypass == effect.IsBypassEffect()) {
        return noErr;
    }
    if (!bypass && effect.IsInitialized()) {
        effect.Reset(kAudioUnitScope_Global, 0);
    }
    effect.SetBypassEffect(bypass);
    return noErr;
}

} // namespace

Float64 AUKernelBase::GetSampleRate() {
    return mOwner->GetSampleRate();
}

AudioUnitParameterValue AUKernelBase::GetParameter(AudioUnitParameterID paramID) {
    return mOwner->GetParameter(paramID);
}

AUEffectBase::AUEffectBase(ComponentInstance instance, bool inPlace)
    : AUBase(instance, 1, 1, 0, 0), mInPlace(inPlace) {}

AUEffectBase::~AUEffectBase() {
    // A subclass's Cleanup can no longer run here; its own destructor releases what it holds.
    AUEffectBase::Cleanup();
}

OSStatus AUEffectBase::Initialize() {
    const UInt32 inChannels = GetInput(0)->GetStreamFormat().mChannelsPerFrame;
    const UInt32 outChannels = GetOutput(0)->GetStreamFormat().mChannelsPerFrame;
    // The table holds 16-bit counts; a larger count would alias a small one and be accepted
    // for a configuration that was never published.
    if (!FitsChannelTable(inChannels) || !FitsChannelTable(outChannels)) {
        return kAudioUnitErr_FormatNotSupported;
    }
    const AUChannelInfo* table = nullptr;
    const UInt32 tableSize = SupportedNumChannels(&table);
    if (tableSize > 0 && table != nullptr) {
        const SInt16 in = static_cast<SInt16>(inChannels);
        const SInt16 out = static_cast<SInt16>(outChannels);
        bool accepted = false;
        for (UInt32 i = 0; i < tableSize && !accepted; ++i) {
            accepted = ChannelPairAccepts(table[i], in, out);
        }
        if (!accepted) {
            return kAudioUnitErr_FormatNotSupported;
        }
    } else if (outChannels != inChannels || outChannels == 0) {
        return kAudioUnitErr_FormatNotSupported;
    }
    MaintainKernels();
    return noErr;
}

void AUEffectBase::Cleanup() {
    for (AUKernelBase* kernel : mKernels) {
        delete kernel;
    }
    mKernels.clear();
}

OSStatus AUEffectBase::Reset(AudioUnitScope scope, AudioUnitElement element) {
    for (AUKernelBase* kernel : mKernels) {
        if (kernel != nullptr) {
            kernel->Reset();
        }
    }
    return AUBase::Reset(scope, element);
}

OSStatus AUEffectBase::GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope,
                                       AudioUnitElement element, UInt32& outDataSize,
                                       Boolean& outWritable) {
    if (scope == kAudioUnitScope_Global &&
        (id == kAudioUnitProperty_BypassEffect || id == kAudioUnitProperty_InPlaceProcessing)) {
        outDataSize = sizeof(UInt32);
        outWritable = true;
        return noErr;
    }
    return AUBase::GetPropertyInfo(id, scope, element, outDataSize, outWritable);
}

OSStatus AUEffectBase::GetProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                   AudioUnitElement element, void* outData) {
    if (scope == kAudioUnitScope_Global) {
        if (id == kAudioUnitProperty_BypassEffect) {
            WritePropertyWord(outData, IsBypassEffect());
            return noErr;
        }
        if (id == kAudioUnitProperty_InPlaceProcessing) {
            WritePropertyWord(outData, ProcessesInPlace());
            return noErr;
        }
    }
    return AUBase::GetProperty(id, scope, element, outData);
}

OSStatus AUEffectBase::SetProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                   AudioUnitElement element, const void* inData,
                                   UInt32 inDataSize) {
    if (scope == kAudioUnitScope_Global &&
        (id == kAudioUnitProperty_BypassEffect || id == kAudioUnitProperty_InPlaceProcessing)) {
        // Both values are 32-bit words; reading one from a shorter value would overrun it.
        if (inDataSize < sizeof(UInt32)) {
            return kAudioUnitErr_InvalidPropertyValue;
        }
        const bool on = ReadPropertyWord(inData) != 0;
        if (id == kAudioUnitProperty_InPlaceProcessing) {
            mInPlace.store(on, std::memory_order_relaxed);
            return noErr;
        }
        return ChangeBypass(*this, on);
    }
    return AUBase::SetProperty(id, scope, element, inData, inDataSize);
}

bool AUEffectBase::StreamFormatWritable(AudioUnitScope, AudioUnitElement) {
    return !IsInitialized();
}

OSStatus AUEffectBase::ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                          const CAStreamBasicDescription& previousFormat,
                                          const CAStreamBasicDescription& newFormat) {
    const OSStatus result = AUBase::ChangeStreamFormat(scope, element, previousFormat, newFormat);
    if (result != noErr) {
        return result;
    }
    if (GetParamHasSampleRateDependency() &&
        fnotequal(previousFormat.mSampleRate, newFormat.mSampleRate)) {
        PropertyChanged(kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0);
    }
    return result;
}

void AUEffectBase::SetParameter(AudioUnitParameterID paramID, AudioUnitParameterValue value) {
    Globals()->SetParameter(paramID, value);
}

AudioUnitParameterValue AUEffectBase::GetParameter(AudioUnitParameterID paramID) {
    return Globals()->GetParameter(paramID);
}

Float64 AUEffectBase::GetSampleRate() {
    return GetOutput(0)->GetStreamFormat().mSampleRate;
}

UInt32 AUEffectBase::GetNumberOfChannels() {
    return GetOutput(0)->GetStreamFormat().mChannelsPerFrame;
}

void AUEffectBase::MaintainKernels() {
    const UInt32 channels = GetNumberOfChannels();
    if (mKernels.size() < channels) {
        mKernels.reserve(channels);
        while (mKernels.size() < channels) {
            mKernels.push_back(NewKernel());
        }
    } else {
        while (mKernels.size() > channels) {
            delete mKernels.back();
            mKernels.pop_back();
        }
    }
    for (UInt32 channel = 0; channel < channels; ++channel) {
        if (mKernels[channel] != nullptr) {
            mKernels[channel]->SetChannelNum(channel);
        }
    }
}
