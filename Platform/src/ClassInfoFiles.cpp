/*
 * A unit's saved state (its class-info property) kept in an XML property-list file.
 */
#include "HostFiles.h"

#include "Platform/Host.h"
#include "Platform/PlistXML.h"

extern "C" {

OSStatus PlatformSaveClassInfoToFile(AudioUnit unit, const char* path, char* errorText,
                                     size_t errorSize) {
    if (path == nullptr) {
        platform::WriteErrorText(errorText, errorSize, "no file for the saved state");
        return paramErr;
    }
    CFPropertyListRef state = nullptr;
    UInt32 size = sizeof state;
    const OSStatus status = AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo,
                                                 kAudioUnitScope_Global, 0, &state, &size);
    if (status != noErr) {
        platform::WriteErrorText(errorText, errorSize,
                                 "%s: the unit did not hand out its state (status %d)", path,
                                 static_cast<int>(status));
        return status;
    }
    // A short answer leaves no reference that could safely be released.
    if (size != sizeof state || state == nullptr) {
        platform::WriteErrorText(errorText, errorSize, "%s: the unit handed out no state", path);
        return kPlatformErr_Failed;
    }
    const platform::OwnedPropertyList owned(state);
    return PlatformPropertyListWriteFile(state, path, errorText, errorSize);
}

OSStatus PlatformRestoreClassInfoFromFile(AudioUnit unit, const char* path, char* errorText,
                                          size_t errorSize) {
    if (path == nullptr) {
        platform::WriteErrorText(errorText, errorSize, "no file for the saved state");
        return paramErr;
    }
    CFPropertyListRef read = nullptr;
    const OSStatus readStatus = PlatformPropertyListReadFile(path, &read, errorText, errorSize);
    const platform::OwnedPropertyList state(read);
    if (readStatus != noErr) {
        return readStatus;
    }
    const CFPropertyListRef value = state.get();
    const OSStatus status = AudioUnitSetProperty(unit, kAudioUnitProperty_ClassInfo,
                                                 kAudioUnitScope_Global, 0, &value, sizeof value);
    if (status != noErr) {
        platform::WriteErrorText(errorText, errorSize,
                                 "%s: the unit refused the saved state (status %d)", path,
                                 static_cast<int>(status));
    }
    return status;
}

} // extern "C"
