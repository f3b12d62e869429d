// The voicing and coefficient steps on their own: the documented check values, the exact
// invariants with stability at every rate, and the guards below 22050 Hz.
#include "KernelTestHelpers.h"

using namespace quenzal_voicing;
using kerneltest::SixDigits;

namespace {

struct Designed {
    Voicing voicing{};
    Design design{};
};

Designed DesignModel(int model, float rate) {
    Designed d;
    Voice(d.voicing, model, rate);
    DesignCoefficients(d.design, d.voicing, rate);
    return d;
}

// The coefficient named by (which, stage, index): 'b', 'a' or 'K'/'G' (the stage parameter).
float Coefficient(const Designed& d, char which, int stage, int index) {
    switch (which) {
    case 'b':
        return d.design.mB[stage][index];
    case 'a':
        return d.design.mA[stage][index];
    default:
        return d.voicing.mStageParam[stage];
    }
}

struct CheckValue {
    float rate;
    char which;
    int stage;
    int index;
    double expected;
};

// Model 1, as a reset leaves every kernel.
constexpr CheckValue kModel1CheckValues[] = {
    {44100, 'K', 0, 0, 0.0060553}, {44100, 'b', 0, 0, 0.995943}, {44100, 'b', 0, 1, -1.99189},
    {44100, 'b', 0, 2, 0.995943},  {44100, 'a', 0, 0, 1},        {44100, 'a', 0, 1, -1.99181},
    {44100, 'a', 0, 2, 0.991959},  {44100, 'G', 1, 0, 0.794328}, {44100, 'b', 1, 0, 0.997111},
    {44100, 'b', 1, 1, -1.96870},  {44100, 'b', 1, 2, 0.974793}, {44100, 'a', 1, 0, 1},
    {44100, 'a', 1, 1, -1.96870},  {44100, 'a', 1, 2, 0.971903}, {44100, 'b', 2, 0, 1.00891},
    {44100, 'b', 2, 1, -1.91162},  {44100, 'b', 2, 2, 0.922275}, {44100, 'a', 2, 2, 0.931184},
    {44100, 'b', 3, 0, 0.984237},  {44100, 'b', 3, 1, -1.84311}, {44100, 'b', 3, 2, 0.907817},
    {44100, 'a', 3, 2, 0.892054},  {44100, 'b', 4, 0, 1.01885},  {44100, 'b', 4, 1, -1.76404},
    {44100, 'b', 4, 2, 0.835537},  {44100, 'a', 4, 2, 0.854389}, {44100, 'K', 5, 0, 0.254631},
    {44100, 'b', 5, 0, 0.052517},  {44100, 'b', 5, 1, 0.105034}, {44100, 'b', 5, 2, 0.052517},
    {44100, 'a', 5, 0, 1},         {44100, 'a', 5, 1, -1.51494}, {44100, 'a', 5, 2, 0.725003},
    {48000, 'b', 5, 0, 0.0449384}, {48000, 'a', 5, 1, -1.56327}, {48000, 'a', 5, 2, 0.743026},
    {48000, 'b', 0, 0, 0.996274},  {48000, 'a', 0, 1, -1.99249}, {48000, 'a', 0, 2, 0.992610},
};

TEST(KernelDesign, Model1MatchesTheCheckValuesToSixDigits) {
    for (const CheckValue& check : kModel1CheckValues) {
        const Designed d = DesignModel(1, check.rate);
        EXPECT_EQ(SixDigits(Coefficient(d, check.which, check.stage, check.index)), check.expected)
            << check.which << check.index << " of stage " << check.stage << " at " << check.rate;
    }
}

constexpr float kAllRates[] = {1000, 8000, 11025, 16000, 22050, 44100, 48000, 96000, 192000};

// Exact identities of the design, and poles strictly inside the unit circle (|a2| < 1 and
// |a1| < 1 + a2) for every stage of every model at every rate, the low rates included, where
// the guards are what keeps them there.
TEST(KernelDesign, InvariantsAndStabilityHoldForEveryModelAndRate) {
    for (const float rate : kAllRates) {
        for (int model = 1; model <= kModelCount; ++model) {
            SCOPED_TRACE(testing::Message() << "model " << model << " at " << rate << " Hz");
            const Design& design = DesignModel(model, rate).design;
            const auto& b = design.mB;
            const auto& a = design.mA;
            for (int i = 0; i < kStageCount; ++i) {
                EXPECT_EQ(a[i][0], 1.0f);
                EXPECT_LT(std::fabs(a[i][2]), 1.0f) << "stage " << i;
                EXPECT_LT(std::fabs(a[i][1]), 1.0f + a[i][2]) << "stage " << i;
            }
            EXPECT_EQ(b[0][1], -2.0f * b[0][0]);
            EXPECT_EQ(b[0][2], b[0][0]);
            EXPECT_EQ(b[5][1], 2.0f * b[5][0]);
            EXPECT_EQ(b[5][2], b[5][0]);
            for (int i = kFirstPeakStage; i <= kLastPeakStage; ++i) {
                EXPECT_EQ(a[i][1], b[i][1]);
            }
            EXPECT_EQ(a[1][2], design.mAllpassCoef);
        }
    }
}

struct GuardCase {
    float rate;
    int model;
    int stage;
    float expectedFreq;
};

// A stage at or above half the rate moves to 0.49 times the rate; anything below stays.
TEST(KernelDesign, StageFrequenciesFromHalfTheRateMoveJustBelowIt) {
    constexpr GuardCase kCases[] = {
        {16000, 5, 4, 7840}, {16000, 5, 5, 5000}, {16000, 4, 4, 6000}, {12000, 4, 4, 5880},
        {8000, 5, 5, 3920},  {8000, 3, 5, 3920},  {8000, 2, 5, 3000},  {22050, 5, 4, 8000},
        {100, 4, 0, 30},     {50, 4, 0, 24.5f},   {1000, 1, 5, 490},
    };
    for (const GuardCase& c : kCases) {
        const Designed d = DesignModel(c.model, c.rate);
        EXPECT_EQ(d.voicing.mFreq[c.stage], c.expectedFreq)
            << "model " << c.model << " stage " << c.stage << " at " << c.rate << " Hz";
    }
}

} // namespace
