// Several channels of 512 frames through the multi-channel path (groups as wide as the processor
// runs, and four lanes alone) against the plain scalar loop run channel by channel, and what a
// redesign of the coefficients costs against one call of that loop.
#include "Harwendel_QuenzalLanes.h"
#include "PairedTiming.h"
#include "ScalarReference.h"

#include <cstring>
#include <random>
#include <vector>

namespace {

using namespace quenzal_voicing;

constexpr std::uint32_t kFrames = 512;
constexpr float kRate = 44100.0f;
constexpr std::int32_t kModel = 2;

// Read as the unit reads its parameter: a value the compiler cannot fold.
double Gain() {
    volatile float decibels = 3.0f;
    return VolumeGain(decibels);
}

Design DesignFor(std::int32_t model) {
    Voicing voicing{};
    Design design{};
    Voice(voicing, model, kRate);
    DesignCoefficients(design, voicing, kRate);
    return design;
}

// Channels of noise with their memories, processed out of place.
struct Channels {
    Design design = DesignFor(kModel);
    std::vector<FilterState> states;
    std::vector<std::vector<float>> input;
    std::vector<std::vector<float>> output;

    explicit Channels(unsigned count)
        : states(count), input(count, std::vector<float>(kFrames)),
          output(count, std::vector<float>(kFrames)) {
        std::mt19937 generator(5);
        std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
        for (auto& channel : input) {
            for (float& sample : channel) {
                sample = uniform(generator);
            }
        }
    }
    unsigned Count() const { return static_cast<unsigned>(states.size()); }

    void InLanes(unsigned widest) {
        quenzal_lanes::ProcessChannels(design, Gain(), Count(), kFrames, widest, [&](unsigned c) {
            return quenzal_lanes::ChannelRef{&states[c], input[c].data(), output[c].data()};
        });
    }
    void OneByOne() {
        const double gain = Gain();
        for (unsigned c = 0; c < Count(); ++c) {
            scalarreference::ReferenceLoop(design, states[c], input[c].data(), output[c].data(),
                                           kFrames, gain);
        }
    }
};

bool LanesAgreeWithReference(unsigned count, unsigned widest) {
    Channels lanes(count);
    Channels reference(count);
    lanes.InLanes(widest);
    reference.OneByOne();
    for (unsigned c = 0; c < count; ++c) {
        if (std::memcmp(lanes.output[c].data(), reference.output[c].data(),
                        kFrames * sizeof(float)) != 0) {
            return false;
        }
    }
    return true;
}

// Arguments: channels, widest lane group (clamped to what the processor runs).
void BM_MultiChannel(benchmark::State& state) {
    const auto count = static_cast<unsigned>(state.range(0));
    const unsigned available = quenzal_lanes::WidestLanesAvailable();
    const unsigned widest = std::min(static_cast<unsigned>(state.range(1)), available);
    if (widest < 4 || !LanesAgreeWithReference(count, widest)) {
        state.SkipWithError(widest < 4 ? "no lanes here" : "lanes and reference disagree");
        return;
    }
    state.SetLabel("groups up to " + std::to_string(widest) + " lanes");
    Channels lanes(count);
    Channels reference(count);
    pairedtiming::RunPaired(
        state, "lanes", [&] { lanes.InLanes(widest); }, "reference", [&] { reference.OneByOne(); },
        double(count) * kFrames);
}
BENCHMARK(BM_MultiChannel)
    ->Name("MultiChannel/512")
    ->ArgNames({"channels", "lanes"})
    ->Args({2, 8})
    ->Args({8, 8})
    ->Args({2, 4})
    ->Args({8, 4})
    ->MinTime(2.0);

// A model change costs the voicing and the coefficient step; the figure per sample is that cost
// spread over one 512-frame call, and the ratio compares it with the call itself.
void BM_Redesign(benchmark::State& state) {
    Channels reference(1);
    std::int32_t model = 1;
    Design design{};
    pairedtiming::RunPaired(
        state, "redesign",
        [&] {
            model = model % kModelCount + 1;
            design = DesignFor(model);
            benchmark::DoNotOptimize(design);
        },
        "reference", [&] { reference.OneByOne(); }, kFrames);
}
BENCHMARK(BM_Redesign)->Name("Redesign/512")->MinTime(2.0);

} // namespace
