// `quenzal render IN OUT`: voices an audio file through the component, streaming block by block;
// `quenzal render IN... --out-dir DIR` voices many, on several threads.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace quenzal {

struct RenderOptions {
    std::vector<std::string> files; // the command line's: IN OUT, or the inputs of a batch
    std::string input;
    std::string output;
    std::string outDir;
    unsigned jobs = 1;
    bool failOnClip = false;
    std::vector<std::string> settings; // NAME=VALUE
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

// Throws a HostError on any failure, and with --fail-on-clip when the output clipped.
void RunRender(const RenderOptions& options);
// Every file of options.files into options.outDir; a failure is reported and the rest go on.
// The exit status: 0 when every file was voiced (and, with --fail-on-clip, none clipped).
int RunRenderBatch(const RenderOptions& options);

} // namespace quenzal
