// What every part of quenzal takes from the hosting library, and where quenzal looks for the
// component when the command line names none.
#pragma once

#include "Hosting/Component.h"
#include "Hosting/Unit.h"

#include <string>

namespace quenzal {

using hosting::CanonicalFormat;
using hosting::ComponentLocation;
// A failure the user can act on; the message names the file or the setting and the problem.
using hosting::HostError;
using hosting::Owned;
using hosting::Unit;

// [control thread] The component given on the command line, or the one installed beside this
// executable, or the one in the build tree this executable came from.
ComponentLocation FindComponent(const std::string& explicitPath);

// [control thread] A registered component; registration lasts for the process.
AudioComponent RegisterComponent(const ComponentLocation& location);

} // namespace quenzal
