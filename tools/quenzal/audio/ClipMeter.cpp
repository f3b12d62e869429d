#include "ClipMeter.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

namespace quenzal {

bool ClipsAtFullScale(int format) {
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE:
    case SF_FORMAT_VORBIS:
        return false;
    default:
        return true;
    }
}

void ClipMeter::Measure(const float* interleaved, int64_t frames) {
    const size_t channels = mClipped.size();
    for (int64_t frame = 0; frame < frames; ++frame) {
        for (size_t c = 0; c < channels; ++c) {
            const float level = std::fabs(interleaved[size_t(frame) * channels + c]);
            mPeak = std::max(mPeak, level);
            mClipped[c] += level >= 1.0f ? 1 : 0;
        }
    }
}

int64_t ClipMeter::Clipped() const {
    return std::accumulate(mClipped.begin(), mClipped.end(), int64_t{0});
}

std::string ClipMeter::Warning() const {
    if (Clipped() == 0) {
        return "";
    }
    std::string text = std::to_string(Clipped()) + " samples clipped (";
    bool first = true;
    for (size_t c = 0; c < mClipped.size(); ++c) {
        if (mClipped[c] > 0) {
            text += (first ? "channel " : ", channel ") + std::to_string(c + 1) + ": " +
                    std::to_string(mClipped[c]);
            first = false;
        }
    }
    const double peakDecibels = 20.0 * std::log10(static_cast<double>(mPeak));
    if (!std::isfinite(peakDecibels)) {
        return text + "); the signal reached infinity, which no volume change avoids";
    }
    // The smallest cut in tenths of a dB that brings the peak below full scale.
    double cut = std::ceil(peakDecibels * 10.0) / 10.0;
    while (static_cast<double>(mPeak) * std::pow(10.0, -cut / 20.0) >= 1.0) {
        cut += 0.1;
    }
    char figures[128];
    std::snprintf(figures, sizeof figures,
                  "); the peak before clipping was %+.1f dBFS; %.1f dB less level would have "
                  "avoided it",
                  peakDecibels, cut);
    return text + figures;
}

} // namespace quenzal
