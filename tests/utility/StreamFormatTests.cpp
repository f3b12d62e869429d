#include "CAStreamBasicDescription.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using Edit = void (*)(AudioStreamBasicDescription&);
constexpr UInt32 kOtherID = 0x61616320;

CAStreamBasicDescription Canonical(UInt32 channels, bool interleaved) {
    CAStreamBasicDescription format(44100.0, 0, 0, 0, 0, 0, 0, 0);
    format.SetAUCanonical(channels, interleaved);
    return format;
}

CAStreamBasicDescription Edited(Edit edit, CAStreamBasicDescription format = Canonical(2, false)) {
    edit(format);
    return format;
}

TEST(StreamFormat, CanonicalLayouts) {
    struct Case {
        UInt32 channels;
        bool interleaved;
        UInt32 flags, bytesPerFrame, streams;
    };
    for (const Case& c : {Case{6, false, 41, 4, 6}, Case{2, true, 9, 8, 1}}) {
        const CAStreamBasicDescription format = Canonical(c.channels, c.interleaved);
        EXPECT_TRUE(
            format.IsEqual(CAStreamBasicDescription(44100.0, kAudioFormatLinearPCM, c.bytesPerFrame,
                                                    1, c.bytesPerFrame, c.channels, 32, c.flags),
                           false));
        EXPECT_EQ(format.NumberChannelStreams(), c.streams);
        EXPECT_EQ(format.SampleWordSize(), 4u);
    }
    EXPECT_EQ(CAStreamBasicDescription().SampleWordSize(), 0u);
}

TEST(StreamFormat, ExactAndWildcardEquality) {
    struct Case {
        Edit edit;
        bool exact, wildcard;
    };
    const Case cases[] = {
        {[](auto& f) { f.mReserved = 1; }, true, true},
        {[](auto& f) { f.mChannelsPerFrame = 0; }, false, true},
        {[](auto& f) { f.mSampleRate = NAN; }, false, false},
        {[](auto& f) { f.mFormatFlags |= kAudioFormatFlagIsAlignedHigh; }, false, true},
        {[](auto& f) { f.mFormatFlags |= kAudioFormatFlagIsSignedInteger; }, false, true},
        {[](auto& f) { f.mFormatFlags &= ~UInt32(kAudioFormatFlagIsNonInterleaved); }, false,
         false},
        {[](auto& f) { f.mBitsPerChannel = 24; }, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Canonical(2, false).IsEqual(Edited(c.edit), false), c.exact) << &c - cases;
        EXPECT_EQ(Canonical(2, false).IsEqual(Edited(c.edit), true), c.wildcard) << &c - cases;
    }
    // One channel is both interleaved and not; one byte has no byte order.
    EXPECT_EQ(Canonical(1, false), Canonical(1, true));
    const CAStreamBasicDescription bytes(0, kAudioFormatLinearPCM, 1, 1, 1, 1, 8, 12);
    EXPECT_EQ(bytes, Edited([](auto& f) { f.mFormatFlags |= kAudioFormatFlagIsBigEndian; }, bytes));
}

TEST(StreamFormat, QualityOrdering) {
    const Edit unchanged = [](auto&) {};
    const std::pair<Edit, Edit> lowerAndHigher[] = {
        {[](auto& f) { f.mBitsPerChannel = 24; }, unchanged},
        {[](auto& f) { f.mSampleRate = 22050.0; }, unchanged},
        {[](auto& f) { f.mFormatFlags = kAudioFormatFlagIsSignedInteger; }, unchanged},
        {unchanged, [](auto& f) { f.mFormatID = kOtherID, f.mBitsPerChannel = 8; }},
        {[](auto& f) { f.mBitsPerChannel = 8; },
         [](auto& f) { f.mFormatFlags |= kAudioFormatFlagIsNonMixable; }},
        {[](auto& f) { f.mFormatID = kOtherID; }, [](auto& f) { f.mFormatID = kOtherID + 1; }},
    };
    for (const auto& pair : lowerAndHigher) {
        EXPECT_TRUE(Edited(pair.first) < Edited(pair.second)) << &pair - lowerAndHigher;
        EXPECT_FALSE(Edited(pair.second) < Edited(pair.first)) << &pair - lowerAndHigher;
    }
    EXPECT_FALSE(Canonical(2, false) < Canonical(2, false));
}

} // namespace
