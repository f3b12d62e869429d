// The magnitude response of every speaker model, measured the way a listener would hear it:
// an impulse rendered through the unit with the model selected, then evaluated as a discrete
// Fourier transform at the frequencies asked for.
#pragma once

#include "Platform/AudioTypes.h"

#include <string>
#include <vector>

namespace quenzal {

struct ImpulseResponses {
    double rate = 0;
    std::vector<std::string> names;            // the unit's value string of each model
    std::vector<std::vector<float>> responses; // one second of output for each model
};

struct ModelResponse {
    std::string name;
    std::vector<double> decibels; // one per frequency
};

struct ResponseSet {
    double rate = 0;
    std::vector<double> frequencies; // Hz
    std::vector<ModelResponse> models;
};

// count frequencies from low to high, evenly spaced on a logarithmic axis, both ends included.
std::vector<double> LogSpacedFrequencies(double low, double high, int count);

// The one curve of a component without speaker models.
inline constexpr const char* kCurrentSettingsCurve = "current settings";

// Every value of the unit's speaker-model parameter, in order, each from a freshly reset unit; a
// single curve at the unit's current settings when it has no speaker-model parameter.
ImpulseResponses MeasureImpulseResponses(AudioComponent component, double rate);

ResponseSet EvaluateResponses(const ImpulseResponses& impulses,
                              const std::vector<double>& frequencies);

// The response levels, never below this floor (an exact zero of the response would be -inf).
inline constexpr double kResponseFloorDecibels = -200.0;

} // namespace quenzal
