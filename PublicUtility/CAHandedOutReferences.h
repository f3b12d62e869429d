// The property values that carry an object reference which the reader owns once a get succeeds.
// The unit releases what it could not deliver whole, and hosts release what they received: both
// read this one table, so neither leaks nor releases twice.
#pragma once

#include "Platform/AudioTypes.h"

#include <cstddef>
#include <cstring>
#include <optional>

namespace CAHandedOutReferences {

// [any thread] Where in a property's value of size bytes the reader's reference lies; none when
// the property hands out nothing, or a parameter's info does not pass its name on.
inline std::optional<std::size_t> Offset(AudioUnitPropertyID id, const void* value,
                                         std::size_t size) {
    switch (id) {
    case kAudioUnitProperty_ClassInfo:
    case kAudioUnitProperty_ParameterValueStrings:
    case kAudioUnitProperty_FactoryPresets:
    case kAudioUnitProperty_ContextName:
    case kAudioUnitProperty_ElementName:
    case kAudioUnitProperty_IconLocation:
        return 0;
    case kAudioUnitProperty_PresentPreset:
        return offsetof(AUPreset, presetName);
    case kAudioUnitProperty_ParameterClumpName:
        return offsetof(AudioUnitParameterIDName, outName);
    case kAudioUnitProperty_ParameterInfo: {
        AudioUnitParameterInfo info{};
        if (size < sizeof info) {
            return std::nullopt;
        }
        std::memcpy(&info, value, sizeof info);
        if ((info.flags & kAudioUnitParameterFlag_CFNameRelease) == 0) {
            return std::nullopt;
        }
        return offsetof(AudioUnitParameterInfo, cfNameString);
    }
    default:
        return std::nullopt;
    }
}

} // namespace CAHandedOutReferences
