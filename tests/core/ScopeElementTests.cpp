// Elements as the unit holds them: their names, and the memory a bus may be lent.
#include "Hosting/Unit.h"
#include "TestUnits.h"

#include <gtest/gtest.h>

using testunits::OpenUnit;

namespace {

TEST(ElementNames, ClearingAndRenamingToTheSameName) {
    auto unit = OpenUnit(nullptr, 2, 1);
    CFStringRef name = CFStringCreateWithCString(nullptr, "Side", kCFStringEncodingUTF8);
    AUElement* bus = unit->GetInput(1);
    bus->SetName(name);
    EXPECT_TRUE(unit->Inputs().HasElementWithName());
    bus->SetName(nullptr);
    EXPECT_FALSE(unit->Inputs().HasElementWithName());
    EXPECT_EQ(CFGetRetainCount(name), 1);

    // The element may be the name's only owner when it is given the name it holds.
    bus->SetName(name);
    CFRelease(name);
    bus->SetName(bus->GetName());
    EXPECT_EQ(CFGetRetainCount(bus->GetName()), 1);
    EXPECT_STREQ(PlatformStringUTF8(bus->GetName()), "Side");
}

// A bus whose frames take no bytes cannot use external memory: refused rather than ignored.
TEST(ExternalBuffer, ABusWithoutChannelsRefusesMemory) {
    auto unit = OpenUnit();
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

// Parameters kept by ID: one that was stored reads back, one that was not is refused.
TEST(ParameterStorage, MapStorageFindsOnlyWhatItHolds) {
    auto unit = OpenUnit();
    AUElement* globals = unit->Globals();
    globals->SetParameter(40, 1.5f);
    EXPECT_EQ(globals->GetParameter(40), 1.5f);
    EXPECT_EQ(testunits::StatusOf([&] { globals->GetParameter(7); }),
              kAudioUnitErr_InvalidParameter);
}

} // namespace
