// The sample loop through the plain DSP functions: impulse responses, the model conversion,
// recovery from non-finite input and stability at low rates. Bit-identity with the oracle is
// checked through the real kernel, which runs these same functions.
#include "KernelTestHelpers.h"

#include <algorithm>
#include <limits>

using namespace QuenzalVoicing;
using kerneltest::DspChannel;

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
        DspChannel channel(44100);
        const std::vector<float> output =
            channel.Run(static_cast<float>(c.model), c.volume, kerneltest::Impulse(4));
        for (int n = 0; n < c.documented; ++n) {
            EXPECT_EQ(kerneltest::SixDigits(output[n]), c.expected[n])
                << "model " << c.model << " at " << c.volume << " dB, sample " << n;
        }
    }
}

TEST(KernelProcess, ModelParameterTruncatesTowardZeroAndRejectsWhatDoesNotFit) {
    constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
    const struct {
        float parameter;
        std::int32_t model;
    } kCases[] = {{2.9f, 2},
                  {5.99f, 5},
                  {0.5f, 0},
                  {6.0f, 6},
                  {-1.0f, -1},
                  {-0.99f, 0},
                  {kNaN, kMin},
                  {1e10f, kMin},
                  {-kInf, kMin},
                  {2147483520.0f, 2147483520},
                  {2147483648.0f, kMin}};
    for (const auto& c : kCases) {
        EXPECT_EQ(SpeakerModelFromParameter(c.parameter), c.model) << c.parameter;
        EXPECT_EQ(ReferenceKernel::ModelFrom(c.parameter), c.model) << c.parameter;
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
            DspChannel hit(44100);
            const std::vector<float> output = hit.Run(static_cast<float>(model), 0, input);
            EXPECT_FALSE(std::isfinite(output[kBad]));

            DspChannel fresh(44100);
            const std::vector<float> rest(input.begin() + kBad + 1, input.end());
            const std::vector<float> expected = fresh.Run(static_cast<float>(model), 0, rest);
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
            DspChannel noise(rate);
            const std::vector<float> loud =
                noise.Run(static_cast<float>(model), 6, kerneltest::Noise(length, 5));
            float peak = 0;
            for (const float sample : loud) {
                peak = std::max(peak, std::fabs(sample));
            }
            EXPECT_LT(peak, 100.0f);

            DspChannel impulse(rate);
            const std::vector<float> decay =
                impulse.Run(static_cast<float>(model), 0, kerneltest::Impulse(length));
            EXPECT_LT(std::fabs(decay.back()), 1e-6f);
        }
    }
}

} // namespace
