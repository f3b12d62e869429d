// Shared by the kernel tests: test signals, bit-exact comparison, rounding to the six digits the
// check values are given in, and a unit whose kernels the tests can reach.
#pragma once

#include "Harwendel_Quenzal.h"
#include "Harwendel_QuenzalVoicing.h"
#include "Hosting/Unit.h"
#include "ReferenceKernel.h"
#include "TestUnits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace kerneltest {

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

using Kernel = Harwendel_Quenzal::Harwendel_QuenzalKernel;

// The unit with its kernel list opened up to the tests.
class KernelUnit : public Harwendel_Quenzal {
public:
    using Harwendel_Quenzal::Harwendel_Quenzal;
    Kernel& KernelFor(std::size_t channel) { return *static_cast<Kernel*>(mKernels.at(channel)); }
};

// A unit at rate with channels kernels, initialized (but never reset) unless told otherwise.
inline testunits::UnitPtr<KernelUnit> UnitAt(double rate, UInt32 channels = 1,
                                             bool initialize = true) {
    auto unit = testunits::OpenUnit<KernelUnit>(nullptr);
    const AudioStreamBasicDescription format = hosting::CanonicalFormat(channels, rate);
    for (const AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        EXPECT_EQ(unit->DispatchSetProperty(kAudioUnitProperty_StreamFormat, scope, 0, &format,
                                            sizeof format),
                  noErr);
    }
    if (initialize) {
        EXPECT_EQ(unit->DoInitialize(), noErr);
    }
    return unit;
}

// One call of a freshly reset kernel at `rate` on a mono signal.
inline std::vector<float> RunFresh(double rate, float model, float volume,
                                   const std::vector<float>& input) {
    auto unit = UnitAt(rate);
    unit->Reset(kAudioUnitScope_Global, 0);
    unit->SetParameter(kParam_Loudspeaker, model);
    unit->SetParameter(kParam_Volume, volume);
    std::vector<float> output(input.size());
    bool silence = false;
    unit->KernelFor(0).Process(input.data(), output.data(), UInt32(input.size()), 1, silence);
    return output;
}

} // namespace kerneltest
