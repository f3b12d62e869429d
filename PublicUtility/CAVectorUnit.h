// The processor's vector unit, as the unit reports it: 101 with SSE3, 100 with SSE2, 0 without
// or when "CA_NoVector" is set in the environment.
#pragma once

#include "Platform/AudioTypes.h"

#include <atomic>

enum { kVecUninitialized = -1, kVecNone = 0, kVecSSE2 = 100, kVecSSE3 = 101 };

// The process-wide answer, kVecUninitialized until the processor has been examined.
extern std::atomic<SInt32> gCAVectorUnitType;

class CAVectorUnit {
public:
    static SInt32 GetVectorUnitType();
};
