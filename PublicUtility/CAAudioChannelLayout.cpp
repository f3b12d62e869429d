#include "CAAudioChannelLayout.h"

#include "CAAutoDisposer.h"

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

constexpr UInt32 kChannelCountMask = 0xFFFF;

// The byte size in full width: a description count near the top of the 32-bit range must not
// wrap into a small allocation that SetAllToUnknown then overruns.
std::size_t LayoutByteSize(UInt32 numberChannelDescriptions) {
    const std::uint64_t size =
        offsetof(AudioChannelLayout, mChannelDescriptions) +
        std::uint64_t(numberChannelDescriptions) * sizeof(AudioChannelDescription);
    if (size > UINT32_MAX) {
        throw std::bad_alloc();
    }
    return static_cast<std::size_t>(size);
}

} // namespace

UInt32 CAAudioChannelLayout::NumberChannels(const AudioChannelLayout& layout) {
    switch (layout.mChannelLayoutTag) {
    case kAudioChannelLayoutTag_UseChannelDescriptions:
        return layout.mNumberChannelDescriptions;
    case kAudioChannelLayoutTag_UseChannelBitmap:
        return CountOnes(layout.mChannelBitmap);
    default:
        return layout.mChannelLayoutTag & kChannelCountMask;
    }
}

AudioChannelLayout* CAAudioChannelLayout::Create(UInt32 numberChannelDescriptions) {
    const std::size_t size = LayoutByteSize(numberChannelDescriptions);
    auto* layout = static_cast<AudioChannelLayout*>(CA_malloc(size));
    std::memset(layout, 0, size);
    SetAllToUnknown(*layout, numberChannelDescriptions);
    return layout;
}

void CAAudioChannelLayout::Destroy(AudioChannelLayout* layout) {
    std::free(layout);
}

void CAAudioChannelLayout::SetAllToUnknown(AudioChannelLayout& layout,
                                           UInt32 numberChannelDescriptions) {
    layout.mChannelLayoutTag = kAudioChannelLayoutTag_UseChannelDescriptions;
    layout.mChannelBitmap = 0;
    layout.mNumberChannelDescriptions = numberChannelDescriptions;
    AudioChannelDescription* descriptions = layout.mChannelDescriptions;
    for (UInt32 i = 0; i < numberChannelDescriptions; ++i) {
        descriptions[i] = AudioChannelDescription{UInt32(kAudioChannelLabel_Unknown), 0, {}};
    }
}

UInt32 CAAudioChannelLayout::CountOnes(UInt32 x) {
    return static_cast<UInt32>(std::popcount(x));
}

bool operator==(const AudioChannelLayout& a, const AudioChannelLayout& b) {
    if (a.mNumberChannelDescriptions != b.mNumberChannelDescriptions) {
        return false;
    }
    const std::size_t size = CAAudioChannelLayout::CalculateByteSize(a.mNumberChannelDescriptions);
    return std::memcmp(&a, &b, size) == 0;
}
