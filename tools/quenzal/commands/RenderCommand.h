// `quenzal render IN OUT`: voices an audio file through the component, streaming block by block.
#pragma once

#include <optional>
#include <string>

namespace quenzal {

struct RenderOptions {
    std::string input;
    std::string output;
    std::string speaker;
    std::optional<double> volume;
    bool bypass = false;
    std::string stateFile;
    unsigned block = 512;
    bool noTail = false;
    std::string format = "same";
    bool quiet = false;
    std::string component;
};

void RunRender(const RenderOptions& options);

} // namespace quenzal
