// Static operations on channel-layout records.
#pragma once

#include "Platform/AudioTypes.h"

class CAAudioChannelLayout {
public:
    static UInt32 NumberChannels(const AudioChannelLayout& layout);
    static UInt32 CalculateByteSize(UInt32 numberChannelDescriptions) {
        return 12 + 20 * numberChannelDescriptions;
    }
    // Zero-filled and set to n unknown channels; throws std::bad_alloc.
    static AudioChannelLayout* Create(UInt32 numberChannelDescriptions);
    static void Destroy(AudioChannelLayout* layout);
    static void SetAllToUnknown(AudioChannelLayout& layout, UInt32 numberChannelDescriptions);
    static UInt32 CountOnes(UInt32 x);
};

bool operator==(const AudioChannelLayout& a, const AudioChannelLayout& b);
