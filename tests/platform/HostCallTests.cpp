// The host calls: the exact selector block of each, and what reaches the unit and comes back.
#include "ComponentTestUnit.h"

#include <functional>

using namespace component_test;

namespace {

template <typename T> intptr_t Word(T* pointer) {
    return reinterpret_cast<intptr_t>(pointer);
}

void Listener(void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {}

OSStatus Notify(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                AudioBufferList*) {
    return noErr;
}

// What the calls pass, and what the unit writes back into.
struct CallArguments {
    UInt32 size = sizeof(AudioStreamBasicDescription);
    Boolean writable = 0;
    Float32 value = 0;
    AudioStreamBasicDescription format{};
    AudioUnitRenderActionFlags flags = 0;
    AudioTimeStamp stamp{};
    AudioBufferList list{1, {{1, 32, nullptr}}};
    AudioUnitParameterEvent events[2] = {};
};

struct Case {
    const char* name;
    std::function<OSStatus(AudioUnit)> call;
    SInt16 selector;
    std::vector<intptr_t> words;
    OSStatus status;
};

// One case per host call that takes an instance handle.
std::vector<Case> EveryCall(CallArguments& a) {
    void* const user = &a.size;
    const intptr_t listener = reinterpret_cast<intptr_t>(&Listener);
    const intptr_t notify = reinterpret_cast<intptr_t>(&Notify);
    // clang-format off
    return {
        {"CanDo", [](AudioUnit u) { return AudioComponentInstanceCanDo(u, -4); }, -3, {-4}, Echo(-3)},
        {"Version", AudioComponentInstanceVersion, -4, {}, kVersion},
        {"Initialize", AudioUnitInitialize, 1, {}, Echo(1)},
        {"Uninitialize", AudioUnitUninitialize, 2, {}, Echo(2)},
        {"GetPropertyInfo", [&a](AudioUnit u) { return AudioUnitGetPropertyInfo(u, 8, 2, 3, &a.size, &a.writable); },
         3, {Word(&a.writable), Word(&a.size), 3, 2, 8}, Echo(3)},
        {"GetProperty", [&a](AudioUnit u) { return AudioUnitGetProperty(u, 8, 2, 0, &a.format, &a.size); },
         4, {Word(&a.size), Word(&a.format), 0, 2, 8}, noErr},
        {"SetProperty", [&a](AudioUnit u) { return AudioUnitSetProperty(u, 14, 0, 1, &a.value, 4); },
         5, {4, Word(&a.value), 1, 0, 14}, Echo(5)},
        {"RemovePropertyValue", [](AudioUnit u) { return AudioUnitRemovePropertyValue(u, 25, 0, 0); },
         5, {0, 0, 0, 0, 25}, Echo(5)},
        {"GetParameter", [&a](AudioUnit u) { return AudioUnitGetParameter(u, 1, 0, 0, &a.value); },
         6, {Word(&a.value), 0, 0, 1}, Echo(6)},
        {"SetParameter, a float as its bits", [](AudioUnit u) { return AudioUnitSetParameter(u, 0, 0, 2, -0.5f, 64); },
         7, {64, static_cast<intptr_t>(0xBF000000u), 2, 0, 0}, Echo(7)},
        {"Reset", [](AudioUnit u) { return AudioUnitReset(u, 1, 0); }, 9, {0, 1}, Echo(9)},
        {"AddPropertyListener", [user](AudioUnit u) { return AudioUnitAddPropertyListener(u, 23, Listener, user); },
         10, {Word(user), listener, 23}, Echo(10)},
        {"RemovePropertyListener", [](AudioUnit u) { return AudioUnitRemovePropertyListener(u, 23, Listener); },
         11, {listener, 23}, Echo(11)},
        {"Render", [&a](AudioUnit u) { return AudioUnitRender(u, &a.flags, &a.stamp, 0, 8, &a.list); },
         14, {Word(&a.list), 8, 0, Word(&a.stamp), Word(&a.flags)}, noErr},
        {"AddRenderNotify", [user](AudioUnit u) { return AudioUnitAddRenderNotify(u, Notify, user); },
         15, {Word(user), notify}, Echo(15)},
        {"RemoveRenderNotify", [user](AudioUnit u) { return AudioUnitRemoveRenderNotify(u, Notify, user); },
         16, {Word(user), notify}, Echo(16)},
        {"ScheduleParameters", [&a](AudioUnit u) { return AudioUnitScheduleParameters(u, a.events, 2); },
         17, {2, Word(a.events)}, Echo(17)},
        {"RemovePropertyListenerWithUserData", [user](AudioUnit u) { return AudioUnitRemovePropertyListenerWithUserData(u, 23, Listener, user); },
         18, {Word(user), listener, 23}, Echo(18)},
    };
    // clang-format on
}

using HostCallTest = OpenUnitTest;

TEST_F(HostCallTest, EveryCallBuildsItsBlockLastArgumentFirst) {
    CallArguments a;
    for (const Case& c : EveryCall(a)) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.call(mUnit->instance), c.status);
        const ReceivedCall& received = mUnit->calls.back();
        EXPECT_EQ(received.flags, 0);
        EXPECT_EQ(received.paramSize, c.words.size() * sizeof(intptr_t));
        EXPECT_EQ(received.what, c.selector);
        EXPECT_EQ(received.words, c.words);
        EXPECT_EQ(received.storage, mUnit);
    }
    // What the unit answered reached the caller.
    EXPECT_EQ(a.format.mChannelsPerFrame, 2u);
    EXPECT_EQ(a.size, sizeof a.format);
    EXPECT_EQ(a.list.mBuffers[0].mData, mUnit->ownSamples);
    EXPECT_EQ(a.flags, static_cast<UInt32>(kAudioUnitRenderAction_OutputIsSilence));
}

TEST_F(HostCallTest, CallSelectorPassesWordsAsGivenAndZeroFillsWhatIsMissing) {
    const intptr_t given[] = {10, 20, 30, 40, 50};
    EXPECT_EQ(PlatformCallSelector(mUnit->instance, 3, given, 5), Echo(3));
    EXPECT_EQ(mUnit->calls.back().words, (std::vector<intptr_t>{10, 20, 30, 40, 50}));

    EXPECT_EQ(PlatformCallSelector(mUnit->instance, 3, given, 1), Echo(3));
    EXPECT_EQ(mUnit->calls.back().paramSize, sizeof(intptr_t));
    EXPECT_EQ(mUnit->calls.back().words, (std::vector<intptr_t>{10, 0, 0, 0, 0}));

    const std::size_t before = mUnit->calls.size();
    const std::vector<intptr_t> tooMany(65, 0);
    EXPECT_EQ(PlatformCallSelector(mUnit->instance, 3, nullptr, 2), paramErr);
    EXPECT_EQ(PlatformCallSelector(mUnit->instance, 3, tooMany.data(), 65), paramErr);
    EXPECT_EQ(mUnit->calls.size(), before);
}

// A disposed handle must not read what the instance left behind, nor reach the instance that
// took its place.
TEST_F(HostCallTest, HandlesThatAreNotOpenInstancesAreRefusedWithoutACall) {
    const AudioUnit disposed = Open()->instance;
    ASSERT_EQ(AudioComponentInstanceDispose(disposed), noErr);
    RecordingUnit* successor = Open();
    ASSERT_NE(successor, nullptr);
    AudioComponentDescription zeroed{};
    CallArguments a;
    const std::size_t before = mUnit->calls.size() + successor->calls.size();
    for (AudioUnit handle :
         {disposed, static_cast<AudioUnit>(nullptr), reinterpret_cast<AudioUnit>(&zeroed),
          reinterpret_cast<AudioUnit>(mComponent), reinterpret_cast<AudioUnit>(~uintptr_t{0})}) {
        for (const Case& c : EveryCall(a)) {
            EXPECT_EQ(c.call(handle), paramErr) << c.name;
        }
        EXPECT_EQ(PlatformCallSelector(handle, 1, nullptr, 0), paramErr);
        EXPECT_EQ(SetComponentInstanceStorage(handle, this), paramErr);
        EXPECT_EQ(GetComponentInstanceStorage(handle), nullptr);
        EXPECT_EQ(AudioComponentInstanceGetComponent(handle), nullptr);
        EXPECT_EQ(AudioComponentInstanceDispose(handle), paramErr);
    }
    EXPECT_EQ(mUnit->calls.size() + successor->calls.size(), before);
    EXPECT_EQ(GetComponentInstanceStorage(successor->instance), successor);
    EXPECT_EQ(AudioComponentInstanceDispose(successor->instance), noErr);
}

using CloseProbeTest = RecordingUnitTest;

// A probe that closes the unit must not leave the handle pointing at the destroyed object.
TEST_F(CloseProbeTest, LaterCallsBringNoStorageAndDisposeStillFreesTheHandle) {
    RecordingUnit* unit = Open();
    ASSERT_NE(unit, nullptr);
    const AudioComponentInstance instance = unit->instance;
    EXPECT_EQ(PlatformCallSelector(instance, kComponentCloseSelect, nullptr, 0), noErr);
    EXPECT_EQ(gLastClosedStorage, unit);
    EXPECT_EQ(GetComponentInstanceStorage(instance), nullptr);
    EXPECT_EQ(AudioUnitInitialize(instance), paramErr);
    EXPECT_EQ(AudioComponentInstanceDispose(instance), paramErr);
}

} // namespace
