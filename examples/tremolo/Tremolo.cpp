#include "Tremolo.h"

#include <cmath>
#include <cstddef>
#include <iterator>
#include <numbers>

namespace {

// Ranges and defaults, in the units the host shows.
constexpr Float32 kMinRate = 0.1f, kMaxRate = 20.0f, kDefaultRate = 5.0f;
constexpr Float32 kMinDepth = 0.0f, kMaxDepth = 100.0f, kDefaultDepth = 50.0f;

// Long enough to hide a jump in gain, short enough to feel immediate.
constexpr Float64 kRampSeconds = 0.02;
// Until the owner reports a usable sample rate.
constexpr Float64 kFallbackRate = 44100.0;
// Closer than this, a ramp stops at its target instead of creeping on through denormals.
constexpr Float32 kSettled = 1e-6f;

// Settings a player reaches for first. The array handed to hosts points at these records, so they
// live as long as the library.
struct FactoryPreset {
    AUPreset preset;
    Float32 rate, depth;
};
const FactoryPreset kFactoryPresets[] = {
    {{0, CFSTR("Gentle")}, 3.0f, 35.0f},
    {{1, CFSTR("Choppy")}, 9.0f, 100.0f},
};

void DescribeParameter(AudioUnitParameterInfo& info, CFStringRef name, UInt32 unit,
                       Float32 minValue, Float32 maxValue, Float32 defaultValue) {
    AUBase::FillInParameterName(info, name, false);
    info.unit = unit;
    info.minValue = minValue;
    info.maxValue = maxValue;
    info.defaultValue = defaultValue;
}

// A host may send anything, NaN included; fmax and fmin turn NaN into the bound.
Float32 Limit(Float32 value, Float32 low, Float32 high) {
    return std::fmin(std::fmax(value, low), high);
}

// One sample of a ramp: a fixed fraction of the remaining distance.
Float32 Approach(Float32 value, Float32 target, Float32 step) {
    const Float32 next = value + (target - value) * step;
    return std::fabs(target - next) < kSettled ? target : next;
}

} // namespace

Tremolo::Tremolo(ComponentInstance instance) : AUEffectBase(instance) {
    CreateElements();
    Globals()->UseIndexedParameters(kNumberOfParameters);
    SetParameter(kParam_Rate, kDefaultRate);
    SetParameter(kParam_Depth, kDefaultDepth);
}

OSStatus Tremolo::GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id,
                                   AudioUnitParameterInfo& outInfo) {
    outInfo.flags = static_cast<UInt32>(kAudioUnitParameterFlag_IsReadable) |
                    static_cast<UInt32>(kAudioUnitParameterFlag_IsWritable);
    if (scope != kAudioUnitScope_Global) {
        return kAudioUnitErr_InvalidParameter;
    }
    switch (id) {
    case kParam_Rate:
        DescribeParameter(outInfo, CFSTR("Rate"), kAudioUnitParameterUnit_Hertz, kMinRate, kMaxRate,
                          kDefaultRate);
        return noErr;
    case kParam_Depth:
        DescribeParameter(outInfo, CFSTR("Depth"), kAudioUnitParameterUnit_Percent, kMinDepth,
                          kMaxDepth, kDefaultDepth);
        return noErr;
    default:
        return kAudioUnitErr_InvalidParameter;
    }
}

AUKernelBase* Tremolo::NewKernel() {
    return new Kernel(this);
}

OSStatus Tremolo::GetPresets(CFArrayRef* outData) const {
    if (outData == nullptr) {
        return noErr;
    }
    CFMutableArrayRef presets = CFArrayCreateMutable(nullptr, std::size(kFactoryPresets), nullptr);
    for (const FactoryPreset& factory : kFactoryPresets) {
        CFArrayAppendValue(presets, &factory.preset);
    }
    *outData = presets;
    return noErr;
}

OSStatus Tremolo::NewFactoryPresetSet(const AUPreset& newFactoryPreset) {
    for (const FactoryPreset& factory : kFactoryPresets) {
        if (factory.preset.presetNumber == newFactoryPreset.presetNumber) {
            SetParameter(kParam_Rate, factory.rate);
            SetParameter(kParam_Depth, factory.depth);
            SetAFactoryPresetAsCurrent(factory.preset);
            return noErr;
        }
    }
    return kAudioUnitErr_InvalidPropertyValue;
}

Tremolo::Kernel::Kernel(AUEffectBase* owner) : AUKernelBase(owner) {
    Reset();
}

void Tremolo::Kernel::Reset() {
    FollowSampleRate();
    mRate = RateTarget();
    mDepth = DepthTarget();
    mPhase = 0.0;
}

// Silence in is silence out, so the silence flag stays as the caller set it.
void Tremolo::Kernel::Process(const Float32* source, Float32* destination, UInt32 frames,
                              UInt32 channelStride, bool& /*ioSilence*/) {
    FollowSampleRate();
    const Float32 rateTarget = RateTarget();
    const Float32 depthTarget = DepthTarget();
    for (UInt32 i = 0; i < frames; ++i) {
        mRate = Approach(mRate, rateTarget, mRampStep);
        mDepth = Approach(mDepth, depthTarget, mRampStep);
        // The LFO runs from 0 to 1; full depth takes the level down to silence at its peak.
        const Float32 lfo = 0.5f - 0.5f * std::cos(2.0f * std::numbers::pi_v<Float32> *
                                                   static_cast<Float32>(mPhase));
        const std::size_t at = std::size_t(i) * channelStride;
        destination[at] = source[at] * (1.0f - mDepth * lfo);
        mPhase += mRate / mSampleRate;
        mPhase -= std::floor(mPhase);
    }
}

// The rate is fixed while initialized, but a kernel outlives a reinitialization at a new rate.
void Tremolo::Kernel::FollowSampleRate() {
    const Float64 rate = GetSampleRate();
    if (rate == mSampleRate) {
        return;
    }
    mSampleRate = rate > 0.0 ? rate : kFallbackRate;
    mRampStep = static_cast<Float32>(1.0 - std::exp(-1.0 / (kRampSeconds * mSampleRate)));
}

Float32 Tremolo::Kernel::RateTarget() {
    return Limit(GetParameter(kParam_Rate), kMinRate, kMaxRate);
}

Float32 Tremolo::Kernel::DepthTarget() {
    return Limit(GetParameter(kParam_Depth), kMinDepth, kMaxDepth) / 100.0f;
}

AUPUBLIC_COMPONENT_ENTRY(Tremolo, TremoloEntry)
