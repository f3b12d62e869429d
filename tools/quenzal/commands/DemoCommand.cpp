#include "DemoCommand.h"

#include "AudioFile.h"
#include "DemoClips.h"
#include "OutputFile.h"
#include "QuenzalHost.h"
#include "RenderCommand.h"
#include "ResponseCommand.h"
#include "VoicingSettings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace quenzal {
namespace {

constexpr int kRate = 48000;
constexpr int kDemoFormat = SF_FORMAT_WAV | SF_FORMAT_FLOAT;

struct Clip {
    std::string name;
    std::vector<float> samples;
};

struct Levels {
    double peak = 0;
    double rms = 0;
};

// "Guitar: warm" -> "guitar-warm"
std::string Slug(const std::string& name) {
    std::string slug;
    for (const char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            slug += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (!slug.empty() && slug.back() != '-') {
            slug += '-';
        }
    }
    while (!slug.empty() && slug.back() == '-') {
        slug.pop_back();
    }
    return slug;
}

void CreateFolder(const fs::path& folder) {
    std::error_code error;
    fs::create_directories(folder, error);
    if (error || !fs::is_directory(folder)) {
        throw HostError(folder.string() + ": cannot create the folder" +
                        (error ? " (" + error.message() + ")" : ""));
    }
}

void WriteClip(const fs::path& path, const std::vector<float>& samples) {
    AudioWriter writer(path.string(), kDemoFormat, 1, kRate);
    writer.Write(samples.data(), static_cast<sf_count_t>(samples.size()));
    writer.Commit();
}

Levels MeasureLevels(const fs::path& path) {
    AudioReader reader(path.string());
    std::vector<float> block(4096 * static_cast<size_t>(reader.Channels()));
    Levels levels;
    double energy = 0;
    sf_count_t samples = 0;
    while (const sf_count_t frames = reader.Read(block.data(), 4096)) {
        const auto count = static_cast<size_t>(frames * reader.Channels());
        for (size_t i = 0; i < count; ++i) {
            levels.peak = std::max(levels.peak, std::abs(static_cast<double>(block[i])));
            energy += static_cast<double>(block[i]) * block[i];
        }
        samples += static_cast<sf_count_t>(count);
    }
    levels.rms = samples > 0 ? std::sqrt(energy / static_cast<double>(samples)) : 0;
    return levels;
}

std::string Decibels(double level) {
    char text[16];
    if (level <= 0) {
        return "-inf";
    }
    std::snprintf(text, sizeof text, "%.1f", 20 * std::log10(level));
    return text;
}

void PrintRow(const std::string& clip, const std::string& model, const fs::path& file) {
    const Levels levels = MeasureLevels(file);
    std::printf("%-13s %-16s %9s %9s   %s\n", clip.c_str(), model.c_str(),
                Decibels(levels.peak).c_str(), Decibels(levels.rms).c_str(),
                file.filename().c_str());
    std::fflush(stdout);
}

void VoiceClip(const Clip& clip, const std::vector<std::string>& models, Float32 firstModel,
               const DemoOptions& options) {
    const fs::path folder(options.out);
    const fs::path dry = folder / (clip.name + "-dry.wav");
    WriteClip(dry, clip.samples);
    PrintRow(clip.name, "dry", dry);
    for (size_t i = 0; i < models.size(); ++i) {
        RenderOptions render;
        render.input = dry.string();
        render.output = (folder / (clip.name + "-" + Slug(models[i]) + ".wav")).string();
        render.speaker = std::to_string(static_cast<int>(firstModel) + static_cast<int>(i));
        render.quiet = true;
        render.component = options.component;
        RunRender(render);
        PrintRow(clip.name, models[i], render.output);
    }
}

} // namespace

void RunDemo(const DemoOptions& options) {
    CreateFolder(options.out);
    const AudioComponent component = RegisterComponent(FindComponent(options.component));
    const Unit unit(component);
    const std::optional<AudioUnitParameterID> speaker = SpeakerParameter(unit);
    if (!speaker) {
        throw HostError("demo voices every speaker model, and this component has none; use "
                        "render and response on it instead");
    }
    const std::vector<std::string> models = unit.ValueStrings(*speaker);
    const Float32 firstModel = unit.ParameterInfo(*speaker).minValue;

    std::printf("%-13s %-16s %9s %9s   %s\n", "clip", "model", "peak dBFS", "RMS dBFS", "file");
    for (const Clip& clip :
         {Clip{"guitar-riff", GuitarRiff(kRate)}, Clip{"bass-line", BassLine(kRate)}}) {
        VoiceClip(clip, models, firstModel, options);
    }
    const fs::path plot = fs::path(options.out) / "response.svg";
    WriteFileAtomically(plot.string(), ResponsePlotSvg(MeasureImpulseResponses(component, kRate)));
    std::printf("\nThe clips (WAV, %d Hz) and response.svg are in %s\n", kRate,
                fs::absolute(options.out).lexically_normal().c_str());
}

} // namespace quenzal
