// Bad input from a host is answered with a status, never acted on: null pointers, zero and short
// sizes, scopes and elements that do not exist.
#include "Probe.h"
#include "StreamFormats.h"
#include "ValidationChecks.h"

#include <algorithm>
#include <cstring>

namespace quenzal::validation {
namespace {

constexpr AudioUnitScope kMissingScope = 7;
constexpr AudioUnitElement kMissingElement = 9;
constexpr AudioUnitPropertyID kUnknownProperty = 0x7FFF0000;

struct BadCall {
    const char* name;
    const char* call;
    bool prepared; // initialized and connected before the call
    OSStatus expected;
    OSStatus (*make)(Probe& probe);
};

OSStatus GetFormat(Probe& probe, AudioUnitScope scope, AudioUnitElement element, UInt32* size) {
    AudioStreamBasicDescription format{};
    return AudioUnitGetProperty(probe.Get(), kAudioUnitProperty_StreamFormat, scope, element,
                                &format, size);
}

OSStatus SetFormat(Probe& probe, const void* data, UInt32 size) {
    return AudioUnitSetProperty(probe.Get(), kAudioUnitProperty_StreamFormat,
                                kAudioUnitScope_Output, 0, data, size);
}

OSStatus RenderWith(Probe& probe, const AudioTimeStamp* timeStamp, AudioBufferList* list) {
    AudioUnitRenderActionFlags flags = 0;
    return AudioUnitRender(probe.Get(), &flags, timeStamp, 0, 64, list);
}

const AudioStreamBasicDescription kFormat = CanonicalFormat(2, 48000);

const BadCall kBadCalls[] = {
    {"get-property-null-size", "reading the stream format with a null size pointer", false,
     paramErr, [](Probe& p) { return GetFormat(p, kAudioUnitScope_Output, 0, nullptr); }},
    {"get-property-zero-size", "reading the stream format with a size of 0", false, paramErr,
     [](Probe& p) {
         UInt32 size = 0;
         return GetFormat(p, kAudioUnitScope_Output, 0, &size);
     }},
    {"set-property-null-data", "setting the stream format from a null pointer", false, paramErr,
     [](Probe& p) { return SetFormat(p, nullptr, sizeof kFormat); }},
    {"set-property-zero-size", "setting the stream format with a size of 0", false, paramErr,
     [](Probe& p) { return SetFormat(p, &kFormat, 0); }},
    {"set-format-short", "setting the stream format with 35 bytes", false,
     kAudioUnitErr_InvalidPropertyValue, [](Probe& p) { return SetFormat(p, &kFormat, 35); }},
    {"set-maximum-frames-short", "setting the maximum frames with 2 bytes", false,
     kAudioUnitErr_InvalidPropertyValue,
     [](Probe& p) {
         const UInt32 frames = 1024;
         return AudioUnitSetProperty(p.Get(), kAudioUnitProperty_MaximumFramesPerSlice,
                                     kAudioUnitScope_Global, 0, &frames, 2);
     }},
    {"property-invalid-scope", "reading the stream format in scope 7", false,
     kAudioUnitErr_InvalidScope,
     [](Probe& p) {
         UInt32 size = sizeof(AudioStreamBasicDescription);
         return GetFormat(p, kMissingScope, 0, &size);
     }},
    {"property-invalid-element", "reading the stream format of input element 9", false,
     kAudioUnitErr_InvalidElement,
     [](Probe& p) {
         UInt32 size = sizeof(AudioStreamBasicDescription);
         return GetFormat(p, kAudioUnitScope_Input, kMissingElement, &size);
     }},
    {"unknown-property", "asking for the size of property 0x7FFF0000", false,
     kAudioUnitErr_InvalidProperty,
     [](Probe& p) {
         UInt32 size = 0;
         Boolean writable = false;
         return AudioUnitGetPropertyInfo(p.Get(), kUnknownProperty, kAudioUnitScope_Global, 0,
                                         &size, &writable);
     }},
    {"get-parameter-null-value", "reading parameter 0 into a null pointer", false, paramErr,
     [](Probe& p) {
         return AudioUnitGetParameter(p.Get(), 0, kAudioUnitScope_Global, 0, nullptr);
     }},
    {"parameter-invalid-scope", "reading parameter 0 in scope 7", false, kAudioUnitErr_InvalidScope,
     [](Probe& p) {
         Float32 value = 0;
         return AudioUnitGetParameter(p.Get(), 0, kMissingScope, 0, &value);
     }},
    {"state-short-size", "setting the saved state with 2 bytes", false,
     kAudioUnitErr_InvalidPropertyValue,
     [](Probe& p) {
         const CFPropertyListRef state = CFSTR("state");
         return AudioUnitSetProperty(p.Get(), kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global,
                                     0, &state, 2);
     }},
    {"render-null-time-stamp", "rendering without a time stamp", true, paramErr,
     [](Probe& p) {
         BufferList list(kProbeChannels, 64);
         return RenderWith(p, nullptr, list.Get());
     }},
    {"render-null-buffer-list", "rendering without a buffer list", true, paramErr,
     [](Probe& p) {
         const AudioTimeStamp timeStamp{};
         return RenderWith(p, &timeStamp, nullptr);
     }},
    {"render-notify-null", "adding a null render notification", false, paramErr,
     [](Probe& p) { return AudioUnitAddRenderNotify(p.Get(), nullptr, nullptr); }},
};

Check BadCallCheck(const BadCall& bad) {
    return {bad.name, [&bad](AudioComponent component) {
                Probe probe(component);
                if (bad.prepared) {
                    probe.Prepare();
                }
                ExpectStatus(bad.make(probe), bad.expected, bad.call);
            }};
}

// A buffer smaller than the property gets at most what fits, and nothing beyond it.
void ShortBufferGetsNoMore(AudioComponent component) {
    Probe probe(component);
    constexpr Byte kGuard = 0xA5;
    Byte buffer[16];
    std::fill(std::begin(buffer), std::end(buffer), kGuard);
    UInt32 size = 4;
    const OSStatus status = AudioUnitGetProperty(probe.Get(), kAudioUnitProperty_Latency,
                                                 kAudioUnitScope_Global, 0, buffer, &size);
    Expect(std::all_of(buffer + 4, std::end(buffer), [](Byte b) { return b == kGuard; }),
           "reading the 8-byte latency into 4 bytes wrote past them");
    Expect(status != noErr || size <= 4,
           "reading the latency into 4 bytes reported " + std::to_string(size) + " bytes");
}

void InfoWithoutOutputs(AudioComponent component) {
    Probe probe(component);
    ExpectStatus(AudioUnitGetPropertyInfo(probe.Get(), kAudioUnitProperty_StreamFormat,
                                          kAudioUnitScope_Output, 0, nullptr, nullptr),
                 noErr, "asking for the stream format's info with no place for the answers");
}

} // namespace

std::vector<Check> BadInputChecks() {
    std::vector<Check> checks;
    for (const BadCall& bad : kBadCalls) {
        checks.push_back(BadCallCheck(bad));
    }
    checks.push_back({"get-property-short-buffer", ShortBufferGetsNoMore});
    checks.push_back({"get-property-info-null-outputs", InfoWithoutOutputs});
    return checks;
}

} // namespace quenzal::validation
