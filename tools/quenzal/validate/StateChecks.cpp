// Saved state (the class-info property): its keys, a round trip into a fresh instance, and the
// refusal of state that is not this component's.
#include "Probe.h"
#include "Text.h"
#include "ValidationChecks.h"

#include <map>

namespace quenzal::validation {
namespace {

using ParameterValues = std::map<AudioUnitParameterID, Float32>;

Owned<CFDictionaryRef> SaveState(const Unit& unit) {
    CFPropertyListRef state = nullptr;
    UInt32 size = 0;
    ExpectStatus(
        unit.GetProperty(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, state, &size),
        noErr, "reading the saved state");
    Expect(size == sizeof state && state != nullptr, "the saved state is not one reference");
    Owned<CFPropertyListRef> owned(state);
    Expect(CFGetTypeID(state) == CFDictionaryGetTypeID(), "the saved state is not a dictionary");
    return Owned<CFDictionaryRef>(static_cast<CFDictionaryRef>(owned.release()));
}

OSStatus RestoreState(Unit& unit, CFPropertyListRef state) {
    return unit.SetProperty(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, state);
}

CFTypeRef ValueOf(CFDictionaryRef state, const std::string& key, CFTypeID type) {
    const CFTypeRef value = CFDictionaryGetValue(state, CFStringMakeConstantString(key.c_str()));
    Expect(value != nullptr && CFGetTypeID(value) == type,
           "the saved state has no \"" + key + "\" of the right type");
    return value;
}

SInt32 NumberOf(CFDictionaryRef state, const std::string& key) {
    SInt32 number = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(ValueOf(state, key, CFNumberGetTypeID())),
                     kCFNumberSInt32Type, &number);
    return number;
}

void ExpectCode(CFDictionaryRef state, const std::string& key, OSType registered) {
    const auto saved = static_cast<OSType>(NumberOf(state, key));
    Expect(saved == registered, "\"" + key + "\" is " + std::to_string(saved) +
                                    ", the registration says " + std::to_string(registered));
}

// Every writable parameter moved off its default; returns what each should then read.
ParameterValues ChangeEveryParameter(Probe& probe) {
    ParameterValues values;
    for (const ParameterDescription& parameter : Parameters(probe)) {
        const AudioUnitParameterInfo& info = parameter.info;
        values[parameter.id] = info.defaultValue;
        if (IsWritable(parameter)) {
            values[parameter.id] =
                info.defaultValue == info.maxValue ? info.minValue : info.maxValue;
            probe.SetParameter(parameter.id, values[parameter.id]);
        }
    }
    return values;
}

void ExpectValues(Probe& probe, const ParameterValues& values, const std::string& when) {
    for (const auto& [id, value] : values) {
        const Float32 got = probe.Parameter(id);
        Expect(got == value, when + ", parameter " + std::to_string(id) + " reads " +
                                 NumberText(got) + " instead of " + NumberText(value));
    }
}

void SavedStateHasItsKeys(AudioComponent component) {
    Probe probe(component);
    const Owned<CFDictionaryRef> state = SaveState(probe);
    AudioComponentDescription description{};
    AudioComponentGetDescription(component, &description);
    Expect(NumberOf(state.get(), "version") == 0, "the saved state's \"version\" is not 0");
    ExpectCode(state.get(), "type", description.componentType);
    ExpectCode(state.get(), "subtype", description.componentSubType);
    ExpectCode(state.get(), "manufacturer", description.componentManufacturer);
    ValueOf(state.get(), "data", CFDataGetTypeID());
    ValueOf(state.get(), "name", CFStringGetTypeID());
}

void RoundTrips(AudioComponent component) {
    Probe source(component);
    const ParameterValues values = ChangeEveryParameter(source);
    const Owned<CFDictionaryRef> state = SaveState(source);
    Probe target(component);
    ExpectStatus(RestoreState(target, state.get()), noErr, "restoring the saved state");
    ExpectValues(target, values, "after the restore");
}

Owned<CFDictionaryRef> WithOtherManufacturer(CFDictionaryRef state) {
    const CFIndex count = CFDictionaryGetCount(state);
    std::vector<const void*> keys(static_cast<size_t>(count));
    std::vector<const void*> values(static_cast<size_t>(count));
    CFDictionaryGetKeysAndValues(state, keys.data(), values.data());
    CFMutableDictionaryRef copy = CFDictionaryCreateMutable(
        nullptr, count, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    for (CFIndex i = 0; i < count; ++i) {
        CFDictionarySetValue(copy, keys[size_t(i)], values[size_t(i)]);
    }
    const SInt32 other = NumberOf(state, "manufacturer") ^ 0x01010101;
    const Owned<CFNumberRef> number(CFNumberCreate(nullptr, kCFNumberSInt32Type, &other));
    CFDictionarySetValue(copy, CFSTR("manufacturer"), number.get());
    return Owned<CFDictionaryRef>(copy);
}

void RefusesForeignState(AudioComponent component) {
    Probe source(component);
    ChangeEveryParameter(source);
    const Owned<CFDictionaryRef> foreign = WithOtherManufacturer(SaveState(source).get());
    Probe target(component);
    ParameterValues defaults;
    for (const ParameterDescription& parameter : Parameters(target)) {
        defaults[parameter.id] = parameter.info.defaultValue;
    }
    ExpectStatus(RestoreState(target, foreign.get()), kAudioUnitErr_InvalidPropertyValue,
                 "restoring a state saved by another manufacturer's component");
    ExpectValues(target, defaults, "after the refused restore");
}

void RefusesNonDictionary(AudioComponent component) {
    Probe probe(component);
    ExpectStatus(RestoreState(probe, CFSTR("not a saved state")),
                 kAudioUnitErr_InvalidPropertyValue, "restoring a string as the state");
}

} // namespace

std::vector<Check> StateChecks() {
    return {
        {"state-keys", SavedStateHasItsKeys},
        {"state-round-trip", RoundTrips},
        {"state-refuses-foreign", RefusesForeignState},
        {"state-refuses-non-dictionary", RefusesNonDictionary},
    };
}

} // namespace quenzal::validation
