// The component entry as hosts reach it: opening and closing, the can-do and version queries,
// selectors nobody serves, and the error trap's mapping of everything thrown below it.
#include "LinkedEffect.h"
#include "TestEffects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <vector>

using testhost::QuenzalUnit;

namespace {

TEST(ComponentEntry, NullObjectOrBlockIsRefusedBeforeTheSwitch) {
    ComponentParameters params{};
    for (const SInt16 selector :
         {SInt16(kComponentCloseSelect), SInt16(kComponentCanDoSelect),
          SInt16(kComponentVersionSelect), SInt16(kAudioUnitInitializeSelect),
          SInt16(kAudioUnitRenderSelect), SInt16(8)}) {
        params.what = selector;
        EXPECT_EQ(Harwendel_QuenzalEntry(&params, nullptr), paramErr) << "selector " << selector;
    }
    EXPECT_EQ(Harwendel_QuenzalEntry(nullptr, nullptr), paramErr);
}

// Every kind of failure thrown under the entry becomes a status, from the version query of an
// open unit and from a constructor that fails during open.
struct TrapCase {
    testeffects::Failure failure;
    OSStatus status;
};

void PrintTo(const TrapCase& c, std::ostream* os) {
    *os << "failure " << int(c.failure) << " -> " << c.status;
}

class ErrorTrap : public testing::TestWithParam<TrapCase> {
protected:
    void TearDown() override {
        using testeffects::Failure;
        testeffects::gFailureOnOpen = testeffects::gFailureOnVersion =
            testeffects::gFailureOnClose = Failure::None;
    }
};

TEST_P(ErrorTrap, MapsAFailureInAnOpenUnit) {
    hosting::Unit host(testeffects::ThrowingEffectComponent());
    testeffects::gFailureOnVersion = GetParam().failure;
    EXPECT_EQ(AudioComponentInstanceVersion(host.Get()), GetParam().status);
}

TEST_P(ErrorTrap, MapsAFailedOpenAndLeavesNoInstance) {
    const long instancesBefore = PlatformOpenInstanceCount();
    testeffects::gFailureOnOpen = GetParam().failure;
    AudioComponentInstance instance = nullptr;
    EXPECT_EQ(AudioComponentInstanceNew(testeffects::ThrowingEffectComponent(), &instance),
              GetParam().status);
    EXPECT_EQ(instance, nullptr);
    EXPECT_EQ(PlatformOpenInstanceCount(), instancesBefore);

    // The open lock was released: the next open goes through.
    testeffects::gFailureOnOpen = testeffects::Failure::None;
    hosting::Unit host(testeffects::ThrowingEffectComponent());
}

TEST_P(ErrorTrap, MapsAFailedCloseAndStillDestroysTheUnit) {
    const int aliveBefore = testeffects::gThrowingEffectsAlive;
    AudioComponentInstance instance = nullptr;
    ASSERT_EQ(AudioComponentInstanceNew(testeffects::ThrowingEffectComponent(), &instance), noErr);
    testeffects::gFailureOnClose = GetParam().failure;
    EXPECT_EQ(AudioComponentInstanceDispose(instance), GetParam().status);
    EXPECT_EQ(testeffects::gThrowingEffectsAlive, aliveBefore);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, ErrorTrap,
                         testing::Values(TrapCase{testeffects::Failure::OutOfMemory, memFullErr},
                                         TrapCase{testeffects::Failure::Status,
                                                  kAudioUnitErr_FailedInitialization},
                                         TrapCase{testeffects::Failure::ShortStatus, -3},
                                         TrapCase{testeffects::Failure::Other, -1}));

} // namespace
