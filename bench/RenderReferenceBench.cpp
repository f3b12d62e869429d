// The whole render, framework and all, against the plain scalar loop on the same frames: what a
// host gets per channel-sample compared with the simplest code that computes the same samples.
#include "RenderedEffect.h"
#include "ScalarReference.h"

namespace {

using namespace renderedeffect;

// The render's own work done plainly: each channel through the default voicing at 0 dB.
class ScalarChannels {
public:
    ScalarChannels(AUEffectBase& /*unit*/, const Channels& input)
        : mInput(input), mOutput(input), mStates(input.size()) {
        quenzal_voicing::Voicing voicing{};
        quenzal_voicing::Voice(voicing, quenzal_voicing::kDefaultModel, float(kRate));
        quenzal_voicing::DesignCoefficients(mDesign, voicing, float(kRate));
    }
    void Process() {
        const double gain = quenzal_voicing::VolumeGain(mVolume);
        for (std::size_t c = 0; c < mInput.size(); ++c) {
            scalarreference::ReferenceLoop(mDesign, mStates[c], mInput[c].data(), mOutput[c].data(),
                                           UInt32(mInput[c].size()), gain);
        }
    }

private:
    const Channels& mInput;
    Channels mOutput;
    std::vector<quenzal_voicing::FilterState> mStates;
    quenzal_voicing::Design mDesign{};
    volatile float mVolume = 0.0f;
};

void BM_RenderAgainstReference(benchmark::State& state) {
    RunRenderAgainst<ScalarChannels>(state, "reference");
}
BENCHMARK(BM_RenderAgainstReference)->Name("RenderAgainstReference")->Apply(SliceSizes);

} // namespace
