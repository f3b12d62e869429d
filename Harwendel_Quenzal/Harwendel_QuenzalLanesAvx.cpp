// The eight-lane group, compiled with AVX enabled; reached only after AvxAvailable() said yes.
// Nothing else belongs here: see the note at the top of Harwendel_QuenzalLanes.h.
#include "Harwendel_QuenzalLanes.h"

#if QUENZAL_HAS_LANES
#if !defined(__AVX__)
#error "this file must be compiled with AVX enabled"
#endif

namespace quenzal_lanes {

void ProcessEightLanes(const Design& design, double gain, const ChannelRef* channels,
                       unsigned count, std::uint32_t frames) {
    ProcessLaneGroup<Float8>(design, gain, channels, count, frames);
}

} // namespace quenzal_lanes

#endif
