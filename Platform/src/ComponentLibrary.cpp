/*
 * Registering a component library by path: its registration file (an XML property list) names
 * the four-character codes, the version and the entry symbol.
 *
 * A loaded library stays loaded for the life of the process: the strings and functions its units
 * hand out (names, listeners, fast entry functions) may outlive the component.
 */
#include "HostFiles.h"

#include "Platform/Host.h"
#include "Platform/PlistXML.h"

#include <dlfcn.h>

#include <algorithm>
#include <new>
#include <string>

namespace {

// A complete message that names the file it is about.
struct LoadFailure {
    std::string message;
    OSStatus status = kPlatformErr_Failed;
};

// What is wrong inside a registration file; the file's name is added by the caller.
struct RegistrationFault {
    std::string problem;
};

struct Registration {
    AudioComponentDescription description{};
    UInt32 version = 0;
    std::string entry;
};

CFTypeRef RequiredValue(CFDictionaryRef dict, const std::string& key, CFTypeID type,
                        const char* typeName) {
    const CFTypeRef value = CFDictionaryGetValue(dict, CFStringMakeConstantString(key.c_str()));
    if (value == nullptr) {
        throw RegistrationFault{"key \"" + key + "\" is missing"};
    }
    if (CFGetTypeID(value) != type) {
        throw RegistrationFault{"key \"" + key + "\" is not " + typeName};
    }
    return value;
}

std::string StringValue(CFDictionaryRef dict, const std::string& key) {
    const auto text =
        static_cast<CFStringRef>(RequiredValue(dict, key, CFStringGetTypeID(), "a string"));
    return std::string(PlatformStringUTF8(text), static_cast<std::size_t>(CFStringGetLength(text)));
}

bool IsFourPrintableCharacters(const std::string& text) {
    return text.size() == 4 &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
}

// Four-character codes are big-endian: the first character is the high byte.
OSType CodeValue(CFDictionaryRef dict, const std::string& key) {
    const std::string text = StringValue(dict, key);
    if (!IsFourPrintableCharacters(text)) {
        throw RegistrationFault{"key \"" + key + "\" is not four printable ASCII characters"};
    }
    OSType code = 0;
    for (const char c : text) {
        code = code << 8 | static_cast<UInt8>(c);
    }
    return code;
}

UInt32 VersionValue(CFDictionaryRef dict) {
    const auto number =
        static_cast<CFNumberRef>(RequiredValue(dict, "version", CFNumberGetTypeID(), "a number"));
    SInt64 version = -1;
    if (CFNumberIsFloatType(number) || !CFNumberGetValue(number, kCFNumberSInt64Type, &version) ||
        version < 0 || version > 0xFFFFFFFF) {
        throw RegistrationFault{"key \"version\" is not an integer from 0 to 4294967295"};
    }
    return static_cast<UInt32>(version);
}

Registration RegistrationFrom(CFPropertyListRef plist) {
    if (CFGetTypeID(plist) != CFDictionaryGetTypeID()) {
        throw RegistrationFault{"the property list is not a dictionary"};
    }
    const auto dict = static_cast<CFDictionaryRef>(plist);
    Registration registration;
    registration.description.componentType = CodeValue(dict, "type");
    registration.description.componentSubType = CodeValue(dict, "subtype");
    registration.description.componentManufacturer = CodeValue(dict, "manufacturer");
    registration.version = VersionValue(dict);
    registration.entry = StringValue(dict, "entry");
    StringValue(dict, "name"); // required by the format, though only hosts show it
    return registration;
}

Registration ReadRegistration(const char* path) {
    char readError[1024] = "";
    CFPropertyListRef read = nullptr;
    const OSStatus status = PlatformPropertyListReadFile(path, &read, readError, sizeof readError);
    const platform::OwnedPropertyList plist(read);
    if (status != noErr) {
        throw LoadFailure{readError, status};
    }
    try {
        return RegistrationFrom(plist.get());
    } catch (const RegistrationFault& fault) {
        throw LoadFailure{std::string("registration file ") + path + ": " + fault.problem};
    }
}

ComponentRoutine LoadEntry(const char* libraryPath, const char* registrationPath,
                           const std::string& symbol) {
    void* library = dlopen(libraryPath, RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        throw LoadFailure{std::string("cannot load component library ") + libraryPath + ": " +
                          (why != nullptr ? why : "unknown error")};
    }
    void* entry = dlsym(library, symbol.c_str());
    if (entry == nullptr) {
        dlclose(library);
        throw LoadFailure{std::string("component library ") + libraryPath + " has no symbol \"" +
                          symbol + "\" (the entry named in " + registrationPath + ")"};
    }
    return reinterpret_cast<ComponentRoutine>(entry);
}

} // namespace

extern "C" OSStatus PlatformRegisterComponentLibrary(const char* libraryPath,
                                                     const char* registrationPath,
                                                     AudioComponent* outComponent, char* errorText,
                                                     size_t errorSize) {
    if (outComponent == nullptr) {
        platform::WriteErrorText(errorText, errorSize, "no place for the result given");
        return paramErr;
    }
    *outComponent = nullptr;
    if (libraryPath == nullptr || registrationPath == nullptr) {
        platform::WriteErrorText(errorText, errorSize, "no component library or registration file");
        return paramErr;
    }
    try {
        const Registration registration = ReadRegistration(registrationPath);
        const ComponentRoutine entry = LoadEntry(libraryPath, registrationPath, registration.entry);
        *outComponent =
            PlatformRegisterComponent(&registration.description, entry, registration.version);
        if (*outComponent == nullptr) {
            throw std::bad_alloc();
        }
        platform::WriteErrorText(errorText, errorSize, std::string_view());
        return noErr;
    } catch (const LoadFailure& failure) {
        platform::WriteErrorText(errorText, errorSize, failure.message);
        return failure.status;
    } catch (const std::bad_alloc&) {
        platform::WriteErrorText(errorText, errorSize, "%s: out of memory while registering",
                                 registrationPath);
        return memFullErr;
    }
}
