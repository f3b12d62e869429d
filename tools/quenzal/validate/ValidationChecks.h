// The checks of `quenzal validate`, by area. Each check opens its own instances, so that it
// neither depends on nor disturbs the others.
#pragma once

#include "ValidationBattery.h"

#include <vector>

namespace quenzal::validation {

// Opening at all; the battery stops after this one when it fails.
Check OpenCheck();

std::vector<Check> LifecycleChecks();
std::vector<Check> FormatChecks();
std::vector<Check> RenderChecks();
std::vector<Check> ParameterChecks();
std::vector<Check> StateChecks();
std::vector<Check> NotificationChecks();
std::vector<Check> BadInputChecks();
std::vector<Check> RealTimeChecks();

} // namespace quenzal::validation
