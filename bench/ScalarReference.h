// The plain scalar loop every speed figure is a ratio to: one channel's recurrence written out,
// memories in locals and the coefficients in a local copy (so that it, too, is not slowed by
// possible aliasing through the output), without the recovery check.
#pragma once

#include "Harwendel_QuenzalVoicing.h"

#include <cstdint>

namespace scalarreference {

inline void ReferenceLoop(const quenzal_voicing::Design& design,
                          quenzal_voicing::FilterState& state, const float* source,
                          float* destination, std::uint32_t frames, double gain) {
    using quenzal_voicing::kStageCount;
    const quenzal_voicing::Design d = design;
    float w1[kStageCount];
    float w2[kStageCount];
    for (int i = 0; i < kStageCount; ++i) {
        w1[i] = state.mW[i][1];
        w2[i] = state.mW[i][2];
    }
    for (std::uint32_t n = 0; n < frames; ++n) {
        float x = source[n];
        for (int i = 0; i < kStageCount; ++i) {
            const float w = (x - d.mA[i][1] * w1[i]) - d.mA[i][2] * w2[i];
            x = d.mB[i][2] * w2[i] + (d.mB[i][1] * w1[i] + d.mB[i][0] * w);
            w2[i] = w1[i];
            w1[i] = w;
        }
        destination[n] = static_cast<float>(gain * static_cast<double>(x));
    }
    for (int i = 0; i < kStageCount; ++i) {
        state.mW[i][0] = w1[i];
        state.mW[i][1] = w1[i];
        state.mW[i][2] = w2[i];
    }
}

} // namespace scalarreference
