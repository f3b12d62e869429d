// Stream formats accepted and refused, the sample rate, channel configurations and the slice size.
#include "Probe.h"
#include "StreamFormats.h"
#include "ValidationChecks.h"

namespace quenzal::validation {
namespace {

constexpr UInt32 kMatchingChannelCounts[] = {1, 2, 3, 8};
constexpr AUChannelInfo kMismatchedChannels[] = {{2, 1}, {1, 2}};

void DefaultFormatIsCanonical(AudioComponent component) {
    Probe probe(component);
    for (const AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        const auto format = ReadProperty<AudioStreamBasicDescription>(
            probe, kAudioUnitProperty_StreamFormat, scope, 0);
        Expect(SameFormat(format, CanonicalFormat(format.mChannelsPerFrame, format.mSampleRate)),
               "the default format is not deinterleaved 32-bit float: " + DescribeFormat(format));
    }
}

void ProbesFormat(AudioComponent component, const FormatProbe& probe) {
    Probe unit(component);
    for (const AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        const std::string call = std::string("setting ") + probe.label + " on the " +
                                 (scope == kAudioUnitScope_Input ? "input" : "output");
        const OSStatus status =
            unit.SetProperty(kAudioUnitProperty_StreamFormat, scope, 0, probe.format);
        if (!probe.canonical) {
            ExpectStatus(status, kAudioUnitErr_FormatNotSupported, call);
            continue;
        }
        ExpectStatus(status, noErr, call);
        const auto readBack = ReadProperty<AudioStreamBasicDescription>(
            unit, kAudioUnitProperty_StreamFormat, scope, 0);
        Expect(SameFormat(readBack, probe.format),
               "the format read back differs: " + DescribeFormat(readBack));
    }
}

void SampleRatePropertyChangesFormat(AudioComponent component) {
    Probe probe(component);
    const Float64 rate = 96000;
    ExpectStatus(probe.SetProperty(kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, rate),
                 noErr, "setting the output sample rate to 96000 Hz");
    const auto format = ReadProperty<AudioStreamBasicDescription>(
        probe, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0);
    Expect(format.mSampleRate == rate, "the output format then reads " + DescribeFormat(format));
}

void FormatLockedWhileInitialized(AudioComponent component) {
    Probe probe(component);
    probe.Prepare(2, 48000);
    ExpectStatus(probe.SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0,
                                   CanonicalFormat(2, 44100)),
                 kAudioUnitErr_PropertyNotWritable, "changing the format while initialized");
    ExpectStatus(probe.SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0,
                                   CanonicalFormat(2, 48000)),
                 noErr, "setting the format it already has while initialized");
}

OSStatus InitializeWithChannels(AudioComponent component, UInt32 in, UInt32 out) {
    Probe probe(component);
    ExpectStatus(probe.SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0,
                                   CanonicalFormat(in, 48000)),
                 noErr, "setting " + std::to_string(in) + " input channels");
    ExpectStatus(probe.SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0,
                                   CanonicalFormat(out, 48000)),
                 noErr, "setting " + std::to_string(out) + " output channels");
    return AudioUnitInitialize(probe.Get());
}

std::string ChannelText(SInt16 in, SInt16 out) {
    return std::to_string(in) + " in, " + std::to_string(out) + " out";
}

// A published table names the pairs to accept; without one, an effect takes as many outputs as
// inputs and nothing else.
void ChannelConfigurations(AudioComponent component) {
    Probe probe(component);
    UInt32 size = 0;
    if (AudioUnitGetPropertyInfo(probe.Get(), kAudioUnitProperty_SupportedNumChannels,
                                 kAudioUnitScope_Global, 0, &size, nullptr) == noErr &&
        size >= sizeof(AUChannelInfo)) {
        std::vector<AUChannelInfo> table(size / sizeof(AUChannelInfo));
        ExpectStatus(AudioUnitGetProperty(probe.Get(), kAudioUnitProperty_SupportedNumChannels,
                                          kAudioUnitScope_Global, 0, table.data(), &size),
                     noErr, "reading the channel configurations");
        for (const AUChannelInfo& pair : table) {
            if (pair.inChannels > 0 && pair.outChannels > 0) {
                ExpectStatus(InitializeWithChannels(component, pair.inChannels, pair.outChannels),
                             noErr,
                             "initializing with " + ChannelText(pair.inChannels, pair.outChannels));
            }
        }
        return;
    }
    for (const UInt32 channels : kMatchingChannelCounts) {
        ExpectStatus(InitializeWithChannels(component, channels, channels), noErr,
                     "initializing with " + ChannelText(SInt16(channels), SInt16(channels)));
    }
    for (const AUChannelInfo& pair : kMismatchedChannels) {
        ExpectStatus(InitializeWithChannels(component, pair.inChannels, pair.outChannels),
                     kAudioUnitErr_FormatNotSupported,
                     "initializing with " + ChannelText(pair.inChannels, pair.outChannels));
    }
}

void MaximumFramesProperty(AudioComponent component) {
    Probe probe(component);
    const UInt32 frames = 4096;
    ExpectStatus(probe.SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global,
                                   0, frames),
                 noErr, "setting the maximum frames per slice");
    Expect(ReadProperty<UInt32>(probe, kAudioUnitProperty_MaximumFramesPerSlice,
                                kAudioUnitScope_Global, 0) == frames,
           "the maximum frames per slice did not read back");
    probe.Prepare();
    ExpectStatus(probe.SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global,
                                   0, frames / 2),
                 kAudioUnitErr_Initialized, "changing the maximum frames while initialized");
}

} // namespace

std::vector<Check> FormatChecks() {
    std::vector<Check> checks{{"default-format", DefaultFormatIsCanonical}};
    for (const FormatProbe& probe : FormatProbes()) {
        checks.push_back({(probe.canonical ? "accepts-" : "refuses-") + probe.name,
                          [probe](AudioComponent component) { ProbesFormat(component, probe); }});
    }
    checks.push_back({"sample-rate-property", SampleRatePropertyChangesFormat});
    checks.push_back({"format-locked-while-initialized", FormatLockedWhileInitialized});
    checks.push_back({"channel-configurations", ChannelConfigurations});
    checks.push_back({"maximum-frames-property", MaximumFramesProperty});
    return checks;
}

} // namespace quenzal::validation
