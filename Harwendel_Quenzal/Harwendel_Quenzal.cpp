#include "Harwendel_Quenzal.h"

namespace {

// Platform constant strings: they live as long as the program and are never released, which is
// why the parameter info does not ask for the name to be released and the value-string array
// need not retain them.
const CFStringRef kParamName_Loudspeaker = CFSTR("Loudspeaker");
const CFStringRef kParameterName_Volume = CFSTR("Volume");
const CFStringRef kMenuItem_GuitarWarm = CFSTR("Guitar: warm");
const CFStringRef kMenuItem_GuitarBright = CFSTR("Guitar: bright");
const CFStringRef kMenuItem_GuitarFull = CFSTR("Guitar: full");
const CFStringRef kMenuItem_BassWarm = CFSTR("Bass: warm");
const CFStringRef kMenuItem_BassBright = CFSTR("Bass: bright");

constexpr AudioUnitParameterValue kDefaultLoudspeaker = 1.0f;
constexpr AudioUnitParameterValue kDefaultVolume = 0.0f;
constexpr UInt32 kReadWriteFlags = static_cast<UInt32>(kAudioUnitParameterFlag_IsReadable) |
                                   static_cast<UInt32>(kAudioUnitParameterFlag_IsWritable);

void DescribeParameter(AudioUnitParameterInfo& info, CFStringRef name, UInt32 unit,
                       AudioUnitParameterValue minValue, AudioUnitParameterValue maxValue,
                       AudioUnitParameterValue defaultValue) {
    AUBase::FillInParameterName(info, name, false);
    info.unit = unit;
    info.minValue = minValue;
    info.maxValue = maxValue;
    info.defaultValue = defaultValue;
}

} // namespace

Harwendel_Quenzal::Harwendel_Quenzal(ComponentInstance instance) : AUEffectBase(instance, true) {
    CreateElements();
    Globals()->UseIndexedParameters(kNumberOfParameters);
    SetParameter(kParam_Loudspeaker, kDefaultLoudspeaker);
    SetParameter(kParam_Volume, kDefaultVolume);
}

OSStatus Harwendel_Quenzal::Version() {
    return static_cast<OSStatus>(0xFFFFFFFFu);
}

OSStatus Harwendel_Quenzal::GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope,
                                            AudioUnitElement element, UInt32& outDataSize,
                                            Boolean& outWritable) {
    return AUEffectBase::GetPropertyInfo(id, scope, element, outDataSize, outWritable);
}

OSStatus Harwendel_Quenzal::GetProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                        AudioUnitElement element, void* outData) {
    return AUEffectBase::GetProperty(id, scope, element, outData);
}

OSStatus Harwendel_Quenzal::GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id,
                                             AudioUnitParameterInfo& outInfo) {
    // Set before any test: hosts read the flags even from a refused query.
    outInfo.flags = kReadWriteFlags;
    if (scope != kAudioUnitScope_Global) {
        return kAudioUnitErr_InvalidParameter;
    }
    switch (id) {
    case kParam_Loudspeaker:
        DescribeParameter(outInfo, kParamName_Loudspeaker, kAudioUnitParameterUnit_Indexed, 1.0f,
                          5.0f, kDefaultLoudspeaker);
        return noErr;
    case kParam_Volume:
        DescribeParameter(outInfo, kParameterName_Volume, kAudioUnitParameterUnit_Decibels, -6.0f,
                          6.0f, kDefaultVolume);
        return noErr;
    default:
        return kAudioUnitErr_InvalidParameter;
    }
}

OSStatus Harwendel_Quenzal::GetParameterValueStrings(AudioUnitScope scope, AudioUnitParameterID id,
                                                     CFArrayRef* outStrings) {
    if (scope != kAudioUnitScope_Global || id != kParam_Loudspeaker) {
        return kAudioUnitErr_InvalidProperty;
    }
    // A null pointer only asks whether value strings exist.
    if (outStrings == nullptr) {
        return noErr;
    }
    // In model order: position i names speaker model i + 1.
    const void* names[] = {kMenuItem_GuitarWarm, kMenuItem_GuitarBright, kMenuItem_GuitarFull,
                           kMenuItem_BassWarm, kMenuItem_BassBright};
    *outStrings = CFArrayCreate(kCFAllocatorDefault, names, QuenzalVoicing::kModelCount, nullptr);
    return noErr;
}

AUKernelBase* Harwendel_Quenzal::NewKernel() {
    return new Harwendel_QuenzalKernel(this);
}

Harwendel_Quenzal::Harwendel_QuenzalKernel::Harwendel_QuenzalKernel(AUEffectBase* owner)
    : AUKernelBase(owner) {
    // The effect base makes kernels at initialization without resetting them; designing here
    // means a host that renders before its first reset still gets the default voicing.
    AdoptOwnerSampleRate();
    VoiceAndDesign(QuenzalVoicing::kDefaultModel);
}

void Harwendel_Quenzal::Harwendel_QuenzalKernel::Reset() {
    // An unusable rate (0, negative, NaN, ...) would divide by zero; the kernel keeps filtering
    // with the design it has rather than with a broken one.
    if (AdoptOwnerSampleRate()) {
        VoiceAndDesign(QuenzalVoicing::kDefaultModel);
    }
    mState = {};
}

void Harwendel_Quenzal::Harwendel_QuenzalKernel::Process(const Float32* source,
                                                         Float32* destination, UInt32 frames,
                                                         UInt32 channelStride,
                                                         bool& /*ioSilence*/) {
    const SInt32 model =
        QuenzalVoicing::SpeakerModelFromParameter(GetParameter(kParam_Loudspeaker));
    const Float32 volume = GetParameter(kParam_Volume);
    // The design is a pure function of the voiced model and mRate, and mRate changes only in
    // Reset, which redesigns: an unchanged model therefore means an unchanged design, bit for
    // bit, and the steps need not run again. An invalid model keeps the current voicing.
    if (QuenzalVoicing::IsSpeakerModel(model) && model != mVoicedModel) {
        VoiceAndDesign(model);
    }
    QuenzalVoicing::ProcessSamples(mDesign, mState, source, destination, frames, channelStride,
                                   QuenzalVoicing::VolumeGain(volume));
}

bool Harwendel_Quenzal::Harwendel_QuenzalKernel::AdoptOwnerSampleRate() {
    const Float32 rate = static_cast<Float32>(GetSampleRate());
    if (!QuenzalVoicing::IsUsableSampleRate(rate)) {
        return false;
    }
    mRate = rate;
    return true;
}

void Harwendel_Quenzal::Harwendel_QuenzalKernel::VoiceAndDesign(SInt32 model) {
    QuenzalVoicing::Voice(mVoicing, model, mRate);
    QuenzalVoicing::DesignCoefficients(mDesign, mVoicing, mRate);
    mVoicedModel = model;
}

extern "C" OSStatus Harwendel_QuenzalEntry(ComponentParameters* params, Harwendel_Quenzal* obj) {
    return ComponentEntryPoint<Harwendel_Quenzal>::Dispatch(params, obj);
}
