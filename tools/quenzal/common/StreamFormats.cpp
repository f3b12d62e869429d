#include "StreamFormats.h"

#include "QuenzalHost.h"
#include "Text.h"

#include <cstddef>
#include <cstdio>
#include <cstring>

namespace quenzal {
namespace {

AudioStreamBasicDescription PcmFormat(UInt32 channels, Float64 rate, UInt32 bits, UInt32 flags) {
    const bool interleaved = (flags & kAudioFormatFlagIsNonInterleaved) == 0;
    const UInt32 bytesPerFrame = bits / 8 * (interleaved ? channels : 1);
    return AudioStreamBasicDescription{
        rate, kAudioFormatLinearPCM, flags, bytesPerFrame, 1, bytesPerFrame, channels, bits, 0};
}

constexpr UInt32 kFloatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked;
constexpr UInt32 kDeinterleavedFloat = kFloatFlags | kAudioFormatFlagIsNonInterleaved;
constexpr UInt32 kInterleavedInteger = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;

} // namespace

std::vector<FormatProbe> FormatProbes() {
    return {
        {"float-mono-22050", "32-bit float, deinterleaved, mono, 22050 Hz",
         CanonicalFormat(1, 22050), true},
        {"float-stereo-44100", "32-bit float, deinterleaved, stereo, 44100 Hz",
         CanonicalFormat(2, 44100), true},
        {"float-6ch-96000", "32-bit float, deinterleaved, 6 channels, 96000 Hz",
         CanonicalFormat(6, 96000), true},
        {"float-interleaved", "32-bit float, interleaved, stereo, 48000 Hz",
         PcmFormat(2, 48000, 32, kFloatFlags), false},
        {"int16-interleaved", "16-bit integer, interleaved, stereo, 44100 Hz",
         PcmFormat(2, 44100, 16, kInterleavedInteger), false},
        {"float64", "64-bit float, deinterleaved, stereo, 48000 Hz",
         PcmFormat(2, 48000, 64, kDeinterleavedFloat), false},
        {"float-big-endian", "32-bit big-endian float, deinterleaved, stereo, 48000 Hz",
         PcmFormat(2, 48000, 32, kDeinterleavedFloat | kAudioFormatFlagIsBigEndian), false},
    };
}

bool SameFormat(const AudioStreamBasicDescription& a, const AudioStreamBasicDescription& b) {
    return std::memcmp(&a, &b, offsetof(AudioStreamBasicDescription, mReserved)) == 0;
}

std::string DescribeFormat(const AudioStreamBasicDescription& format) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "%s, flags 0x%X, %u bytes per frame, %u channels, %u bits, %g Hz",
                  CodeText(format.mFormatID).c_str(), static_cast<unsigned>(format.mFormatFlags),
                  static_cast<unsigned>(format.mBytesPerFrame),
                  static_cast<unsigned>(format.mChannelsPerFrame),
                  static_cast<unsigned>(format.mBitsPerChannel), format.mSampleRate);
    return text;
}

} // namespace quenzal
