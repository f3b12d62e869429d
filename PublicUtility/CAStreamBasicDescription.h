// The stream-format record as a value class, with its queries and comparisons.
#pragma once

#include "Platform/AudioTypes.h"

class CAStreamBasicDescription : public AudioStreamBasicDescription {
public:
    CAStreamBasicDescription();
    CAStreamBasicDescription(const AudioStreamBasicDescription& desc);
    CAStreamBasicDescription(double sampleRate, UInt32 formatID, UInt32 bytesPerPacket,
                             UInt32 framesPerPacket, UInt32 bytesPerFrame, UInt32 channelsPerFrame,
                             UInt32 bitsPerChannel, UInt32 formatFlags);

    CAStreamBasicDescription& operator=(const AudioStreamBasicDescription& desc);

    bool IsPCM() const { return mFormatID == kAudioFormatLinearPCM; }
    bool IsInterleaved() const {
        return !IsPCM() || (mFormatFlags & kAudioFormatFlagIsNonInterleaved) == 0;
    }
    UInt32 NumberChannels() const { return mChannelsPerFrame; }
    UInt32 NumberInterleavedChannels() const { return IsInterleaved() ? mChannelsPerFrame : 1; }
    UInt32 NumberChannelStreams() const { return IsInterleaved() ? 1 : mChannelsPerFrame; }
    UInt32 SampleWordSize() const;
    bool PackednessIsSignificant() const;
    bool AlignmentIsSignificant() const;

    // Exact equality of the first 36 bytes, or the wildcard operator== when interpretingWildcards.
    bool IsEqual(const AudioStreamBasicDescription& other, bool interpretingWildcards) const;

    void SetAUCanonical(UInt32 nChannels, bool interleaved);
};

bool operator==(const AudioStreamBasicDescription& x, const AudioStreamBasicDescription& y);
inline bool operator!=(const AudioStreamBasicDescription& x, const AudioStreamBasicDescription& y) {
    return !(x == y);
}
bool operator<(const AudioStreamBasicDescription& x, const AudioStreamBasicDescription& y);
bool MatchFormatFlags(const AudioStreamBasicDescription& x, const AudioStreamBasicDescription& y);
bool SanityCheck(const AudioStreamBasicDescription& x);
void NormalizeLinearPCMFormat(AudioStreamBasicDescription& x);
void ResetFormat(AudioStreamBasicDescription& x);
void FillOutFormat(AudioStreamBasicDescription& x, const AudioStreamBasicDescription& fromDesc);
