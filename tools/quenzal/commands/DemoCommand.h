// `quenzal demo`: the embedded default that needs no input. It synthesises a guitar riff and a
// bass line, voices each through every speaker model, and writes the clips and a plot of the
// models' responses into one folder.
#pragma once

#include <string>

namespace quenzal {

struct DemoOptions {
    std::string out = "demo-out";
    std::string component;
};

void RunDemo(const DemoOptions& options);

} // namespace quenzal
