#include "SavedParameters.h"

#include <bit>
#include <stdexcept>

namespace quenzal {
namespace {

constexpr std::size_t kWord = 4;
constexpr std::size_t kGroupHeader = 3 * kWord;
constexpr std::size_t kPair = 2 * kWord;

std::uint32_t BigEndianWord(const std::uint8_t* bytes) {
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 |
           std::uint32_t(bytes[2]) << 8 | std::uint32_t(bytes[3]);
}

} // namespace

std::vector<SavedParameter> DecodeSavedParameters(const std::uint8_t* bytes, std::size_t length) {
    std::vector<SavedParameter> parameters;
    for (std::size_t at = 0; at < length;) {
        if (length - at < kGroupHeader) {
            throw std::runtime_error("the group at byte " + std::to_string(at) + " is cut short (" +
                                     std::to_string(length - at) +
                                     " bytes left, its header takes 12)");
        }
        const std::uint32_t scope = BigEndianWord(bytes + at);
        const std::uint32_t element = BigEndianWord(bytes + at + kWord);
        const std::uint32_t count = BigEndianWord(bytes + at + 2 * kWord);
        const std::size_t left = length - at - kGroupHeader;
        if (count > left / kPair) {
            throw std::runtime_error("the group at byte " + std::to_string(at) + " declares " +
                                     std::to_string(count) + " parameters but only " +
                                     std::to_string(left) + " bytes follow");
        }
        at += kGroupHeader;
        for (std::uint32_t i = 0; i < count; ++i, at += kPair) {
            parameters.push_back({scope, element, BigEndianWord(bytes + at),
                                  std::bit_cast<float>(BigEndianWord(bytes + at + kWord))});
        }
    }
    return parameters;
}

} // namespace quenzal
