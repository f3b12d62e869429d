#include "CAAudioChannelLayout.h"
#include "CAException.h"
#include "CAVectorUnit.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

namespace {

// Every description names an unknown channel and nothing past the last one is written; a count
// whose byte size would wrap is refused.
TEST(ChannelLayout, UnknownChannelsFillTheirDescriptionsAndNothingBeyond) {
    std::vector<UInt32> memory(CAAudioChannelLayout::CalculateByteSize(4) / 4, 0x07070707);
    auto& layout = *reinterpret_cast<AudioChannelLayout*>(memory.data());
    CAAudioChannelLayout::SetAllToUnknown(layout, 3);
    const AudioChannelDescription* descriptions = layout.mChannelDescriptions;
    EXPECT_EQ(CAAudioChannelLayout::NumberChannels(layout), 3u);
    EXPECT_EQ(descriptions[2].mChannelLabel, UInt32(kAudioChannelLabel_Unknown));
    EXPECT_EQ(descriptions[3].mChannelLabel, 0x07070707u);
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

// A diagnostic longer than its line is cut to the line, and nothing past it is written.
TEST(Diagnostic, ALongMessageIsCutToItsLine) {
    testing::internal::CaptureStderr();
    CADiagnostic("%s", std::string(2000, 'x').c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), std::string(1023, 'x'));
}

} // namespace
