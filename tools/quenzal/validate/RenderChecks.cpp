// Rendering: slice sizes up to the maximum and past it, the caller's or the unit's memory,
// repeatability, bypass and in-place processing, and the render error a host reads back.
#include "Probe.h"
#include "Text.h"
#include "ValidationChecks.h"

#include <cmath>

namespace quenzal::validation {
namespace {

constexpr UInt32 kFrames = 512;

UInt32 MaximumFrames(Probe& probe) {
    return ReadProperty<UInt32>(probe, kAudioUnitProperty_MaximumFramesPerSlice,
                                kAudioUnitScope_Global, 0);
}

// frames 0 stands for the unit's maximum frames per slice.
void RendersSlice(AudioComponent component, UInt32 frames) {
    Probe probe(component);
    probe.Prepare();
    frames = frames != 0 ? frames : MaximumFrames(probe);
    BufferList list(kProbeChannels, frames);
    ExpectStatus(probe.RenderList(frames, *list.Get()), noErr,
                 "rendering " + std::to_string(frames) + " frames");
    for (UInt32 i = 0; i < kProbeChannels; ++i) {
        Expect(list.Buffer(i).mDataByteSize == frames * sizeof(float),
               "buffer " + std::to_string(i) + " came back with " +
                   std::to_string(list.Buffer(i).mDataByteSize) + " bytes");
    }
    ExpectFinite(list.Samples(), "the output");
}

// With null data pointers the unit lends its own memory, holding the rendered frames.
void RendersIntoUnitMemory(AudioComponent component) {
    Probe probe(component);
    probe.Prepare();
    BufferList list(kProbeChannels, kFrames, false);
    ExpectStatus(probe.RenderList(kFrames, *list.Get()), noErr, "rendering with null buffers");
    Signal lent(kProbeChannels);
    for (UInt32 i = 0; i < kProbeChannels; ++i) {
        const AudioBuffer& buffer = list.Buffer(i);
        Expect(buffer.mData != nullptr, "buffer " + std::to_string(i) + " is still null");
        Expect(buffer.mDataByteSize == kFrames * sizeof(float),
               "buffer " + std::to_string(i) + " came back with " +
                   std::to_string(buffer.mDataByteSize) + " bytes");
        const auto* samples = static_cast<const float*>(buffer.mData);
        lent[i].assign(samples, samples + kFrames);
    }
    ExpectFinite(lent, "the lent output");
}

// A render the unit must refuse, and how to set it up.
struct RefusedRender {
    const char* name;
    const char* call;
    OSStatus expected;
    enum class Setup { Prepared, Uninitialized, WithoutInput } setup = Setup::Prepared;
    UInt32 buffers = kProbeChannels;
    UInt32 bytesShort = 0;    // taken off the last buffer's size
    bool pastMaximum = false; // the maximum frames per slice plus one, instead of kFrames
};

const RefusedRender kRefusedRenders[] = {
    {"render-maximum-plus-one", "rendering the maximum frames plus one",
     kAudioUnitErr_TooManyFramesToProcess, RefusedRender::Setup::Prepared, kProbeChannels, 0, true},
    {"render-uninitialized", "rendering before initialize", kAudioUnitErr_Uninitialized,
     RefusedRender::Setup::Uninitialized},
    {"render-without-input", "rendering with nothing connected to the input",
     kAudioUnitErr_NoConnection, RefusedRender::Setup::WithoutInput},
    {"render-wrong-buffer-count", "rendering stereo into one buffer", paramErr,
     RefusedRender::Setup::Prepared, kProbeChannels - 1},
    {"render-short-buffer", "rendering into a buffer 48 bytes short", paramErr,
     RefusedRender::Setup::Prepared, kProbeChannels, 48},
};

void SetUp(Probe& probe, RefusedRender::Setup setup) {
    switch (setup) {
    case RefusedRender::Setup::Prepared:
        probe.Prepare();
        break;
    case RefusedRender::Setup::Uninitialized:
        probe.Configure();
        break;
    case RefusedRender::Setup::WithoutInput:
        probe.SetStreamFormat(kProbeChannels, kProbeRate);
        probe.Initialize();
        break;
    }
}

void RefusesRender(AudioComponent component, const RefusedRender& refused) {
    Probe probe(component);
    SetUp(probe, refused.setup);
    const UInt32 frames = refused.pastMaximum ? MaximumFrames(probe) + 1 : kFrames;
    BufferList list(refused.buffers, frames);
    list.Buffer(refused.buffers - 1).mDataByteSize -= refused.bytesShort;
    ExpectStatus(probe.RenderList(frames, *list.Get()), refused.expected, refused.call);
}

void RepeatsAfterReset(AudioComponent component) {
    Probe probe(component);
    probe.Prepare();
    const Signal first = probe.RenderSignal(1024);
    ExpectFinite(first, "the output");
    probe.Restart();
    Expect(SameBits(first, probe.RenderSignal(1024)),
           "the same input after a reset gave different output");
    Probe other(component);
    other.Prepare();
    Expect(SameBits(first, other.RenderSignal(1024)),
           "a second instance gave different output for the same input");
}

std::vector<Float32> ValuesToTry(const AudioUnitParameterInfo& info) {
    if (info.unit != kAudioUnitParameterUnit_Indexed) {
        return {info.minValue, info.maxValue};
    }
    std::vector<Float32> values;
    constexpr size_t kMostValues = 64;
    for (Float32 value = info.minValue; value <= info.maxValue && values.size() < kMostValues;
         value += 1) {
        values.push_back(value);
    }
    return values;
}

void FiniteForEverySetting(AudioComponent component) {
    Probe probe(component);
    probe.Prepare();
    for (const ParameterDescription& parameter : Parameters(probe)) {
        if (!IsWritable(parameter)) {
            continue;
        }
        for (const Float32 value : ValuesToTry(parameter.info)) {
            probe.SetParameter(parameter.id, value);
            ExpectFinite(probe.RenderSignal(1024), "with parameter " +
                                                       std::to_string(parameter.id) + " at " +
                                                       NumberText(value) + " the output");
        }
        probe.SetParameter(parameter.id, parameter.info.defaultValue);
    }
}

void BypassPassesInputThrough(AudioComponent component) {
    Probe probe(component);
    probe.Prepare();
    const UInt32 on = 1;
    ExpectStatus(probe.SetProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, on),
                 noErr, "switching bypass on");
    Expect(ReadProperty<UInt32>(probe, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global,
                                0) == 1,
           "bypass does not read back as on");
    Expect(SameBits(probe.RenderSignal(kFrames), TestSignal(kProbeChannels, 0, kFrames)),
           "the bypassed output differs from the input");
}

Signal RenderWithInPlace(AudioComponent component, UInt32 inPlace) {
    Probe probe(component);
    ReadProperty<UInt32>(probe, kAudioUnitProperty_InPlaceProcessing, kAudioUnitScope_Global, 0);
    ExpectStatus(
        probe.SetProperty(kAudioUnitProperty_InPlaceProcessing, kAudioUnitScope_Global, 0, inPlace),
        noErr, "setting in-place processing to " + std::to_string(inPlace));
    probe.Prepare();
    return probe.RenderSignal(1024);
}

void InPlaceChangesNothingAudible(AudioComponent component) {
    Expect(SameBits(RenderWithInPlace(component, 1), RenderWithInPlace(component, 0)),
           "the output differs with and without in-place processing");
}

void ReportsLastRenderError(AudioComponent component) {
    Probe probe(component);
    probe.Prepare();
    const UInt32 frames = MaximumFrames(probe) + 1;
    BufferList list(kProbeChannels, frames);
    probe.RenderList(frames, *list.Get());
    const auto error = [&probe] {
        return ReadProperty<OSStatus>(probe, kAudioUnitProperty_LastRenderError,
                                      kAudioUnitScope_Global, 0);
    };
    ExpectStatus(error(), kAudioUnitErr_TooManyFramesToProcess, "the first read of the error");
    ExpectStatus(error(), noErr, "the second read of the error");
}

void ReportsLatencyAndTail(AudioComponent component) {
    Probe probe(component);
    const auto latency =
        ReadProperty<Float64>(probe, kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0);
    Expect(std::isfinite(latency) && latency >= 0, "latency " + NumberText(latency) + " s");
    Float64 tail = 0;
    UInt32 size = sizeof tail;
    const OSStatus status = AudioUnitGetProperty(probe.Get(), kAudioUnitProperty_TailTime,
                                                 kAudioUnitScope_Global, 0, &tail, &size);
    Expect(status == kAudioUnitErr_InvalidProperty ||
               (status == noErr && std::isfinite(tail) && tail >= 0),
           "the tail time read " + NumberText(tail) + " s with status " + std::to_string(status));
}

} // namespace

std::vector<Check> RenderChecks() {
    std::vector<Check> checks{
        {"render-1-frame", [](AudioComponent component) { RendersSlice(component, 1); }},
        {"render-512-frames", [](AudioComponent component) { RendersSlice(component, 512); }},
        {"render-maximum-frames", [](AudioComponent component) { RendersSlice(component, 0); }},
        {"render-null-buffers", RendersIntoUnitMemory},
        {"render-repeatable", RepeatsAfterReset},
        {"render-finite-every-setting", FiniteForEverySetting},
        {"bypass", BypassPassesInputThrough},
        {"in-place", InPlaceChangesNothingAudible},
        {"last-render-error", ReportsLastRenderError},
        {"latency-and-tail", ReportsLatencyAndTail},
    };
    for (const RefusedRender& refused : kRefusedRenders) {
        checks.push_back({refused.name, [&refused](AudioComponent component) {
                              RefusesRender(component, refused);
                          }});
    }
    return checks;
}

} // namespace quenzal::validation
