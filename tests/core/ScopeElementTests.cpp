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

} // namespace
