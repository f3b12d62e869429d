#include "CAException.h"

#include <cstdio>

void CARequireFailed(const char* condition, const char* label, const char* file, int line) {
    std::fprintf(stderr, "ca_require: %s %s %s:%d\n", condition, label, file, line);
}

void CARequireNoErrFailed(const char* expression, OSStatus error, const char* label,
                          const char* file, int line) {
    std::fprintf(stderr, "ca_require_noerr: [%s, %d] (goto %s;) %s:%d\n", expression,
                 static_cast<int>(error), label, file, line);
}

void CADebugString(const char* message, const char* file, int line) {
    std::fprintf(stderr, "ca_debug_string: %s %s:%d\n", message, file, line);
}

void CAAssertFailed(const char* expression) {
    std::fprintf(stderr, "error: failed assertion: %s\n", expression);
}
