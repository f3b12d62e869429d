// Opening and closing, initialize and uninitialize, the version, and which selectors are served.
#include "Probe.h"
#include "ValidationChecks.h"

#include <span>

namespace quenzal::validation {
namespace {

constexpr SInt16 kServedSelectors[] = {-1, -2, -3, -4, 1,  2,  3,  4,  5, 6,
                                       7,  9,  10, 11, 14, 15, 16, 17, 18};
constexpr SInt16 kUnservedSelectors[] = {0, 8, 12, 13, 19, 20, -5};

void OpensAndCloses(AudioComponent component) {
    try {
        Unit unit(component);
        Expect(unit.Get() != nullptr, "opening answered 0 but gave no instance");
        ExpectStatus(unit.Close(), noErr, "closing the instance");
    } catch (const HostError& refused) {
        ExpectStatus(refused.Status(), noErr, "opening an instance");
    }
}

void OpensAndClosesRepeatedly(AudioComponent component) {
    for (int round = 0; round < 50; ++round) {
        OpensAndCloses(component);
    }
}

// Every state a host takes an instance through, several times over.
void SurvivesLifecycleCycles(AudioComponent component) {
    for (int round = 0; round < 8; ++round) {
        Probe probe(component);
        probe.Prepare();
        ExpectFinite(probe.RenderSignal(256), "the output");
        ExpectStatus(AudioUnitUninitialize(probe.Get()), noErr, "uninitializing");
    }
}

void Reinitializes(AudioComponent component) {
    Probe probe(component);
    probe.Configure();
    for (int round = 0; round < 3; ++round) {
        ExpectStatus(AudioUnitInitialize(probe.Get()), noErr, "initializing");
        ExpectStatus(AudioUnitUninitialize(probe.Get()), noErr, "uninitializing");
    }
    ExpectStatus(AudioUnitInitialize(probe.Get()), noErr, "initializing after three rounds");
    ExpectStatus(AudioUnitReset(probe.Get(), kAudioUnitScope_Global, 0), noErr, "resetting");
    ExpectFinite(probe.RenderSignal(64), "the output");
}

void VersionMatchesRegistration(AudioComponent component) {
    Probe probe(component);
    ExpectStatus(AudioComponentInstanceVersion(probe.Get()),
                 static_cast<OSStatus>(PlatformComponentVersion(component)),
                 "the version selector (against the registered version)");
}

void CanDoAnswers(AudioComponent component, std::span<const SInt16> selectors, OSStatus answer) {
    Probe probe(component);
    std::string wrong;
    for (const SInt16 selector : selectors) {
        const OSStatus got = AudioComponentInstanceCanDo(probe.Get(), selector);
        if (got != answer) {
            wrong += (wrong.empty() ? "" : ", ") + std::to_string(selector) + " (answered " +
                     std::to_string(got) + ")";
        }
    }
    Expect(wrong.empty(), "can-do should answer " + std::to_string(answer) + " for " + wrong);
}

void RefusesUnservedSelectors(AudioComponent component) {
    Probe probe(component);
    const intptr_t zeros[6] = {};
    for (const SInt16 selector : kUnservedSelectors) {
        ExpectStatus(PlatformCallSelector(probe.Get(), selector, zeros, 6), badComponentSelector,
                     "selector " + std::to_string(selector));
    }
}

// A change in one instance must not show in another: nothing per instance may be shared.
void InstancesAreIndependent(AudioComponent component) {
    Probe changed(component);
    Probe untouched(component);
    for (const ParameterDescription& parameter : Parameters(changed)) {
        if (!IsWritable(parameter) || parameter.info.maxValue == parameter.info.defaultValue) {
            continue;
        }
        const Float32 before = untouched.Parameter(parameter.id);
        changed.SetParameter(parameter.id, parameter.info.maxValue);
        Expect(untouched.Parameter(parameter.id) == before,
               "setting parameter " + std::to_string(parameter.id) +
                   " in one instance changed it in another");
    }
    changed.Prepare(1, 22050);
    untouched.Prepare(2, 48000);
    const auto format = ReadProperty<AudioStreamBasicDescription>(
        untouched, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0);
    Expect(format.mChannelsPerFrame == 2 && format.mSampleRate == 48000,
           "a format set on one instance showed in another");
}

} // namespace

Check OpenCheck() {
    return {"open-close", OpensAndCloses};
}

std::vector<Check> LifecycleChecks() {
    return {
        {"open-close-repeatedly", OpensAndClosesRepeatedly},
        {"lifecycle-cycles", SurvivesLifecycleCycles},
        {"reinitialize", Reinitializes},
        {"version", VersionMatchesRegistration},
        {"can-do-served",
         [](AudioComponent component) { CanDoAnswers(component, kServedSelectors, 1); }},
        {"can-do-unserved",
         [](AudioComponent component) { CanDoAnswers(component, kUnservedSelectors, 0); }},
        {"unserved-selectors", RefusesUnservedSelectors},
        {"instances-independent", InstancesAreIndependent},
    };
}

} // namespace quenzal::validation
