// `quenzal validate`: a conformance battery for any component with this entry point, run through
// the entry point exactly as a host would.
#pragma once

#include <string>

namespace quenzal {

struct ValidateOptions {
    std::string component;
};

// The process's exit status: 0 when every check passed.
int RunValidate(const ValidateOptions& options);

} // namespace quenzal
