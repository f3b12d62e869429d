// Finding a component library and its registration file, registering it, and reading the
// property-list files that lie beside units.
#pragma once

#include "Hosting/Owned.h"
#include "Platform/Host.h"

#include <string>

namespace hosting {

// [any thread] A four-character code as a number: the first character is the high byte.
constexpr OSType FourCharCode(const char (&code)[5]) {
    return OSType(Byte(code[0])) << 24 | OSType(Byte(code[1])) << 16 | OSType(Byte(code[2])) << 8 |
           OSType(Byte(code[3]));
}

// Where a component lives: its library and the registration file beside it.
struct ComponentLocation {
    std::string library;
    std::string registration;
};

// Where a host looks when it is given no path.
struct ComponentSearch {
    std::string libraryFile;     // the library's file name, "Harwendel_Quenzal.so"
    std::string installedFolder; // relative to the running executable's folder
    std::string builtFolder;     // the build tree's, absolute
    std::string hint;            // appended when nothing is found, "(use --component PATH)"
};

// [control thread] The library and registration file named by folder/libraryFile.
ComponentLocation LocationInFolder(const std::string& folder, const std::string& libraryFile);

// [control thread] explicitPath (a library, or a folder holding search.libraryFile), else the
// installed one beside the executable, else the built one; throws HostError naming where it
// looked.
ComponentLocation FindComponent(const std::string& explicitPath, const ComponentSearch& search);

// A registered component, forgotten when the owner goes; Release() keeps it for the process.
class Registration {
public:
    Registration() = default;
    // [control thread] Takes over a registered component (null: none).
    explicit Registration(AudioComponent component) : mComponent(component) {}
    // [control thread] Unregisters; every instance of it must have been disposed.
    ~Registration();
    Registration(Registration&& other) noexcept : mComponent(other.Release()) {}
    Registration& operator=(Registration&& other) noexcept;
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

    AudioComponent Get() const { return mComponent; }
    // [control thread] Stops owning: the component stays registered.
    AudioComponent Release();

private:
    AudioComponent mComponent = nullptr;
};

// [control thread] Loads and registers the library with what its registration file names;
// throws HostError carrying the platform's message.
Registration RegisterComponentLibrary(const ComponentLocation& location);

// [control thread] Registers an entry linked into this program (tests, benchmarks).
Registration RegisterEntry(const AudioComponentDescription& description, ComponentRoutine entry,
                           UInt32 version);

// [control thread] Reads an XML property list; throws HostError with the platform's message, or
// "PATH: " + fallback when it gives none.
Owned<CFPropertyListRef> ReadPropertyListFile(const std::string& path, const std::string& fallback);
// [control thread] Reads an XML property list; null when the file is missing or unreadable.
Owned<CFPropertyListRef> ReadPropertyListFileOrNull(const std::string& path);

} // namespace hosting
