#include "CAStreamBasicDescription.h"

#include "CAMath.h"

#include <cstdio>
#include <cstring>

namespace {

// The meaningful part of the record: everything before mReserved.
constexpr std::size_t kSignificantBytes = offsetof(AudioStreamBasicDescription, mReserved);

constexpr UInt32 kCanonicalFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
constexpr UInt32 kCanonicalBytesPerSample = 4;
constexpr UInt32 kCanonicalBitsPerChannel = 32;

// Zero in either field is a wildcard.
bool MatchOrUnspecified(UInt32 a, UInt32 b) {
    return a == 0 || b == 0 || a == b;
}

bool BothSetAndDifferent(UInt32 a, UInt32 b) {
    return a != 0 && b != 0 && a != b;
}

bool BothSetAndDifferent(Float64 a, Float64 b) {
    return a != 0.0 && b != 0.0 && fnotequal(a, b);
}

bool IsMixable(const AudioStreamBasicDescription& x) {
    return (x.mFormatFlags & kAudioFormatFlagIsNonMixable) == 0;
}

bool IsFloat(const AudioStreamBasicDescription& x) {
    return (x.mFormatFlags & kAudioFormatFlagIsFloat) != 0;
}

// The bits that can differ between two PCM flag words describing the same samples.
struct MaskedFlags {
    UInt32 x;
    UInt32 y;
};

MaskedFlags MaskIrrelevantPCMFlags(const AudioStreamBasicDescription& x,
                                   const AudioStreamBasicDescription& y) {
    MaskedFlags flags{x.mFormatFlags & ~UInt32(kAudioFormatFlagsAreAllClear),
                      y.mFormatFlags & ~UInt32(kAudioFormatFlagsAreAllClear)};
    const auto both = [&flags](UInt32 bit) { return (flags.x & bit) != 0 && (flags.y & bit) != 0; };
    const auto clearBoth = [&flags](UInt32 bit) {
        flags.x &= ~bit;
        flags.y &= ~bit;
    };
    // Alignment means nothing when no bits are unused.
    if (both(kAudioFormatFlagIsPacked)) {
        clearBoth(kAudioFormatFlagIsAlignedHigh);
    }
    // Floats are signed by nature.
    if (both(kAudioFormatFlagIsFloat)) {
        clearBoth(kAudioFormatFlagIsSignedInteger);
    }
    // A packed sample of one byte has no byte order.
    if (x.mBitsPerChannel < 9 && (flags.x & kAudioFormatFlagIsPacked) != 0) {
        flags.x &= ~UInt32(kAudioFormatFlagIsBigEndian);
    }
    if (y.mBitsPerChannel < 9 && (flags.y & kAudioFormatFlagIsPacked) != 0) {
        flags.y &= ~UInt32(kAudioFormatFlagIsBigEndian);
    }
    // A single channel is interleaved and deinterleaved at once.
    if (x.mChannelsPerFrame < 2 && y.mChannelsPerFrame < 2) {
        clearBoth(kAudioFormatFlagIsNonInterleaved);
    }
    return flags;
}

} // namespace

CAStreamBasicDescription::CAStreamBasicDescription() : AudioStreamBasicDescription{} {}

CAStreamBasicDescription::CAStreamBasicDescription(const AudioStreamBasicDescription& desc)
    : AudioStreamBasicDescription(desc) {}

CAStreamBasicDescription::CAStreamBasicDescription(double sampleRate, UInt32 formatID,
                                                   UInt32 bytesPerPacket, UInt32 framesPerPacket,
                                                   UInt32 bytesPerFrame, UInt32 channelsPerFrame,
                                                   UInt32 bitsPerChannel, UInt32 formatFlags)
    : AudioStreamBasicDescription{sampleRate,       formatID,        formatFlags,
                                  bytesPerPacket,   framesPerPacket, bytesPerFrame,
                                  channelsPerFrame, bitsPerChannel,  0} {}

CAStreamBasicDescription&
CAStreamBasicDescription::operator=(const AudioStreamBasicDescription& desc) {
    static_cast<AudioStreamBasicDescription&>(*this) = desc;
    return *this;
}

UInt32 CAStreamBasicDescription::SampleWordSize() const {
    const UInt32 channels = NumberInterleavedChannels();
    return (mBytesPerFrame == 0 || channels == 0) ? 0 : mBytesPerFrame / channels;
}

bool CAStreamBasicDescription::PackednessIsSignificant() const {
    if (!IsPCM()) {
        std::fputs("PackednessIsSignificant only applies for PCM\n", stderr);
    }
    return SampleWordSize() * 8 != mBitsPerChannel;
}

bool CAStreamBasicDescription::AlignmentIsSignificant() const {
    return PackednessIsSignificant() || (mBitsPerChannel & 7) != 0;
}

bool CAStreamBasicDescription::IsEqual(const AudioStreamBasicDescription& other,
                                       bool interpretingWildcards) const {
    if (interpretingWildcards) {
        return *this == other;
    }
    return std::memcmp(static_cast<const AudioStreamBasicDescription*>(this), &other,
                       kSignificantBytes) == 0;
}

void CAStreamBasicDescription::SetAUCanonical(UInt32 nChannels, bool interleaved) {
    mFormatID = kAudioFormatLinearPCM;
    mFormatFlags = kCanonicalFlags;
    mChannelsPerFrame = nChannels;
    mFramesPerPacket = 1;
    mBitsPerChannel = kCanonicalBitsPerChannel;
    if (interleaved) {
        mBytesPerPacket = mBytesPerFrame = kCanonicalBytesPerSample * nChannels;
    } else {
        mBytesPerPacket = mBytesPerFrame = kCanonicalBytesPerSample;
        mFormatFlags |= kAudioFormatFlagIsNonInterleaved;
    }
}

bool operator==(const AudioStreamBasicDescription& x, const AudioStreamBasicDescription& y) {
    if (BothSetAndDifferent(x.mSampleRate, y.mSampleRate)) {
        return false;
    }
    return MatchOrUnspecified(x.mFormatID, y.mFormatID) && MatchFormatFlags(x, y) &&
           MatchOrUnspecified(x.mBytesPerPacket, y.mBytesPerPacket) &&
           MatchOrUnspecified(x.mFramesPerPacket, y.mFramesPerPacket) &&
           MatchOrUnspecified(x.mBytesPerFrame, y.mBytesPerFrame) &&
           MatchOrUnspecified(x.mChannelsPerFrame, y.mChannelsPerFrame) &&
           MatchOrUnspecified(x.mBitsPerChannel, y.mBitsPerChannel);
}

bool MatchFormatFlags(const AudioStreamBasicDescription& x, const AudioStreamBasicDescription& y) {
    if (x.mFormatID == 0 || y.mFormatID == 0 || x.mFormatFlags == 0 || y.mFormatFlags == 0) {
        return true;
    }
    if (x.mFormatID != kAudioFormatLinearPCM) {
        return x.mFormatFlags == y.mFormatFlags;
    }
    const MaskedFlags flags = MaskIrrelevantPCMFlags(x, y);
    return flags.x == flags.y;
}

bool operator<(const AudioStreamBasicDescription& x, const AudioStreamBasicDescription& y) {
    if (BothSetAndDifferent(x.mFormatID, y.mFormatID)) {
        if (x.mFormatID == kAudioFormatLinearPCM) {
            return true;
        }
        if (y.mFormatID == kAudioFormatLinearPCM) {
            return false;
        }
        return x.mFormatID < y.mFormatID;
    }
    const bool bothPCM =
        x.mFormatID == kAudioFormatLinearPCM && y.mFormatID == kAudioFormatLinearPCM;
    if (bothPCM && IsMixable(x) != IsMixable(y)) {
        return IsMixable(x);
    }
    if (bothPCM && IsFloat(x) != IsFloat(y)) {
        return IsFloat(y);
    }
    if (BothSetAndDifferent(x.mBitsPerChannel, y.mBitsPerChannel)) {
        return x.mBitsPerChannel < y.mBitsPerChannel;
    }
    if (BothSetAndDifferent(x.mSampleRate, y.mSampleRate)) {
        return x.mSampleRate < y.mSampleRate;
    }
    if (BothSetAndDifferent(x.mChannelsPerFrame, y.mChannelsPerFrame)) {
        return x.mChannelsPerFrame < y.mChannelsPerFrame;
    }
    return false;
}

bool SanityCheck(const AudioStreamBasicDescription& x) {
    constexpr UInt32 kMaxByteCount = 1000000;
    constexpr UInt32 kMaxChannelsOrBits = 1024;
    // Written so that a NaN rate fails.
    const bool rateOK = x.mSampleRate >= 0.0;
    const bool sizesOK = x.mBytesPerPacket < kMaxByteCount && x.mFramesPerPacket < kMaxByteCount &&
                         x.mBytesPerFrame < kMaxByteCount &&
                         x.mChannelsPerFrame <= kMaxChannelsOrBits &&
                         x.mBitsPerChannel <= kMaxChannelsOrBits;
    const bool pcmOK = x.mFormatID != kAudioFormatLinearPCM ||
                       (x.mFramesPerPacket == 1 && x.mBytesPerPacket == x.mBytesPerFrame);
    return rateOK && sizesOK && x.mFormatID != 0 && pcmOK;
}

void NormalizeLinearPCMFormat(AudioStreamBasicDescription& x) {
    if (x.mFormatID != kAudioFormatLinearPCM || !IsMixable(x)) {
        return;
    }
    x.mFormatFlags = kCanonicalFlags;
    x.mBytesPerPacket = x.mBytesPerFrame = kCanonicalBytesPerSample * x.mChannelsPerFrame;
    x.mFramesPerPacket = 1;
    x.mBitsPerChannel = kCanonicalBitsPerChannel;
}

void ResetFormat(AudioStreamBasicDescription& x) {
    const UInt32 reserved = x.mReserved;
    x = AudioStreamBasicDescription{};
    x.mReserved = reserved;
}

void FillOutFormat(AudioStreamBasicDescription& x, const AudioStreamBasicDescription& fromDesc) {
    const auto fill = [](UInt32& field, UInt32 value) {
        if (field == 0) {
            field = value;
        }
    };
    if (x.mSampleRate == 0.0) {
        x.mSampleRate = fromDesc.mSampleRate;
    }
    fill(x.mFormatID, fromDesc.mFormatID);
    fill(x.mFormatFlags, fromDesc.mFormatFlags);
    fill(x.mBytesPerPacket, fromDesc.mBytesPerPacket);
    fill(x.mFramesPerPacket, fromDesc.mFramesPerPacket);
    fill(x.mBytesPerFrame, fromDesc.mBytesPerFrame);
    fill(x.mChannelsPerFrame, fromDesc.mChannelsPerFrame);
    fill(x.mBitsPerChannel, fromDesc.mBitsPerChannel);
}
