#include "Hosting/Component.h"

#include "Hosting/HostError.h"
#include "Platform/PlistXML.h"

#include <filesystem>
#include <utility>

namespace fs = std::filesystem;

namespace hosting {
namespace {

// Room for any message the platform writes: a path and a sentence.
constexpr size_t kMessageSize = 1024;

fs::path ExecutableFolder() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self.parent_path();
}

ComponentLocation LocationOfLibrary(const fs::path& library) {
    fs::path registration = library;
    registration.replace_extension(".plist");
    return {library.string(), registration.string()};
}

bool IsFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// The one reader of property-list files; the platform's message lands in message.
Owned<CFPropertyListRef> ReadWithMessage(const std::string& path, std::string& message) {
    char text[kMessageSize] = {};
    CFPropertyListRef read = nullptr;
    PlatformPropertyListReadFile(path.c_str(), &read, text, sizeof text);
    message = text;
    return Owned<CFPropertyListRef>(read);
}

} // namespace

ComponentLocation LocationInFolder(const std::string& folder, const std::string& libraryFile) {
    return LocationOfLibrary(fs::path(folder) / libraryFile);
}

ComponentLocation FindComponent(const std::string& explicitPath, const ComponentSearch& search) {
    if (!explicitPath.empty()) {
        fs::path path(explicitPath);
        std::error_code error;
        if (fs::is_directory(path, error)) {
            path /= search.libraryFile;
        }
        if (!IsFile(path)) {
            throw HostError(explicitPath + ": no component library there");
        }
        return LocationOfLibrary(path);
    }
    const fs::path installed = ExecutableFolder() / search.installedFolder / search.libraryFile;
    if (IsFile(installed)) {
        return LocationOfLibrary(installed);
    }
    const fs::path built = fs::path(search.builtFolder) / search.libraryFile;
    if (IsFile(built)) {
        return LocationOfLibrary(built);
    }
    throw HostError("cannot find the component: looked for " + installed.string() + " and " +
                    built.string() + (search.hint.empty() ? "" : " " + search.hint));
}

Registration::~Registration() {
    if (mComponent != nullptr) {
        PlatformUnregisterComponent(mComponent);
    }
}

Registration& Registration::operator=(Registration&& other) noexcept {
    if (this != &other) {
        Registration old(std::exchange(mComponent, other.Release()));
    }
    return *this;
}

AudioComponent Registration::Release() {
    return std::exchange(mComponent, nullptr);
}

Registration RegisterComponentLibrary(const ComponentLocation& location) {
    char message[kMessageSize] = {};
    AudioComponent component = nullptr;
    const OSStatus status =
        PlatformRegisterComponentLibrary(location.library.c_str(), location.registration.c_str(),
                                         &component, message, sizeof message);
    if (status != noErr) {
        throw HostError("registering the component", status,
                        message[0] ? message : location.library + ": cannot load the component");
    }
    return Registration(component);
}

Registration RegisterEntry(const AudioComponentDescription& description, ComponentRoutine entry,
                           UInt32 version) {
    const AudioComponent component = PlatformRegisterComponent(&description, entry, version);
    if (component == nullptr) {
        throw HostError("registering the component", noErr, "cannot register the component");
    }
    return Registration(component);
}

Owned<CFPropertyListRef> ReadPropertyListFile(const std::string& path,
                                              const std::string& fallback) {
    std::string message;
    Owned<CFPropertyListRef> plist = ReadWithMessage(path, message);
    if (plist == nullptr) {
        throw HostError("reading " + path, noErr,
                        message.empty() ? path + ": " + fallback : message);
    }
    return plist;
}

Owned<CFPropertyListRef> ReadPropertyListFileOrNull(const std::string& path) {
    std::string message;
    return ReadWithMessage(path, message);
}

} // namespace hosting
