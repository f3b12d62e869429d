#include "SavedParameters.h"

#include "CASavedParameters.h"

#include <bit>
#include <stdexcept>

namespace quenzal {
namespace {

using CASavedParameters::DecodeWord;
using CASavedParameters::kGroupHeaderSize;
using CASavedParameters::kPairSize;
using CASavedParameters::kWordSize;

} // namespace

std::vector<SavedParameter> DecodeSavedParameters(const std::uint8_t* bytes, std::size_t length) {
    std::vector<SavedParameter> parameters;
    for (std::size_t at = 0; at < length;) {
        if (length - at < kGroupHeaderSize) {
            throw std::runtime_error("the group at byte " + std::to_string(at) + " is cut short (" +
                                     std::to_string(length - at) +
                                     " bytes left, its header takes 12)");
        }
        const std::uint32_t scope = DecodeWord(bytes + at);
        const std::uint32_t element = DecodeWord(bytes + at + kWordSize);
        const std::uint32_t count = DecodeWord(bytes + at + 2 * kWordSize);
        const std::size_t left = length - at - kGroupHeaderSize;
        if (count > left / kPairSize) {
            throw std::runtime_error("the group at byte " + std::to_string(at) + " declares " +
                                     std::to_string(count) + " parameters but only " +
                                     std::to_string(left) + " bytes follow");
        }
        at += kGroupHeaderSize;
        for (std::uint32_t i = 0; i < count; ++i, at += kPairSize) {
            parameters.push_back({scope, element, DecodeWord(bytes + at),
                                  std::bit_cast<float>(DecodeWord(bytes + at + kWordSize))});
        }
    }
    return parameters;
}

} // namespace quenzal
