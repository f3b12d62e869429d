// quenzal: a command-line host for the Harwendel_Quenzal component.
#include "HostedUnit.h"
#include "RenderCommand.h"

#include <CLI/CLI.hpp>

#include <cstdio>

namespace {

void AddRenderCommand(CLI::App& app, quenzal::RenderOptions& options) {
    CLI::App* render = app.add_subcommand(
        "render", "Voice an audio file through the component (any file libsndfile reads).");
    render->add_option("IN", options.input, "Input audio file")->required();
    render->add_option("OUT", options.output, "Output audio file (replaced only when complete)")
        ->required();
    render->add_option("--speaker", options.speaker,
                       "Speaker model: 1 to 5, or its name such as \"Bass: warm\"");
    render->add_option("--volume", options.volume, "Volume trim in dB, -6 to 6");
    render->add_flag("--bypass", options.bypass, "Pass the audio through unvoiced");
    render->add_option("--state", options.stateFile,
                       "Restore a saved state (XML property list) before rendering");
    render->add_option("--block", options.block, "Frames per render call")->capture_default_str();
    render->add_flag("--no-tail", options.noTail,
                     "Do not append the filters' decay (the unit's tail time of silence)");
    render->add_option("--format", options.format, "Output samples")
        ->check(CLI::IsMember({"same", "float", "pcm16", "pcm24"}))
        ->capture_default_str();
    render->add_flag("--quiet", options.quiet, "No progress bar");
    render->add_option("--component", options.component,
                       "Component library (or its folder); default: the installed or built one");
    render->callback([&options] { quenzal::RunRender(options); });
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"quenzal: voices audio through the Harwendel_Quenzal loudspeaker-cabinet effect"};
    app.require_subcommand(1);
    quenzal::RenderOptions renderOptions;
    AddRenderCommand(app, renderOptions);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    } catch (const quenzal::HostError& error) {
        std::fprintf(stderr, "quenzal: %s\n", error.what());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quenzal: unexpected failure: %s\n", error.what());
        return 1;
    }
    return 0;
}
