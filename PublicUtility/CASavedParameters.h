// The parameter data of a saved state, as units write it and hosts read or make it: groups of
// (scope, element, count), each followed by count pairs of (parameter ID, value), every word a
// big-endian 32-bit number and every value the bit pattern of a single-precision float. Saved
// files outlive any build, so there is one definition of these bytes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace CASavedParameters {

inline constexpr std::size_t kWordSize = 4;
inline constexpr std::size_t kGroupHeaderSize = 3 * kWordSize; // scope, element, count
inline constexpr std::size_t kPairSize = 2 * kWordSize;        // parameter ID, value bits

// [any thread] Writes word into the kWordSize bytes at out, most significant byte first.
inline void EncodeWord(std::uint32_t word, std::uint8_t* out) {
    out[0] = static_cast<std::uint8_t>(word >> 24);
    out[1] = static_cast<std::uint8_t>(word >> 16);
    out[2] = static_cast<std::uint8_t>(word >> 8);
    out[3] = static_cast<std::uint8_t>(word);
}

// [any thread] The word in the kWordSize bytes at bytes.
inline std::uint32_t DecodeWord(const std::uint8_t* bytes) {
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | std::uint32_t{bytes[3]};
}

// [any thread] Whether count pairs fit in the bytes left after a group's header; no product is
// formed, so a hostile count cannot wrap.
inline bool PairsFit(std::uint32_t count, std::size_t bytesLeft) {
    return bytesLeft / kPairSize >= count;
}

} // namespace CASavedParameters
