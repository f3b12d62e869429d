// The component registry, the life of instances, and the host calls: the exact selector block of
// each, and what reaches the unit and comes back.
#include "Platform/Host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct ReceivedCall {
    UInt8 flags;
    UInt8 paramSize;
    SInt16 what;
    std::vector<intptr_t> words; // as many as the selector takes, params[0] first
    void* storage;
};

// A hand-made unit that records the block of every call; the calls' own words are proven by every
// test of the effect, so it serves little beyond open, close and its saved state.
struct RecordingUnit {
    AudioComponentInstance instance;
    std::vector<ReceivedCall> calls;
    OSStatus classInfoStatus = noErr;
    CFPropertyListRef restoredState = nullptr;
};

constexpr OSStatus kVersion = 0x00010002;
void* gLastClosedStorage = nullptr; // the unit is gone by the time a test looks

OSStatus Echo(SInt16 selector) {
    return -20000 - selector;
}

std::size_t WordsTaken(SInt16 selector) {
    static const std::map<SInt16, std::size_t> taken = {
        {-1, 1}, {-3, 1}, {3, 5},  {4, 5},  {5, 5},  {6, 4},  {7, 5}, {9, 2},
        {10, 3}, {11, 2}, {14, 5}, {15, 2}, {16, 2}, {17, 2}, {18, 3}};
    const auto found = taken.find(selector);
    return found == taken.end() ? 0 : found->second;
}

OSStatus ServeGetProperty(RecordingUnit& unit, const intptr_t* p) {
    auto* size = reinterpret_cast<UInt32*>(p[0]);
    if (p[4] == kAudioUnitProperty_ClassInfo && unit.classInfoStatus == noErr) {
        *reinterpret_cast<CFPropertyListRef*>(p[1]) =
            CFDictionaryCreateMutable(kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks,
                                      &kCFTypeDictionaryValueCallBacks);
        *size = sizeof(CFPropertyListRef);
        return noErr;
    }
    return kAudioUnitErr_InvalidProperty;
}

OSStatus ServeSetProperty(RecordingUnit& unit, const intptr_t* p) {
    if (p[4] != kAudioUnitProperty_ClassInfo)
        return Echo(kAudioUnitSetPropertySelect);
    const CFPropertyListRef state = *reinterpret_cast<const CFPropertyListRef*>(p[1]);
    if (CFGetTypeID(state) != CFDictionaryGetTypeID())
        return kAudioUnitErr_InvalidPropertyValue;
    unit.restoredState = CFRetain(state);
    return noErr;
}

OSStatus RecordingEntry(ComponentParameters* params, void* storage) {
    const intptr_t* p = params->params;
    auto* unit = static_cast<RecordingUnit*>(storage);
    if (params->what == kComponentOpenSelect)
        unit = new RecordingUnit{reinterpret_cast<AudioComponentInstance>(p[0]), {}};
    else if (unit == nullptr)
        return paramErr;
    unit->calls.push_back({params->flags, params->paramSize, params->what,
                           std::vector<intptr_t>(p, p + WordsTaken(params->what)), storage});
    switch (params->what) {
    case kComponentOpenSelect:
        return SetComponentInstanceStorage(unit->instance, unit);
    case kComponentCloseSelect:
        if (unit->restoredState != nullptr)
            CFRelease(unit->restoredState);
        gLastClosedStorage = unit;
        delete unit;
        return noErr;
    case kComponentVersionSelect:
        return kVersion;
    case kAudioUnitGetPropertySelect:
        return ServeGetProperty(*unit, p);
    case kAudioUnitSetPropertySelect:
        return ServeSetProperty(*unit, p);
    default:
        return Echo(params->what);
    }
}

OSStatus FailingOpenEntry(ComponentParameters* params, void*) {
    return params->what == kComponentOpenSelect ? memFullErr : badComponentSelector;
}

// Registers the recording unit and proves on the way out that nothing was left open or alive.
class RecordingUnitTest : public ::testing::Test {
protected:
    void SetUp() override {
        mOpenAtStart = PlatformOpenInstanceCount();
        mLiveAtStart = PlatformLiveObjectCount();
        mComponent = PlatformRegisterComponent(&mDescription, RecordingEntry, 7);
        ASSERT_NE(mComponent, nullptr);
    }
    void TearDown() override {
        PlatformUnregisterComponent(mComponent);
        EXPECT_EQ(PlatformOpenInstanceCount(), mOpenAtStart);
        EXPECT_EQ(PlatformLiveObjectCount(), mLiveAtStart);
    }
    // The open unit, or null when the open failed.
    RecordingUnit* Open() {
        AudioComponentInstance instance = nullptr;
        EXPECT_EQ(AudioComponentInstanceNew(mComponent, &instance), noErr);
        return static_cast<RecordingUnit*>(GetComponentInstanceStorage(instance));
    }

    // "tEST" "rcrd" "Hwtd", four-character codes read big-endian.
    const AudioComponentDescription mDescription = {0x74455354, 0x72637264, 0x48777464, 0, 0};
    AudioComponent mComponent = nullptr;
    long mOpenAtStart = 0;
    long mLiveAtStart = 0;
};

// The same with one unit open for the whole test.
class OpenUnitTest : public RecordingUnitTest {
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
    RecordingUnit* mUnit = nullptr;
};

using ComponentRegistryTest = RecordingUnitTest;

TEST_F(ComponentRegistryTest, FindNextMatchesTheNonZeroFieldsInRegistrationOrder) {
    AudioComponentDescription second = mDescription;
    second.componentSubType = 0x73636E64;
    AudioComponentDescription flagged = second;
    flagged.componentManufacturer = 0x4F746872;
    flagged.componentFlags = 0x5;
    const AudioComponent secondComponent = PlatformRegisterComponent(&second, RecordingEntry, 1);
    const AudioComponent flaggedComponent = PlatformRegisterComponent(&flagged, RecordingEntry, 1);

    const UInt32 type = mDescription.componentType;
    const struct {
        AudioComponentDescription wanted;
        AudioComponent first, next;
    } cases[] = {
        {{type, 0, 0, 0, 0}, mComponent, secondComponent},
        {{type, second.componentSubType, 0, 0, 0}, secondComponent, flaggedComponent},
        {{0, 0, flagged.componentManufacturer, 0, 0}, flaggedComponent, nullptr},
        {mDescription, mComponent, nullptr},
        {{type, 0, 0, 0x4, 0x4}, flaggedComponent, nullptr}, // flags under the mask
        {{type, 0, 0, 0x2, 0}, mComponent, secondComponent}, // flags without a mask
        {{0x6E4F4E45, 0, 0, 0, 0}, nullptr, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        const AudioComponent first = AudioComponentFindNext(nullptr, &c.wanted);
        EXPECT_EQ(first, c.first);
        if (first != nullptr) {
            EXPECT_EQ(AudioComponentFindNext(first, &c.wanted), c.next);
        }
    }
    EXPECT_EQ(AudioComponentFindNext(nullptr, nullptr), nullptr);
    PlatformUnregisterComponent(secondComponent);
    PlatformUnregisterComponent(flaggedComponent);
    EXPECT_EQ(AudioComponentFindNext(mComponent, &cases[0].wanted), nullptr);
    EXPECT_EQ(AudioComponentFindNext(secondComponent, &cases[0].wanted), nullptr);
}

TEST_F(ComponentRegistryTest, DescriptionAndVersionOfKnownComponentsOnly) {
    AudioComponentDescription described{};
    EXPECT_EQ(AudioComponentGetDescription(mComponent, &described), noErr);
    EXPECT_EQ(std::memcmp(&described, &mDescription, sizeof described), 0);
    EXPECT_EQ(PlatformComponentVersion(mComponent), 7u);

    AudioComponentDescription notRegistered{};
    const auto bogus = reinterpret_cast<AudioComponent>(&notRegistered);
    EXPECT_EQ(AudioComponentGetDescription(mComponent, nullptr), paramErr);
    EXPECT_EQ(AudioComponentGetDescription(nullptr, &described), paramErr);
    EXPECT_EQ(AudioComponentGetDescription(bogus, &described), paramErr);
    EXPECT_EQ(PlatformComponentVersion(bogus), 0u);
    EXPECT_EQ(PlatformRegisterComponent(nullptr, RecordingEntry, 1), nullptr);
    EXPECT_EQ(PlatformRegisterComponent(&mDescription, nullptr, 1), nullptr);
}

TEST_F(ComponentRegistryTest, OpenHandsTheUnitItsStorageAndAFailedOpenLeavesNoInstance) {
    RecordingUnit* unit = Open();
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(PlatformOpenInstanceCount(), mOpenAtStart + 1);
    EXPECT_EQ(AudioComponentInstanceGetComponent(unit->instance), mComponent);
    EXPECT_EQ(unit->calls.at(0).paramSize, sizeof(intptr_t));
    EXPECT_EQ(unit->calls.at(0).storage, nullptr);
    EXPECT_EQ(AudioComponentInstanceDispose(unit->instance), noErr);
    EXPECT_EQ(gLastClosedStorage, unit);

    const AudioComponent failing = PlatformRegisterComponent(&mDescription, FailingOpenEntry, 1);
    const AudioComponent gone = PlatformRegisterComponent(&mDescription, RecordingEntry, 1);
    PlatformUnregisterComponent(gone);
    using Expected = std::pair<AudioComponent, OSStatus>;
    for (const auto& [component, status] :
         {Expected{failing, memFullErr}, Expected{gone, paramErr}, Expected{nullptr, paramErr}}) {
        AudioComponentInstance instance = reinterpret_cast<AudioComponentInstance>(&instance);
        EXPECT_EQ(AudioComponentInstanceNew(component, &instance), status);
        EXPECT_EQ(instance, nullptr);
        EXPECT_EQ(PlatformOpenInstanceCount(), mOpenAtStart);
    }
    EXPECT_EQ(AudioComponentInstanceNew(mComponent, nullptr), paramErr);
    PlatformUnregisterComponent(failing);
}

TEST_F(ComponentRegistryTest, UnregisteringWithAnOpenInstanceKeepsItsComponentDescribable) {
    const AudioComponent early = PlatformRegisterComponent(&mDescription, RecordingEntry, 3);
    AudioComponentInstance instance = nullptr;
    ASSERT_EQ(AudioComponentInstanceNew(early, &instance), noErr);

    PlatformUnregisterComponent(early);
    EXPECT_EQ(AudioComponentFindNext(mComponent, &mDescription), nullptr);
    AudioComponentDescription described{};
    EXPECT_EQ(
        AudioComponentGetDescription(AudioComponentInstanceGetComponent(instance), &described),
        noErr);
    EXPECT_EQ(described.componentSubType, mDescription.componentSubType);
    EXPECT_EQ(AudioComponentInstanceDispose(instance), noErr);
    EXPECT_EQ(AudioComponentGetDescription(early, &described), paramErr);
}

void Listener(void*, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {}

OSStatus Notify(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                AudioBufferList*) {
    return noErr;
}

// Every host call that takes an instance handle.
std::vector<std::function<OSStatus(AudioUnit)>> EveryCall() {
    static UInt32 size;
    static Boolean writable;
    static Float32 value;
    static AudioUnitRenderActionFlags flags;
    static AudioTimeStamp stamp;
    static AudioBufferList list{1, {{1, 32, nullptr}}};
    static AudioUnitParameterEvent events[2];
    // clang-format off
    return {
        [](AudioUnit u) { return AudioComponentInstanceCanDo(u, -4); },
        AudioComponentInstanceVersion, AudioUnitInitialize, AudioUnitUninitialize,
        [](AudioUnit u) { return AudioUnitGetPropertyInfo(u, 8, 2, 3, &size, &writable); },
        [](AudioUnit u) { return AudioUnitGetProperty(u, 8, 2, 0, &value, &size); },
        [](AudioUnit u) { return AudioUnitSetProperty(u, 14, 0, 1, &value, 4); },
        [](AudioUnit u) { return AudioUnitRemovePropertyValue(u, 25, 0, 0); },
        [](AudioUnit u) { return AudioUnitGetParameter(u, 1, 0, 0, &value); },
        [](AudioUnit u) { return AudioUnitSetParameter(u, 0, 0, 2, -0.5f, 64); },
        [](AudioUnit u) { return AudioUnitReset(u, 1, 0); },
        [](AudioUnit u) { return AudioUnitAddPropertyListener(u, 23, Listener, nullptr); },
        [](AudioUnit u) { return AudioUnitRemovePropertyListener(u, 23, Listener); },
        [](AudioUnit u) { return AudioUnitRender(u, &flags, &stamp, 0, 8, &list); },
        [](AudioUnit u) { return AudioUnitAddRenderNotify(u, Notify, nullptr); },
        [](AudioUnit u) { return AudioUnitRemoveRenderNotify(u, Notify, nullptr); },
        [](AudioUnit u) { return AudioUnitScheduleParameters(u, events, 2); },
        [](AudioUnit u) { return AudioUnitRemovePropertyListenerWithUserData(u, 23, Listener, nullptr); },
    };
    // clang-format on
}

using HostCallTest = OpenUnitTest;

TEST_F(HostCallTest, CallSelectorPassesWordsAsGivenAndZeroFillsWhatIsMissing) {
    const intptr_t given[] = {10, 20, 30, 40, 50};
    EXPECT_EQ(PlatformCallSelector(mUnit->instance, 3, given, 5), Echo(3));
    EXPECT_EQ(mUnit->calls.back().words, (std::vector<intptr_t>{10, 20, 30, 40, 50}));
    EXPECT_EQ(mUnit->calls.back().storage, mUnit);

    // A call the unit serves leaves the instance open; only a served close ends it.
    CFPropertyListRef state = nullptr;
    UInt32 size = sizeof state;
    const intptr_t getState[] = {intptr_t(&size), intptr_t(&state), 0, 0,
                                 kAudioUnitProperty_ClassInfo};
    EXPECT_EQ(PlatformCallSelector(mUnit->instance, kAudioUnitGetPropertySelect, getState, 5),
              noErr);
    CFRelease(state);

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
    const std::size_t before = mUnit->calls.size() + successor->calls.size();
    for (AudioUnit handle :
         {disposed, static_cast<AudioUnit>(nullptr), reinterpret_cast<AudioUnit>(&zeroed),
          reinterpret_cast<AudioUnit>(mComponent), reinterpret_cast<AudioUnit>(~uintptr_t{0})}) {
        for (const auto& call : EveryCall())
            EXPECT_EQ(call(handle), paramErr);
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

using ClassInfoFileTest = OpenUnitTest;

TEST_F(ClassInfoFileTest, FailuresNameTheFileAndTheProblem) {
    const std::string path =
        ::testing::TempDir() + "host_class_info." + std::to_string(getpid()) + ".plist";
    const std::string missing = ::testing::TempDir() + "no-such-dir/state.plist";
    char message[512] = "";
    const auto expectMessage = [&message](const std::string& file, const char* problem) {
        EXPECT_EQ(std::string(message).rfind(file + ": " + problem, 0), 0u) << message;
    };
    mUnit->classInfoStatus = kAudioUnitErr_InvalidProperty;
    EXPECT_EQ(PlatformSaveClassInfoToFile(mUnit->instance, path.c_str(), message, 512),
              kAudioUnitErr_InvalidProperty);
    expectMessage(path, "the unit did not hand out its state");
    mUnit->classInfoStatus = noErr;
    EXPECT_EQ(PlatformSaveClassInfoToFile(mUnit->instance, missing.c_str(), message, 512), -1);
    expectMessage(missing, "");
    EXPECT_EQ(PlatformRestoreClassInfoFromFile(mUnit->instance, missing.c_str(), message, 512), -1);
    expectMessage(missing, "");
    std::ofstream(path) << "<plist version=\"1.0\"><array/></plist>";
    EXPECT_EQ(PlatformRestoreClassInfoFromFile(mUnit->instance, path.c_str(), message, 512),
              kAudioUnitErr_InvalidPropertyValue);
    expectMessage(path, "the unit refused the saved state");
    EXPECT_EQ(mUnit->restoredState, nullptr);
    std::remove(path.c_str());
}

} // namespace
