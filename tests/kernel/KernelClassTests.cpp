// The kernel inside a real unit: construction before any reset, Reset, parameter reading through
// the unit, the design cache and unusable sample rates.
#include "Harwendel_Quenzal.h"
#include "KernelTestHelpers.h"
#include "TestUnits.h"
#include "UnitHost.h"

#include <cstring>
#include <limits>
#include <memory>

using namespace QuenzalVoicing;
using Kernel = Harwendel_Quenzal::Harwendel_QuenzalKernel;

namespace {

// The unit with its kernel list opened up to the tests.
class KernelUnit : public Harwendel_Quenzal {
public:
    using Harwendel_Quenzal::Harwendel_Quenzal;
    Kernel& KernelFor(std::size_t channel) { return *static_cast<Kernel*>(mKernels.at(channel)); }
};

// The host may not set unusable rates, nor change formats while initialized; the tests put the
// rate underneath the unit to see what the kernels make of it.
void MoveOutputRate(KernelUnit& unit, double rate) {
    unit.GetOutput(0)->SetStreamFormat(testhost::CanonicalFormat(1, rate));
}

// A unit at rate with channels kernels, initialized (but never reset) unless told otherwise.
testunits::UnitPtr<KernelUnit> UnitAt(double rate, UInt32 channels = 1, bool initialize = true) {
    auto unit = testunits::OpenUnit<KernelUnit>(nullptr);
    const AudioStreamBasicDescription format = testhost::CanonicalFormat(channels, rate);
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

TEST(KernelClass, ResetLoadsModel1AndClearsTheMemories) {
    auto unit = UnitAt(44100);
    Kernel& kernel = unit->KernelFor(0);
    unit->SetParameter(kParam_Loudspeaker, 4);
    ProcessNoise(kernel, 64);
    ASSERT_TRUE(HoldsDesign(kernel, 4, 44100));

    MoveOutputRate(*unit, 96000);
    ProcessNoise(kernel, 64);
    EXPECT_TRUE(HoldsDesign(kernel, 4, 44100)) << "a rate change waits for the next reset";
    EXPECT_EQ(unit->Reset(kAudioUnitScope_Global, 0), noErr);
    EXPECT_TRUE(HoldsDesign(kernel, 1, 96000));
    EXPECT_TRUE(MemoriesAreClear(kernel));
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

// Through the unit's parameters, with the design reused while the model holds: still the
// documented loop, bit for bit, for every model, rate, stride and buffer arrangement.
TEST(KernelClass, IsBitIdenticalToTheOracleAcrossCalls) {
    kerneltest::ExpectMatchesOracleEverywhere([](double rate) {
        std::shared_ptr<KernelUnit> unit = UnitAt(rate);
        unit->Reset(kAudioUnitScope_Global, 0);
        return
            [unit](float m, float v, const float* s, float* d, std::uint32_t n, std::uint32_t st) {
                unit->SetParameter(kParam_Loudspeaker, m);
                unit->SetParameter(kParam_Volume, v);
                bool silence = false;
                unit->KernelFor(0).Process(s, d, n, st, silence);
            };
    });
}

// After every call the kernel holds exactly the design a fresh one would make of the voiced
// model: 2.9 is 2, 5.99 is 5, and 0.5, 6, -1, NaN and 1e10 keep what was there.
TEST(KernelClass, ReadsTheModelAndKeepsItsVoicingForInvalidValues) {
    const struct {
        float parameter;
        int voiced;
    } kSequence[] = {{7, 1},     {2.9f, 2}, {0.5f, 2}, {5.99f, 5},
                     {6, 5},     {-1, 5},   {3, 3},    {std::numeric_limits<float>::quiet_NaN(), 3},
                     {1e10f, 3}, {3.5f, 3}, {1, 1}};
    auto unit = UnitAt(44100);
    unit->Reset(kAudioUnitScope_Global, 0);
    Kernel& kernel = unit->KernelFor(0);
    for (const auto& step : kSequence) {
        unit->SetParameter(kParam_Loudspeaker, step.parameter);
        ProcessNoise(kernel, 16);
        EXPECT_TRUE(HoldsDesign(kernel, step.voiced, 44100)) << "parameter " << step.parameter;
    }
}

} // namespace
