#include "ResponseCommand.h"

#include "OutputFile.h"
#include "QuenzalHost.h"
#include "SvgPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace quenzal {
namespace {

constexpr double kLowestFrequency = 20;
constexpr double kLowestRate = 8000;
constexpr double kHighestRate = 384000;
constexpr int kMostPoints = 10000;
// Enough points that the narrowest peak (Q 6) is drawn as a smooth curve.
constexpr int kPlotPoints = 240;
constexpr double kPlotStepDecibels = 6;
constexpr int kPlotGridLines = 9;

void CheckOptions(const ResponseOptions& options) {
    if (!(options.rate >= kLowestRate && options.rate <= kHighestRate)) {
        std::ostringstream message;
        message << "--rate: " << options.rate << " Hz is outside " << kLowestRate << " to "
                << kHighestRate << " Hz";
        throw HostError(message.str());
    }
    if (options.points < 2 || options.points > kMostPoints) {
        throw HostError("--points: " + std::to_string(options.points) + " is outside 2 to " +
                        std::to_string(kMostPoints));
    }
    for (const std::string& output : {options.csv, options.svg}) {
        if (!output.empty()) {
            CheckOutputFolder(output);
        }
    }
}

// A component without speaker models is measured as one curve under this name.
bool IsOneCurve(const std::string& firstCurve) {
    return firstCurve == kCurrentSettingsCurve;
}

void PrintTable(const ResponseSet& set) {
    std::printf("Magnitude response in dB at %g Hz (%s)\n\n%10s", set.rate,
                IsOneCurve(set.models[0].name) ? "the unit's current settings" : "volume 0 dB",
                "Hz");
    std::vector<int> widths;
    for (const ModelResponse& model : set.models) {
        widths.push_back(std::max<int>(static_cast<int>(model.name.size()), 8) + 2);
        std::printf("%*s", widths.back(), model.name.c_str());
    }
    std::printf("\n");
    for (size_t row = 0; row < set.frequencies.size(); ++row) {
        std::printf("%10.1f", set.frequencies[row]);
        for (size_t column = 0; column < set.models.size(); ++column) {
            std::printf("%*.2f", widths[column], set.models[column].decibels[row]);
        }
        std::printf("\n");
    }
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos) {
        return text;
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + "\"";
}

std::string Csv(const ResponseSet& set) {
    std::ostringstream out;
    out << "frequency_hz";
    for (const ModelResponse& model : set.models) {
        out << ',' << CsvField(model.name);
    }
    out << '\n';
    char number[32];
    for (size_t row = 0; row < set.frequencies.size(); ++row) {
        std::snprintf(number, sizeof number, "%.3f", set.frequencies[row]);
        out << number;
        for (const ModelResponse& model : set.models) {
            std::snprintf(number, sizeof number, "%.4f", model.decibels[row]);
            out << ',' << number;
        }
        out << '\n';
    }
    return out.str();
}

double HighestLevel(const ResponseSet& set) {
    double highest = 0;
    for (const ModelResponse& model : set.models) {
        highest =
            std::max(highest, *std::max_element(model.decibels.begin(), model.decibels.end()));
    }
    return highest;
}

} // namespace

std::string ResponsePlotSvg(const ImpulseResponses& impulses) {
    const ResponseSet set = EvaluateResponses(
        impulses, LogSpacedFrequencies(kLowestFrequency, impulses.rate / 2, kPlotPoints));
    LogPlot plot;
    std::ostringstream title;
    title << (IsOneCurve(impulses.names[0]) ? "Magnitude response"
                                            : "Speaker models: magnitude response")
          << " at " << impulses.rate << " Hz";
    plot.title = title.str();
    plot.xLabel = "Frequency (Hz)";
    plot.yLabel = "Level (dB)";
    plot.x = set.frequencies;
    plot.yMax = std::ceil((HighestLevel(set) + 1) / kPlotStepDecibels) * kPlotStepDecibels;
    plot.yMin = plot.yMax - kPlotStepDecibels * kPlotGridLines;
    plot.yStep = kPlotStepDecibels;
    for (const ModelResponse& model : set.models) {
        // The bass models dashed, so that the two families read apart at a glance.
        plot.curves.push_back({model.name, model.decibels, model.name.rfind("Bass", 0) == 0});
    }
    return RenderSvg(plot);
}

void RunResponse(const ResponseOptions& options) {
    CheckOptions(options);
    const AudioComponent component = RegisterComponent(FindComponent(options.component));
    const ImpulseResponses impulses = MeasureImpulseResponses(component, options.rate);
    const ResponseSet table = EvaluateResponses(
        impulses, LogSpacedFrequencies(kLowestFrequency, options.rate / 2, options.points));
    PrintTable(table);
    if (!options.csv.empty()) {
        WriteFileAtomically(options.csv, Csv(table));
        std::printf("\nwrote %s\n", options.csv.c_str());
    }
    if (!options.svg.empty()) {
        WriteFileAtomically(options.svg, ResponsePlotSvg(impulses));
        std::printf("%swrote %s\n", options.csv.empty() ? "\n" : "", options.svg.c_str());
    }
}

} // namespace quenzal
