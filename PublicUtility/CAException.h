// Failure reporting shared by the framework: statuses thrown deep inside the unit, the trap that
// turns them back into results at every entry, and the one-line diagnostics on standard error.
#pragma once

#include "Platform/AudioTypes.h"

#include <new>

// Failures deep inside the unit travel as a thrown OSStatus.
[[noreturn]] inline void CAThrowStatus(OSStatus status) {
    throw status;
}

// Runs fn, turning what it throws into a status: out of memory -108, a thrown 32-bit or 16-bit
// status its (sign-extended) value, anything else -1.
template <class Fn> OSStatus CATrapStatus(Fn&& fn) noexcept {
    try {
        return fn();
    } catch (const std::bad_alloc&) {
        return memFullErr;
    } catch (OSStatus status) {
        return status;
    } catch (SInt16 status) {
        return status;
    } catch (...) {
        return -1;
    }
}

// [any thread] Formats into a fixed buffer and writes it to standard error in one call: no
// allocation and no stream lock, so the render thread may report a refusal. A line is at most
// 1023 bytes.
__attribute__((format(printf, 1, 2))) void CADiagnostic(const char* format, ...);

// "ca_require: %s %s %s:%d\n"
void CARequireFailed(const char* condition, const char* label, const char* file, int line);
// "ca_require_noerr: [%s, %d] (goto %s;) %s:%d\n"
void CARequireNoErrFailed(const char* expression, OSStatus error, const char* label,
                          const char* file, int line);
// "ca_debug_string: %s %s:%d\n"
void CADebugString(const char* message, const char* file, int line);
// "error: failed assertion: %s\n"
void CAAssertFailed(const char* expression);
