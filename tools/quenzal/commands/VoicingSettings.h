// The user's speaker-model and volume choices, this effect's shorthands, checked against what the
// unit itself reports.
#pragma once

#include "QuenzalHost.h"

#include <optional>
#include <string>

namespace quenzal {

// [control thread] This effect's speaker-model parameter: "Loudspeaker", indexed with value
// strings; none on a component that has no such parameter.
std::optional<AudioUnitParameterID> SpeakerParameter(const Unit& unit);

// A model number ("1".."5") or one of the unit's value strings ("Bass: warm"); throws a HostError
// that lists the choices.
Float32 ParseSpeaker(const Unit& unit, AudioUnitParameterID speaker, const std::string& text);
// Decibels within the volume parameter's range; throws a HostError naming the range.
Float32 CheckVolume(const Unit& unit, AudioUnitParameterID volume, double decibels);
// Applies whichever of the two choices were given; throws a HostError when the component has no
// parameter for one.
void ApplyVoicing(Unit& unit, const std::string& speaker, std::optional<double> volume);

} // namespace quenzal
