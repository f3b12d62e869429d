#include "CAException.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <unistd.h>

void CADiagnostic(const char* format, ...) {
    char line[1024];
    va_list arguments;
    va_start(arguments, format);
    const int formatted = std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    if (formatted <= 0) {
        return;
    }
    const char* next = line;
    size_t left = std::min(static_cast<size_t>(formatted), sizeof line - 1);
    while (left > 0) {
        const ssize_t written = ::write(STDERR_FILENO, next, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return;
        }
        next += written;
        left -= static_cast<size_t>(written);
    }
}

void CARequireFailed(const char* condition, const char* label, const char* file, int line) {
    CADiagnostic("ca_require: %s %s %s:%d\n", condition, label, file, line);
}

void CARequireNoErrFailed(const char* expression, OSStatus error, const char* label,
                          const char* file, int line) {
    CADiagnostic("ca_require_noerr: [%s, %d] (goto %s;) %s:%d\n", expression,
                 static_cast<int>(error), label, file, line);
}

void CADebugString(const char* message, const char* file, int line) {
    CADiagnostic("ca_debug_string: %s %s:%d\n", message, file, line);
}

void CAAssertFailed(const char* expression) {
    CADiagnostic("error: failed assertion: %s\n", expression);
}
