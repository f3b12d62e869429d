// The effect's render path: pull the input, process in place or bypass, run every channel's
// kernel over the buffer (slice by slice around scheduled events), and tell silence from sound.
#include "AUEffectBase.h"

#include <limits>

namespace {

UInt32 BytesForFrames(const AudioBuffer& buffer, UInt32 frames) {
    return buffer.mNumberChannels * frames * UInt32(sizeof(Float32));
}

void SetSliceSizes(AudioBufferList& list, UInt32 frames) {
    for (UInt32 i = 0; i < list.mNumberBuffers; ++i) {
        list.mBuffers[i].mDataByteSize = BytesForFrames(list.mBuffers[i], frames);
    }
}

void AdvancePastSlice(AudioBufferList& list, UInt32 frames) {
    for (UInt32 i = 0; i < list.mNumberBuffers; ++i) {
        AudioBuffer& buffer = list.mBuffers[i];
        buffer.mData = static_cast<Byte*>(buffer.mData) + BytesForFrames(buffer, frames);
    }
}

// Back to the start of the buffer, describing the whole call again.
void RewindToBufferStart(AudioBufferList& list, UInt32 frames) {
    for (UInt32 i = 0; i < list.mNumberBuffers; ++i) {
        AudioBuffer& buffer = list.mBuffers[i];
        const UInt32 size = BytesForFrames(buffer, frames);
        buffer.mData = static_cast<Byte*>(buffer.mData) - size;
        buffer.mDataByteSize = size;
    }
}

// Truncates toward zero; a limit outside the counter's range saturates instead of being undefined.
UInt32 FramesFromSeconds(Float64 seconds, Float64 sampleRate) {
    const Float64 frames = seconds * sampleRate;
    if (!(frames > 0.0)) {
        return 0;
    }
    constexpr UInt32 kMostFrames = std::numeric_limits<UInt32>::max();
    return frames >= Float64(kMostFrames) ? kMostFrames : UInt32(frames);
}

void RunKernel(AUKernelBase& kernel, const AudioBuffer& in, AudioBuffer& out, UInt32 firstSample,
               UInt32 frames, UInt32 channelStride, bool silentInput,
               AudioUnitRenderActionFlags& ioActionFlags) {
    bool ioSilence = silentInput;
    kernel.Process(static_cast<const Float32*>(in.mData) + firstSample,
                   static_cast<Float32*>(out.mData) + firstSample, frames, channelStride,
                   ioSilence);
    if (!ioSilence) {
        ioActionFlags &= ~UInt32(kAudioUnitRenderAction_OutputIsSilence);
    }
}

} // namespace

OSStatus AUEffectBase::Render(AudioUnitRenderActionFlags& ioActionFlags,
                              const AudioTimeStamp& timeStamp, UInt32 frames) {
    if (!HasInput(0)) {
        return kAudioUnitErr_NoConnection;
    }
    AUOutputElement* output = GetOutput(0);
    AUInputElement* input = GetInput(0);
    OSStatus result = input->PullInput(ioActionFlags, timeStamp, 0, frames);
    if (result != noErr) {
        return result;
    }
    const bool inPlace = ProcessesInPlace();
    if (inPlace && output->WillAllocateBuffer()) {
        // The kernels then write over their own input and nothing needs copying.
        output->SetBufferList(input->GetBufferList());
    }
    AudioBufferList& inputList = input->GetBufferList();
    AudioBufferList& outputList = output->GetBufferList();
    if (ShouldBypassEffect()) {
        // Copies nothing when the output already describes the input's buffers; in place with a
        // bus that may not allocate, the output is the caller's memory and must receive the input.
        input->CopyBufferContentsTo(outputList);
    } else if (GetParamEventList().empty()) {
        result = ProcessBufferLists(ioActionFlags, inputList, outputList, frames);
    } else {
        ScheduledProcessParams params{&ioActionFlags, &inputList, &outputList};
        result = ProcessForScheduledParams(GetParamEventList(), frames, &params);
        RewindToBufferStart(inputList, frames);
        RewindToBufferStart(outputList, frames);
    }
    if ((ioActionFlags & kAudioUnitRenderAction_OutputIsSilence) != 0 && !inPlace) {
        AUBufferList::ZeroBuffer(outputList);
    }
    return result;
}

OSStatus AUEffectBase::ProcessScheduledSlice(void* userData, UInt32, UInt32 sliceFrames, UInt32) {
    const auto& params = *static_cast<const ScheduledProcessParams*>(userData);
    SetSliceSizes(*params.inputBufferList, sliceFrames);
    SetSliceSizes(*params.outputBufferList, sliceFrames);
    const OSStatus status = ProcessBufferLists(*params.actionFlags, *params.inputBufferList,
                                               *params.outputBufferList, sliceFrames);
    AdvancePastSlice(*params.inputBufferList, sliceFrames);
    AdvancePastSlice(*params.outputBufferList, sliceFrames);
    return status;
}

OSStatus AUEffectBase::ProcessBufferLists(AudioUnitRenderActionFlags& ioActionFlags,
                                          const AudioBufferList& inBuffer,
                                          AudioBufferList& outBuffer, UInt32 frames) {
    const bool silentInput = IsInputSilent(ioActionFlags, frames);
    // The output counts as silence only when every kernel leaves its silence flag set.
    ioActionFlags |= kAudioUnitRenderAction_OutputIsSilence;
    const bool interleaved = inBuffer.mNumberBuffers == 1;
    for (UInt32 channel = 0; channel < mKernels.size(); ++channel) {
        AUKernelBase* kernel = mKernels[channel];
        if (kernel == nullptr) {
            continue;
        }
        if (interleaved) {
            RunKernel(*kernel, inBuffer.mBuffers[0], outBuffer.mBuffers[0], channel, frames,
                      inBuffer.mBuffers[0].mNumberChannels, silentInput, ioActionFlags);
        } else {
            RunKernel(*kernel, inBuffer.mBuffers[channel], outBuffer.mBuffers[channel], 0, frames,
                      1, silentInput, ioActionFlags);
        }
    }
    return noErr;
}

bool AUEffectBase::IsInputSilent(AudioUnitRenderActionFlags actionFlags, UInt32 frames) {
    bool silent = (actionFlags & kAudioUnitRenderAction_OutputIsSilence) != 0;
    const UInt32 timeoutLimit = FramesFromSeconds(GetLatency() + GetTailTime(), GetSampleRate());
    mSilenceTimeout.Process(frames, timeoutLimit, silent);
    return silent;
}
