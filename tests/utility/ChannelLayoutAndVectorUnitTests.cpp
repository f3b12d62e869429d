#include "CAAudioChannelLayout.h"
#include "CAVectorUnit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

namespace {

// Every description names an unknown channel and nothing is written past the last one (the
// allocator notices when the layout is freed); a count whose byte size would wrap is refused.
TEST(ChannelLayout, CreatedLayoutsAreUnknownChannelsInTheirOwnMemory) {
    AudioChannelLayout* layout = CAAudioChannelLayout::Create(3);
    for (const AudioChannelDescription& description :
         {layout->mChannelDescriptions[0], layout->mChannelDescriptions[2]}) {
        EXPECT_EQ(description.mChannelLabel, UInt32(kAudioChannelLabel_Unknown));
    }
    CAAudioChannelLayout::Destroy(layout);
    EXPECT_THROW(CAAudioChannelLayout::Create(0x0CCCCCCD), std::bad_alloc); // 12 + 20 n wraps
}

// The processor is examined once; the bypass is read afresh on every query and never cached.
TEST(VectorUnit, TheProcessorsAnswerIsCachedAndTheBypassIsNot) {
    gCAVectorUnitType = kVecUninitialized;
    setenv("CA_NoVector", "1", 1);
    EXPECT_EQ(CAVectorUnit::GetVectorUnitType(), kVecNone);
    unsetenv("CA_NoVector");
    const SInt32 answer = CAVectorUnit::GetVectorUnitType();
    EXPECT_NE(answer, kVecUninitialized);
    EXPECT_EQ(gCAVectorUnitType, answer);
    gCAVectorUnitType = kVecUninitialized;
}

} // namespace
