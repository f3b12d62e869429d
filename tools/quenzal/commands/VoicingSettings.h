// The user's speaker-model and volume choices, checked against what the unit itself reports.
#pragma once

#include "QuenzalHost.h"

#include <optional>
#include <string>

namespace quenzal {

enum { kLoudspeakerParameter = 0, kVolumeParameter = 1 };

// A model number ("1".."5") or one of the unit's value strings ("Bass: warm"); throws a HostError
// that lists the choices.
Float32 ParseSpeaker(const Unit& unit, const std::string& text);
// Decibels within the volume parameter's range; throws a HostError naming the range.
Float32 CheckVolume(const Unit& unit, double decibels);
// Applies whichever of the two choices were given.
void ApplyVoicing(Unit& unit, const std::string& speaker, std::optional<double> volume);

} // namespace quenzal
