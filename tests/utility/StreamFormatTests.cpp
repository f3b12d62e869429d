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

    testing::internal::CaptureStderr();
    EXPECT_TRUE(
        CAStreamBasicDescription(0, kOtherID, 0, 1024, 0, 2, 16, 0).AlignmentIsSignificant());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "PackednessIsSignificant only applies for PCM\n");
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

TEST(StreamFormat, SanityCheck) {
    const std::pair<Edit, bool> cases[] = {
        {[](auto&) {}, true},
        {[](auto& f) { f.mSampleRate = NAN; }, false},
        {[](auto& f) { f.mBytesPerFrame = f.mBytesPerPacket = 1000000; }, false},
        {[](auto& f) { f.mChannelsPerFrame = 1025; }, false},
        {[](auto& f) { f.mFramesPerPacket = 2; }, false},
        {[](auto& f) { f.mFormatID = kOtherID, f.mFramesPerPacket = 1024; }, true},
    };
    for (const auto& [edit, sane] : cases) {
        EXPECT_EQ(SanityCheck(Edited(edit)), sane) << sane;
    }
}

TEST(StreamFormat, NormalizeFillAndReset) {
    CAStreamBasicDescription pcm(48000.0, kAudioFormatLinearPCM, 4, 1, 4, 3, 16, 44);
    NormalizeLinearPCMFormat(pcm);
    EXPECT_TRUE(pcm.IsEqual(
        CAStreamBasicDescription(48000.0, kAudioFormatLinearPCM, 12, 1, 12, 3, 32, 9), false));
    const auto nonMixable = Edited([](auto& f) { f.mFormatFlags |= kAudioFormatFlagIsNonMixable; });
    CAStreamBasicDescription unchanged = nonMixable;
    NormalizeLinearPCMFormat(unchanged);
    EXPECT_TRUE(unchanged.IsEqual(nonMixable, false));

    CAStreamBasicDescription partial(0.0, 0, 0, 0, 0, 6, 0, 0);
    FillOutFormat(partial, Canonical(2, false));
    EXPECT_TRUE(partial.IsEqual(Edited([](auto& f) { f.mChannelsPerFrame = 6; }), false));
    partial.mReserved = 5;
    ResetFormat(partial);
    EXPECT_TRUE(partial.IsEqual(CAStreamBasicDescription(), false));
    EXPECT_EQ(partial.mReserved, 5u);
}

} // namespace
