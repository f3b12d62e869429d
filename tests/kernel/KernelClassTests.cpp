// The kernel inside a real unit: construction before any reset, Reset, parameter reading through
// the unit, the design cache and unusable sample rates.
#include "Harwendel_Quenzal.h"
#include "KernelTestHelpers.h"

#include <cstring>
#include <limits>

using namespace quenzal_voicing;
using kerneltest::Kernel;
using kerneltest::KernelUnit;
using kerneltest::UnitAt;

namespace {

// The host may not set unusable rates, nor change formats while initialized; the tests put the
// rate underneath the unit to see what the kernels make of it.
void MoveOutputRate(KernelUnit& unit, double rate) {
    unit.GetOutput(0)->SetStreamFormat(hosting::CanonicalFormat(1, rate));
}

::testing::AssertionResult HoldsDesign(const Kernel& kernel, int model, float rate) {
    Voicing voicing{};
    Design design{};
    Voice(voicing, model, rate);
    DesignCoefficients(design, voicing, rate);
    if (kernel.GetRate() != rate || kernel.GetVoicedModel() != model ||
        std::memcmp(&kernel.GetVoicing(), &voicing, sizeof voicing) != 0 ||
        std::memcmp(&kernel.GetDesign(), &design, sizeof design) != 0) {
        return ::testing::AssertionFailure()
               << "holds model " << kernel.GetVoicedModel() << " at " << kernel.GetRate();
    }
    return ::testing::AssertionSuccess();
}

bool MemoriesAreClear(const Kernel& kernel) {
    const FilterState cleared{};
    return std::memcmp(kernel.GetState().mW, cleared.mW, sizeof cleared.mW) == 0;
}

// Two calls on noise; the silence flag is the caller's and comes back as it was set.
void ProcessNoise(Kernel& kernel, std::size_t frames) {
    std::vector<float> samples = kerneltest::Noise(2 * frames, 17);
    for (const bool flag : {true, false}) {
        bool silence = flag;
        kernel.Process(samples.data() + (flag ? 0 : frames), samples.data() + (flag ? 0 : frames),
                       static_cast<UInt32>(frames), 1, silence);
        EXPECT_EQ(silence, flag);
    }
}

// The effect base makes kernels without resetting them: each already holds model 1 at the
// unit's rate with clear memories, whatever parameter 0 says, and they are identical.
TEST(KernelClass, NewKernelsHoldModel1AtTheUnitsRate) {
    auto unit = UnitAt(48000, 2);
    for (const std::size_t channel : {0u, 1u}) {
        EXPECT_TRUE(HoldsDesign(unit->KernelFor(channel), 1, 48000)) << "channel " << channel;
        EXPECT_TRUE(MemoriesAreClear(unit->KernelFor(channel)));
    }
}

// A rate of 0 would divide by zero; the others give no meaningful filter. Reset keeps the rate
// and the design it had, and still clears the memories.
TEST(KernelClass, ResetAtAnUnusableRateKeepsTheDesign) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    for (const double rate : {0.0, -44100.0, kNaN, kInf, 1e-300, 1e39}) {
        auto unit = UnitAt(22050);
        Kernel& kernel = unit->KernelFor(0);
        unit->SetParameter(kParam_Loudspeaker, 3);
        ProcessNoise(kernel, 64);
        MoveOutputRate(*unit, rate);
        unit->Reset(kAudioUnitScope_Global, 0);
        EXPECT_TRUE(HoldsDesign(kernel, 3, 22050)) << rate;
        EXPECT_TRUE(MemoriesAreClear(kernel)) << rate;
    }
}

TEST(KernelClass, KernelMadeAtAnUnusableRateDesignsAt44100) {
    auto unit = UnitAt(48000, 1, false);
    MoveOutputRate(*unit, 0.0);
    ASSERT_EQ(unit->DoInitialize(), noErr);
    EXPECT_TRUE(HoldsDesign(unit->KernelFor(0), 1, 44100));
}

// After every call the kernel holds exactly the design a fresh one would make of the voiced
// model: 2.9 is 2, 5.99 is 5, and 0.5, 6, -1, NaN and 1e10 keep what was there. A rate change
// waits for the next reset, which loads model 1 at the new rate and clears the memories.
TEST(KernelClass, ReadsTheModelUntilAResetLoadsModel1) {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float parameter;
        double newRate; // 0: unchanged
        bool reset;
        int voiced;
        float rate;
    } kSequence[] = {
        {7, 0, false, 1, 44100},     {2.9f, 0, false, 2, 44100},  {0.5f, 0, false, 2, 44100},
        {5.99f, 0, false, 5, 44100}, {6, 0, false, 5, 44100},     {-1, 0, false, 5, 44100},
        {3, 0, false, 3, 44100},     {kNaN, 0, false, 3, 44100},  {1e10f, 0, false, 3, 44100},
        {3.5f, 0, false, 3, 44100},  {4, 96000, false, 4, 44100}, {4, 0, true, 1, 96000},
        {1, 0, false, 1, 96000}};
    auto unit = UnitAt(44100);
    unit->Reset(kAudioUnitScope_Global, 0);
    Kernel& kernel = unit->KernelFor(0);
    for (const auto& step : kSequence) {
        unit->SetParameter(kParam_Loudspeaker, step.parameter);
        if (step.newRate != 0) {
            MoveOutputRate(*unit, step.newRate);
        }
        if (step.reset) {
            EXPECT_EQ(unit->Reset(kAudioUnitScope_Global, 0), noErr);
            EXPECT_TRUE(MemoriesAreClear(kernel));
        } else {
            ProcessNoise(kernel, 16);
        }
        EXPECT_TRUE(HoldsDesign(kernel, step.voiced, step.rate)) << "parameter " << step.parameter;
    }
}

} // namespace
