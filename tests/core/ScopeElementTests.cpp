#include "TestUnits.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using testunits::OpenUnit;
using testunits::StatusOf;
using testunits::TestUnit;

namespace {

using EventLog = std::vector<std::string>;

// Group elements log their making and their destruction into a log that outlives the unit.
class LoggingUnit : public TestUnit {
public:
    explicit LoggingUnit(EventLog& log) : TestUnit(nullptr, 1, 1, 2), mLog(log) {}
    AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement index) override {
        if (scope != kAudioUnitScope_Group) {
            return TestUnit::CreateElement(scope, index);
        }
        mLog.push_back("create " + std::to_string(index));
        return new Element(this, mLog, index);
    }

private:
    struct Element : AUElement {
        Element(AUBase* unit, EventLog& log, UInt32 index)
            : AUElement(unit), log(log), index(index) {}
        ~Element() override { log.push_back("destroy " + std::to_string(index)); }
        EventLog& log;
        UInt32 index;
    };
    EventLog& mLog;
};

TEST(Scopes, CountsGrowAndShrinkAroundSurvivingElements) {
    EventLog log;
    auto unit = OpenUnit<LoggingUnit>(log);
    AUElement* first = unit->Groups().GetElement(0);
    first->SetParameter(7, 0.25f);
    CFStringRef name = CFStringCreateWithCString(nullptr, "Bus A", kCFStringEncodingUTF8);
    first->SetName(name);
    CFRelease(name);

    unit->Groups().SetNumberOfElements(4);
    unit->Groups().SetNumberOfElements(4);
    unit->Groups().SetNumberOfElements(1);
    unit->Groups().SetNumberOfElements(2);
    ASSERT_EQ(unit->Groups().GetElement(0), first);
    EXPECT_EQ(first->GetParameter(7), 0.25f);
    EXPECT_STREQ(PlatformStringUTF8(first->GetName()), "Bus A");
    unit.reset();
    EXPECT_EQ(log, (EventLog{"create 0", "create 1", "create 2", "create 3", "destroy 3",
                             "destroy 2", "destroy 1", "create 1", "destroy 0", "destroy 1"}));
}

TEST(Scopes, LookUpErrors) {
    auto unit = OpenUnit();
    AUElement* const globals = unit->Globals();
    const std::pair<std::function<void()>, OSStatus> cases[] = {
        {[&] { unit->GetScope(5); }, kAudioUnitErr_InvalidScope},
        {[&] { unit->GetElement(7, 0); }, kAudioUnitErr_InvalidScope},
        {[&] { unit->SafeGetElement(1, 1); }, kAudioUnitErr_InvalidElement},
        {[&] { unit->GetOutput(1); }, kAudioUnitErr_InvalidElement},
        {[&] { unit->GetIOElement(0, 0); }, kAudioUnitErr_InvalidElement},
        {[&] { delete unit->CreateElement(5, 0); }, kAudioUnitErr_InvalidScope},
        {[&] { unit->SetNumberOfElements(0, 0); }, kAudioUnitErr_InvalidScope},
        {[&] { unit->SetNumberOfElements(0, 2); }, kAudioUnitErr_InvalidScope},
        {[&] { unit->SetNumberOfElements(0, 1); }, noErr},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(StatusOf(cases[i].first), cases[i].second) << "case " << i;
    }
    EXPECT_EQ(unit->GetElement(1, 1), nullptr);
    EXPECT_EQ(unit->Globals(), globals);
}

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
