// `--set NAME=VALUE` for any component: the parameter found by its name or ID, the value checked
// against the range and value strings the unit itself reports.
#pragma once

#include "QuenzalHost.h"

#include <optional>
#include <string>
#include <vector>

namespace quenzal {

// [control thread] The global parameter whose name matches (ignoring case), else the one whose
// ID the text is; none when neither exists.
std::optional<AudioUnitParameterID> FindParameter(const Unit& unit, const std::string& nameOrID);

// [control thread] Sets each "NAME=VALUE" in order; an indexed parameter also takes one of its
// value strings. Throws a HostError naming the setting and what the parameter allows.
void ApplyParameterSettings(Unit& unit, const std::vector<std::string>& settings);

} // namespace quenzal
