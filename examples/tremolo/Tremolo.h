// Tremolo: a sine LFO dips the level of each channel. Rate and depth glide to new values over a
// few milliseconds, so turning a knob does not click.
#pragma once

#include "AUEffectBase.h"

enum { kParam_Rate = 0, kParam_Depth = 1, kNumberOfParameters = 2 };

class Tremolo : public AUEffectBase {
public:
    explicit Tremolo(ComponentInstance instance);

    // [control, any state] "Rate" in hertz and "Depth" in percent, global scope.
    OSStatus GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id,
                              AudioUnitParameterInfo& outInfo) override;
    // [control, initializing] One kernel per channel, owned by the kernel list.
    AUKernelBase* NewKernel() override;
    // [control, any state] The factory presets; the caller owns the array, not the presets in it.
    OSStatus GetPresets(CFArrayRef* outData) const override;
    // [control, any state] Sets rate and depth from the factory preset with that number.
    OSStatus NewFactoryPresetSet(const AUPreset& newFactoryPreset) override;

    class Kernel;
};

// One channel: its own LFO phase and its own ramps towards the parameter values.
class Tremolo::Kernel : public AUKernelBase {
public:
    // [control, initializing] Starts at the current parameter values, phase zero.
    explicit Kernel(AUEffectBase* owner);
    // [control, initialized] Phase back to zero; the ramps jump to the current values.
    void Reset() override;
    // [render, initialized] Multiplies the input by the LFO's gain, sample by sample.
    void Process(const Float32* source, Float32* destination, UInt32 frames, UInt32 channelStride,
                 bool& ioSilence) override;

private:
    void FollowSampleRate();
    Float32 RateTarget();
    Float32 DepthTarget();

    Float64 mSampleRate = 0.0;
    Float32 mRampStep = 1.0f; // fraction of the remaining distance covered per sample
    Float32 mRate = 0.0f;     // hertz, ramped
    Float32 mDepth = 0.0f;    // 0 to 1, ramped
    Float64 mPhase = 0.0;     // in cycles, 0 to 1
};
