// A line plot on a logarithmic x axis, as a self-contained SVG document: grid lines at every
// decade (lighter ones in between), labelled axes, a title and a legend beside the plot.
#pragma once

#include <string>
#include <vector>

namespace quenzal {

struct PlotCurve {
    std::string label;
    std::vector<double> y; // one per x of the plot
    bool dashed = false;
};

struct LogPlot {
    std::string title;
    std::string xLabel;
    std::string yLabel;
    std::vector<double> x; // ascending, all > 0
    double yMin = 0;
    double yMax = 0;
    double yStep = 0; // a grid line every yStep from yMin
    std::vector<PlotCurve> curves;
};

std::string RenderSvg(const LogPlot& plot);

} // namespace quenzal
