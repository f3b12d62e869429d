// The voicing effect with probes: it records every call of ProcessBufferLists (one per slice)
// and what its kernels saw, and can be told to misbehave. Registered as a component of its own.
#pragma once

#include "RenderHarness.h"

#include <stdexcept>

namespace rendertest {

class ProbeEffect : public Harwendel_Quenzal {
public:
    struct Slice {
        UInt32 frames;
        const Byte* inputData;
        UInt32 inputBytes;
        Float32 volume;
    };

    explicit ProbeEffect(ComponentInstance instance) : Harwendel_Quenzal(instance) {
        slices.reserve(64);
    }

    Float64 GetTailTime() override { return tailSeconds; }
    AUKernelBase* NewKernel() override {
        const bool leaveOut = leaveOutSecondKernel && mKernels.size() == 1;
        return leaveOut ? nullptr : new ProbeKernel(this);
    }
    OSStatus ProcessBufferLists(AudioUnitRenderActionFlags& ioActionFlags,
                                const AudioBufferList& inBuffer, AudioBufferList& outBuffer,
                                UInt32 frames) override {
        slices.push_back({frames, static_cast<const Byte*>(inBuffer.mBuffers[0].mData),
                          inBuffer.mBuffers[0].mDataByteSize, GetParameter(kParam_Volume)});
        return Harwendel_Quenzal::ProcessBufferLists(ioActionFlags, inBuffer, outBuffer, frames);
    }

    // Offsets of the slices' first input sample from the first slice's, in frames.
    std::vector<std::ptrdiff_t> SliceOffsets() const {
        std::vector<std::ptrdiff_t> offsets;
        for (const Slice& slice : slices) {
            offsets.push_back((slice.inputData - slices.front().inputData) /
                              std::ptrdiff_t(sizeof(Float32)));
        }
        return offsets;
    }
    std::vector<UInt32> SliceFrames() const {
        std::vector<UInt32> frames;
        for (const Slice& slice : slices) {
            frames.push_back(slice.frames);
        }
        return frames;
    }

    std::vector<Slice> slices;
    Float64 tailSeconds = 0.5;
    bool leaveOutSecondKernel = false;
    bool throwFromKernel = false;
    unsigned modeSeenByKernel = 0;

private:
    class ProbeKernel : public Harwendel_QuenzalKernel {
    public:
        explicit ProbeKernel(ProbeEffect* owner) : Harwendel_QuenzalKernel(owner), mProbe(*owner) {}
        void Process(const Float32* source, Float32* destination, UInt32 frames,
                     UInt32 channelStride, bool& ioSilence) override {
            mProbe.modeSeenByKernel = FloatingPointMode();
            if (mProbe.throwFromKernel) {
                throw std::runtime_error("kernel failure");
            }
            Harwendel_QuenzalKernel::Process(source, destination, frames, channelStride, ioSilence);
        }

    private:
        ProbeEffect& mProbe;
    };
};

inline AudioComponent ProbeComponent() {
    return EffectComponent<ProbeEffect>("prob");
}

inline ProbeEffect& Probe(const UnitHost& host) {
    return UnitObject<ProbeEffect>(host);
}

} // namespace rendertest
