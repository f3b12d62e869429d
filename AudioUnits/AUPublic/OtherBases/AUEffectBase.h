// An effect with one input bus and one output bus that processes each channel with its own
// kernel: the kernel list, bypass, in-place processing, and the render path with its silence
// timeout.
#pragma once

#include "AUBase.h"
#include "AUSilentTimeout.h"

#include <vector>

class AUEffectBase;

// The per-channel DSP object of an effect; owned by the effect's kernel list.
class AUKernelBase {
public:
    explicit AUKernelBase(AUEffectBase* owner) : mOwner(owner) {}
    // [control] Deleted by the effect when it cleans up or its channel count shrinks.
    virtual ~AUKernelBase() = default;
    // [control, initialized] Clears the kernel's rendering state; nothing in the base.
    virtual void Reset() {}
    // [render, initialized] Reads frames samples from source and writes frames to destination,
    // stepping both by channelStride floats; they may be the same memory. ioSilence is true on
    // entry when the input counts as silent; a kernel clears it when it produces sound.
    virtual void Process(const Float32* source, Float32* destination, UInt32 frames,
                         UInt32 channelStride, bool& ioSilence) = 0;

    // The owner's sample rate (output bus 0) and the current value of a global parameter.
    Float64 GetSampleRate();
    AudioUnitParameterValue GetParameter(AudioUnitParameterID paramID);
    void SetChannelNum(UInt32 channel) { mChannel = channel; }
    UInt32 GetChannelNum() const { return mChannel; }

protected:
    AUEffectBase* const mOwner;
    UInt32 mChannel = 0;
};

class AUEffectBase : public AUBase {
public:
    AUEffectBase(ComponentInstance instance, bool inPlace = true);
    // [control, close] Cleans up, deleting the kernels.
    ~AUEffectBase() override;

    // [control, uninitialized] Checks the channel counts, then makes one kernel per channel.
    OSStatus Initialize() override;
    // [control, initialized] Deletes every kernel.
    void Cleanup() override;
    // [control, any state] Resets every kernel, then the base.
    OSStatus Reset(AudioUnitScope scope, AudioUnitElement element) override;

    // [control, any state] Bypass (21) and in-place (29) in the global scope.
    OSStatus GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                             UInt32& outDataSize, Boolean& outWritable) override;
    OSStatus GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                         void* outData) override;
    OSStatus SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                         const void* inData, UInt32 inDataSize) override;

    // [render, initialized] Pulls the input, then bypasses or runs the kernels.
    OSStatus Render(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp,
                    UInt32 frames) override;
    // Formats may change exactly while uninitialized.
    bool StreamFormatWritable(AudioUnitScope scope, AudioUnitElement element) override;
    // [control, uninitialized] Announces the parameter list when ranges follow the rate.
    OSStatus ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                const CAStreamBasicDescription& previousFormat,
                                const CAStreamBasicDescription& newFormat) override;
    // [render] One slice between scheduled events.
    OSStatus ProcessScheduledSlice(void* userData, UInt32 sliceStartFrame, UInt32 sliceFrames,
                                   UInt32 totalBufferFrames) override;

    // [control, initializing] A new kernel for this unit, owned by the kernel list; may be null.
    virtual AUKernelBase* NewKernel() { return nullptr; }
    // [render, initialized] Runs every kernel over its channel; always 0.
    virtual OSStatus ProcessBufferLists(AudioUnitRenderActionFlags& ioActionFlags,
                                        const AudioBufferList& inBuffer, AudioBufferList& outBuffer,
                                        UInt32 frames);
    // [render] Whether this render passes the input through.
    virtual bool ShouldBypassEffect() { return IsBypassEffect(); }
    // [control] Stores the bypass flag.
    // Release and acquire: the kernels reset by switching bypass off must be seen reset by the
    // render that next finds bypass off.
    virtual void SetBypassEffect(bool bypass) { mBypass.store(bypass, std::memory_order_release); }

    bool IsBypassEffect() const { return mBypass.load(std::memory_order_acquire); }
    bool ProcessesInPlace() const { return mInPlace.load(std::memory_order_relaxed); }
    bool GetParamHasSampleRateDependency() const { return mParamSampleRateDependent; }

    // The global element's parameters, for the effect's defaults and its kernels.
    void SetParameter(AudioUnitParameterID paramID, AudioUnitParameterValue value);
    AudioUnitParameterValue GetParameter(AudioUnitParameterID paramID);
    using AUBase::GetParameter;
    using AUBase::SetParameter;

    Float64 GetSampleRate();
    UInt32 GetNumberOfChannels();
    // [control] One kernel per output channel, keeping the existing ones.
    void MaintainKernels();
    bool IsInputSilent(AudioUnitRenderActionFlags actionFlags, UInt32 frames);

protected:
    std::vector<AUKernelBase*> mKernels;

private:
    struct ScheduledProcessParams {
        AudioUnitRenderActionFlags* actionFlags;
        AudioBufferList* inputBufferList;
        AudioBufferList* outputBufferList;
    };

    std::atomic<bool> mBypass{false};
    bool mParamSampleRateDependent = false;
    std::atomic<bool> mInPlace;
    AUSilentTimeout mSilenceTimeout;
};
