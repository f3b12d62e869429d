#include "InfoCommand.h"

#include "QuenzalHost.h"
#include "QuietStandardError.h"
#include "StreamFormats.h"
#include "Text.h"

#include <cstdio>
#include <string>

namespace quenzal {
namespace {

// The display name lives only in the registration file; a file without one shows its path.
std::string RegisteredName(const ComponentLocation& location) {
    const Owned<CFPropertyListRef> plist =
        hosting::ReadPropertyListFileOrNull(location.registration);
    if (plist == nullptr || CFGetTypeID(plist.get()) != CFDictionaryGetTypeID()) {
        return location.library;
    }
    const CFTypeRef name =
        CFDictionaryGetValue(static_cast<CFDictionaryRef>(plist.get()), CFSTR("name"));
    if (name == nullptr || CFGetTypeID(name) != CFStringGetTypeID()) {
        return location.library;
    }
    return PlatformStringUTF8(static_cast<CFStringRef>(name));
}

void PrintIdentity(const ComponentLocation& location, AudioComponent component, const Unit& unit) {
    AudioComponentDescription description{};
    AudioComponentGetDescription(component, &description);
    std::printf("%s\n", RegisteredName(location).c_str());
    std::printf("  library        %s\n", location.library.c_str());
    std::printf("  registration   %s\n", location.registration.c_str());
    std::printf("  codes          type %s, subtype %s, manufacturer %s\n",
                CodeText(description.componentType).c_str(),
                CodeText(description.componentSubType).c_str(),
                CodeText(description.componentManufacturer).c_str());
    std::printf("  version        0x%08X registered, 0x%08X from the unit\n",
                static_cast<unsigned>(PlatformComponentVersion(component)),
                static_cast<unsigned>(AudioComponentInstanceVersion(unit.Get())));
}

void PrintTiming(const Unit& unit) {
    std::printf("  latency        %g s\n", unit.Latency());
    Float64 tail = 0;
    if (unit.GetProperty(kAudioUnitProperty_TailTime, kAudioUnitScope_Global, 0, tail) == noErr) {
        std::printf("  tail           %g s\n", tail);
    } else {
        std::printf("  tail           none\n");
    }
}

void PrintInPlace(const Unit& unit) {
    UInt32 inPlace = 0;
    if (unit.GetProperty(kAudioUnitProperty_InPlaceProcessing, kAudioUnitScope_Global, 0,
                         inPlace) != noErr) {
        std::printf("  in place       not reported\n");
        return;
    }
    UInt32 size = 0;
    Boolean writable = false;
    AudioUnitGetPropertyInfo(unit.Get(), kAudioUnitProperty_InPlaceProcessing,
                             kAudioUnitScope_Global, 0, &size, &writable);
    std::printf("  in place       %s%s\n", inPlace ? "on" : "off",
                writable ? " (the host may switch it)" : "");
}

std::string UnitText(UInt32 unit) {
    switch (unit) {
    case kAudioUnitParameterUnit_Generic:
        return "";
    case kAudioUnitParameterUnit_Indexed:
        return "indexed";
    case kAudioUnitParameterUnit_Decibels:
        return "dB";
    default:
        return "unit " + std::to_string(unit);
    }
}

std::string AccessText(UInt32 flags) {
    const bool readable = flags & kAudioUnitParameterFlag_IsReadable;
    const bool writable = flags & kAudioUnitParameterFlag_IsWritable;
    return readable && writable ? "read/write" : readable ? "read only" : "write only";
}

void PrintParameter(const Unit& unit, AudioUnitParameterID id) {
    const AudioUnitParameterInfo info = unit.ParameterInfo(id);
    std::printf("  %-4u %-14.52s %-8s %g to %g, default %g, %s (flags 0x%08X)\n",
                static_cast<unsigned>(id), info.name, UnitText(info.unit).c_str(), info.minValue,
                info.maxValue, info.defaultValue, AccessText(info.flags).c_str(),
                static_cast<unsigned>(info.flags));
    const std::vector<std::string> names = unit.ValueStrings(id);
    for (size_t i = 0; i < names.size(); ++i) {
        std::printf("         %g = %s\n", info.minValue + static_cast<double>(i), names[i].c_str());
    }
}

void PrintParameters(const Unit& unit) {
    const std::vector<AudioUnitParameterID> ids = unit.ParameterList();
    std::printf("\nParameters (global scope)\n");
    if (ids.empty()) {
        std::printf("  none\n");
    }
    for (const AudioUnitParameterID id : ids) {
        PrintParameter(unit, id);
    }
}

// Each probe on a fresh instance, so that one accepted format cannot influence the next answer.
OSStatus ProbeFormat(AudioComponent component, const AudioStreamBasicDescription& format) {
    Unit unit(component);
    const QuietStandardError quiet;
    return unit.SetBusFormats(format);
}

void PrintFormats(AudioComponent component) {
    std::printf("\nStream formats (input and output bus 0)\n");
    for (const FormatProbe& probe : FormatProbes()) {
        const OSStatus status = ProbeFormat(component, probe.format);
        if (status == noErr) {
            std::printf("  accepted  %s\n", probe.label.c_str());
        } else {
            std::printf("  refused   %s (status %d)\n", probe.label.c_str(),
                        static_cast<int>(status));
        }
    }
}

} // namespace

void RunInfo(const InfoOptions& options) {
    const ComponentLocation location = FindComponent(options.component);
    const AudioComponent component = RegisterComponent(location);
    const Unit unit(component);
    PrintIdentity(location, component, unit);
    PrintTiming(unit);
    PrintInPlace(unit);
    PrintParameters(unit);
    PrintFormats(component);
}

} // namespace quenzal
