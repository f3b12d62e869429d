#include "CAVectorUnit.h"

#include <cstdio>
#include <cstdlib>

std::atomic<SInt32> gCAVectorUnitType{kVecUninitialized};

namespace {

SInt32 ExamineProcessor() {
#if defined(__i386__) || defined(__x86_64__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("sse3")) {
        return kVecSSE3;
    }
    if (__builtin_cpu_supports("sse2")) {
        return kVecSSE2;
    }
#endif
    return kVecNone;
}

} // namespace

SInt32 CAVectorUnit::GetVectorUnitType() {
    const SInt32 cached = gCAVectorUnitType.load();
    if (cached != kVecUninitialized) {
        return cached;
    }
    // Not cached, so that clearing the variable later brings the vector routines back.
    if (std::getenv("CA_NoVector") != nullptr) {
        std::fputs("CA_NoVector set; Vector unit optimized routines will be bypassed\n", stderr);
        return kVecNone;
    }
    const SInt32 answer = ExamineProcessor();
    gCAVectorUnitType.store(answer);
    return answer;
}
