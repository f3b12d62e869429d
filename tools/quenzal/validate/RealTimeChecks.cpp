// Real time: a render, and a parameter change between renders, may not allocate or take a lock,
// since either can wait on another thread for longer than the audio device allows. The counters
// see every such call in the check's child process, the component's included.
#include "Probe.h"
#include "RealTimeCounters.h"
#include "ValidationChecks.h"

namespace quenzal::validation {
namespace {

// Slice sizes a host uses, short and long, each rendered after every parameter moves.
constexpr UInt32 kSlices[] = {1, 64, 512};

void RendersWithoutAllocatingOrLocking(AudioComponent component) {
    Probe probe(component);
    probe.Prepare();
    const std::vector<ParameterDescription> parameters = Parameters(probe);
    BufferList list(kProbeChannels, kSlices[std::size(kSlices) - 1]);
    // The first render may set up what later ones reuse; only the steady state is held to zero.
    ExpectStatus(probe.RenderList(kSlices[0], *list.Get()), noErr, "rendering before counting");

    StartCounting();
    OSStatus status = noErr;
    for (const Float32 side : {0.0f, 1.0f}) {
        for (const ParameterDescription& parameter : parameters) {
            if (IsWritable(parameter)) {
                const AudioUnitParameterInfo& info = parameter.info;
                AudioUnitSetParameter(probe.Get(), parameter.id, kAudioUnitScope_Global, 0,
                                      info.minValue + side * (info.maxValue - info.minValue), 0);
            }
        }
        for (const UInt32 frames : kSlices) {
            for (UInt32 i = 0; i < kProbeChannels; ++i) {
                list.Buffer(i).mDataByteSize = frames * sizeof(float);
            }
            status = status != noErr ? status : probe.RenderList(frames, *list.Get());
        }
    }
    StopCounting();

    ExpectStatus(status, noErr, "rendering while counting");
    const long allocations = CountedAllocations();
    const long locks = CountedLocks();
    Expect(allocations == 0 && locks == 0,
           "rendering and setting parameters made " + std::to_string(allocations) +
               " allocation calls and took " + std::to_string(locks) + " locks");
}

} // namespace

std::vector<Check> RealTimeChecks() {
    return {{"render-real-time", RendersWithoutAllocatingOrLocking}};
}

} // namespace quenzal::validation
