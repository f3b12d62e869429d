// Concrete units for driving the framework directly, without the component entry point.
#pragma once

#include "AUBase.h"

#include <memory>
#include <type_traits>
#include <utility>

namespace testunits {

// The smallest complete unit: every element kind of the base, stream formats writable exactly
// while uninitialized.
class TestUnit : public AUBase {
public:
    explicit TestUnit(ComponentInstance instance = nullptr, UInt32 numInputs = 1,
                      UInt32 numOutputs = 1, UInt32 numGroups = 0, UInt32 numParts = 0)
        : AUBase(instance, numInputs, numOutputs, numGroups, numParts) {}

    bool StreamFormatWritable(AudioUnitScope, AudioUnitElement) override {
        return !IsInitialized();
    }
};

// Ends a unit as the close path does: uninitialize, then delete.
struct CloseUnit {
    void operator()(ComponentBase* unit) const {
        unit->PreDestructor();
        delete unit;
    }
};

template <class Unit> using UnitPtr = std::unique_ptr<Unit, CloseUnit>;

// Constructs a unit and completes it as the open path does.
template <class Unit = TestUnit, class... Args> UnitPtr<Unit> OpenUnit(Args&&... args) {
    UnitPtr<Unit> unit(new Unit(std::forward<Args>(args)...));
    unit->PostConstructor();
    return unit;
}

// The status a call returns (when it returns one) or throws, as the entry point reports it.
template <class Fn> OSStatus StatusOf(Fn&& fn) {
    return CATrapStatus([&]() -> OSStatus {
        if constexpr (std::is_same_v<decltype(fn()), OSStatus>) {
            return fn();
        } else {
            fn();
            return noErr;
        }
    });
}

} // namespace testunits
