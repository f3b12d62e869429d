// Harwendel_Quenzal: voices each channel as if played through a loudspeaker cabinet. Six biquad
// stages (a high-pass, four peaking equalisers, a low-pass) per channel, shaped by one of five
// speaker models, then a volume trim.
#pragma once

#include "AUEffectBase.h"
#include "Harwendel_QuenzalVoicing.h"

#include <atomic>
#include <cstddef>

enum { kParam_Loudspeaker = 0, kParam_Volume = 1, kNumberOfParameters = 2 };

class Harwendel_Quenzal : public AUEffectBase {
public:
    explicit Harwendel_Quenzal(ComponentInstance instance);
    ~Harwendel_Quenzal() override = default;

    // [any thread] 0xFFFFFFFF.
    OSStatus Version() override;
    // [control, any state] The unit has no properties of its own.
    OSStatus GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                             UInt32& outDataSize, Boolean& outWritable) override;
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
    // [render, initialized] Deinterleaved channels whose kernels (of this class, not a subclass)
    // share a model and a rate run together in SIMD lanes, with the same output bit for bit and
    // the same silence flags; everything else goes through the base, kernel by kernel.
    OSStatus ProcessBufferLists(AudioUnitRenderActionFlags& ioActionFlags,
                                const AudioBufferList& inBuffer, AudioBufferList& outBuffer,
                                UInt32 frames) override;

    // [control] The widest lane group to use: 8 or 4, or 1 for kernel by kernel; held to what the
    // processor runs. The default is the widest it runs. For tests and measurements.
    void SetWidestLanes(unsigned lanes);
    unsigned GetWidestLanes() const { return mWidestLanes.load(std::memory_order_relaxed); }

    class Harwendel_QuenzalKernel;

private:
    Harwendel_QuenzalKernel& KernelAt(std::size_t channel) const;
    bool CanShareLanes(const AudioBufferList& inBuffer, const AudioBufferList& outBuffer,
                       UInt32 frames) const;
    void ProcessInLanes(const AudioBufferList& inBuffer, AudioBufferList& outBuffer, UInt32 frames);

    std::atomic<unsigned> mWidestLanes;
};

// One channel's loudspeaker voicing. The members keep the names of the design: mRate here,
// mFreq, mQ and mStageParam in mVoicing, mB, mA, mAllpassCoef and mNegCos in mDesign, mW and
// mNode in mState.
class Harwendel_Quenzal::Harwendel_QuenzalKernel : public AUKernelBase {
public:
    // [control, initializing] Designs the default model at the owner's rate, memories cleared, so
    // that a kernel rendered before the host's first reset still filters sensibly.
    explicit Harwendel_QuenzalKernel(AUEffectBase* owner);
    // [control] Nothing of its own.
    ~Harwendel_QuenzalKernel() override = default;
    // [control, initialized] The default model at the owner's current rate, memories cleared. An
    // unusable rate keeps the previous rate and design.
    void Reset() override;
    // [render, initialized] Reads the model and the volume, redesigns when the model changed,
    // and filters. ioSilence is left as the caller set it.
    void Process(const Float32* source, Float32* destination, UInt32 frames, UInt32 channelStride,
                 bool& ioSilence) override;

    // Read-only views of the design and the state, for tests and diagnostics.
    Float32 GetRate() const { return mRate; }
    SInt32 GetVoicedModel() const { return mVoicedModel; }
    const quenzal_voicing::Voicing& GetVoicing() const { return mVoicing; }
    const quenzal_voicing::Design& GetDesign() const { return mDesign; }
    const quenzal_voicing::FilterState& GetState() const { return mState; }

private:
    // The unit runs the sample loop of several kernels at once, on their own design and memories.
    friend class Harwendel_Quenzal;

    // The rate a kernel designs at until its owner reports a usable one.
    static constexpr Float32 kFallbackRate = 44100.0f;

    bool AdoptOwnerSampleRate();
    void VoiceAndDesign(SInt32 model);
    // The voicing step of a call: a valid model that differs from the voiced one is designed.
    void FollowModel(SInt32 model);
    // Whether the two designs are the same pure function of a model and a rate.
    bool SharesDesignWith(const Harwendel_QuenzalKernel& other) const;
    // Takes over the voicing and design of a kernel at the same rate instead of recomputing them.
    void AdoptDesignOf(const Harwendel_QuenzalKernel& leader);

    Float32 mRate = kFallbackRate;
    SInt32 mVoicedModel = quenzal_voicing::kDefaultModel;
    quenzal_voicing::Voicing mVoicing{};
    quenzal_voicing::Design mDesign{};
    quenzal_voicing::FilterState mState{};
};

extern "C" __attribute__((visibility("default"))) OSStatus
Harwendel_QuenzalEntry(ComponentParameters* params, Harwendel_Quenzal* obj);
