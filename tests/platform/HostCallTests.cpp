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

class HostCallTest : public RecordingUnitTest {
protected:
    void SetUp() override {
        RecordingUnitTest::SetUp();
        mUnit = Open();
        ASSERT_NE(mUnit, nullptr);
    }
    void TearDown() override {
        EXPECT_EQ(AudioComponentInstanceDispose(mUnit->instance), noErr);
        RecordingUnitTest::TearDown();
    }

    // Makes a call and returns what the unit received, checking the parts every call shares.
    ReceivedCall Received(const std::function<OSStatus(AudioUnit)>& call, OSStatus expected) {
        const std::size_t before = mUnit->calls.size();
        EXPECT_EQ(call(mUnit->instance), expected);
        EXPECT_EQ(mUnit->calls.size(), before + 1);
        const ReceivedCall received = mUnit->calls.back();
        EXPECT_EQ(received.flags, 0);
        EXPECT_EQ(received.paramSize, received.words.size() * sizeof(intptr_t));
        EXPECT_EQ(received.storage, mUnit);
        return received;
    }

    RecordingUnit* mUnit = nullptr;
};

OSStatus Echo(SInt16 selector) {
    return kEchoStatusBase - selector;
}

TEST_F(HostCallTest, EveryCallBuildsItsBlockLastArgumentFirst) {
    UInt32 size = 0;
    Boolean writable = 0;
    Float32 value = 0;
    int data = 0;
    AudioUnitParameterEvent events[2] = {};
    void* const user = &size;
    const intptr_t listener = reinterpret_cast<intptr_t>(&Listener);
    const intptr_t notify = reinterpret_cast<intptr_t>(&Notify);

    struct Case {
        const char* name;
        std::function<OSStatus(AudioUnit)> call;
        SInt16 selector;
        std::vector<intptr_t> words;
    };
    const Case cases[] = {
        {"CanDo", [](AudioUnit u) { return AudioComponentInstanceCanDo(u, 14); }, -3, {14}},
        {"Initialize", AudioUnitInitialize, 1, {}},
        {"Uninitialize", AudioUnitUninitialize, 2, {}},
        {"GetPropertyInfo",
         [&](AudioUnit u) { return AudioUnitGetPropertyInfo(u, 8, 2, 3, &size, &writable); },
         3,
         {Word(&writable), Word(&size), 3, 2, 8}},
        {"SetProperty",
         [&](AudioUnit u) { return AudioUnitSetProperty(u, 14, 0, 1, &data, 4); },
         5,
         {4, Word(&data), 1, 0, 14}},
        {"RemovePropertyValue",
         [](AudioUnit u) { return AudioUnitRemovePropertyValue(u, 25, 0, 0); },
         5,
         {0, 0, 0, 0, 25}},
        {"GetParameter",
         [&](AudioUnit u) { return AudioUnitGetParameter(u, 1, 0, 0, &value); },
         6,
         {Word(&value), 0, 0, 1}},
        {"SetParameter",
         [](AudioUnit u) { return AudioUnitSetParameter(u, 0, 0, 2, -0.5f, 64); },
         7,
         {64, 0xBF000000, 2, 0, 0}},
        {"Reset", [](AudioUnit u) { return AudioUnitReset(u, 1, 0); }, 9, {0, 1}},
        {"AddPropertyListener",
         [&](AudioUnit u) { return AudioUnitAddPropertyListener(u, 23, Listener, user); },
         10,
         {Word(user), listener, 23}},
        {"RemovePropertyListener",
         [](AudioUnit u) { return AudioUnitRemovePropertyListener(u, 23, Listener); },
         11,
         {listener, 23}},
        {"AddRenderNotify",
         [&](AudioUnit u) { return AudioUnitAddRenderNotify(u, Notify, user); },
         15,
         {Word(user), notify}},
        {"RemoveRenderNotify",
         [&](AudioUnit u) { return AudioUnitRemoveRenderNotify(u, Notify, user); },
         16,
         {Word(user), notify}},
        {"ScheduleParameters",
         [&](AudioUnit u) { return AudioUnitScheduleParameters(u, events, 2); },
         17,
         {2, Word(events)}},
        {"RemovePropertyListenerWithUserData",
         [&](AudioUnit u) {
             return AudioUnitRemovePropertyListenerWithUserData(u, 23, Listener, user);
         },
         18,
         {Word(user), listener, 23}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ReceivedCall received = Received(c.call, Echo(c.selector));
        EXPECT_EQ(received.what, c.selector);
        EXPECT_EQ(received.words, c.words);
    }
}

TEST_F(HostCallTest, FloatWordsCarryTheExactBitPattern) {
    const std::pair<Float32, intptr_t> values[] = {
        {1.0f, 0x3F800000}, {-0.0f, static_cast<intptr_t>(0x80000000u)}, {6.0f, 0x40C00000}};
    for (const auto& [value, bits] : values) {
        const ReceivedCall received =
            Received([value](AudioUnit u) { return AudioUnitSetParameter(u, 1, 0, 0, value, 0); },
                     Echo(kAudioUnitSetParameterSelect));
        EXPECT_EQ(received.words.at(1), bits) << value;
    }
}

TEST_F(HostCallTest, CanDoPassesNegativeSelectorsSignExtended) {
    const ReceivedCall received = Received(
        [](AudioUnit u) { return AudioComponentInstanceCanDo(u, kComponentVersionSelect); },
        Echo(kComponentCanDoSelect));
    EXPECT_EQ(static_cast<UInt32>(received.words.at(0)), 0xFFFFFFFCu);
}

TEST_F(HostCallTest, GetPropertyReachesTheUnitAndReturnsItsValue) {
    AudioStreamBasicDescription format{};
    UInt32 size = sizeof format;
    const ReceivedCall received = Received(
        [&](AudioUnit u) {
            return AudioUnitGetProperty(u, kFormatProperty, kAudioUnitScope_Output, 0, &format,
                                        &size);
        },
        noErr);
    EXPECT_EQ(received.words, (std::vector<intptr_t>{Word(&size), Word(&format), 0, 2, 8}));
    EXPECT_EQ(format.mSampleRate, 44100.0);
    EXPECT_EQ(format.mChannelsPerFrame, 2u);
    EXPECT_EQ(size, 40u);

    Received([&](AudioUnit u) { return AudioUnitGetProperty(u, 99, 0, 0, &format, &size); },
             kAudioUnitErr_InvalidProperty);
}

TEST_F(HostCallTest, RenderReachesTheUnitWhichFillsNullBuffersAndFlags) {
    AudioUnitRenderActionFlags flags = 0;
    AudioTimeStamp stamp{};
    AudioBufferList list{1, {{1, 32, nullptr}}};
    const ReceivedCall received = Received(
        [&](AudioUnit u) { return AudioUnitRender(u, &flags, &stamp, 0, 8, &list); }, noErr);
    EXPECT_EQ(received.what, kAudioUnitRenderSelect);
    EXPECT_EQ(received.words,
              (std::vector<intptr_t>{Word(&list), 8, 0, Word(&stamp), Word(&flags)}));
    EXPECT_EQ(list.mBuffers[0].mData, mUnit->ownSamples);
    EXPECT_EQ(flags, static_cast<UInt32>(kAudioUnitRenderAction_OutputIsSilence));
}

TEST_F(HostCallTest, CallSelectorPassesWordsAsGivenAndZeroFillsWhatIsMissing) {
    const intptr_t full[] = {10, 20, 30, 40, 50};
    ReceivedCall received =
        Received([&](AudioUnit u) { return PlatformCallSelector(u, 3, full, 5); }, Echo(3));
    EXPECT_EQ(received.words, (std::vector<intptr_t>{10, 20, 30, 40, 50}));

    const std::size_t before = mUnit->calls.size();
    EXPECT_EQ(PlatformCallSelector(mUnit->instance, 3, full, 1), Echo(3));
    received = mUnit->calls.at(before);
    EXPECT_EQ(received.paramSize, sizeof(intptr_t));
    EXPECT_EQ(received.words, (std::vector<intptr_t>{10, 0, 0, 0, 0}));

    EXPECT_EQ(PlatformCallSelector(mUnit->instance, 8, nullptr, 0), Echo(8));
    EXPECT_EQ(PlatformCallSelector(mUnit->instance, 3, nullptr, 2), paramErr);
    const std::vector<intptr_t> tooMany(65, 0);
    EXPECT_EQ(PlatformCallSelector(mUnit->instance, 3, tooMany.data(), 65), paramErr);
}

TEST_F(HostCallTest, EveryCallRefusesHandlesThatAreNotOpenInstances) {
    AudioComponentDescription zeroed{};
    const std::size_t before = mUnit->calls.size();
    UInt32 size = 4;
    AudioUnitRenderActionFlags flags = 0;
    AudioTimeStamp stamp{};
    AudioBufferList list{};
    const std::function<OSStatus(AudioUnit)> calls[] = {
        AudioUnitInitialize,
        AudioComponentInstanceVersion,
        [&](AudioUnit u) { return AudioUnitGetProperty(u, 0, 0, 0, &size, &size); },
        [&](AudioUnit u) { return AudioUnitRender(u, &flags, &stamp, 0, 1, &list); },
        [](AudioUnit u) { return PlatformCallSelector(u, 1, nullptr, 0); },
    };
    for (AudioUnit handle : {static_cast<AudioUnit>(nullptr), reinterpret_cast<AudioUnit>(&zeroed),
                             reinterpret_cast<AudioUnit>(mComponent)}) {
        for (const auto& call : calls) {
            EXPECT_EQ(call(handle), paramErr);
        }
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
