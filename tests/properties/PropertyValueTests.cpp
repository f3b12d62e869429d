// Property values as a host reads them back, what each change announces, and who owns the
// objects handed across.
#include "PropertyTestKit.h"
#include "TestUnits.h"

namespace {

using propkit::Announcement;
using propkit::AnnouncementLog;
using testhost::QuenzalUnit;

// Every ID the unit announces on a property call, and one it never announces (51).
const std::vector<AudioUnitPropertyID> kAnnounced = {2,  8,  11, 14, 21, 23, 25,
                                                     27, 28, 29, 30, 36, 51};

class Announcements : public testing::Test {
protected:
    template <class T>
    std::vector<Announcement> Set(AudioUnitPropertyID id, AudioUnitScope scope,
                                  AudioUnitElement element, const T& value) {
        EXPECT_EQ(host.SetProperty(id, scope, element, value), noErr) << "property " << id;
        return log.Take();
    }
    std::vector<Announcement> Remove(AudioUnitPropertyID id) {
        EXPECT_EQ(AudioUnitRemovePropertyValue(host.Get(), id, 0, 0), noErr);
        return log.Take();
    }

    QuenzalUnit host;
    AnnouncementLog log{host.Get(), kAnnounced};
    const propkit::Owned name = propkit::String("Lead");
};

using List = std::vector<Announcement>;

TEST_F(Announcements, EachAcceptedChangeAnnouncesItselfOnce) {
    const CFStringRef text = static_cast<CFStringRef>(name.get());
    EXPECT_EQ(Set(14, 0, 3, UInt32{512}), (List{{14, 0, 0}}));
    EXPECT_EQ(Set(25, 0, 0, text), (List{{25, 0, 0}}));
    EXPECT_EQ(Set(28, 0, 0, AUPreset{-7, text}), (List{{28, 0, 0}}));
    EXPECT_EQ(Set(36, 0, 0, AUPreset{-8, text}), (List{{36, 0, 0}}));
    EXPECT_EQ(Set(30, 2, 0, text), (List{{30, 2, 0}}));
    EXPECT_EQ(Set(21, 0, 5, UInt32{1}), (List{{21, 0, 5}}));
    EXPECT_EQ(Set(29, 0, 0, UInt32{0}), (List{{29, 0, 0}}));
    EXPECT_EQ(Set(8, 1, 0, hosting::CanonicalFormat(1, 44100.0)), (List{{8, 1, 0}}));
    EXPECT_EQ(Set(2, 2, 0, 48000.0), (List{{8, 2, 0}}));
    EXPECT_EQ(Set(23, 1, 0, AURenderCallbackStruct{}), (List{{23, 1, 0}}));
    EXPECT_EQ(Set(51, 2, 0, UInt32{0}), List{});
    EXPECT_EQ(Remove(25), List{});
}

TEST_F(Announcements, UnchangedFormatsAndRefusedChangesAnnounceNothing) {
    EXPECT_EQ(Set(8, 2, 0, hosting::CanonicalFormat(2, 44100.0)), List{});
    EXPECT_EQ(Set(2, 1, 0, 44100.0), List{});
    propkit::StderrOf([&] {
        EXPECT_EQ(host.SetProperty(14, 0, 0, UInt16{1}), kAudioUnitErr_InvalidPropertyValue);
    });
    EXPECT_EQ(host.SetProperty(28, 0, 0, AUPreset{-1, nullptr}),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(log.Take(), List{});
}

TEST_F(Announcements, HostCallbacksAnnounceOnlyWhenTheyChange) {
    int tag = 0;
    const HostCallbackInfo callbacks{&tag, nullptr, &tag, nullptr};
    EXPECT_EQ(Set(27, 0, 0, callbacks), (List{{27, 0, 0}}));
    EXPECT_EQ(Set(27, 0, 0, callbacks), List{});
    EXPECT_EQ(Remove(27), (List{{27, 0, 0}}));
    EXPECT_EQ(Remove(27), List{});
}

TEST(HostCallbacks, AShortRecordLeavesTheRestZero) {
    QuenzalUnit host;
    int tag = 0;
    const HostCallbackInfo full{&tag, &tag, &tag, &tag};
    ASSERT_EQ(host.SetProperty(27, 0, 0, full), noErr);
    ASSERT_EQ(AudioUnitSetProperty(host.Get(), 27, 0, 0, &full, sizeof(void*)), noErr);
    HostCallbackInfo read{};
    ASSERT_EQ(host.GetProperty(27, 0, 0, read), noErr);
    EXPECT_EQ(read.hostUserData, &tag);
    EXPECT_EQ(read.beatAndTempoProc, nullptr);
    EXPECT_EQ(read.transportStateProc, nullptr);
}

TEST(PropertyValues, LastRenderErrorReadsBackOnceThenZero) {
    QuenzalUnit host;
    host.SetStreamFormat(2, 44100.0);
    ASSERT_EQ(AudioUnitInitialize(host.Get()), noErr);
    testhost::Signal output;
    testing::internal::CaptureStderr();
    ASSERT_EQ(testhost::RenderSignal(host, 64, output), kAudioUnitErr_NoConnection);
    testing::internal::GetCapturedStderr();
    OSStatus error = noErr;
    ASSERT_EQ(host.GetProperty(kAudioUnitProperty_LastRenderError, 0, 0, error), noErr);
    EXPECT_EQ(error, kAudioUnitErr_NoConnection);
    ASSERT_EQ(host.GetProperty(kAudioUnitProperty_LastRenderError, 0, 0, error), noErr);
    EXPECT_EQ(error, noErr);
}

TEST(PropertyValues, NamesHandedOutCarryOneReferenceForTheCaller) {
    QuenzalUnit host;
    const propkit::Owned owned = propkit::String("Desk");
    const auto name = static_cast<CFStringRef>(owned.get());
    CFStringRef read = nullptr;
    EXPECT_EQ(host.GetProperty(25, 0, 0, read), kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(host.GetProperty(30, 1, 0, read), kAudioUnitErr_InvalidPropertyValue);
    ASSERT_EQ(host.SetProperty(25, 0, 0, name), noErr);
    ASSERT_EQ(host.SetProperty(30, 1, 0, name), noErr);
    ASSERT_EQ(host.SetProperty(28, 0, 0, AUPreset{-2, name}), noErr);
    const CFIndex held = CFGetRetainCount(name);

    for (const auto& [id, scope] : {std::pair{25u, 0u}, std::pair{30u, 1u}}) {
        ASSERT_EQ(host.GetProperty(id, scope, 0, read), noErr);
        EXPECT_EQ(read, name);
        EXPECT_EQ(CFGetRetainCount(name), held + 1) << "property " << id;
        CFRelease(read);
    }
    AUPreset preset{};
    ASSERT_EQ(host.GetProperty(kAudioUnitProperty_CurrentPreset, 0, 0, preset), noErr);
    EXPECT_EQ(CFGetRetainCount(name), held);
    ASSERT_EQ(host.GetProperty(kAudioUnitProperty_PresentPreset, 0, 0, preset), noErr);
    EXPECT_EQ(preset.presetNumber, -2);
    EXPECT_EQ(CFGetRetainCount(name), held + 1);
    CFRelease(preset.presetName);

    ASSERT_EQ(AudioUnitRemovePropertyValue(host.Get(), 25, 0, 0), noErr);
    EXPECT_EQ(host.GetProperty(25, 0, 0, read), kAudioUnitErr_InvalidPropertyValue);
}

// A bus whose frames take no bytes cannot use external memory: refused rather than ignored.
TEST(ExternalBuffer, ABusWithoutChannelsRefusesMemory) {
    auto unit = testunits::OpenUnit();
    CAStreamBasicDescription silent = hosting::CanonicalFormat(0, 44100.0);
    ASSERT_EQ(
        unit->DispatchSetProperty(kAudioUnitProperty_StreamFormat, 2, 0, &silent, sizeof silent),
        noErr);
    ASSERT_EQ(unit->DoInitialize(), noErr);
    alignas(16) static Byte memory[4096];
    const AudioUnitExternalBuffer buffer{memory, sizeof memory};
    EXPECT_EQ(unit->DispatchSetProperty(kAudioUnitProperty_SetExternalBuffer, 2, 0, &buffer,
                                        sizeof buffer),
              kAudioUnitErr_InvalidPropertyValue);
    EXPECT_EQ(unit->DispatchSetProperty(kAudioUnitProperty_SetExternalBuffer, 1, 0, &buffer,
                                        sizeof buffer),
              noErr);
}

} // namespace
