// The component registry and the life of instances.
#include "ComponentTestUnit.h"

#include <cstring>
#include <thread>
#include <utility>

using namespace component_test;

namespace {

OSStatus FailingOpenEntry(ComponentParameters* params, void*) {
    return params->what == kComponentOpenSelect ? memFullErr : badComponentSelector;
}

using ComponentRegistryTest = RecordingUnitTest;

TEST_F(ComponentRegistryTest, FindNextMatchesTheNonZeroFieldsInRegistrationOrder) {
    AudioComponentDescription second = mDescription;
    second.componentSubType = 0x73636E64;
    AudioComponentDescription flagged = second;
    flagged.componentManufacturer = 0x4F746872;
    flagged.componentFlags = 0x5;
    const AudioComponent secondComponent = PlatformRegisterComponent(&second, RecordingEntry, 1);
    const AudioComponent flaggedComponent = PlatformRegisterComponent(&flagged, RecordingEntry, 1);

    struct Case {
        const char* what;
        AudioComponentDescription wanted;
        AudioComponent first;
        AudioComponent next;
    };
    const UInt32 type = mDescription.componentType;
    const Case cases[] = {
        {"type only", {type, 0, 0, 0, 0}, mComponent, secondComponent},
        {"subtype", {type, second.componentSubType, 0, 0, 0}, secondComponent, flaggedComponent},
        {"manufacturer", {0, 0, flagged.componentManufacturer, 0, 0}, flaggedComponent, nullptr},
        {"all three", mDescription, mComponent, nullptr},
        {"flags under mask", {type, 0, 0, 0x4, 0x4}, flaggedComponent, nullptr},
        {"flags without mask", {type, 0, 0, 0x2, 0}, mComponent, secondComponent},
        {"no such type", {0x6E4F4E45, 0, 0, 0, 0}, nullptr, nullptr},
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
}

TEST_F(ComponentRegistryTest, FailedOpenLeavesNoInstance) {
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
}

} // namespace
