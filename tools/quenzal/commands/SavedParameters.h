// The parameter data of a saved state: groups of (scope, element, count), each followed by
// count pairs of (parameter ID, value), every word a big-endian 32-bit number and every value the
// bit pattern of a single-precision float.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quenzal {

struct SavedParameter {
    std::uint32_t scope;
    std::uint32_t element;
    std::uint32_t id;
    float value;
};

// Throws std::runtime_error naming the byte where the data stops making sense.
std::vector<SavedParameter> DecodeSavedParameters(const std::uint8_t* bytes, std::size_t length);

} // namespace quenzal
