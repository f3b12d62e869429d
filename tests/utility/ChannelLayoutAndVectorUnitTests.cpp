#include "CAAudioChannelLayout.h"
#include "CAVectorUnit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <new>
#include <string>

namespace {

using LayoutPtr = std::unique_ptr<AudioChannelLayout, decltype(&CAAudioChannelLayout::Destroy)>;

LayoutPtr MakeLayout(UInt32 descriptions) {
    return LayoutPtr(CAAudioChannelLayout::Create(descriptions), &CAAudioChannelLayout::Destroy);
}

TEST(ChannelLayout, NumberOfChannelsByTag) {
    struct Case {
        UInt32 tag, bitmap, descriptions, channels;
    };
    for (const Case& c :
         {Case{(101u << 16) | 2, 0, 0, 2}, Case{0x10000, 0x80000001, 5, 2}, Case{0, 0x3, 3, 3}}) {
        const AudioChannelLayout layout{c.tag, c.bitmap, c.descriptions, {}};
        EXPECT_EQ(CAAudioChannelLayout::NumberChannels(layout), c.channels) << c.tag;
    }
}

TEST(ChannelLayout, CreatedLayoutsAreUnknownChannelsComparedByBytes) {
    const LayoutPtr a = MakeLayout(3), b = MakeLayout(3);
    EXPECT_EQ(a->mChannelDescriptions[0].mChannelLabel, 0xFFFFFFFFu);
    EXPECT_TRUE(*a == *b);
    AudioChannelDescription* descriptions = b->mChannelDescriptions;
    descriptions[2].mCoordinates[1] = 0.5f;
    EXPECT_FALSE(*a == *b);
    EXPECT_FALSE(*a == *MakeLayout(2));
    // 12 + 20 * n would wrap to 16 bytes.
    EXPECT_THROW(MakeLayout(0x0CCCCCCD), std::bad_alloc);
}

SInt32 QueryVectorUnit(std::string& err) {
    testing::internal::CaptureStderr();
    const SInt32 answer = CAVectorUnit::GetVectorUnitType();
    err = testing::internal::GetCapturedStderr();
    return answer;
}

// The bypass is answered afresh each time; the processor's answer is cached and outlives it.
TEST(VectorUnit, BypassIsNotCachedButTheProcessorsAnswerIs) {
    gCAVectorUnitType = kVecUninitialized;
    setenv("CA_NoVector", "", 1);
    std::string err;
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(QueryVectorUnit(err), kVecNone);
        EXPECT_EQ(err, "CA_NoVector set; Vector unit optimized routines will be bypassed\n");
    }
    EXPECT_EQ(gCAVectorUnitType, kVecUninitialized);

    unsetenv("CA_NoVector");
    const SInt32 answer = QueryVectorUnit(err);
#if defined(__x86_64__)
    EXPECT_TRUE(answer == kVecSSE2 || answer == kVecSSE3) << answer;
#endif
    setenv("CA_NoVector", "1", 1);
    EXPECT_EQ(QueryVectorUnit(err), answer);
    EXPECT_EQ(err, "");
    unsetenv("CA_NoVector");
    gCAVectorUnitType = kVecUninitialized;
}

} // namespace
