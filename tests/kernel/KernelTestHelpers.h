// Shared by the kernel tests: test signals, bit-exact comparison, rounding to the six digits the
// check values are given in, and the scenario that runs a processor against the oracle.
#pragma once

#include "Harwendel_QuenzalVoicing.h"
#include "ReferenceKernel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <random>
#include <vector>

namespace kerneltest {

inline constexpr double kOracleRates[] = {22050, 44100, 48000, 96000};

inline std::vector<float> Noise(std::size_t count, std::uint32_t seed, float amplitude = 1.0f) {
    std::mt19937 generator(seed);
    std::uniform_real_distribution<float> uniform(-amplitude, amplitude);
    std::vector<float> samples(count);
    for (float& sample : samples) {
        sample = uniform(generator);
    }
    return samples;
}

inline std::vector<float> Impulse(std::size_t count) {
    std::vector<float> samples(count, 0.0f);
    samples[0] = 1.0f;
    return samples;
}

inline std::uint32_t Bits(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// The value as printed to six significant digits, read back: equal to a check value written
// with six digits exactly when the two agree to those digits.
inline double SixDigits(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return std::strtod(text, nullptr);
}

inline ::testing::AssertionResult SameBits(const std::vector<float>& actual,
                                           const std::vector<float>& expected) {
    if (actual.size() != expected.size()) {
        return ::testing::AssertionFailure()
               << "sizes " << actual.size() << " and " << expected.size();
    }
    for (std::size_t i = 0; i < actual.size(); ++i) {
        if (Bits(actual[i]) != Bits(expected[i])) {
            return ::testing::AssertionFailure()
                   << "first difference at " << i << ": " << actual[i] << " vs " << expected[i];
        }
    }
    return ::testing::AssertionSuccess();
}

// The DSP functions composed as one uncached channel: voicing (valid models only), coefficient
// step, sample loop.
struct DspChannel {
    float rate = 0;
    QuenzalVoicing::Voicing voicing{};
    QuenzalVoicing::Design design{};
    QuenzalVoicing::FilterState state{};

    explicit DspChannel(float sampleRate) : rate(sampleRate) {
        QuenzalVoicing::Voice(voicing, QuenzalVoicing::kDefaultModel, rate);
        QuenzalVoicing::DesignCoefficients(design, voicing, rate);
    }

    void Process(float model, float volume, const float* source, float* destination,
                 std::uint32_t frames, std::uint32_t stride) {
        const std::int32_t m = QuenzalVoicing::SpeakerModelFromParameter(model);
        if (QuenzalVoicing::IsSpeakerModel(m)) {
            QuenzalVoicing::Voice(voicing, m, rate);
        }
        QuenzalVoicing::DesignCoefficients(design, voicing, rate);
        QuenzalVoicing::ProcessSamples(design, state, source, destination, frames, stride,
                                       QuenzalVoicing::VolumeGain(volume));
    }

    // Runs one call on a mono signal and returns the output.
    std::vector<float> Run(float model, float volume, const std::vector<float>& input) {
        std::vector<float> output(input.size());
        Process(model, volume, input.data(), output.data(),
                static_cast<std::uint32_t>(input.size()), 1);
        return output;
    }
};

// (model parameter, volume parameter, frames) of one call.
struct Call {
    float model;
    float volume;
    std::uint32_t frames;
};

// Consecutive calls with the parameters changing between them: valid and invalid models, the
// frozen voicing, an empty call (which must touch no sample and leave the memories for the next
// call), the volume beyond its announced range.
inline std::vector<Call> ParameterChangingCalls(int firstModel) {
    const float other = static_cast<float>(firstModel % 5 + 1);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    return {{static_cast<float>(firstModel), 0.0f, 512},
            {static_cast<float>(firstModel), -6.0f, 37},
            {other, 6.0f, 300},
            {7.0f, 3.3f, 1},
            {nan, -2.5f, 0},
            {static_cast<float>(firstModel) + 0.75f, 12.0f, 256},
            {-1.0f, 0.0f, 129}};
}

// Processes `calls` through `process` and through the oracle reset at `rate`, on the last of
// `stride` interleaved channels, in place or between two buffers, and checks that the channel's
// output is bit-identical and that no other float (other channels, one frame of padding) was
// touched.
using Processor =
    std::function<void(float model, float volume, const float* source, float* destination,
                       std::uint32_t frames, std::uint32_t stride)>;

inline void ExpectMatchesOracle(double rate, const std::vector<Call>& calls, std::uint32_t stride,
                                bool inPlace, const Processor& process) {
    ReferenceKernel oracle;
    oracle.Reset(rate);
    const std::size_t channel = stride - 1;
    const float sentinel = 12345.0f;
    std::uint32_t seed = 1;
    for (const Call& call : calls) {
        const std::size_t floats = (static_cast<std::size_t>(call.frames) + 1) * stride;
        const std::vector<float> input = Noise(floats, seed++);
        std::vector<float> expected(floats);
        oracle.Process(call.model, call.volume, input.data() + channel, expected.data() + channel,
                       call.frames, stride);

        std::vector<float> output = inPlace ? input : std::vector<float>(floats, sentinel);
        const float* source = (inPlace ? output.data() : input.data()) + channel;
        process(call.model, call.volume, source, output.data() + channel, call.frames, stride);
        for (std::size_t i = 0; i < floats; ++i) {
            const bool ours = i % stride == channel && i / stride < call.frames;
            const float want = ours ? expected[i] : (inPlace ? input[i] : sentinel);
            ASSERT_EQ(Bits(output[i]), Bits(want))
                << "float " << i << " of a " << call.frames << "-frame call, model " << call.model
                << ", volume " << call.volume;
        }
    }
}

// Runs ExpectMatchesOracle for every model at every oracle rate, at stride 1 and 2, in place and
// between two buffers, each case with a fresh processor from `makeProcessor(rate)`.
inline void
ExpectMatchesOracleEverywhere(const std::function<Processor(double rate)>& makeProcessor) {
    for (const double rate : kOracleRates) {
        for (int model = 1; model <= QuenzalVoicing::kModelCount; ++model) {
            for (const std::uint32_t stride : {1u, 2u}) {
                for (const bool inPlace : {false, true}) {
                    SCOPED_TRACE(testing::Message() << rate << " Hz, model " << model << ", stride "
                                                    << stride << (inPlace ? ", in place" : ""));
                    ExpectMatchesOracle(rate, ParameterChangingCalls(model), stride, inPlace,
                                        makeProcessor(rate));
                }
            }
        }
    }
}

} // namespace kerneltest
