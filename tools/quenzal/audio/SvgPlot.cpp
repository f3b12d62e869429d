#include "SvgPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace quenzal {
namespace {

constexpr double kWidth = 960;
constexpr double kHeight = 560;
constexpr double kLeft = 72;
constexpr double kRight = 770;
constexpr double kTop = 56;
constexpr double kBottom = 488;
constexpr double kLegendX = 792;

// Distinguishable for colour-blind readers as well.
constexpr const char* kPalette[] = {"#E69F00", "#0072B2", "#009E73", "#D55E00",
                                    "#CC79A7", "#56B4E9", "#000000"};

std::string Escape(const std::string& text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
        case '&':
            escaped += "&amp;";
            break;
        case '<':
            escaped += "&lt;";
            break;
        case '>':
            escaped += "&gt;";
            break;
        case '"':
            escaped += "&quot;";
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// "20", "500", "1k", "20k": the labels people read on an audio frequency axis.
std::string FrequencyLabel(double hz) {
    char text[32];
    if (hz >= 1000) {
        std::snprintf(text, sizeof text, "%gk", hz / 1000);
    } else {
        std::snprintf(text, sizeof text, "%g", hz);
    }
    return text;
}

class Canvas {
public:
    explicit Canvas(const LogPlot& plot)
        : mPlot(plot), mLogMin(std::log10(plot.x.front())), mLogMax(std::log10(plot.x.back())) {}

    double X(double hz) const {
        return kLeft + (std::log10(hz) - mLogMin) / (mLogMax - mLogMin) * (kRight - kLeft);
    }
    double Y(double value) const {
        // Far-off values are held just outside the frame, where the clip path hides them.
        const double held = std::clamp(value, mPlot.yMin - mPlot.yStep, mPlot.yMax + mPlot.yStep);
        return kBottom - (held - mPlot.yMin) / (mPlot.yMax - mPlot.yMin) * (kBottom - kTop);
    }

    void Line(double x1, double y1, double x2, double y2, const char* style) {
        mOut << "<line x1=\"" << Number(x1) << "\" y1=\"" << Number(y1) << "\" x2=\"" << Number(x2)
             << "\" y2=\"" << Number(y2) << "\" " << style << "/>\n";
    }
    void Text(double x, double y, const std::string& text, const char* style) {
        mOut << "<text x=\"" << Number(x) << "\" y=\"" << Number(y) << "\" " << style << ">"
             << Escape(text) << "</text>\n";
    }
    std::ostringstream& Out() { return mOut; }

private:
    const LogPlot& mPlot;
    double mLogMin;
    double mLogMax;
    std::ostringstream mOut;
};

constexpr const char* kMajorGrid = "stroke=\"#9a9a9a\" stroke-width=\"1\"";
constexpr const char* kMinorGrid = "stroke=\"#e2e2e2\" stroke-width=\"1\"";
constexpr const char* kTickLabel = "font-size=\"12\" fill=\"#333\" text-anchor=\"middle\"";

void DrawFrequencyGrid(Canvas& canvas, const LogPlot& plot) {
    const double low = plot.x.front();
    const double high = plot.x.back();
    for (double decade = std::pow(10.0, std::floor(std::log10(low))); decade <= high;
         decade *= 10) {
        for (int multiple = 1; multiple <= 9; ++multiple) {
            const double hz = decade * multiple;
            if (hz < low || hz > high) {
                continue;
            }
            const double x = canvas.X(hz);
            canvas.Line(x, kTop, x, kBottom, multiple == 1 ? kMajorGrid : kMinorGrid);
            if (multiple == 1 || multiple == 2 || multiple == 5) {
                canvas.Text(x, kBottom + 18, FrequencyLabel(hz), kTickLabel);
            }
        }
    }
}

void DrawLevelGrid(Canvas& canvas, const LogPlot& plot) {
    for (double value = plot.yMin; value <= plot.yMax + 1e-9; value += plot.yStep) {
        const double y = canvas.Y(value);
        canvas.Line(kLeft, y, kRight, y, value == 0 ? kMajorGrid : kMinorGrid);
        char label[32];
        std::snprintf(label, sizeof label, "%+g", value);
        canvas.Text(kLeft - 8, y + 4, value == 0 ? "0" : label,
                    "font-size=\"12\" fill=\"#333\" text-anchor=\"end\"");
    }
}

void DrawCurve(Canvas& canvas, const LogPlot& plot, const PlotCurve& curve, const char* color) {
    std::ostringstream& out = canvas.Out();
    out << "<polyline fill=\"none\" stroke=\"" << color
        << "\" stroke-width=\"2.2\" stroke-linejoin=\"round\""
        << (curve.dashed ? " stroke-dasharray=\"8 4\"" : "")
        << " clip-path=\"url(#plot)\" points=\"";
    for (size_t i = 0; i < plot.x.size() && i < curve.y.size(); ++i) {
        out << (i ? " " : "") << Number(canvas.X(plot.x[i])) << ',' << Number(canvas.Y(curve.y[i]));
    }
    out << "\"><title>" << Escape(curve.label) << "</title></polyline>\n";
}

void DrawLegend(Canvas& canvas, const LogPlot& plot) {
    double y = kTop + 14;
    for (size_t i = 0; i < plot.curves.size(); ++i) {
        const PlotCurve& curve = plot.curves[i];
        canvas.Out() << "<line x1=\"" << kLegendX << "\" y1=\"" << Number(y) << "\" x2=\""
                     << kLegendX + 34 << "\" y2=\"" << Number(y) << "\" stroke=\""
                     << kPalette[i % std::size(kPalette)] << "\" stroke-width=\"3\""
                     << (curve.dashed ? " stroke-dasharray=\"8 4\"" : "") << "/>\n";
        canvas.Text(kLegendX + 42, y + 5, curve.label, "font-size=\"14\" fill=\"#222\"");
        y += 26;
    }
}

void DrawFrameAndLabels(Canvas& canvas, const LogPlot& plot) {
    canvas.Out() << "<rect x=\"" << kLeft << "\" y=\"" << kTop << "\" width=\"" << kRight - kLeft
                 << "\" height=\"" << kBottom - kTop
                 << "\" fill=\"none\" stroke=\"#555\" stroke-width=\"1\"/>\n";
    canvas.Text((kLeft + kRight) / 2, 32, plot.title,
                "font-size=\"18\" font-weight=\"bold\" fill=\"#111\" text-anchor=\"middle\"");
    canvas.Text((kLeft + kRight) / 2, kBottom + 44, plot.xLabel,
                "font-size=\"14\" fill=\"#222\" text-anchor=\"middle\"");
    canvas.Out() << "<text transform=\"translate(22," << Number((kTop + kBottom) / 2)
                 << ") rotate(-90)\" font-size=\"14\" fill=\"#222\" text-anchor=\"middle\">"
                 << Escape(plot.yLabel) << "</text>\n";
}

} // namespace

std::string RenderSvg(const LogPlot& plot) {
    Canvas canvas(plot);
    std::ostringstream& out = canvas.Out();
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kWidth << "\" height=\""
        << kHeight << "\" viewBox=\"0 0 " << kWidth << ' ' << kHeight
        << "\" font-family=\"sans-serif\">\n"
        << "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n"
        << "<defs><clipPath id=\"plot\"><rect x=\"" << kLeft << "\" y=\"" << kTop << "\" width=\""
        << kRight - kLeft << "\" height=\"" << kBottom - kTop << "\"/></clipPath></defs>\n";
    DrawFrequencyGrid(canvas, plot);
    DrawLevelGrid(canvas, plot);
    for (size_t i = 0; i < plot.curves.size(); ++i) {
        DrawCurve(canvas, plot, plot.curves[i], kPalette[i % std::size(kPalette)]);
    }
    DrawFrameAndLabels(canvas, plot);
    DrawLegend(canvas, plot);
    out << "</svg>\n";
    return out.str();
}

} // namespace quenzal
