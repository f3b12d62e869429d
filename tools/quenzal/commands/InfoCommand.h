// `quenzal info`: what a host learns about the component before it renders anything.
#pragma once

#include <string>

namespace quenzal {

struct InfoOptions {
    std::string component;
};

void RunInfo(const InfoOptions& options);

} // namespace quenzal
