#include "TestUnits.h"

#include <gtest/gtest.h>

#include <vector>

using testunits::OpenUnit;
using testunits::StatusOf;
using testunits::TestUnit;

namespace {

CAStreamBasicDescription Canonical(UInt32 channels, Float64 rate = 48000.0) {
    return CAStreamBasicDescription(rate, kAudioFormatLinearPCM, 4, 1, 4, channels, 32, 41);
}

// Two channels of linear PCM.
CAStreamBasicDescription Pcm(UInt32 bytes, UInt32 bits, UInt32 flags, UInt32 perPacket = 1) {
    return CAStreamBasicDescription(44100, kAudioFormatLinearPCM, bytes * perPacket, perPacket,
                                    bytes, 2, bits, flags);
}

TEST(StreamFormats, OnlyCanonicalFormatsAreValid) {
    const std::pair<CAStreamBasicDescription, bool> cases[] = {
        {Canonical(6), true},
        {Canonical(1, 11025.0), true},
        {Pcm(4, 32, 1 | 32), true},      // packed flag clear
        {Pcm(4, 32, 41 | 64), true},     // non-mixable
        {Pcm(8, 32, 9), false},          // interleaved
        {Pcm(2, 16, 4 | 8 | 32), false}, // 16-bit integer
        {Pcm(8, 64, 41), false},         // 64-bit float
        {Pcm(4, 32, 41 | 2), false},     // big-endian
        {Pcm(4, 32, 4 | 8 | 32), false}, // 32-bit integer
        {Pcm(4, 32, 41, 2), false},      // two frames a packet
        {Pcm(8, 32, 41), false},         // 8 bytes a deinterleaved frame
        {CAStreamBasicDescription(44100, 0x61616320, 4, 1, 4, 2, 32, 41), false},
    };
    auto unit = OpenUnit();
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(unit->ValidFormat(1 + i % 2, i, cases[i].first), cases[i].second) << "case " << i;
    }
}

void Note(void* log, AudioUnit, AudioUnitPropertyID id, AudioUnitScope scope,
          AudioUnitElement element) {
    auto* entries = static_cast<std::vector<UInt32>*>(log);
    entries->insert(entries->end(), {id, scope, element});
}

TEST(StreamFormats, BusAddressingAndChanges) {
    auto unit = OpenUnit(nullptr, 2, 1);
    std::vector<UInt32> log;
    unit->AddPropertyListener(kAudioUnitProperty_StreamFormat, Note, &log);
    const CAStreamBasicDescription previous = unit->GetStreamFormat(1, 1);
    EXPECT_EQ(unit->ChangeStreamFormat(1, 1, previous, Canonical(3)), noErr);
    EXPECT_EQ(unit->ChangeStreamFormat(0, 5, previous, Canonical(1, 96000.0)), noErr);
    EXPECT_EQ(unit->GetStreamFormat(0, 7).mSampleRate, 96000.0) << "global names output 0";
    EXPECT_EQ(unit->GetStreamFormat(2, 0).mSampleRate, 96000.0);
    EXPECT_EQ(unit->GetStreamFormat(1, 1).mChannelsPerFrame, 3u);
    EXPECT_EQ(unit->GetStreamFormat(1, 0).mSampleRate, 44100.0);
    EXPECT_EQ(log, (std::vector<UInt32>{8, 1, 1, 8, 0, 5}));
    EXPECT_EQ(StatusOf([&] { unit->GetStreamFormat(3, 0); }), kAudioUnitErr_InvalidScope);
    EXPECT_EQ(StatusOf([&] { unit->GetStreamFormat(2, 1); }), kAudioUnitErr_InvalidElement);
}

// Its output bus refuses every format.
class RefusingUnit : public TestUnit {
    struct RefusingBus : AUOutputElement {
        using AUOutputElement::AUOutputElement;
        OSStatus SetStreamFormat(const CAStreamBasicDescription&) override {
            return kAudioUnitErr_FormatNotSupported;
        }
    };

public:
    AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement index) override {
        return scope == 2 ? new RefusingBus(this) : TestUnit::CreateElement(scope, index);
    }
};

TEST(StreamFormats, RefusedChangeIsNeitherReportedAsDoneNorAnnounced) {
    auto unit = OpenUnit<RefusingUnit>();
    std::vector<UInt32> log;
    unit->AddPropertyListener(kAudioUnitProperty_StreamFormat, Note, &log);
    EXPECT_EQ(unit->ChangeStreamFormat(2, 0, Canonical(2), Canonical(1)),
              kAudioUnitErr_FormatNotSupported);
    EXPECT_TRUE(log.empty());
}

TEST(Buses, CountChangesOnlyWhileUninitialized) {
    auto unit = OpenUnit();
    EXPECT_EQ(unit->SetBusCount(kAudioUnitScope_Input, 3), noErr);
    unit->DoInitialize();
    EXPECT_EQ(unit->SetBusCount(kAudioUnitScope_Input, 1), kAudioUnitErr_Initialized);
    EXPECT_EQ(unit->Inputs().GetNumberOfElements(), 3u);
}

struct LayoutCase {
    AudioChannelLayoutTag tag;
    UInt32 bitmap;
    UInt32 descriptions;
    UInt32 busChannels;
    OSStatus status;
};

TEST(ChannelLayouts, NoLayoutIsEverTaken) {
    const AudioChannelLayoutTag stereo = (101u << 16) | 2;
    const LayoutCase cases[] = {
        {stereo, 0, 0, 2, kAudioUnitErr_InvalidProperty},
        {stereo, 0, 0, 1, kAudioUnitErr_InvalidPropertyValue},
        {0x10000, 0b11, 0, 2, kAudioUnitErr_InvalidProperty},
        {0, 0, 3, 2, kAudioUnitErr_InvalidPropertyValue},
    };
    for (const LayoutCase& c : cases) {
        auto unit = OpenUnit();
        unit->GetOutput(0)->SetStreamFormat(Canonical(c.busChannels));
        const AudioChannelLayout layout{c.tag, c.bitmap, c.descriptions, {}};
        EXPECT_EQ(unit->SetAudioChannelLayout(2, 0, &layout), c.status) << c.tag;
    }
    auto unit = OpenUnit();
    EXPECT_EQ(unit->RemoveAudioChannelLayout(1, 0), noErr);
    EXPECT_EQ(StatusOf([&] { return unit->RemoveAudioChannelLayout(1, 4); }),
              kAudioUnitErr_InvalidElement);
}

} // namespace
