// What the framework costs around the kernels: a stereo effect fed by a host callback, rendered
// through its fast render function into the caller's buffers (subject), against the effect's own
// processing of the same frames called directly (reference).
#include "RenderedEffect.h"

namespace {

using namespace renderedeffect;

// Blocks of calls to each in turn, the order alternating, in thread CPU time, so that both see
// the same machine; a sample is one channel's frame.
void BM_RenderAgainstKernels(benchmark::State& state) {
    RunRenderAgainst<BareProcessing>(state, "kernels");
}
BENCHMARK(BM_RenderAgainstKernels)->Name("RenderAgainstKernels")->Apply(SliceSizes);

} // namespace
