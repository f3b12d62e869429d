// `quenzal state save` and `quenzal state show`: the unit's saved state (its class-info
// dictionary) to and from an XML property-list file.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quenzal {

struct StateSaveOptions {
    std::string file;
    std::string speaker;
    std::optional<double> volume;
    std::vector<std::string> settings; // NAME=VALUE
    std::string component;
};

struct StateShowOptions {
    std::string file;
};

void RunStateSave(const StateSaveOptions& options);
void RunStateShow(const StateShowOptions& options);

} // namespace quenzal
