#include "TestUnits.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>
#include <utility>

using testunits::OpenUnit;

namespace {

// Readable memory that is no open instance: opening a unit asks the platform about its handle.
alignas(16) unsigned char gNotAnInstance[64] = {};
const auto kInstance = reinterpret_cast<ComponentInstance>(gNotAnInstance);

// The user data of every test listener: its name, the shared log of calls, and an optional action
// run while it is being called.
struct Listener {
    std::string name;
    std::string* log;
    std::function<void()> whileCalled;
};

void Record(void* userData, AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
            AudioUnitElement element) {
    auto* listener = static_cast<Listener*>(userData);
    *listener->log += listener->name;
    if (unit != kInstance || id != 8 || scope != 2 || element != 1) {
        *listener->log += "(wrong arguments)";
    }
    if (listener->whileCalled) {
        listener->whileCalled();
    }
}

void Other(void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {}

class Listeners : public testing::Test {
protected:
    testunits::UnitPtr<testunits::TestUnit> unit = OpenUnit(kInstance);
    std::string log;
    Listener a{"a", &log, {}}, b{"b", &log, {}}, c{"c", &log, {}};

    // Registers a, b, a, c for property 8 and b for 9; the announcement is of 8 only.
    std::string Announce(const std::function<void()>& change) {
        for (Listener* listener : {&a, &b, &a, &c}) {
            unit->AddPropertyListener(8, Record, listener);
        }
        unit->AddPropertyListener(9, Record, &b);
        change();
        log.clear();
        unit->PropertyChanged(8, 2, 1);
        return log;
    }
};

TEST_F(Listeners, RegistrationOrderAndRemoval) {
    EXPECT_EQ(Announce([] {}), "abac");
    const std::pair<std::function<OSStatus()>, const char*> cases[] = {
        {[&] { return unit->RemovePropertyListener(8, Record, nullptr, false); }, ""},
        {[&] { return unit->RemovePropertyListener(8, Record, &a, true); }, "bc"},
        {[&] { return unit->RemovePropertyListener(8, Record, &log, true); }, "abac"},
        {[&] { return unit->RemovePropertyListener(8, Other, &a, false); }, "abac"},
        {[&] { return unit->RemovePropertyListener(2, Record, &a, false); }, "abac"},
    };
    for (const auto& [remove, remaining] : cases) {
        unit = OpenUnit(kInstance);
        EXPECT_EQ(Announce([&] { EXPECT_EQ(remove(), noErr); }), remaining);
    }
}

TEST_F(Listeners, ListenersChangingTheListWhileCalled) {
    bool added = false;
    const auto addOnce = [&] {
        if (std::exchange(added, true)) {
            return;
        }
        // Enough registrations to move the list in memory under the walk.
        for (int i = 0; i < 40; ++i) {
            unit->AddPropertyListener(9, Other, nullptr);
        }
        unit->AddPropertyListener(8, Record, &c);
    };
    // The first announcement is made while the action runs, the second afterwards.
    const std::tuple<Listener*, std::function<void()>, const char*, const char*> cases[] = {
        {&b, [&] { unit->RemovePropertyListener(8, Record, &b, true); }, "abac", "aac"},
        {&c, [&] { unit->RemovePropertyListener(8, Record, &a, true); }, "abac", "bc"},
        {&b, [&] { unit->RemovePropertyListener(8, Record, &c, true); }, "aba", "aba"},
        {&a, addOnce, "abacc", "abacc"},
    };
    for (const auto& [who, action, first, second] : cases) {
        unit = OpenUnit(kInstance);
        for (Listener* listener : {&a, &b, &c}) {
            listener->whileCalled = listener == who ? action : nullptr;
        }
        EXPECT_EQ(Announce([] {}), first) << who->name;
        log.clear();
        unit->PropertyChanged(8, 2, 1);
        EXPECT_EQ(log, second) << who->name;
    }
}

} // namespace
