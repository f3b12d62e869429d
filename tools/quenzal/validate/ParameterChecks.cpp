// Parameters as a host sees them: the list, each one's info, defaults, value strings, setting and
// reading back, scheduled changes, and parameters that do not exist.
#include "Probe.h"
#include "Text.h"
#include "ValidationChecks.h"

#include <algorithm>
#include <cmath>

namespace quenzal::validation {
namespace {

std::string Named(const ParameterDescription& parameter) {
    return "parameter " + std::to_string(parameter.id);
}

void ListIsConsistent(AudioComponent component) {
    Probe probe(component);
    UInt32 size = 0;
    ExpectStatus(AudioUnitGetPropertyInfo(probe.Get(), kAudioUnitProperty_ParameterList,
                                          kAudioUnitScope_Global, 0, &size, nullptr),
                 noErr, "asking for the size of the parameter list");
    Expect(size % sizeof(AudioUnitParameterID) == 0,
           "the parameter list is " + std::to_string(size) + " bytes, not whole IDs");
    std::vector<AudioUnitParameterID> ids = probe.ParameterList();
    std::sort(ids.begin(), ids.end());
    Expect(std::adjacent_find(ids.begin(), ids.end()) == ids.end(),
           "the parameter list names an ID twice");
}

void InfoIsSane(AudioComponent component) {
    Probe probe(component);
    for (const ParameterDescription& parameter : Parameters(probe)) {
        const AudioUnitParameterInfo& info = parameter.info;
        Expect(info.flags & kAudioUnitParameterFlag_IsReadable,
               Named(parameter) + " is not readable");
        // The name a host shows: the name string when there is one, else the fixed field.
        Expect(!probe.ParameterName(parameter.id).empty(), Named(parameter) + " has no name");
        Expect(std::isfinite(info.minValue) && std::isfinite(info.maxValue) &&
                   std::isfinite(info.defaultValue),
               Named(parameter) + " has a range or default that is not finite");
        Expect(info.minValue <= info.defaultValue && info.defaultValue <= info.maxValue,
               Named(parameter) + " has its default " + NumberText(info.defaultValue) +
                   " outside " + NumberText(info.minValue) + " to " + NumberText(info.maxValue));
    }
}

void StartsAtDefaults(AudioComponent component) {
    Probe probe(component);
    for (const ParameterDescription& parameter : Parameters(probe)) {
        const Float32 value = probe.Parameter(parameter.id);
        Expect(value == parameter.info.defaultValue, Named(parameter) + " starts at " +
                                                         NumberText(value) + ", its default is " +
                                                         NumberText(parameter.info.defaultValue));
    }
}

void ValuesReadBack(AudioComponent component) {
    Probe probe(component);
    for (const ParameterDescription& parameter : Parameters(probe)) {
        if (!IsWritable(parameter)) {
            continue;
        }
        for (const Float32 value : {parameter.info.minValue, parameter.info.maxValue}) {
            probe.SetParameter(parameter.id, value);
            const Float32 readBack = probe.Parameter(parameter.id);
            Expect(readBack == value, Named(parameter) + " set to " + NumberText(value) +
                                          " reads " + NumberText(readBack));
        }
    }
}

void RefusesUnknownParameter(AudioComponent component) {
    Probe probe(component);
    const std::vector<AudioUnitParameterID> ids = probe.ParameterList();
    const AudioUnitParameterID unknown =
        (ids.empty() ? 0 : *std::max_element(ids.begin(), ids.end())) + 1000;
    Float32 value = 0;
    ExpectStatus(AudioUnitGetParameter(probe.Get(), unknown, kAudioUnitScope_Global, 0, &value),
                 kAudioUnitErr_InvalidParameter, "reading parameter " + std::to_string(unknown));
    AudioUnitParameterInfo info{};
    UInt32 size = sizeof info;
    ExpectStatus(AudioUnitGetProperty(probe.Get(), kAudioUnitProperty_ParameterInfo,
                                      kAudioUnitScope_Global, unknown, &info, &size),
                 kAudioUnitErr_InvalidParameter,
                 "reading the info of parameter " + std::to_string(unknown));
}

// Property 16 of a parameter: its array of value strings, null when it has none.
Owned<CFArrayRef> CopyValueStrings(const Unit& unit, AudioUnitParameterID id) {
    CFArrayRef strings = nullptr;
    UInt32 size = 0;
    if (unit.GetProperty(kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, id,
                         strings, &size) != noErr) {
        return nullptr;
    }
    Expect(size == sizeof strings,
           "the value strings answer has " + std::to_string(size) + " bytes, not one reference");
    return Owned<CFArrayRef>(strings);
}

void ExpectIndexedNames(CFArrayRef strings, const ParameterDescription& parameter) {
    Expect(CFGetTypeID(strings) == CFArrayGetTypeID(),
           "the value strings of " + Named(parameter) + " are not an array");
    const double range = double(parameter.info.maxValue) - parameter.info.minValue;
    Expect(range >= 0 && range < 1e6, Named(parameter) + " has no usable index range");
    const auto expected = static_cast<CFIndex>(range + 1);
    Expect(CFArrayGetCount(strings) == expected,
           Named(parameter) + " has " + std::to_string(CFArrayGetCount(strings)) +
               " value strings for " + std::to_string(expected) + " values");
    for (CFIndex i = 0; i < expected; ++i) {
        const CFTypeRef name = CFArrayGetValueAtIndex(strings, i);
        Expect(name != nullptr && CFGetTypeID(name) == CFStringGetTypeID() &&
                   CFStringGetLength(static_cast<CFStringRef>(name)) > 0,
               "value string " + std::to_string(i) + " of " + Named(parameter) +
                   " is not a non-empty string");
    }
}

void ValueStringsMatchRanges(AudioComponent component) {
    Probe probe(component);
    for (const ParameterDescription& parameter : Parameters(probe)) {
        const Owned<CFArrayRef> strings = CopyValueStrings(probe, parameter.id);
        const bool indexed = parameter.info.unit == kAudioUnitParameterUnit_Indexed;
        Expect(indexed || strings == nullptr,
               Named(parameter) + " is not indexed but has value strings");
        Expect(!indexed || strings != nullptr,
               Named(parameter) + " is indexed but has no value strings");
        if (strings != nullptr) {
            ExpectIndexedNames(strings.get(), parameter);
        }
    }
}

void ScheduledChangeTakesEffect(AudioComponent component) {
    Probe probe(component);
    probe.Prepare();
    for (const ParameterDescription& parameter : Parameters(probe)) {
        if (!IsWritable(parameter) || parameter.info.maxValue == parameter.info.defaultValue) {
            continue;
        }
        AudioUnitParameterEvent event{};
        event.scope = kAudioUnitScope_Global;
        event.parameter = parameter.id;
        event.eventType = kParameterEvent_Immediate;
        event.eventValues.immediate = {0, parameter.info.maxValue};
        ExpectStatus(AudioUnitScheduleParameters(probe.Get(), &event, 1), noErr,
                     "scheduling a change of " + Named(parameter));
        ExpectFinite(probe.RenderSignal(256), "the output");
        Expect(probe.Parameter(parameter.id) == parameter.info.maxValue,
               "the scheduled change of " + Named(parameter) + " did not take effect");
        return;
    }
}

} // namespace

std::vector<Check> ParameterChecks() {
    return {
        {"parameter-list", ListIsConsistent},
        {"parameter-info", InfoIsSane},
        {"parameter-defaults", StartsAtDefaults},
        {"parameter-set-get", ValuesReadBack},
        {"parameter-unknown", RefusesUnknownParameter},
        {"value-strings", ValueStringsMatchRanges},
        {"scheduled-parameter", ScheduledChangeTakesEffect},
    };
}

} // namespace quenzal::validation
