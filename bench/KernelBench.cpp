// The kernel's sample loop against a plain loop of the same recurrence, on 512-frame calls.
//
// KernelLoop is what the kernel runs per call once its design is cached: the model check, the
// volume factor and ProcessSamples. ReferenceLoop is the plain scalar loop of ScalarReference.h.
// KernelAgainstReference times both, alternating within one run, and reports their ratio.
#include "Harwendel_QuenzalVoicing.h"
#include "ScalarReference.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <ctime>
#include <random>
#include <vector>

namespace {

using namespace quenzal_voicing;

constexpr std::uint32_t kFrames = 512;
constexpr float kRate = 44100.0f;
constexpr float kModelParameter = 2.0f;
constexpr float kVolumeParameter = 3.0f;

// Parameters read as the kernel reads them: values the compiler cannot fold. (A volatile
// round-trip: DoNotOptimize on a float in a register loses the value with this compiler.)
float Parameter(float value) {
    volatile float stored = value;
    return stored;
}

struct Channel {
    Design design{};
    FilterState state{};
    std::int32_t voicedModel = 0;
    std::vector<float> input = std::vector<float>(kFrames);
    std::vector<float> output = std::vector<float>(kFrames);

    Channel() {
        Redesign(static_cast<std::int32_t>(kModelParameter));
        std::mt19937 generator(1);
        std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
        for (float& sample : input) {
            sample = uniform(generator);
        }
    }

    void Redesign(std::int32_t model) {
        Voicing voicing{};
        Voice(voicing, model, kRate);
        DesignCoefficients(design, voicing, kRate);
        voicedModel = model;
    }
};

void KernelLoop(Channel& channel) {
    const std::int32_t model = SpeakerModelFromParameter(Parameter(kModelParameter));
    if (IsSpeakerModel(model) && model != channel.voicedModel) {
        channel.Redesign(model);
    }
    ProcessSamples(channel.design, channel.state, channel.input.data(), channel.output.data(),
                   kFrames, 1, VolumeGain(Parameter(kVolumeParameter)));
}

void ReferenceLoop(Channel& channel) {
    scalarreference::ReferenceLoop(channel.design, channel.state, channel.input.data(),
                                   channel.output.data(), kFrames,
                                   VolumeGain(Parameter(kVolumeParameter)));
}

benchmark::Counter PerSample(double calls) {
    return benchmark::Counter(calls * kFrames,
                              benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

template <void (*Loop)(Channel&)> void BM_Loop(benchmark::State& state) {
    Channel channel;
    for (auto _ : state) {
        Loop(channel);
        benchmark::DoNotOptimize(channel.output.data());
        benchmark::ClobberMemory();
    }
    state.counters["time_per_sample"] = PerSample(static_cast<double>(state.iterations()));
}
BENCHMARK_TEMPLATE(BM_Loop, KernelLoop)->Name("KernelLoop/512");
BENCHMARK_TEMPLATE(BM_Loop, ReferenceLoop)->Name("ReferenceLoop/512");

// Both loops must compute the same samples, or the comparison means nothing.
bool LoopsAgree() {
    Channel kernel;
    Channel reference;
    KernelLoop(kernel);
    ReferenceLoop(reference);
    return std::memcmp(kernel.output.data(), reference.output.data(), kFrames * sizeof(float)) == 0;
}

// Thread CPU time, so that time the scheduler gives to other processes counts for neither loop.
double ThreadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double SecondsOf(void (*loop)(Channel&), Channel& channel, int calls) {
    const double start = ThreadSeconds();
    for (int i = 0; i < calls; ++i) {
        loop(channel);
        benchmark::ClobberMemory();
    }
    return ThreadSeconds() - start;
}

// Blocks of calls to each loop in turn, in alternating order, so that both see the same machine
// conditions.
void BM_KernelAgainstReference(benchmark::State& state) {
    if (!LoopsAgree()) {
        state.SkipWithError("the loops disagree");
        return;
    }
    constexpr int kCallsPerBlock = 64;
    Channel kernel;
    Channel reference;
    double kernelSeconds = 0;
    double referenceSeconds = 0;
    bool kernelFirst = true;
    for (auto _ : state) {
        if (kernelFirst) {
            kernelSeconds += SecondsOf(KernelLoop, kernel, kCallsPerBlock);
        }
        referenceSeconds += SecondsOf(ReferenceLoop, reference, kCallsPerBlock);
        if (!kernelFirst) {
            kernelSeconds += SecondsOf(KernelLoop, kernel, kCallsPerBlock);
        }
        kernelFirst = !kernelFirst;
    }
    const double samples = static_cast<double>(state.iterations()) * kCallsPerBlock * kFrames;
    state.counters["kernel_ns_per_sample"] = kernelSeconds * 1e9 / samples;
    state.counters["reference_ns_per_sample"] = referenceSeconds * 1e9 / samples;
    state.counters["ratio"] = kernelSeconds / referenceSeconds;
}
BENCHMARK(BM_KernelAgainstReference)->Name("KernelAgainstReference/512")->MinTime(2.0);

} // namespace
