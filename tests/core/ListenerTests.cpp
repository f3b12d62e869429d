#include "TestUnits.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

using testunits::OpenUnit;
using testunits::TestUnit;

namespace {

struct Call {
    std::string who;
    AudioUnit unit;
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    AudioUnitElement element;
    bool operator==(const Call&) const = default;
};

// The user data of every test listener: a name, the shared call log, and an optional action
// run while the listener is being called.
struct Listener {
    std::string name;
    std::vector<Call>* calls;
    std::function<void()> whileCalled;
};

void Record(void* userData, AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
            AudioUnitElement element) {
    auto* listener = static_cast<Listener*>(userData);
    listener->calls->push_back(Call{listener->name, unit, id, scope, element});
    if (listener->whileCalled) {
        listener->whileCalled();
    }
}

void Other(void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {}

const auto kInstance = reinterpret_cast<ComponentInstance>(0x5A5A0);

class Listeners : public testing::Test {
protected:
    testunits::UnitPtr<TestUnit> unit = OpenUnit(kInstance);
    std::vector<Call> calls;
    Listener a{"a", &calls, {}};
    Listener b{"b", &calls, {}};
    Listener c{"c", &calls, {}};

    std::vector<std::string> Callers() const {
        std::vector<std::string> names;
        for (const Call& call : calls) {
            names.push_back(call.who);
        }
        return names;
    }
};

TEST_F(Listeners, CalledInRegistrationOrderWithTheChange) {
    unit->PropertyChanged(kAudioUnitProperty_MaximumFramesPerSlice, 0, 0);
    EXPECT_TRUE(calls.empty());

    unit->AddPropertyListener(kAudioUnitProperty_MaximumFramesPerSlice, Record, &a);
    unit->AddPropertyListener(kAudioUnitProperty_MaximumFramesPerSlice, Record, &b);
    unit->AddPropertyListener(kAudioUnitProperty_MaximumFramesPerSlice, Record, &a);
    unit->AddPropertyListener(kAudioUnitProperty_StreamFormat, Record, &c);
    unit->SetMaxFramesPerSlice(300);
    unit->PropertyChanged(kAudioUnitProperty_SampleRate, 1, 0);

    const Call call{"a", kInstance, kAudioUnitProperty_MaximumFramesPerSlice, 0, 0};
    EXPECT_EQ(calls, (std::vector<Call>{call, {"b", kInstance, 14, 0, 0}, call}));
}

struct RemoveCase {
    const char* what;
    AudioUnitPropertyID id;
    AudioUnitPropertyListenerProc proc;
    bool removeWithB;
    bool matchUserData;
    std::vector<std::string> remaining;
};

TEST_F(Listeners, Removal) {
    const RemoveCase cases[] = {
        {"any user data", 8, Record, true, false, {"c", "a"}},
        {"matching user data", 8, Record, true, true, {"a", "c", "c", "a"}},
        {"other procedure", 8, Other, true, false, {"a", "b", "c", "c", "a"}},
        {"other ID", 2, Record, true, false, {"a", "b", "c", "c", "a"}},
        {"other user data", 8, Record, false, true, {"a", "b", "c", "c", "a"}},
    };
    for (const RemoveCase& rc : cases) {
        auto fresh = OpenUnit(kInstance);
        fresh->AddPropertyListener(8, Record, &a);
        fresh->AddPropertyListener(8, Record, &b);
        fresh->AddPropertyListener(9, Record, &c);
        fresh->AddPropertyListener(8, Record, &c);
        fresh->AddPropertyListener(9, Record, &a);
        void* userData = rc.removeWithB ? &b : static_cast<void*>(&calls);
        EXPECT_EQ(fresh->RemovePropertyListener(rc.id, rc.proc, userData, rc.matchUserData), noErr);
        calls.clear();
        fresh->PropertyChanged(8, 0, 0);
        fresh->PropertyChanged(9, 0, 0);
        EXPECT_EQ(Callers(), rc.remaining) << rc.what;
    }
}

struct RemoveWhileCalledCase {
    const char* what;
    std::string remover;
    std::string removed;
    std::vector<std::string> firstCallers;
    std::vector<std::string> laterCallers;
};

TEST_F(Listeners, RemovalWhileCalledHidesNoOtherListener) {
    const RemoveWhileCalledCase cases[] = {
        {"itself", "a", "a", {"a", "b", "c"}, {"b", "c"}},
        {"an earlier one", "b", "a", {"a", "b", "c"}, {"b", "c"}},
        {"a later one", "a", "c", {"a", "b"}, {"a", "b"}},
        {"the last one itself", "c", "c", {"a", "b", "c"}, {"a", "b"}},
    };
    for (const RemoveWhileCalledCase& rc : cases) {
        auto fresh = OpenUnit(kInstance);
        std::map<std::string, Listener*> byName = {{"a", &a}, {"b", &b}, {"c", &c}};
        for (Listener* listener : {&a, &b, &c}) {
            listener->whileCalled = nullptr;
            fresh->AddPropertyListener(8, Record, listener);
        }
        Listener* removed = byName[rc.removed];
        byName[rc.remover]->whileCalled = [&] {
            fresh->RemovePropertyListener(8, Record, removed, true);
        };
        calls.clear();
        fresh->PropertyChanged(8, 2, 0);
        EXPECT_EQ(Callers(), rc.firstCallers) << rc.what;
        calls.clear();
        fresh->PropertyChanged(8, 2, 0);
        EXPECT_EQ(Callers(), rc.laterCallers) << rc.what;
    }
}

TEST_F(Listeners, ListenerAddingAnotherWhileCalled) {
    a.whileCalled = [&] {
        a.whileCalled = nullptr;
        // Enough registrations to move the list in memory under the walk.
        for (int i = 0; i < 40; ++i) {
            unit->AddPropertyListener(9, Other, nullptr);
        }
        unit->AddPropertyListener(8, Record, &b);
    };
    unit->AddPropertyListener(8, Record, &a);
    unit->PropertyChanged(8, 0, 0);
    unit->PropertyChanged(8, 0, 0);
    EXPECT_EQ(Callers(), (std::vector<std::string>{"a", "b", "a", "b"}));
}

} // namespace
