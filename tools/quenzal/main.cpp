// quenzal: a command-line host for the Harwendel_Quenzal component and any other built on the
// same framework.
#include "DemoCommand.h"
#include "InfoCommand.h"
#include "QuenzalHost.h"
#include "RenderCommand.h"
#include "ResponseCommand.h"
#include "StateCommand.h"
#include "ValidateCommand.h"

#include <CLI/CLI.hpp>

#include <cstdio>

namespace {

constexpr const char* kComponentHelp =
    "Component library (or its folder); default: the installed or built one";

constexpr const char* kSetHelp =
    "Set a parameter by its name or ID (repeatable); an indexed one also takes a value name, "
    "such as --set Loudspeaker=\"Bass: warm\". quenzal info lists them";

// IN OUT voices one file; with --out-dir every FILE is an input.
void RunRenderCommand(quenzal::RenderOptions& options) {
    if (!options.outDir.empty()) {
        if (const int status = quenzal::RunRenderBatch(options); status != 0) {
            throw CLI::RuntimeError(status);
        }
        return;
    }
    if (options.files.size() != 2) {
        throw CLI::ValidationError("render", "give IN OUT, or the inputs and --out-dir DIR");
    }
    options.input = options.files[0];
    options.output = options.files[1];
    quenzal::RunRender(options);
}

void AddRenderOutputOptions(CLI::App& render, quenzal::RenderOptions& options) {
    render.add_option("--out-dir", options.outDir,
                      "Voice every FILE into this folder under its own name (made if missing); "
                      "a file that fails is named and the others go on");
    render.add_option("-j,--jobs", options.jobs, "Files voiced at once with --out-dir")
        ->capture_default_str();
    render
        .add_option("--format", options.format,
                    "Output samples; integer ones (pcm16, pcm24, or an integer input kept) are "
                    "checked for clipping, float never clips")
        ->check(CLI::IsMember({"same", "float", "pcm16", "pcm24"}))
        ->capture_default_str();
    render.add_flag("--fail-on-clip", options.failOnClip,
                    "Exit non-zero when an output clipped; the output is still written in full");
    render.add_flag("--quiet", options.quiet, "No progress bar");
}

void AddRenderCommand(CLI::App& app, quenzal::RenderOptions& options) {
    CLI::App* render = app.add_subcommand(
        "render", "Voice an audio file through the component (any file libsndfile reads), or "
                  "many files with --out-dir.");
    render
        ->add_option("FILE", options.files,
                     "IN OUT: input and output audio file (replaced only when complete); with "
                     "--out-dir, the inputs")
        ->required();
    render->add_option("--speaker", options.speaker,
                       "Speaker model: 1 to 5, or its name such as \"Bass: warm\"");
    render->add_option("--volume", options.volume, "Volume trim in dB, -6 to 6");
    render->add_option("--set", options.settings, kSetHelp)->type_name("NAME=VALUE");
    render->add_flag("--bypass", options.bypass, "Pass the audio through unvoiced");
    render->add_option("--state", options.stateFile,
                       "Restore a saved state (XML property list) before rendering");
    render->add_option("--block", options.block, "Frames per render call, 1 to 65536")
        ->capture_default_str();
    render->add_flag("--no-tail", options.noTail,
                     "Do not append the filters' decay (the unit's tail time of silence)");
    AddRenderOutputOptions(*render, options);
    render->add_option("--component", options.component, kComponentHelp);
    render->callback([&options] { RunRenderCommand(options); });
}

void AddInfoCommand(CLI::App& app, quenzal::InfoOptions& options) {
    CLI::App* info = app.add_subcommand(
        "info", "Show the component's codes, version, parameters, latency, tail and formats.");
    info->add_option("--component", options.component, kComponentHelp);
    info->callback([&options] { quenzal::RunInfo(options); });
}

void AddResponseCommand(CLI::App& app, quenzal::ResponseOptions& options) {
    CLI::App* response = app.add_subcommand(
        "response", "Measure each speaker model's magnitude response through the unit.");
    response->add_option("--rate", options.rate, "Sample rate in Hz")->capture_default_str();
    response
        ->add_option("--points", options.points,
                     "Frequencies in the table and the CSV, log-spaced from 20 Hz to half the rate")
        ->capture_default_str();
    response->add_option("--csv", options.csv, "Also write the table as CSV to this file");
    response->add_option("--svg", options.svg, "Also write a plot of every model to this SVG file");
    response->add_option("--component", options.component, kComponentHelp);
    response->callback([&options] { quenzal::RunResponse(options); });
}

void AddValidateCommand(CLI::App& app, quenzal::ValidateOptions& options) {
    CLI::App* validate = app.add_subcommand(
        "validate", "Run a conformance battery on a component through its entry point; prints "
                    "PASS or FAIL per check and exits non-zero when any check fails.");
    validate->add_option("--component", options.component, kComponentHelp);
    validate->callback([&options] {
        if (const int status = quenzal::RunValidate(options); status != 0) {
            throw CLI::RuntimeError(status);
        }
    });
}

struct StateOptions {
    quenzal::StateSaveOptions save;
    quenzal::StateShowOptions show;
};

void AddStateCommand(CLI::App& app, StateOptions& options) {
    CLI::App* state = app.add_subcommand(
        "state", "Save the unit's state to an XML property-list file, or show what one holds.");
    state->require_subcommand(1);
    CLI::App* save = state->add_subcommand(
        "save", "Save the state of a unit set to the given speaker model, volume and settings.");
    save->add_option("FILE", options.save.file, "State file to write (replaced only when complete)")
        ->required();
    save->add_option("--speaker", options.save.speaker,
                     "Speaker model: 1 to 5, or its name such as \"Bass: warm\"");
    save->add_option("--volume", options.save.volume, "Volume trim in dB, -6 to 6");
    save->add_option("--set", options.save.settings, kSetHelp)->type_name("NAME=VALUE");
    save->add_option("--component", options.save.component, kComponentHelp);
    save->callback([&options] { quenzal::RunStateSave(options.save); });
    CLI::App* show = state->add_subcommand(
        "show", "Print a state file's keys, its parameter values and its preset name.");
    show->add_option("FILE", options.show.file, "State file to read")->required();
    show->callback([&options] { quenzal::RunStateShow(options.show); });
}

void AddDemoCommand(CLI::App& app, quenzal::DemoOptions& options) {
    CLI::App* demo = app.add_subcommand(
        "demo", "Voice a built-in guitar riff and bass line through every speaker model and "
                "write the clips and a response plot into one folder.");
    demo->add_option("--out", options.out, "Folder for the WAV files and response.svg")
        ->capture_default_str();
    demo->add_option("--component", options.component, kComponentHelp);
    demo->callback([&options] { quenzal::RunDemo(options); });
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"quenzal: voices audio through the Harwendel_Quenzal loudspeaker-cabinet effect"};
    app.require_subcommand(1);
    quenzal::RenderOptions renderOptions;
    AddRenderCommand(app, renderOptions);
    quenzal::InfoOptions infoOptions;
    AddInfoCommand(app, infoOptions);
    quenzal::ResponseOptions responseOptions;
    AddResponseCommand(app, responseOptions);
    quenzal::ValidateOptions validateOptions;
    AddValidateCommand(app, validateOptions);
    StateOptions stateOptions;
    AddStateCommand(app, stateOptions);
    quenzal::DemoOptions demoOptions;
    AddDemoCommand(app, demoOptions);
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
