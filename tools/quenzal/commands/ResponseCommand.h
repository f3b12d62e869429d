// `quenzal response`: the magnitude response of each speaker model, measured through the unit,
// as a table, a CSV file and an SVG plot.
#pragma once

#include "ResponseMeasurement.h"

#include <string>

namespace quenzal {

struct ResponseOptions {
    double rate = 48000;
    int points = 31;
    std::string svg;
    std::string csv;
    std::string component;
};

void RunResponse(const ResponseOptions& options);

// The plot of every model from 20 Hz to half the rate, as an SVG document.
std::string ResponsePlotSvg(const ImpulseResponses& impulses);

} // namespace quenzal
