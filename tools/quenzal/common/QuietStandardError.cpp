#include "QuietStandardError.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace quenzal {

QuietStandardError::QuietStandardError() {
    std::fflush(stderr);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0) {
        return;
    }
    mSaved = dup(STDERR_FILENO);
    if (mSaved >= 0) {
        dup2(null, STDERR_FILENO);
    }
    close(null);
}

QuietStandardError::~QuietStandardError() {
    if (mSaved >= 0) {
        std::fflush(stderr);
        dup2(mSaved, STDERR_FILENO);
        close(mSaved);
    }
}

} // namespace quenzal
