// The sample loop of a unit's kernel: impulse responses, recovery from non-finite input and
// stability at low rates.
#include "KernelTestHelpers.h"

#include <algorithm>
#include <limits>

using namespace quenzal_voicing;
using kerneltest::RunFresh;

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct ImpulseCase {
    int model;
    float volume;
    int documented;
    double expected[4];
};

TEST(KernelProcess, ImpulseResponsesMatchTheCheckValuesToSixDigits) {
    constexpr ImpulseCase kCases[] = {
        {1, 0, 4, {0.0527644, 0.185786, 0.296579, 0.314495}},
        {2, 0, 4, {0.0434448, 0.162959, 0.288263, 0.353172}},
        {3, 0, 4, {0.0743866, 0.267174, 0.434810, 0.459675}},
        {4, 0, 4, {0.0196338, 0.0635151, 0.0951451, 0.108049}},
        {5, 0, 4, {0.0847015, 0.266271, 0.365000, 0.335919}},
        {1, -6, 3, {0.0264448, 0.0931134, 0.148642}},
    };
    for (const ImpulseCase& c : kCases) {
        const std::vector<float> output =
            RunFresh(44100, static_cast<float>(c.model), c.volume, kerneltest::Impulse(4));
        for (int n = 0; n < c.documented; ++n) {
            EXPECT_EQ(kerneltest::SixDigits(output[n]), c.expected[n])
                << "model " << c.model << " at " << c.volume << " dB, sample " << n;
        }
    }
}

// One non-finite input sample comes out non-finite; from the next sample on the output is what a
// cleared filter makes of the rest of the input, bit for bit.
TEST(KernelProcess, RecoversOnTheSampleAfterNonFiniteInput) {
    constexpr std::size_t kBad = 300;
    for (const float bad : {kNaN, kInf, -kInf}) {
        for (int model = 1; model <= kModelCount; ++model) {
            SCOPED_TRACE(testing::Message() << "model " << model << ", input " << bad);
            std::vector<float> input = kerneltest::Noise(1000, 11);
            input[kBad] = bad;
            const std::vector<float> output = RunFresh(44100, static_cast<float>(model), 0, input);
            EXPECT_FALSE(std::isfinite(output[kBad]));

            const std::vector<float> rest(input.begin() + kBad + 1, input.end());
            const std::vector<float> expected = RunFresh(44100, static_cast<float>(model), 0, rest);
            EXPECT_TRUE(kerneltest::SameBits(
                std::vector<float>(output.begin() + kBad + 1, output.end()), expected));
        }
    }
}

// Below 22050 Hz some stages reach half the rate; the guarded design still decays and stays
// bounded under long noise. (Unguarded, models 4 and 5 overflow at 8000 and 11025 Hz, and
// model 5's 8000 Hz peak sits on the unit circle at 16000 Hz.)
TEST(KernelProcess, StaysStableAtLowRates) {
    for (const float rate : {1000.0f, 8000.0f, 11025.0f, 16000.0f}) {
        for (int model = 1; model <= kModelCount; ++model) {
            SCOPED_TRACE(testing::Message() << "model " << model << " at " << rate << " Hz");
            const std::size_t length = static_cast<std::size_t>(rate) * 10;
            const std::vector<float> loud =
                RunFresh(rate, static_cast<float>(model), 6, kerneltest::Noise(length, 5));
            float peak = 0;
            for (const float sample : loud) {
                peak = std::max(peak, std::fabs(sample));
            }
            EXPECT_LT(peak, 100.0f);

            const std::vector<float> decay =
                RunFresh(rate, static_cast<float>(model), 0, kerneltest::Impulse(length));
            EXPECT_LT(std::fabs(decay.back()), 1e-6f);
        }
    }
}

} // namespace
