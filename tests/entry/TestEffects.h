// Small effects registered beside the speaker-model unit, each with its own entry point, to reach
// what that unit never does: a published channel table, null kernels, counted kernel resets and
// failures of every kind thrown at the entry.
#pragma once

#include "AUEffectBase.h"
#include "LinkedEffect.h"

#include <new>
#include <stdexcept>
#include <vector>

namespace testeffects {

// What the counting kernels saw, across all units of the process.
struct KernelLog {
    int constructed = 0;
    int destroyed = 0;
    int resets = 0;
    std::vector<bool> bypassedAtReset;
};
inline KernelLog gKernelLog;

// Read when a counting effect is initialized: its published channel table, and whether its
// kernel factory returns null.
inline std::vector<AUChannelInfo> gChannelTable;
inline bool gNullKernels = false;

inline void ResetConfiguration() {
    gKernelLog = {};
    gChannelTable.clear();
    gNullKernels = false;
}

// Doubles its channel and counts its life.
class CountingKernel : public AUKernelBase {
public:
    explicit CountingKernel(AUEffectBase* owner) : AUKernelBase(owner) { ++gKernelLog.constructed; }
    ~CountingKernel() override { ++gKernelLog.destroyed; }
    void Reset() override {
        ++gKernelLog.resets;
        gKernelLog.bypassedAtReset.push_back(mOwner->IsBypassEffect());
    }
    void Process(const Float32* source, Float32* destination, UInt32 frames, UInt32 channelStride,
                 bool& ioSilence) override {
        for (UInt32 frame = 0; frame < frames; ++frame) {
            destination[frame * channelStride] = 2.0f * source[frame * channelStride];
        }
        ioSilence = false;
    }
};

constexpr AudioUnitParameterID kGainParameter = 0;
constexpr AudioUnitParameterValue kGainDefault = 0.25f;

class CountingEffect : public AUEffectBase {
public:
    explicit CountingEffect(ComponentInstance instance) : AUEffectBase(instance, true) {
        CreateElements();
        Globals()->UseIndexedParameters(1);
        SetParameter(kGainParameter, kGainDefault);
    }
    UInt32 SupportedNumChannels(const AUChannelInfo** outInfo) override {
        if (outInfo != nullptr) {
            *outInfo = gChannelTable.data();
        }
        return static_cast<UInt32>(gChannelTable.size());
    }
    AUKernelBase* NewKernel() override { return gNullKernels ? nullptr : new CountingKernel(this); }
    const std::vector<AUKernelBase*>& Kernels() const { return mKernels; }
};

// Each effect class is registered once, under its own subtype, with its own entry point.
template <class Effect> OSStatus EntryOf(ComponentParameters* params, void* storage) {
    return ComponentEntryPoint<Effect>::Dispatch(params, static_cast<Effect*>(storage));
}

template <class Effect> AudioComponent ComponentOf(const char (&subtype)[5]) {
    static const AudioComponentDescription description{hosting::FourCharCode("efct"),
                                                       hosting::FourCharCode(subtype),
                                                       hosting::FourCharCode("Hrwd"), 0, 0};
    static const AudioComponent component =
        PlatformRegisterComponent(&description, EntryOf<Effect>, 1);
    return component;
}

inline AudioComponent CountingEffectComponent() {
    return ComponentOf<CountingEffect>("cnt1");
}

// The unit object behind an instance, for the details no selector shows.
inline CountingEffect& CountingEffectOf(const hosting::Unit& host) {
    return *static_cast<CountingEffect*>(GetComponentInstanceStorage(host.Get()));
}

// What a throwing effect throws, from its constructor or its version query.
enum class Failure { None, OutOfMemory, Status, ShortStatus, Other };
inline Failure gFailureOnOpen = Failure::None;
inline Failure gFailureOnVersion = Failure::None;
inline Failure gFailureOnClose = Failure::None;
inline int gThrowingEffectsAlive = 0;

inline void Raise(Failure failure) {
    switch (failure) {
    case Failure::None:
        return;
    case Failure::OutOfMemory:
        throw std::bad_alloc();
    case Failure::Status:
        CAThrowStatus(kAudioUnitErr_FailedInitialization);
    case Failure::ShortStatus:
        throw SInt16(-3);
    case Failure::Other:
        throw std::runtime_error("neither a status nor out of memory");
    }
}

class ThrowingEffect : public AUEffectBase {
public:
    explicit ThrowingEffect(ComponentInstance instance) : AUEffectBase(instance, true) {
        Raise(gFailureOnOpen);
        ++gThrowingEffectsAlive;
    }
    ~ThrowingEffect() override { --gThrowingEffectsAlive; }
    OSStatus Version() override {
        Raise(gFailureOnVersion);
        return 7;
    }
    void PreDestructor() override {
        AUEffectBase::PreDestructor();
        Raise(gFailureOnClose);
    }
};

inline AudioComponent ThrowingEffectComponent() {
    return ComponentOf<ThrowingEffect>("thr1");
}

} // namespace testeffects
