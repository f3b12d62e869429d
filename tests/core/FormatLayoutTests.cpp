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

CAStreamBasicDescription With(CAStreamBasicDescription format,
                              void (*change)(AudioStreamBasicDescription&)) {
    change(format);
    return format;
}

struct FormatCase {
    const char* what;
    CAStreamBasicDescription format;
    bool accepted;
};

TEST(StreamFormats, OnlyCanonicalFormatsAreValid) {
    const FormatCase cases[] = {
        {"6 channels, 48 kHz", Canonical(6), true},
        {"mono, any rate", Canonical(1, 11025.0), true},
        {"packed flag cleared", With(Canonical(2), [](auto& f) { f.mFormatFlags &= ~8u; }), true},
        {"non-mixable", With(Canonical(2), [](auto& f) { f.mFormatFlags |= 64u; }), true},
        {"interleaved", CAStreamBasicDescription(48000, kAudioFormatLinearPCM, 24, 1, 24, 6, 32, 9),
         false},
        {"16-bit integer",
         CAStreamBasicDescription(48000, kAudioFormatLinearPCM, 2, 1, 2, 2, 16, 4 | 8 | 32), false},
        {"64-bit float", CAStreamBasicDescription(48000, kAudioFormatLinearPCM, 8, 1, 8, 2, 64, 41),
         false},
        {"big-endian", With(Canonical(2), [](auto& f) { f.mFormatFlags |= 2u; }), false},
        {"not linear PCM", With(Canonical(2), [](auto& f) { f.mFormatID = 0x61616320; }), false},
        {"two frames a packet", With(Canonical(2), [](auto& f) { f.mFramesPerPacket = 2; }), false},
        {"packet not a frame", With(Canonical(2), [](auto& f) { f.mBytesPerPacket = 8; }), false},
        {"integer 32-bit", With(Canonical(2), [](auto& f) { f.mFormatFlags = 4 | 8 | 32; }), false},
        {"8 bytes a frame",
         With(Canonical(2), [](auto& f) { f.mBytesPerFrame = f.mBytesPerPacket = 8; }), false},
    };
    auto unit = OpenUnit();
    for (const FormatCase& c : cases) {
        EXPECT_EQ(unit->ValidFormat(1, 0, c.format), c.accepted) << c.what;
        EXPECT_EQ(unit->ValidFormat(2, 9, c.format), c.accepted) << c.what;
    }
}

TEST(StreamFormats, MadeCanonicalFormatHasNoRate) {
    auto unit = OpenUnit();
    CAStreamBasicDescription format;
    unit->MakeCanonicalFormat(format, 3);
    EXPECT_EQ(format.mSampleRate, 0.0);
    EXPECT_EQ(format.mChannelsPerFrame, 3u);
    EXPECT_EQ(format.mFormatFlags, 41u);
    EXPECT_TRUE(unit->FormatIsCanonical(format));
}

TEST(StreamFormats, BusAddressing) {
    auto unit = OpenUnit(nullptr, 2, 1);
    unit->GetOutput(0)->SetStreamFormat(Canonical(1, 96000.0));
    unit->GetInput(1)->SetStreamFormat(Canonical(3));
    EXPECT_EQ(unit->GetStreamFormat(0, 7).mSampleRate, 96000.0) << "global names output 0";
    EXPECT_EQ(unit->GetStreamFormat(2, 0).mSampleRate, 96000.0);
    EXPECT_EQ(unit->GetStreamFormat(1, 1).mChannelsPerFrame, 3u);
    EXPECT_EQ(unit->GetStreamFormat(1, 0).mSampleRate, 44100.0);
    EXPECT_EQ(StatusOf([&] { unit->GetStreamFormat(3, 0); }), kAudioUnitErr_InvalidScope);
    EXPECT_EQ(StatusOf([&] { unit->GetStreamFormat(2, 1); }), kAudioUnitErr_InvalidElement);
    EXPECT_EQ(StatusOf([&] { unit->ChangeStreamFormat(4, 0, Canonical(2), Canonical(2)); }),
              kAudioUnitErr_InvalidScope);
}

struct Announcement {
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    AudioUnitElement element;
    bool operator==(const Announcement&) const = default;
};

void Note(void* log, AudioUnit, AudioUnitPropertyID id, AudioUnitScope scope,
          AudioUnitElement element) {
    static_cast<std::vector<Announcement>*>(log)->push_back({id, scope, element});
}

TEST(StreamFormats, ChangeAdoptsAndAnnounces) {
    auto unit = OpenUnit(nullptr, 2, 1);
    std::vector<Announcement> log;
    unit->AddPropertyListener(kAudioUnitProperty_StreamFormat, Note, &log);
    const CAStreamBasicDescription previous = unit->GetStreamFormat(1, 1);
    EXPECT_EQ(unit->ChangeStreamFormat(1, 1, previous, Canonical(4)), noErr);
    EXPECT_EQ(unit->ChangeStreamFormat(0, 5, previous, Canonical(1)), noErr);
    EXPECT_EQ(unit->GetStreamFormat(1, 1).mChannelsPerFrame, 4u);
    EXPECT_EQ(unit->GetStreamFormat(2, 0).mChannelsPerFrame, 1u);
    EXPECT_EQ(log, (std::vector<Announcement>{{8, 1, 1}, {8, 0, 5}}));
}

// An output bus that refuses every format.
class RefusingBus : public AUOutputElement {
public:
    using AUOutputElement::AUOutputElement;
    OSStatus SetStreamFormat(const CAStreamBasicDescription&) override {
        return kAudioUnitErr_FormatNotSupported;
    }
};

class RefusingUnit : public TestUnit {
public:
    AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement index) override {
        if (scope == kAudioUnitScope_Output) {
            return new RefusingBus(this);
        }
        return TestUnit::CreateElement(scope, index);
    }
};

TEST(StreamFormats, RefusedChangeIsNeitherReportedAsDoneNorAnnounced) {
    auto unit = OpenUnit<RefusingUnit>();
    std::vector<Announcement> log;
    unit->AddPropertyListener(kAudioUnitProperty_StreamFormat, Note, &log);
    EXPECT_EQ(unit->ChangeStreamFormat(2, 0, Canonical(2), Canonical(1)),
              kAudioUnitErr_FormatNotSupported);
    EXPECT_TRUE(log.empty());
}

TEST(Buses, CountChangesOnlyWhileUninitialized) {
    auto unit = OpenUnit();
    const AUChannelInfo* table = reinterpret_cast<const AUChannelInfo*>(0x10);
    EXPECT_EQ(unit->SupportedNumChannels(&table), 0u);
    EXPECT_EQ(table, reinterpret_cast<const AUChannelInfo*>(0x10));
    for (AudioUnitScope scope = 0; scope < 5; ++scope) {
        EXPECT_FALSE(unit->BusCountWritable(scope));
    }
    EXPECT_EQ(unit->SetBusCount(kAudioUnitScope_Input, 3), noErr);
    EXPECT_EQ(unit->Inputs().GetNumberOfElements(), 3u);
    unit->DoInitialize();
    EXPECT_EQ(unit->SetBusCount(kAudioUnitScope_Input, 1), kAudioUnitErr_Initialized);
    EXPECT_EQ(unit->Inputs().GetNumberOfElements(), 3u);
    unit->DoCleanup();
    EXPECT_EQ(StatusOf([&] { return unit->SetBusCount(5, 1); }), kAudioUnitErr_InvalidScope);
}

// A layout record with room for a few channel descriptions.
struct LayoutRecord {
    AudioChannelLayout layout;
    AudioChannelDescription more[3];
};

LayoutRecord Layout(AudioChannelLayoutTag tag, UInt32 bitmap = 0, UInt32 descriptions = 0) {
    LayoutRecord record{};
    record.layout.mChannelLayoutTag = tag;
    record.layout.mChannelBitmap = bitmap;
    record.layout.mNumberChannelDescriptions = descriptions;
    return record;
}

struct LayoutCase {
    const char* what;
    LayoutRecord record;
    UInt32 busChannels;
    OSStatus status;
};

TEST(ChannelLayouts, NoLayoutIsEverAccepted) {
    const AudioChannelLayoutTag stereo = (101u << 16) | 2;
    const LayoutCase cases[] = {
        {"stereo on stereo", Layout(stereo), 2, kAudioUnitErr_InvalidProperty},
        {"stereo on mono", Layout(stereo), 1, kAudioUnitErr_InvalidPropertyValue},
        {"bitmap of two", Layout(0x10000, 0b11), 2, kAudioUnitErr_InvalidProperty},
        {"three descriptions on stereo", Layout(0, 0, 3), 2, kAudioUnitErr_InvalidPropertyValue},
        {"three descriptions on three", Layout(0, 0, 3), 3, kAudioUnitErr_InvalidProperty},
    };
    for (const LayoutCase& c : cases) {
        auto unit = OpenUnit();
        unit->GetOutput(0)->SetStreamFormat(Canonical(c.busChannels));
        EXPECT_EQ(unit->SetAudioChannelLayout(2, 0, &c.record.layout), c.status) << c.what;
    }
}

TEST(ChannelLayouts, QueriesAndRemoval) {
    auto unit = OpenUnit();
    Boolean writable = true;
    AudioChannelLayoutTag tags[2] = {7, 7};
    EXPECT_EQ(unit->GetChannelLayoutTags(1, 0, tags), 0u);
    EXPECT_EQ(tags[0], 7u);
    EXPECT_EQ(unit->GetAudioChannelLayout(2, 0, nullptr, writable), 0u);
    EXPECT_TRUE(writable) << "left untouched";
    EXPECT_EQ(unit->RemoveAudioChannelLayout(1, 0), noErr);
    EXPECT_EQ(unit->GetOutput(0)->RemoveAudioChannelLayout(), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(StatusOf([&] { return unit->RemoveAudioChannelLayout(1, 4); }),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(StatusOf([&] { return unit->GetChannelLayoutTags(0, 0, nullptr); }),
              kAudioUnitErr_InvalidElement);
    EXPECT_EQ(StatusOf([&] { return unit->SetAudioChannelLayout(7, 0, nullptr); }),
              kAudioUnitErr_InvalidScope);
}

} // namespace
