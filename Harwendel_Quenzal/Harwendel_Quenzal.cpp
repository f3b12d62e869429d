#include "Harwendel_Quenzal.h"

#include "Harwendel_QuenzalLanes.h"

#include <cstdint>
#include <typeinfo>

namespace {

// Platform constant strings: they live as long as the program and are never released, which is
// why the parameter info does not ask for the name to be released and the value-string array
// need not retain them.
const CFStringRef kParamName_Loudspeaker = CFSTR("Loudspeaker");
const CFStringRef kParamName_Volume = CFSTR("Volume");
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

bool RangesOverlap(const void* a, const void* b, std::size_t bytes) {
    const auto first = reinterpret_cast<std::uintptr_t>(a);
    const auto second = reinterpret_cast<std::uintptr_t>(b);
    return first < second + bytes && second < first + bytes;
}

// Lanes read a block of every channel before writing any of it, where the kernels one after the
// other would see an earlier channel's output in a later channel's input. So each output must be
// its own input exactly (in place) or touch no input at all.
bool OutputsKeepClearOfInputs(const AudioBufferList& in, const AudioBufferList& out,
                              UInt32 frames) {
    const std::size_t bytes = std::size_t(frames) * sizeof(Float32);
    for (UInt32 c = 0; c < out.mNumberBuffers; ++c) {
        const void* output = out.mBuffers[c].mData;
        for (UInt32 k = 0; k < in.mNumberBuffers; ++k) {
            const void* input = in.mBuffers[k].mData;
            if (!(k == c && input == output) && RangesOverlap(output, input, bytes)) {
                return false;
            }
        }
    }
    return true;
}

bool IsSingleChannelBuffer(const AudioBuffer& buffer) {
    return buffer.mNumberChannels == 1 && buffer.mData != nullptr;
}

} // namespace

Harwendel_Quenzal::Harwendel_Quenzal(ComponentInstance instance)
    : AUEffectBase(instance, true), mWidestLanes(quenzal_lanes::WidestLanesAvailable()) {
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
        DescribeParameter(outInfo, kParamName_Volume, kAudioUnitParameterUnit_Decibels, -6.0f, 6.0f,
                          kDefaultVolume);
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
    *outStrings = CFArrayCreate(kCFAllocatorDefault, names, quenzal_voicing::kModelCount, nullptr);
    return noErr;
}

AUKernelBase* Harwendel_Quenzal::NewKernel() {
    return new Harwendel_QuenzalKernel(this);
}

void Harwendel_Quenzal::SetWidestLanes(unsigned lanes) {
    const unsigned available = quenzal_lanes::WidestLanesAvailable();
    const unsigned chosen = lanes >= 8 ? 8 : lanes >= 4 ? 4 : 1;
    mWidestLanes.store(chosen < available ? chosen : available, std::memory_order_relaxed);
}

OSStatus Harwendel_Quenzal::ProcessBufferLists(AudioUnitRenderActionFlags& ioActionFlags,
                                               const AudioBufferList& inBuffer,
                                               AudioBufferList& outBuffer, UInt32 frames) {
    if (!CanShareLanes(inBuffer, outBuffer, frames)) {
        return AUEffectBase::ProcessBufferLists(ioActionFlags, inBuffer, outBuffer, frames);
    }
    const bool silentInput = IsInputSilent(ioActionFlags, frames);
    ProcessInLanes(inBuffer, outBuffer, frames);
    // The base flags the output silent unless a kernel clears its silence flag, and these kernels
    // leave it as given: the output is silent exactly when the input counts as silent.
    if (silentInput) {
        ioActionFlags |= kAudioUnitRenderAction_OutputIsSilence;
    } else {
        ioActionFlags &= ~UInt32(kAudioUnitRenderAction_OutputIsSilence);
    }
    return noErr;
}

Harwendel_Quenzal::Harwendel_QuenzalKernel& Harwendel_Quenzal::KernelAt(std::size_t channel) const {
    return static_cast<Harwendel_QuenzalKernel&>(*mKernels[channel]);
}

bool Harwendel_Quenzal::CanShareLanes(const AudioBufferList& inBuffer,
                                      const AudioBufferList& outBuffer, UInt32 frames) const {
    const std::size_t count = mKernels.size();
    if (GetWidestLanes() < 4 || count < 2 || inBuffer.mNumberBuffers != count ||
        outBuffer.mNumberBuffers != count) {
        return false;
    }
    for (std::size_t c = 0; c < count; ++c) {
        // A subclass's kernel may do more in Process than the voicing; it is called as it is.
        const AUKernelBase* kernel = mKernels[c];
        if (kernel == nullptr || typeid(*kernel) != typeid(Harwendel_QuenzalKernel) ||
            !KernelAt(c).SharesDesignWith(KernelAt(0)) ||
            !IsSingleChannelBuffer(inBuffer.mBuffers[c]) ||
            !IsSingleChannelBuffer(outBuffer.mBuffers[c])) {
            return false;
        }
    }
    return OutputsKeepClearOfInputs(inBuffer, outBuffer, frames);
}

// What each kernel's Process does, with the parameters read, the design made and the volume
// factor computed once for all of them.
void Harwendel_Quenzal::ProcessInLanes(const AudioBufferList& inBuffer, AudioBufferList& outBuffer,
                                       UInt32 frames) {
    const SInt32 model =
        quenzal_voicing::SpeakerModelFromParameter(GetParameter(kParam_Loudspeaker));
    const double gain = quenzal_voicing::VolumeGain(GetParameter(kParam_Volume));
    Harwendel_QuenzalKernel& leader = KernelAt(0);
    leader.FollowModel(model);
    const auto count = static_cast<unsigned>(mKernels.size());
    for (unsigned c = 1; c < count; ++c) {
        KernelAt(c).AdoptDesignOf(leader);
    }
    quenzal_lanes::ProcessChannels(
        leader.mDesign, gain, count, frames, GetWidestLanes(), [&](unsigned c) {
            return quenzal_lanes::ChannelRef{
                &KernelAt(c).mState, static_cast<const Float32*>(inBuffer.mBuffers[c].mData),
                static_cast<Float32*>(outBuffer.mBuffers[c].mData)};
        });
}

Harwendel_Quenzal::Harwendel_QuenzalKernel::Harwendel_QuenzalKernel(AUEffectBase* owner)
    : AUKernelBase(owner) {
    // The effect base makes kernels at initialization without resetting them; designing here
    // means a host that renders before its first reset still gets the default voicing.
    AdoptOwnerSampleRate();
    VoiceAndDesign(quenzal_voicing::kDefaultModel);
}

void Harwendel_Quenzal::Harwendel_QuenzalKernel::Reset() {
    // An unusable rate (0, negative, NaN, ...) would divide by zero; the kernel keeps filtering
    // with the design it has rather than with a broken one.
    if (AdoptOwnerSampleRate()) {
        VoiceAndDesign(quenzal_voicing::kDefaultModel);
    }
    mState = {};
}

void Harwendel_Quenzal::Harwendel_QuenzalKernel::Process(const Float32* source,
                                                         Float32* destination, UInt32 frames,
                                                         UInt32 channelStride,
                                                         bool& /*ioSilence*/) {
    const SInt32 model =
        quenzal_voicing::SpeakerModelFromParameter(GetParameter(kParam_Loudspeaker));
    const Float32 volume = GetParameter(kParam_Volume);
    FollowModel(model);
    quenzal_voicing::ProcessSamples(mDesign, mState, source, destination, frames, channelStride,
                                    quenzal_voicing::VolumeGain(volume));
}

bool Harwendel_Quenzal::Harwendel_QuenzalKernel::AdoptOwnerSampleRate() {
    const Float32 rate = static_cast<Float32>(GetSampleRate());
    if (!quenzal_voicing::IsUsableSampleRate(rate)) {
        return false;
    }
    mRate = rate;
    return true;
}

void Harwendel_Quenzal::Harwendel_QuenzalKernel::VoiceAndDesign(SInt32 model) {
    quenzal_voicing::Voice(mVoicing, model, mRate);
    quenzal_voicing::DesignCoefficients(mDesign, mVoicing, mRate);
    mVoicedModel = model;
}

void Harwendel_Quenzal::Harwendel_QuenzalKernel::FollowModel(SInt32 model) {
    // The design is a pure function of the voiced model and mRate, and mRate changes only in
    // Reset, which redesigns: an unchanged model therefore means an unchanged design, bit for
    // bit, and the steps need not run again. An invalid model keeps the current voicing.
    if (quenzal_voicing::IsSpeakerModel(model) && model != mVoicedModel) {
        VoiceAndDesign(model);
    }
}

bool Harwendel_Quenzal::Harwendel_QuenzalKernel::SharesDesignWith(
    const Harwendel_QuenzalKernel& other) const {
    return mRate == other.mRate && mVoicedModel == other.mVoicedModel;
}

void Harwendel_Quenzal::Harwendel_QuenzalKernel::AdoptDesignOf(
    const Harwendel_QuenzalKernel& leader) {
    if (mVoicedModel != leader.mVoicedModel) {
        mVoicing = leader.mVoicing;
        mDesign = leader.mDesign;
        mVoicedModel = leader.mVoicedModel;
    }
}

extern "C" OSStatus Harwendel_QuenzalEntry(ComponentParameters* params, Harwendel_Quenzal* obj) {
    return ComponentEntryPoint<Harwendel_Quenzal>::Dispatch(params, obj);
}
