// Property values a host hands the unit.
#include "LinkedEffect.h"
#include "TestUnits.h"

#include <gtest/gtest.h>

namespace {

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
