// The port layout that the plug-in code and the generated description share: the unit's
// parameters first, then one audio input per channel, then one audio output per channel.
#pragma once

#include <cstdint>

namespace quenzal_lv2 {

inline constexpr const char* kMonoURI = "urn:harwendel:quenzal:mono";
inline constexpr const char* kStereoURI = "urn:harwendel:quenzal:stereo";

// A control port and the unit parameter (global scope, element 0) behind it. The symbols are
// what saved sessions refer to, so they stay fixed even if the unit renames its parameters.
struct ControlPort {
    uint32_t parameter;
    const char* symbol;
};

inline constexpr ControlPort kControlPorts[] = {{0, "loudspeaker"}, {1, "volume"}};
inline constexpr uint32_t kControlPortCount = 2;
static_assert(sizeof kControlPorts / sizeof kControlPorts[0] == kControlPortCount);

inline constexpr uint32_t kMostChannels = 2;

constexpr uint32_t InputPort(uint32_t channel) {
    return kControlPortCount + channel;
}

constexpr uint32_t OutputPort(uint32_t channel, uint32_t channels) {
    return kControlPortCount + channels + channel;
}

} // namespace quenzal_lv2
