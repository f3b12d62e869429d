#include "TestUnits.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using testunits::OpenUnit;
using testunits::StatusOf;
using testunits::TestUnit;

namespace {

using EventLog = std::vector<std::string>;

std::string Entry(const char* what, AudioUnitScope scope, AudioUnitElement index) {
    return std::string(what) + " " + std::to_string(scope) + "." + std::to_string(index);
}

// An element that logs its own destruction.
class LoggedElement : public AUElement {
public:
    LoggedElement(AUBase* unit, EventLog& log, AudioUnitScope scope, AudioUnitElement index)
        : AUElement(unit), mLog(log), mScope(scope), mIndex(index) {}
    ~LoggedElement() override { mLog.push_back(Entry("destroy", mScope, mIndex)); }

private:
    EventLog& mLog;
    AudioUnitScope mScope;
    AudioUnitElement mIndex;
};

// Group and part elements are logged; the log outlives the unit.
class LoggingUnit : public TestUnit {
public:
    explicit LoggingUnit(EventLog& log) : TestUnit(nullptr, 1, 1, 2, 0), mLog(log) {}
    AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement index) override {
        if (scope != kAudioUnitScope_Group && scope != kAudioUnitScope_Part) {
            return TestUnit::CreateElement(scope, index);
        }
        mLog.push_back(Entry("create", scope, index));
        return new LoggedElement(this, mLog, scope, index);
    }

private:
    EventLog& mLog;
};

CFStringRef MakeString(const char* text) {
    return CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
}

TEST(Scopes, ElementsAreMadeInIndexOrderAndDestroyedFromTheTop) {
    EventLog log;
    auto unit = OpenUnit<LoggingUnit>(log);
    EXPECT_EQ(log, (EventLog{"create 3.0", "create 3.1"}));

    log.clear();
    unit->Groups().SetNumberOfElements(4);
    unit->Groups().SetNumberOfElements(4);
    EXPECT_EQ(log, (EventLog{"create 3.2", "create 3.3"}));

    log.clear();
    unit->Groups().SetNumberOfElements(1);
    EXPECT_EQ(log, (EventLog{"destroy 3.3", "destroy 3.2", "destroy 3.1"}));

    log.clear();
    unit->Groups().SetNumberOfElements(3);
    unit.reset();
    EXPECT_EQ(log,
              (EventLog{"create 3.1", "create 3.2", "destroy 3.0", "destroy 3.1", "destroy 3.2"}));
}

TEST(Scopes, SurvivingElementsKeepTheirParametersAndNames) {
    auto unit = OpenUnit(nullptr, 1, 1, 1);
    AUElement* first = unit->Groups().GetElement(0);
    first->SetParameter(7, 0.25f);
    CFStringRef name = MakeString("Bus A");
    first->SetName(name);
    CFRelease(name);

    unit->Groups().SetNumberOfElements(3);
    unit->Groups().SetNumberOfElements(1);

    ASSERT_EQ(unit->Groups().GetElement(0), first);
    EXPECT_EQ(first->GetParameter(7), 0.25f);
    EXPECT_STREQ(PlatformStringUTF8(first->GetName()), "Bus A");
}

TEST(Scopes, LookUpErrors) {
    auto unit = OpenUnit();
    struct Case {
        const char* what;
        std::function<void()> call;
        OSStatus status;
    };
    const Case cases[] = {
        {"scope 5", [&] { unit->GetScope(5); }, kAudioUnitErr_InvalidScope},
        {"element of scope 7", [&] { unit->GetElement(7, 0); }, kAudioUnitErr_InvalidScope},
        {"missing input", [&] { unit->SafeGetElement(1, 1); }, kAudioUnitErr_InvalidElement},
        {"missing output", [&] { unit->GetOutput(1); }, kAudioUnitErr_InvalidElement},
        {"missing input bus", [&] { unit->GetInput(3); }, kAudioUnitErr_InvalidElement},
        {"global is no bus", [&] { unit->GetIOElement(0, 0); }, kAudioUnitErr_InvalidElement},
        {"bad scope bus", [&] { unit->GetIOElement(5, 0); }, kAudioUnitErr_InvalidScope},
        {"factory scope 5", [&] { delete unit->CreateElement(5, 0); }, kAudioUnitErr_InvalidScope},
        {"no global count 0", [&] { unit->SetNumberOfElements(0, 0); }, kAudioUnitErr_InvalidScope},
        {"no global count 2", [&] { unit->SetNumberOfElements(0, 2); }, kAudioUnitErr_InvalidScope},
        {"count of scope 6", [&] { unit->SetNumberOfElements(6, 1); }, kAudioUnitErr_InvalidScope},
    };
    AUElement* const globals = unit->Globals();
    for (const Case& c : cases) {
        EXPECT_EQ(StatusOf(c.call), c.status) << c.what;
    }
    EXPECT_EQ(unit->GetElement(1, 1), nullptr);
    EXPECT_EQ(unit->GetScope(4).GetNumberOfElements(), 0u);
    EXPECT_EQ(StatusOf([&] { unit->SetNumberOfElements(0, 1); }), noErr);
    EXPECT_EQ(unit->Globals(), globals);
    EXPECT_EQ(unit->GlobalScope().GetNumberOfElements(), 1u);
}

TEST(Scopes, FactoryMakesTheElementKindOfEachScope) {
    auto unit = OpenUnit();
    for (AudioUnitScope scope = 0; scope < 5; ++scope) {
        std::unique_ptr<AUElement> element(unit->CreateElement(scope, 9));
        EXPECT_EQ(element->GetAudioUnit(), unit.get());
        EXPECT_EQ(dynamic_cast<AUInputElement*>(element.get()) != nullptr, scope == 1) << scope;
        EXPECT_EQ(dynamic_cast<AUOutputElement*>(element.get()) != nullptr, scope == 2) << scope;
    }
}

TEST(Scopes, ElementsOfScopesOneToFourWaitForThePostConstructor) {
    TestUnit unit(nullptr, 2, 3, 1, 1);
    EXPECT_EQ(unit.GlobalScope().GetNumberOfElements(), 1u);
    EXPECT_EQ(unit.Inputs().GetNumberOfElements(), 0u);
    unit.PostConstructor();
    unit.CreateElements();
    const UInt32 expected[] = {1, 2, 3, 1, 1};
    for (AudioUnitScope scope = 0; scope < 5; ++scope) {
        EXPECT_EQ(unit.GetScope(scope).GetNumberOfElements(), expected[scope]) << scope;
        EXPECT_EQ(unit.GetScope(scope).GetScope(), scope);
        EXPECT_EQ(unit.GetScope(scope).GetCreator(), &unit);
    }
}

TEST(ElementNames, SetClearAndScopeQuery) {
    auto unit = OpenUnit(nullptr, 2, 1);
    EXPECT_FALSE(unit->Inputs().HasElementWithName());
    CFStringRef name = MakeString("Side chain");
    unit->GetInput(1)->SetName(name);
    EXPECT_EQ(CFGetRetainCount(name), 2);
    EXPECT_TRUE(unit->Inputs().HasElementWithName());

    unit->GetInput(1)->SetName(nullptr);
    EXPECT_FALSE(unit->GetInput(1)->HasName());
    EXPECT_FALSE(unit->Inputs().HasElementWithName());
    EXPECT_EQ(CFGetRetainCount(name), 1);
    CFRelease(name);
}

TEST(ElementNames, SettingTheNameItAlreadyHoldsKeepsItAlive) {
    auto unit = OpenUnit();
    CFStringRef name = MakeString("Main");
    AUElement* bus = unit->GetOutput(0);
    bus->SetName(name);
    CFRelease(name);
    bus->SetName(bus->GetName());
    ASSERT_TRUE(bus->HasName());
    EXPECT_EQ(CFGetRetainCount(bus->GetName()), 1);
    EXPECT_STREQ(PlatformStringUTF8(bus->GetName()), "Main");
}

} // namespace
