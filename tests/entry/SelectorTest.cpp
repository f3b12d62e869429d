// The error trap's mapping of everything thrown below the component entry.
#include "TestEffects.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

// Every kind of failure thrown under the entry becomes a status.
struct TrapCase {
    testeffects::Failure failure;
    OSStatus status;
};

void PrintTo(const TrapCase& c, std::ostream* os) {
    *os << "failure " << int(c.failure) << " -> " << c.status;
}

class ErrorTrap : public testing::TestWithParam<TrapCase> {
protected:
    void TearDown() override { testeffects::gFailureOnClose = testeffects::Failure::None; }
};

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
