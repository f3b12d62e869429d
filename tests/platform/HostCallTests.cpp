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

using HostCallTest = OpenUnitTest;

TEST_F(HostCallTest, EveryCallBuildsItsBlockLastArgumentFirst) {
    UInt32 size = sizeof(AudioStreamBasicDescription);
    Boolean writable = 0;
    Float32 value = 0;
    AudioStreamBasicDescription format{};
    AudioUnitRenderActionFlags flags = 0;
    AudioTimeStamp stamp{};
    AudioBufferList list{1, {{1, 32, nullptr}}};
    AudioUnitParameterEvent events[2] = {};
    void* const user = &size;
    const intptr_t listener = reinterpret_cast<intptr_t>(&Listener);
    const intptr_t notify = reinterpret_cast<intptr_t>(&Notify);

    struct Case {
        const char* name;
        std::function<OSStatus(AudioUnit)> call;
        SInt16 selector;
        std::vector<intptr_t> words;
        OSStatus status;
    };
    // clang-format off
    const Case cases[] = {
        {"CanDo", [](AudioUnit u) { return AudioComponentInstanceCanDo(u, -4); }, -3, {-4}, Echo(-3)},
        {"Initialize", AudioUnitInitialize, 1, {}, Echo(1)},
        {"Uninitialize", AudioUnitUninitialize, 2, {}, Echo(2)},
        {"GetPropertyInfo", [&](AudioUnit u) { return AudioUnitGetPropertyInfo(u, 8, 2, 3, &size, &writable); },
         3, {Word(&writable), Word(&size), 3, 2, 8}, Echo(3)},
        {"GetProperty", [&](AudioUnit u) { return AudioUnitGetProperty(u, 8, 2, 0, &format, &size); },
         4, {Word(&size), Word(&format), 0, 2, 8}, noErr},
        {"SetProperty", [&](AudioUnit u) { return AudioUnitSetProperty(u, 14, 0, 1, &value, 4); },
         5, {4, Word(&value), 1, 0, 14}, Echo(5)},
        {"RemovePropertyValue", [](AudioUnit u) { return AudioUnitRemovePropertyValue(u, 25, 0, 0); },
         5, {0, 0, 0, 0, 25}, Echo(5)},
        {"GetParameter", [&](AudioUnit u) { return AudioUnitGetParameter(u, 1, 0, 0, &value); },
         6, {Word(&value), 0, 0, 1}, Echo(6)},
        {"SetParameter, a float as its bits", [](AudioUnit u) { return AudioUnitSetParameter(u, 0, 0, 2, -0.5f, 64); },
         7, {64, static_cast<intptr_t>(0xBF000000u), 2, 0, 0}, Echo(7)},
        {"Reset", [](AudioUnit u) { return AudioUnitReset(u, 1, 0); }, 9, {0, 1}, Echo(9)},
        {"AddPropertyListener", [&](AudioUnit u) { return AudioUnitAddPropertyListener(u, 23, Listener, user); },
         10, {Word(user), listener, 23}, Echo(10)},
        {"RemovePropertyListener", [](AudioUnit u) { return AudioUnitRemovePropertyListener(u, 23, Listener); },
         11, {listener, 23}, Echo(11)},
        {"Render", [&](AudioUnit u) { return AudioUnitRender(u, &flags, &stamp, 0, 8, &list); },
         14, {Word(&list), 8, 0, Word(&stamp), Word(&flags)}, noErr},
        {"AddRenderNotify", [&](AudioUnit u) { return AudioUnitAddRenderNotify(u, Notify, user); },
         15, {Word(user), notify}, Echo(15)},
        {"RemoveRenderNotify", [&](AudioUnit u) { return AudioUnitRemoveRenderNotify(u, Notify, user); },
         16, {Word(user), notify}, Echo(16)},
        {"ScheduleParameters", [&](AudioUnit u) { return AudioUnitScheduleParameters(u, events, 2); },
         17, {2, Word(events)}, Echo(17)},
        {"RemovePropertyListenerWithUserData", [&](AudioUnit u) { return AudioUnitRemovePropertyListenerWithUserData(u, 23, Listener, user); },
         18, {Word(user), listener, 23}, Echo(18)},
    };
    // clang-format on
    for (const Case& c : cases) {
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
    EXPECT_EQ(format.mChannelsPerFrame, 2u);
    EXPECT_EQ(size, sizeof format);
    EXPECT_EQ(list.mBuffers[0].mData, mUnit->ownSamples);
    EXPECT_EQ(flags, static_cast<UInt32>(kAudioUnitRenderAction_OutputIsSilence));
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

TEST_F(HostCallTest, HandlesThatAreNotOpenInstancesAreRefusedWithoutACall) {
    AudioComponentDescription zeroed{};
    UInt32 size = 4;
    AudioUnitRenderActionFlags flags = 0;
    AudioTimeStamp stamp{};
    AudioBufferList list{};
    const std::function<OSStatus(AudioUnit)> calls[] = {
        AudioUnitInitialize,
        AudioComponentInstanceDispose,
        [&](AudioUnit u) { return AudioUnitGetProperty(u, 0, 0, 0, &size, &size); },
        [&](AudioUnit u) { return AudioUnitRender(u, &flags, &stamp, 0, 1, &list); },
        [](AudioUnit u) { return PlatformCallSelector(u, 1, nullptr, 0); },
        [this](AudioUnit u) { return SetComponentInstanceStorage(u, this); },
    };
    const std::size_t before = mUnit->calls.size();
    for (AudioUnit handle : {static_cast<AudioUnit>(nullptr), reinterpret_cast<AudioUnit>(&zeroed),
                             reinterpret_cast<AudioUnit>(mComponent)}) {
        for (const auto& call : calls) {
            EXPECT_EQ(call(handle), paramErr);
        }
        EXPECT_EQ(GetComponentInstanceStorage(handle), nullptr);
        EXPECT_EQ(AudioComponentInstanceGetComponent(handle), nullptr);
    }
    EXPECT_EQ(mUnit->calls.size(), before);
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
