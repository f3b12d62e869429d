// The component registry and the life of instances.
#include "ComponentTestUnit.h"

#include <thread>

using namespace component_test;

namespace {

OSStatus FailingOpenEntry(ComponentParameters* params, void*) {
    return params->what == kComponentOpenSelect ? memFullErr : badComponentSelector;
}

using ComponentRegistryTest = RecordingUnitTest;

TEST_F(ComponentRegistryTest, FindNextMatchesTheNonZeroFieldsInRegistrationOrder) {
    const AudioComponentDescription second = Describe("tEST", "scnd", "Hwtd");
    AudioComponentDescription flagged = Describe("tEST", "flgd", "Othr");
    flagged.componentFlags = 0x5;
    const AudioComponent secondComponent = PlatformRegisterComponent(&second, RecordingEntry, 1);
    const AudioComponent flaggedComponent = PlatformRegisterComponent(&flagged, RecordingEntry, 1);

    struct Case {
        const char* what;
        AudioComponentDescription wanted;
        AudioComponent first;
        AudioComponent next;
    };
    const UInt32 test = mDescription.componentType;
    const Case cases[] = {
        {"type only", {test, 0, 0, 0, 0}, mComponent, secondComponent},
        {"subtype", {test, second.componentSubType, 0, 0, 0}, secondComponent, nullptr},
        {"manufacturer", {test, 0, flagged.componentManufacturer, 0, 0}, flaggedComponent, nullptr},
        {"all three", mDescription, mComponent, nullptr},
        {"flags under mask", {test, 0, 0, 0x4, 0x4}, flaggedComponent, nullptr},
        {"flags outside mask ignored", {test, 0, 0, 0x2, 0x0}, mComponent, secondComponent},
        {"no such type", Describe("nONE", "rcrd", "Hwtd"), nullptr, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
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
    EXPECT_EQ(described.componentType, 0x74455354u); // "tEST", big-endian
    EXPECT_EQ(described.componentSubType, mDescription.componentSubType);
    EXPECT_EQ(described.componentManufacturer, mDescription.componentManufacturer);
    EXPECT_EQ(PlatformComponentVersion(mComponent), 7u);

    AudioComponentDescription bogusRecord{};
    const auto bogus = reinterpret_cast<AudioComponent>(&bogusRecord);
    EXPECT_EQ(AudioComponentGetDescription(mComponent, nullptr), paramErr);
    EXPECT_EQ(AudioComponentGetDescription(nullptr, &described), paramErr);
    EXPECT_EQ(AudioComponentGetDescription(bogus, &described), paramErr);
    EXPECT_EQ(PlatformComponentVersion(bogus), 0u);
    EXPECT_EQ(PlatformRegisterComponent(nullptr, RecordingEntry, 1), nullptr);
    EXPECT_EQ(PlatformRegisterComponent(&mDescription, nullptr, 1), nullptr);
}

TEST_F(ComponentRegistryTest, OpenRegistersStorageAndCloseReceivesIt) {
    AudioComponentInstance instance = nullptr;
    ASSERT_EQ(AudioComponentInstanceNew(mComponent, &instance), noErr);
    EXPECT_EQ(PlatformOpenInstanceCount(), mOpenAtStart + 1);
    auto* unit = static_cast<RecordingUnit*>(GetComponentInstanceStorage(instance));
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->instance, instance);
    EXPECT_EQ(AudioComponentInstanceGetComponent(instance), mComponent);

    const ReceivedCall& open = unit->calls.at(0);
    EXPECT_EQ(open.what, kComponentOpenSelect);
    EXPECT_EQ(open.paramSize, sizeof(intptr_t));
    EXPECT_EQ(open.storage, nullptr);

    EXPECT_EQ(AudioComponentInstanceDispose(instance), noErr);
    EXPECT_EQ(gLastClosedStorage, unit);
    EXPECT_EQ(PlatformOpenInstanceCount(), mOpenAtStart);
}

TEST_F(ComponentRegistryTest, FailedOpenLeavesNoInstance) {
    const AudioComponentDescription failing = Describe("tEST", "fail", "Hwtd");
    const AudioComponent component = PlatformRegisterComponent(&failing, FailingOpenEntry, 1);
    AudioComponentInstance instance = reinterpret_cast<AudioComponentInstance>(&instance);
    EXPECT_EQ(AudioComponentInstanceNew(component, &instance), memFullErr);
    EXPECT_EQ(instance, nullptr);
    EXPECT_EQ(PlatformOpenInstanceCount(), mOpenAtStart);
    PlatformUnregisterComponent(component);
}

TEST_F(ComponentRegistryTest, OpenRefusesUnknownComponentsAndMissingOutPointer) {
    const AudioComponentDescription gone = Describe("tEST", "gone", "Hwtd");
    const AudioComponent unregistered = PlatformRegisterComponent(&gone, RecordingEntry, 1);
    PlatformUnregisterComponent(unregistered);

    AudioComponentInstance instance = nullptr;
    EXPECT_EQ(AudioComponentInstanceNew(nullptr, &instance), paramErr);
    EXPECT_EQ(AudioComponentInstanceNew(unregistered, &instance), paramErr);
    EXPECT_EQ(instance, nullptr);
    EXPECT_EQ(AudioComponentInstanceNew(mComponent, nullptr), paramErr);
    EXPECT_EQ(PlatformOpenInstanceCount(), mOpenAtStart);
}

TEST_F(ComponentRegistryTest, UnregisteringWithAnOpenInstanceKeepsItsComponentDescribable) {
    const AudioComponentDescription early = Describe("tEST", "erly", "Hwtd");
    const AudioComponent component = PlatformRegisterComponent(&early, RecordingEntry, 3);
    AudioComponentInstance instance = nullptr;
    ASSERT_EQ(AudioComponentInstanceNew(component, &instance), noErr);

    PlatformUnregisterComponent(component);
    EXPECT_EQ(AudioComponentFindNext(nullptr, &early), nullptr);
    AudioComponentDescription described{};
    EXPECT_EQ(
        AudioComponentGetDescription(AudioComponentInstanceGetComponent(instance), &described),
        noErr);
    EXPECT_EQ(described.componentSubType, early.componentSubType);

    EXPECT_EQ(AudioComponentInstanceDispose(instance), noErr);
    EXPECT_EQ(AudioComponentGetDescription(component, &described), paramErr);
}

TEST_F(ComponentRegistryTest, StorageCallsRefuseHandlesThatAreNotOpenInstances) {
    AudioComponentDescription zeroed{};
    const auto notAnInstance = reinterpret_cast<AudioComponentInstance>(&zeroed);
    for (AudioComponentInstance handle :
         {static_cast<AudioComponentInstance>(nullptr), notAnInstance,
          reinterpret_cast<AudioComponentInstance>(mComponent)}) {
        EXPECT_EQ(SetComponentInstanceStorage(handle, this), paramErr);
        EXPECT_EQ(GetComponentInstanceStorage(handle), nullptr);
        EXPECT_EQ(AudioComponentInstanceGetComponent(handle), nullptr);
        EXPECT_EQ(AudioComponentInstanceDispose(handle), paramErr);
    }
}

// Hosts open and close units from several control threads while others enumerate.
TEST_F(ComponentRegistryTest, OpenAndCloseFromSeveralThreads) {
    auto churn = [this] {
        for (int i = 0; i < 200; ++i) {
            AudioComponentInstance instance = nullptr;
            if (AudioComponentInstanceNew(mComponent, &instance) == noErr) {
                AudioComponentInstanceDispose(instance);
            }
            AudioComponentFindNext(nullptr, &mDescription);
        }
    };
    std::thread a(churn), b(churn), c(churn);
    a.join();
    b.join();
    c.join();
    EXPECT_EQ(PlatformOpenInstanceCount(), mOpenAtStart);
}

} // namespace
