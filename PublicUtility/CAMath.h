// Exact floating-point comparisons: a NaN is unequal to everything.
#pragma once

inline bool fequal(const double& a, const double& b) {
    return a == b;
}
inline bool fnotequal(const double& a, const double& b) {
    return !fequal(a, b);
}

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

// The processor's floating-point control word (MXCSR on x86; nothing to read or write
// elsewhere). [any thread] Each thread has its own.
namespace CAFloatingPointMode {

inline constexpr unsigned kFlushToZeroAndDenormalsAreZero = 0x8040;

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("sse"))) inline unsigned Read() {
    return _mm_getcsr();
}
__attribute__((target("sse"))) inline void Write(unsigned mode) {
    _mm_setcsr(mode);
}
#else
inline unsigned Read() {
    return 0;
}
inline void Write(unsigned) {}
#endif

} // namespace CAFloatingPointMode

// Flush-to-zero and denormals-are-zero for the guard's lifetime, the mode every render runs in,
// so that decaying filter memories cost no time; the caller's mode comes back on every way out.
class CADenormalsOff {
public:
    // [any thread] Affects the calling thread only.
    CADenormalsOff() : mSaved(CAFloatingPointMode::Read()) {
        CAFloatingPointMode::Write(mSaved | CAFloatingPointMode::kFlushToZeroAndDenormalsAreZero);
    }
    ~CADenormalsOff() { CAFloatingPointMode::Write(mSaved); }
    CADenormalsOff(const CADenormalsOff&) = delete;
    CADenormalsOff& operator=(const CADenormalsOff&) = delete;

private:
    const unsigned mSaved;
};
