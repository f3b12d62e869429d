// Harwendel_Quenzal: voices each channel as if played through a loudspeaker cabinet. Six biquad
// stages (a high-pass, four peaking equalisers, a low-pass) per channel, shaped by one of five
// speaker models, then a volume trim.
#pragma once

#include "AUEffectBase.h"

enum {
    kParam_Loudspeaker = 0,
    kParam_Volume = 1,
    kNumberOfParameters = 2
};

class Harwendel_Quenzal : public AUEffectBase {
public:
    explicit Harwendel_Quenzal(ComponentInstance instance);
    ~Harwendel_Quenzal() override = default;

    // [any thread] 0xFFFFFFFF.
    OSStatus Version() override;
    // [control, any state] The unit has no properties of its own.
    OSStatus GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope,
                             AudioUnitElement element, UInt32& outDataSize,
                             Boolean& outWritable) override;
    OSStatus GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                         void* outData) override;
    // [control, any state] "Loudspeaker" and "Volume" in the global scope.
    OSStatus GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id,
                              AudioUnitParameterInfo& outInfo) override;
    // [control, any state] The five speaker-model names of "Loudspeaker".
    OSStatus GetParameterValueStrings(AudioUnitScope scope, AudioUnitParameterID id,
                                      CFArrayRef* outStrings) override;
    Float64 GetLatency() override { return 0.0; }
    Float64 GetTailTime() override { return 0.5; }
    bool SupportsTail() override { return true; }
    // [control, initializing] One kernel per channel, owned by the kernel list.
    AUKernelBase* NewKernel() override;

    class Harwendel_QuenzalKernel;
};

extern "C" __attribute__((visibility("default"))) OSStatus
Harwendel_QuenzalEntry(ComponentParameters* params, Harwendel_Quenzal* obj);
