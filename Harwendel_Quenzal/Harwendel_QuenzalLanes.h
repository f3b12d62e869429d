// Several channels of one voicing in the SIMD lanes of the processor: four with SSE, eight with
// AVX. One channel's cascade is a chain of dependent operations that leaves most of the lanes (and
// most of the arithmetic units) idle; channels that share a design fill them instead.
//
// Every lane performs exactly the scalar operations of quenzal_voicing::ProcessSamples, in the
// same order and association, through the same BiquadStep template (the vector types below are
// plain element-wise arithmetic; the project compiles without contraction, so a multiplication
// and an addition stay two roundings). Each channel's output and memories are therefore bit for
// bit those of the scalar loop. Only the order in which independent operations are issued
// differs (RunCascadeSkewed), and the recovery from non-finite samples is checked per block with
// an exact per-sample rerun when needed (FilterBlock).
//
// The eight-lane group is compiled in its own translation unit with AVX enabled (the rest of the
// program must run on processors without it), so nothing it uses may be an inline function that
// the other translation units also emit: everything below that touches a lane type is a template
// on that type, and the AVX unit instantiates it only for Float8.
#pragma once

#include "Harwendel_QuenzalVoicing.h"

#include <cstdint>

#if defined(__SSE2__) && defined(__SSE2_MATH__)
#define QUENZAL_HAS_LANES 1
#include <immintrin.h>
#else
#define QUENZAL_HAS_LANES 0
#endif

namespace quenzal_lanes {

using quenzal_voicing::Design;
using quenzal_voicing::FilterState;
using quenzal_voicing::kStageCount;

inline constexpr unsigned kMaxLanes = 8;

// Where one channel's samples come from and go to (both contiguous; they may be the same memory)
// and the memories that carry it from call to call.
struct ChannelRef {
    FilterState* state;
    const float* source;
    float* destination;
};

#if QUENZAL_HAS_LANES

typedef float Float4 __attribute__((vector_size(16)));
typedef double Double4 __attribute__((vector_size(32)));
typedef std::int32_t Mask4 __attribute__((vector_size(16)));
typedef float Float8 __attribute__((vector_size(32)));
typedef double Double8 __attribute__((vector_size(64)));
typedef std::int32_t Mask8 __attribute__((vector_size(32)));

template <class Lane> struct LaneTraits;
template <> struct LaneTraits<Float4> {
    static constexpr unsigned kWidth = 4;
    using Wide = Double4;
    using Mask = Mask4;
};
template <> struct LaneTraits<Float8> {
    static constexpr unsigned kWidth = 8;
    using Wide = Double8;
    using Mask = Mask8;
};

// Samples go through the lanes in blocks: gathered from the channels' buffers, filtered, and
// scattered back. Blocks on the stack keep the render path free of allocation.
inline constexpr std::uint32_t kBlockFrames = 64;

// What an empty lane reads.
inline constexpr float kSilentBlock[kBlockFrames] = {};

template <class Lane> struct Memories {
    Lane w1[kStageCount]; // w[n-1] of each stage
    Lane w2[kStageCount]; // w[n-2] of each stage
};

// The volume factor in 64 bits, each lane widened, scaled and rounded as the scalar loop does.
template <class Lane> inline Lane ScaleLanes(Lane out, double gain) {
    using Wide = typename LaneTraits<Lane>::Wide;
    return __builtin_convertvector(gain * __builtin_convertvector(out, Wide), Lane);
}

// All bits set in the lanes whose value is finite: x - x is 0 exactly for finite x.
template <class Lane> inline typename LaneTraits<Lane>::Mask FiniteLanes(Lane out) {
    return (out - out) == 0.0f;
}

inline bool AnyLaneClear(Mask4 finite) {
    return _mm_movemask_ps(reinterpret_cast<__m128>(finite)) != 0xF;
}
#if defined(__AVX__)
inline bool AnyLaneClear(Mask8 finite) {
    return _mm256_movemask_ps(reinterpret_cast<__m256>(finite)) != 0xFF;
}
#endif

// rows[c] holds samples n..n+W-1 of channel c on entry and sample n+c of every channel on return
// (and the other way round: the transposition is its own inverse).
inline void Transpose(Float4 (&rows)[4]) {
    const Float4 t0 = __builtin_shufflevector(rows[0], rows[1], 0, 4, 1, 5);
    const Float4 t1 = __builtin_shufflevector(rows[0], rows[1], 2, 6, 3, 7);
    const Float4 t2 = __builtin_shufflevector(rows[2], rows[3], 0, 4, 1, 5);
    const Float4 t3 = __builtin_shufflevector(rows[2], rows[3], 2, 6, 3, 7);
    rows[0] = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    rows[1] = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    rows[2] = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    rows[3] = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

#if defined(__AVX__)
inline void Transpose(Float8 (&rows)[8]) {
    Float8 pairs[8];
    for (int i = 0; i < 8; i += 2) {
        pairs[i] = __builtin_shufflevector(rows[i], rows[i + 1], 0, 8, 1, 9, 4, 12, 5, 13);
        pairs[i + 1] = __builtin_shufflevector(rows[i], rows[i + 1], 2, 10, 3, 11, 6, 14, 7, 15);
    }
    Float8 quads[8];
    for (int i = 0; i < 8; i += 4) {
        for (int j = 0; j < 2; ++j) {
            const Float8 a = pairs[i + j];
            const Float8 b = pairs[i + j + 2];
            quads[i + 2 * j] = __builtin_shufflevector(a, b, 0, 1, 8, 9, 4, 5, 12, 13);
            quads[i + 2 * j + 1] = __builtin_shufflevector(a, b, 2, 3, 10, 11, 6, 7, 14, 15);
        }
    }
    for (int i = 0; i < 4; ++i) {
        rows[i] = __builtin_shufflevector(quads[i], quads[i + 4], 0, 1, 2, 3, 8, 9, 10, 11);
        rows[i + 4] = __builtin_shufflevector(quads[i], quads[i + 4], 4, 5, 6, 7, 12, 13, 14, 15);
    }
}
#endif

// The block's samples of every lane, one frame to a vector; lanes without a channel read silence.
template <class Lane>
[[gnu::always_inline]] inline void LoadBlock(Lane* block, const ChannelRef* channels,
                                             unsigned count, std::uint32_t start,
                                             std::uint32_t length) {
    constexpr unsigned kWidth = LaneTraits<Lane>::kWidth;
    const float* sources[kWidth];
    for (unsigned c = 0; c < kWidth; ++c) {
        sources[c] = c < count ? channels[c].source + start : kSilentBlock;
    }
    std::uint32_t n = 0;
    for (; n + kWidth <= length; n += kWidth) {
        Lane rows[kWidth];
        for (unsigned c = 0; c < kWidth; ++c) {
            __builtin_memcpy(&rows[c], sources[c] + n, sizeof(Lane));
        }
        Transpose(rows);
        for (unsigned k = 0; k < kWidth; ++k) {
            block[n + k] = rows[k];
        }
    }
    for (; n < length; ++n) {
        for (unsigned c = 0; c < kWidth; ++c) {
            block[n][c] = sources[c][n];
        }
    }
}

template <class Lane>
[[gnu::always_inline]] inline void StoreBlock(const Lane* block, const ChannelRef* channels,
                                              unsigned count, std::uint32_t start,
                                              std::uint32_t length) {
    constexpr unsigned kWidth = LaneTraits<Lane>::kWidth;
    float discarded[kBlockFrames];
    float* destinations[kWidth];
    for (unsigned c = 0; c < kWidth; ++c) {
        destinations[c] = c < count ? channels[c].destination + start : discarded;
    }
    std::uint32_t n = 0;
    for (; n + kWidth <= length; n += kWidth) {
        Lane rows[kWidth];
        for (unsigned k = 0; k < kWidth; ++k) {
            rows[k] = block[n + k];
        }
        Transpose(rows);
        for (unsigned c = 0; c < kWidth; ++c) {
            __builtin_memcpy(destinations[c] + n, &rows[c], sizeof(Lane));
        }
    }
    for (; n < length; ++n) {
        for (unsigned c = 0; c < count; ++c) {
            destinations[c][n] = block[n][c];
        }
    }
}

// Lanes beyond `count` carry silence through cleared memories.
template <class Lane>
inline void GatherMemories(const ChannelRef* channels, unsigned count, Memories<Lane>& memories) {
    for (int i = 0; i < kStageCount; ++i) {
        memories.w1[i] = Lane{};
        memories.w2[i] = Lane{};
        for (unsigned c = 0; c < count; ++c) {
            memories.w1[i][c] = channels[c].state->mW[i][1];
            memories.w2[i][c] = channels[c].state->mW[i][2];
        }
    }
}

template <class Lane>
inline void ScatterMemories(const ChannelRef* channels, unsigned count,
                            const Memories<Lane>& memories, const Lane (&node)[kStageCount + 1]) {
    for (unsigned c = 0; c < count; ++c) {
        FilterState& state = *channels[c].state;
        for (int i = 0; i < kStageCount; ++i) {
            state.mW[i][0] = memories.w1[i][c];
            state.mW[i][1] = memories.w1[i][c];
            state.mW[i][2] = memories.w2[i][c];
        }
        for (int i = 0; i <= kStageCount; ++i) {
            state.mNode[i] = node[i][c];
        }
    }
}

// The scalar loop, lane by lane, with its recovery: a lane whose stage-5 output is not finite has
// its memories cleared before the next sample; the other lanes keep theirs. Writes the stage-5
// outputs, before the volume.
template <class Lane>
[[gnu::always_inline]] inline void
RunCascadeChecked(const Design& design, Memories<Lane>& memories, const Lane* input, Lane* output,
                  std::uint32_t length, Lane (&node)[kStageCount + 1]) {
    using Mask = typename LaneTraits<Lane>::Mask;
    for (std::uint32_t n = 0; n < length; ++n) {
        node[0] = input[n];
        const Lane out = quenzal_voicing::RunStages(design, memories.w1, memories.w2, node);
        output[n] = out;
        const Mask finite = FiniteLanes(out);
        if (AnyLaneClear(finite)) [[unlikely]] {
            for (int i = 0; i < kStageCount; ++i) {
                memories.w1[i] =
                    reinterpret_cast<Lane>(reinterpret_cast<Mask>(memories.w1[i]) & finite);
                memories.w2[i] =
                    reinterpret_cast<Lane>(reinterpret_cast<Mask>(memories.w2[i]) & finite);
            }
        }
    }
}

// Stages Last down to First each take one step: stage i filters pipe[i] into pipe[i + 1], which
// stage i + 1 reads at the next step. Going down, each stage takes its input before the stage
// below replaces it.
template <int First, int Last, class Lane>
[[gnu::always_inline]] inline void StepStages(const Design& design, Memories<Lane>& memories,
                                              Lane (&pipe)[kStageCount + 1]) {
#pragma GCC unroll 6
    for (int i = Last; i >= First; --i) {
        pipe[i + 1] = quenzal_voicing::BiquadStep(design.mB[i], design.mA[i], memories.w1[i],
                                                  memories.w2[i], pipe[i]);
    }
}

inline constexpr std::uint32_t kSkewFrames = kStageCount - 1;

// The same operations on the same values as the plain loop, with stage i working on sample
// t - i at step t: the six stages of a step no longer wait for each other, so the processor
// overlaps them instead of running one sample's cascade end to end. Without the recovery check;
// needs at least kSkewFrames + 1 frames. On return pipe holds the last sample's stage boundaries.
template <class Lane>
[[gnu::always_inline]] inline void
RunCascadeSkewed(const Design& design, Memories<Lane>& memories, const Lane* input, Lane* output,
                 std::uint32_t length, Lane (&pipe)[kStageCount + 1]) {
    pipe[0] = input[0];
    StepStages<0, 0>(design, memories, pipe);
    pipe[0] = input[1];
    StepStages<0, 1>(design, memories, pipe);
    pipe[0] = input[2];
    StepStages<0, 2>(design, memories, pipe);
    pipe[0] = input[3];
    StepStages<0, 3>(design, memories, pipe);
    pipe[0] = input[4];
    StepStages<0, 4>(design, memories, pipe);
    for (std::uint32_t t = kSkewFrames; t < length; ++t) {
        pipe[0] = input[t];
        StepStages<0, kStageCount - 1>(design, memories, pipe);
        output[t - kSkewFrames] = pipe[kStageCount];
    }
    const std::uint32_t last = length - kSkewFrames;
    StepStages<1, kStageCount - 1>(design, memories, pipe);
    output[last] = pipe[kStageCount];
    StepStages<2, kStageCount - 1>(design, memories, pipe);
    output[last + 1] = pipe[kStageCount];
    StepStages<3, kStageCount - 1>(design, memories, pipe);
    output[last + 2] = pipe[kStageCount];
    StepStages<4, kStageCount - 1>(design, memories, pipe);
    output[last + 3] = pipe[kStageCount];
    StepStages<kStageCount - 1, kStageCount - 1>(design, memories, pipe);
    output[last + 4] = pipe[kStageCount];
}

// Applies the volume in place; false when an output is not finite. Finite stage-5 outputs only
// give finite results short of overflow, so true means no lane needed the recovery.
template <class Lane>
[[gnu::always_inline]] inline bool ScaleBlock(Lane* block, std::uint32_t length, double gain) {
    Lane sum{};
    for (std::uint32_t n = 0; n < length; ++n) {
        block[n] = ScaleLanes(block[n], gain);
        sum = sum + block[n];
    }
    return !AnyLaneClear(FiniteLanes(sum));
}

// One block through the cascade and the volume. The fast schedule has no recovery check; a block
// where any output comes out non-finite (a sum of finite values stays finite short of overflow)
// is run again from its starting memories with the check, sample by sample.
template <class Lane>
[[gnu::always_inline]] inline void
FilterBlock(const Design& design, double gain, Memories<Lane>& memories, const Lane* input,
            Lane* output, std::uint32_t length, Lane (&node)[kStageCount + 1]) {
    if (length > kSkewFrames) {
        const Memories<Lane> initial = memories;
        RunCascadeSkewed(design, memories, input, output, length, node);
        if (ScaleBlock(output, length, gain)) {
            return;
        }
        memories = initial;
    }
    RunCascadeChecked(design, memories, input, output, length, node);
    ScaleBlock(output, length, gain);
}

// Runs `count` channels (at most the lane width) that share `design` through the cascade and the
// volume factor, as ProcessSamples runs each of them. A whole block is read before any of it is
// written, so a channel may be processed in place; its output must not overlap another channel's
// input.
template <class Lane>
void ProcessLaneGroup(const Design& design, double gain, const ChannelRef* channels, unsigned count,
                      std::uint32_t frames) {
    if (frames == 0) {
        return;
    }
    const Design coefficients = design;
    Memories<Lane> memories;
    GatherMemories(channels, count, memories);
    Lane node[kStageCount + 1] = {};
    Lane input[kBlockFrames];
    Lane output[kBlockFrames];
    for (std::uint32_t start = 0; start < frames; start += kBlockFrames) {
        const std::uint32_t length = frames - start < kBlockFrames ? frames - start : kBlockFrames;
        LoadBlock(input, channels, count, start, length);
        FilterBlock(coefficients, gain, memories, input, output, length, node);
        StoreBlock(output, channels, count, start, length);
    }
    ScatterMemories(channels, count, memories, node);
}

inline void ProcessFourLanes(const Design& design, double gain, const ChannelRef* channels,
                             unsigned count, std::uint32_t frames) {
    ProcessLaneGroup<Float4>(design, gain, channels, count, frames);
}

// In the AVX translation unit; call only when AvxAvailable().
void ProcessEightLanes(const Design& design, double gain, const ChannelRef* channels,
                       unsigned count, std::uint32_t frames);

// Whether the processor (and the system, which must save the wider registers) runs AVX.
inline bool AvxAvailable() {
    static const bool available = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx") != 0;
    }();
    return available;
}

#endif // QUENZAL_HAS_LANES

// The widest lane group this processor runs: 8 with AVX, 4 with SSE, 1 (no lanes) otherwise.
inline unsigned WidestLanesAvailable() {
#if QUENZAL_HAS_LANES
    return AvxAvailable() ? 8 : 4;
#else
    return 1;
#endif
}

// How many lanes the next group uses when `remaining` channels are left and groups may be up to
// `widest` lanes wide. A partly filled group costs no more than a full one, so eight lanes take
// five channels or more, four lanes two or more; a single channel is cheapest on its own.
inline unsigned GroupLanes(unsigned remaining, unsigned widest) {
    if (widest >= 8 && remaining >= 5) {
        return 8;
    }
    if (widest >= 4 && remaining >= 2) {
        return 4;
    }
    return 1;
}

// Runs one group of `count` channels in `lanes` lanes (1, 4 or 8, as GroupLanes chose).
inline void ProcessGroup(unsigned lanes, const Design& design, double gain,
                         const ChannelRef* channels, unsigned count, std::uint32_t frames) {
#if QUENZAL_HAS_LANES
    if (lanes == 8) {
        ProcessEightLanes(design, gain, channels, count, frames);
        return;
    }
    if (lanes == 4) {
        ProcessFourLanes(design, gain, channels, count, frames);
        return;
    }
#endif
    for (unsigned c = 0; c < count; ++c) {
        quenzal_voicing::ProcessSamples(design, *channels[c].state, channels[c].source,
                                        channels[c].destination, frames, 1, gain);
    }
}

// Runs `count` channels that share `design`, channel(i) giving channel i's ChannelRef, in groups
// of up to `widest` lanes.
template <class ChannelAt>
void ProcessChannels(const Design& design, double gain, unsigned count, std::uint32_t frames,
                     unsigned widest, ChannelAt&& channel) {
    for (unsigned first = 0; first < count;) {
        const unsigned lanes = GroupLanes(count - first, widest);
        const unsigned members = count - first < lanes ? count - first : lanes;
        ChannelRef group[kMaxLanes];
        for (unsigned c = 0; c < members; ++c) {
            group[c] = channel(first + c);
        }
        ProcessGroup(lanes, design, gain, group, members, frames);
        first += members;
    }
}

} // namespace quenzal_lanes
