#include "StateCommand.h"

#include "ParameterSettings.h"
#include "QuenzalHost.h"
#include "SavedParameters.h"
#include "Text.h"
#include "VoicingSettings.h"

#include <cstdio>
#include <string_view>
#include <vector>

namespace quenzal {
namespace {

Owned<CFPropertyListRef> ReadStateFile(const std::string& path) {
    Owned<CFPropertyListRef> plist =
        hosting::ReadPropertyListFile(path, "cannot read the saved state");
    if (CFGetTypeID(plist.get()) != CFDictionaryGetTypeID()) {
        throw HostError(path + ": not a saved state (the property list is not a dictionary)");
    }
    return plist;
}

bool IsCodeKey(std::string_view key) {
    return key == "type" || key == "subtype" || key == "manufacturer";
}

std::string NumberValueText(CFNumberRef number, bool isCode) {
    if (CFNumberIsFloatType(number)) {
        double value = 0;
        CFNumberGetValue(number, kCFNumberDoubleType, &value);
        return NumberText(value);
    }
    SInt64 value = 0;
    CFNumberGetValue(number, kCFNumberSInt64Type, &value);
    return isCode ? CodeText(static_cast<OSType>(value)) : std::to_string(value);
}

std::string ValueText(std::string_view key, CFTypeRef value) {
    const CFTypeID type = CFGetTypeID(value);
    if (type == CFNumberGetTypeID()) {
        return NumberValueText(static_cast<CFNumberRef>(value), IsCodeKey(key));
    }
    if (type == CFStringGetTypeID()) {
        return std::string("\"") + PlatformStringUTF8(static_cast<CFStringRef>(value)) + "\"";
    }
    if (type == CFDataGetTypeID()) {
        return std::to_string(CFDataGetLength(static_cast<CFDataRef>(value))) + " bytes";
    }
    if (type == CFDictionaryGetTypeID()) {
        const CFIndex count = CFDictionaryGetCount(static_cast<CFDictionaryRef>(value));
        return "a dictionary of " + std::to_string(count) + (count == 1 ? " entry" : " entries");
    }
    return "a value of another type";
}

void PrintKeys(CFDictionaryRef state) {
    const CFIndex count = CFDictionaryGetCount(state);
    std::vector<const void*> keys(static_cast<size_t>(count));
    std::vector<const void*> values(static_cast<size_t>(count));
    CFDictionaryGetKeysAndValues(state, keys.data(), values.data());
    for (CFIndex i = 0; i < count; ++i) {
        const CFTypeRef key = keys[size_t(i)];
        const std::string name = CFGetTypeID(key) == CFStringGetTypeID()
                                     ? PlatformStringUTF8(static_cast<CFStringRef>(key))
                                     : "(a key that is not text)";
        std::printf("  %-14s %s\n", name.c_str(), ValueText(name, values[size_t(i)]).c_str());
    }
}

void PrintParameters(const std::string& path, CFDictionaryRef state) {
    const CFTypeRef data = CFDictionaryGetValue(state, CFSTR("data"));
    if (data == nullptr) {
        std::printf("no parameter data\n");
        return;
    }
    if (CFGetTypeID(data) != CFDataGetTypeID()) {
        throw HostError(path + ": the key \"data\" does not hold the parameter data");
    }
    const auto blob = static_cast<CFDataRef>(data);
    std::vector<SavedParameter> parameters;
    try {
        parameters = DecodeSavedParameters(CFDataGetBytePtr(blob),
                                           static_cast<size_t>(CFDataGetLength(blob)));
    } catch (const std::runtime_error& problem) {
        throw HostError(path + ": the parameter data is damaged: " + problem.what());
    }
    std::printf("parameters (scope/element/parameter = value)\n");
    for (const SavedParameter& parameter : parameters) {
        std::printf("  %u/%u/%u = %s\n", static_cast<unsigned>(parameter.scope),
                    static_cast<unsigned>(parameter.element), static_cast<unsigned>(parameter.id),
                    NumberText(parameter.value).c_str());
    }
}

void PrintPresetName(CFDictionaryRef state) {
    const CFTypeRef name = CFDictionaryGetValue(state, CFSTR("name"));
    if (name != nullptr && CFGetTypeID(name) == CFStringGetTypeID()) {
        std::printf("preset name: %s\n", PlatformStringUTF8(static_cast<CFStringRef>(name)));
    } else {
        std::printf("no preset name\n");
    }
}

} // namespace

void RunStateSave(const StateSaveOptions& options) {
    Unit unit(RegisterComponent(FindComponent(options.component)));
    ApplyVoicing(unit, options.speaker, options.volume);
    ApplyParameterSettings(unit, options.settings);
    unit.SaveStateFile(options.file);
    std::printf("saved the state to %s\n", options.file.c_str());
}

void RunStateShow(const StateShowOptions& options) {
    const Owned<CFPropertyListRef> plist = ReadStateFile(options.file);
    const auto state = static_cast<CFDictionaryRef>(plist.get());
    std::printf("%s\n", options.file.c_str());
    PrintKeys(state);
    PrintParameters(options.file, state);
    PrintPresetName(state);
}

} // namespace quenzal
