// Why a host call failed: the call, the status the unit or platform returned, and its name.
#pragma once

#include "Platform/AudioTypes.h"

#include <stdexcept>
#include <string>

namespace hosting {

// [any thread] "InvalidProperty" for -10879, "noErr" for 0, "unknown" for a status no table has.
const char* StatusName(OSStatus status);

class HostError : public std::runtime_error {
public:
    // [any thread] A refusal by the unit: "CALL failed (status N, NAME)", or "(status N)" for a
    // status without a name.
    HostError(const std::string& call, OSStatus status);
    // [any thread] A failure told in its own words (a platform message, a missing file); status 0
    // when no call returned one.
    HostError(const std::string& call, OSStatus status, const std::string& message);
    // [any thread] A host's own failure, with no call or status behind it.
    explicit HostError(const std::string& message);

    const std::string& Call() const { return mCall; }
    OSStatus Status() const { return mStatus; }
    const char* StatusName() const { return hosting::StatusName(mStatus); }

private:
    std::string mCall;
    OSStatus mStatus = noErr;
};

// [any thread] Throws HostError(call, status) when status is not 0; builds no text otherwise.
void Check(OSStatus status, const char* call);
// [control thread] The same, for a call named by text built beforehand.
void Check(OSStatus status, const std::string& call);

} // namespace hosting
