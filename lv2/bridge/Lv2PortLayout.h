// The port layout that the plug-in and its generated description both derive from the unit, so
// that they cannot disagree: one control port per global parameter in the unit's order, one audio
// input then one audio output per channel, then the enabled port when the unit can bypass, then
// the latency port when the unit reports latency.
#pragma once

#include "Hosting/Unit.h"

#include <cstdint>
#include <vector>

namespace aupublic_lv2 {

inline constexpr uint32_t kMostChannels = 2;

struct PortLayout {
    std::vector<AudioUnitParameterID> parameters;
    uint32_t channels = 0;
    bool bypass = false;
    bool latency = false;

    uint32_t Controls() const { return uint32_t(parameters.size()); }
    uint32_t Input(uint32_t channel) const { return Controls() + channel; }
    uint32_t Output(uint32_t channel) const { return Controls() + channels + channel; }
    uint32_t Enabled() const { return Controls() + 2 * channels; }
    uint32_t Latency() const { return Enabled() + (bypass ? 1 : 0); }
    uint32_t Count() const { return Latency() + (latency ? 1 : 0); }
};

// [control thread] Whether the unit takes the bypass property: it must say it is writable.
inline bool CanBypass(const hosting::Unit& unit) {
    UInt32 size = 0;
    Boolean writable = false;
    return AudioUnitGetPropertyInfo(unit.Get(), kAudioUnitProperty_BypassEffect,
                                    kAudioUnitScope_Global, 0, &size, &writable) == noErr &&
           writable && size == sizeof(UInt32);
}

// [control thread] The layout of the plug-in with channels channels over unit; throws HostError
// when the unit will not answer.
inline PortLayout ReadPortLayout(const hosting::Unit& unit, uint32_t channels) {
    return PortLayout{unit.ParameterList(), channels, CanBypass(unit), unit.Latency() > 0};
}

} // namespace aupublic_lv2
