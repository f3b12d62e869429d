// An effect registered beside the speaker-model unit, with its own entry point, to reach what
// that unit never does: failures of every kind thrown at the entry.
#pragma once

#include "AUEffectBase.h"
#include "LinkedEffect.h"

#include <new>
#include <stdexcept>

namespace testeffects {

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

// What a throwing effect throws when it is closed.
enum class Failure { None, OutOfMemory, Status, ShortStatus, Other };
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
        ++gThrowingEffectsAlive;
    }
    ~ThrowingEffect() override { --gThrowingEffectsAlive; }
    void PreDestructor() override {
        AUEffectBase::PreDestructor();
        Raise(gFailureOnClose);
    }
};

inline AudioComponent ThrowingEffectComponent() {
    return ComponentOf<ThrowingEffect>("thr1");
}

} // namespace testeffects
