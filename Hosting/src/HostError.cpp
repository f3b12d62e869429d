#include "Hosting/HostError.h"

#include <iterator>

namespace hosting {
namespace {

struct NamedStatus {
    OSStatus status;
    const char* name;
};

constexpr NamedStatus kStatusNames[] = {
    {noErr, "noErr"},
    {paramErr, "paramErr"},
    {memFullErr, "memFullErr"},
    {kAudioUnitErr_InvalidProperty, "InvalidProperty"},
    {kAudioUnitErr_InvalidParameter, "InvalidParameter"},
    {kAudioUnitErr_InvalidElement, "InvalidElement"},
    {kAudioUnitErr_NoConnection, "NoConnection"},
    {kAudioUnitErr_FailedInitialization, "FailedInitialization"},
    {kAudioUnitErr_TooManyFramesToProcess, "TooManyFramesToProcess"},
    {kAudioUnitErr_FormatNotSupported, "FormatNotSupported"},
    {kAudioUnitErr_Uninitialized, "Uninitialized"},
    {kAudioUnitErr_InvalidScope, "InvalidScope"},
    {kAudioUnitErr_PropertyNotWritable, "PropertyNotWritable"},
    {kAudioUnitErr_InvalidPropertyValue, "InvalidPropertyValue"},
    {kAudioUnitErr_Initialized, "Initialized"},
};

// The table's name for status, or null when it has none.
const char* FindStatusName(OSStatus status) {
    for (const NamedStatus& named : kStatusNames) {
        if (named.status == status) {
            return named.name;
        }
    }
    return nullptr;
}

// "N, Name" when the status has a name, else just "N".
std::string DescribeStatus(OSStatus status) {
    const char* name = FindStatusName(status);
    return std::to_string(status) + (name != nullptr ? std::string(", ") + name : "");
}

} // namespace

const char* StatusName(OSStatus status) {
    const char* name = FindStatusName(status);
    return name != nullptr ? name : "unknown";
}

HostError::HostError(const std::string& call, OSStatus status)
    : HostError(call, status, call + " failed (status " + DescribeStatus(status) + ")") {}

HostError::HostError(const std::string& call, OSStatus status, const std::string& message)
    : std::runtime_error(message), mCall(call), mStatus(status) {}

HostError::HostError(const std::string& message) : std::runtime_error(message) {}

void Check(OSStatus status, const char* call) {
    if (status != noErr) {
        throw HostError(call, status);
    }
}

void Check(OSStatus status, const std::string& call) {
    if (status != noErr) {
        throw HostError(call, status);
    }
}

} // namespace hosting
