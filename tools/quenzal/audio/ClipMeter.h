// Counts the samples that reach full scale on their way into an integer file, where the writer
// saturates them, and words the warning a user needs to avoid it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quenzal {

// True for libsndfile formats that store integer samples; float and double files hold any level.
bool ClipsAtFullScale(int format);

class ClipMeter {
public:
    explicit ClipMeter(int channels) : mClipped(static_cast<size_t>(channels), 0) {}

    void Measure(const float* interleaved, int64_t frames);
    int64_t Clipped() const;
    // "N samples clipped (channel 1: A, channel 2: B); the peak before clipping was +X dBFS;
    // Y dB less level would have avoided it". Empty when nothing clipped.
    std::string Warning() const;

private:
    std::vector<int64_t> mClipped; // per channel
    float mPeak = 0;               // absolute, over every channel
};

} // namespace quenzal
