// Counts the frames of silent input that are still to be treated as sound (the unit's latency
// plus tail), so that a filter's decay is not cut off when its input falls silent.
#pragma once

#include "Platform/AudioTypes.h"

class AUSilentTimeout {
public:
    // [render thread] Updates the countdown; clears ioSilence while frames remain.
    void Process(UInt32 frames, UInt32 timeoutLimit, bool& ioSilence) {
        if (ioSilence) {
            if (mRestartPending) {
                mFramesLeft = static_cast<SInt32>(timeoutLimit);
                mRestartPending = false;
            }
            if (mFramesLeft > 0) {
                const SInt64 left = SInt64(mFramesLeft) - SInt64(frames);
                mFramesLeft = static_cast<SInt32>(left < INT32_MIN ? INT32_MIN : left);
                ioSilence = false;
            }
        } else {
            mRestartPending = true;
        }
    }

    SInt32 FramesLeft() const { return mFramesLeft; }
    bool RestartPending() const { return mRestartPending; }

private:
    SInt32 mFramesLeft = 0;
    bool mRestartPending = true;
};
