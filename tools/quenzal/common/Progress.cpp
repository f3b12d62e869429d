#include "Progress.h"

#include <cstdio>
#include <unistd.h>

namespace quenzal {

Progress::Progress(std::string label, int64_t total, bool enabled)
    : mLabel(std::move(label)), mTotal(total), mEnabled(enabled && total > 0 && isatty(2)) {}

Progress::~Progress() {
    if (mEnabled && mShownPercent >= 0) {
        std::fputc('\n', stderr);
    }
}

void Progress::Advance(int64_t amount) {
    const std::lock_guard lock(mMutex);
    mDone += amount;
    if (mEnabled) {
        Draw();
    }
}

void Progress::Draw() {
    const int percent = static_cast<int>(mDone >= mTotal ? 100 : mDone * 100 / mTotal);
    if (percent == mShownPercent) {
        return;
    }
    mShownPercent = percent;
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", mLabel.c_str(), filled,
                 "########################################", kWidth - filled, "", percent);
    std::fflush(stderr);
}

} // namespace quenzal
