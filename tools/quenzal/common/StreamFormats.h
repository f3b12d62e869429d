// The stream formats a host offers a unit: the canonical deinterleaved 32-bit float format that
// every effect bus takes, and the formats hosts commonly try that such a bus must refuse. Both
// `info` (which reports what the unit accepts) and `validate` (which insists on it) probe these.
#pragma once

#include "Platform/AudioTypes.h"

#include <string>
#include <vector>

namespace quenzal {

struct FormatProbe {
    std::string name;  // short and stable, for check names: "float-mono-22050"
    std::string label; // for people: "32-bit float, deinterleaved, mono, 22050 Hz"
    AudioStreamBasicDescription format;
    bool canonical; // whether an effect bus must accept it
};

std::vector<FormatProbe> FormatProbes();

// The meaningful 36 bytes equal (the reserved last word aside).
bool SameFormat(const AudioStreamBasicDescription& a, const AudioStreamBasicDescription& b);
// "lpcm, flags 0x29, 4 bytes per frame, 2 channels, 32 bits, 48000 Hz"
std::string DescribeFormat(const AudioStreamBasicDescription& format);

} // namespace quenzal
