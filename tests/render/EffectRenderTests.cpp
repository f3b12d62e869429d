// The effect's bypass, and the host's floating-point mode, which a render hands back unchanged.
#include "CAMath.h"
#include "RenderHarness.h"

#include <string>

namespace rendertest {
namespace {

struct Bypass {
    const char* name;
    bool inPlace;
    bool outputAllocates;
};

class BypassTest : public ::testing::TestWithParam<Bypass> {};

TEST_P(BypassTest, DeliversTheInputUnchanged) {
    const Bypass& bypass = GetParam();
    const Signal input = StereoNoise(kFrames);
    QuenzalUnit host;
    InputSource source(input);
    ASSERT_EQ(host.SetProperty(kAudioUnitProperty_ShouldAllocateBuffer, kAudioUnitScope_Output, 0,
                               UInt32{bypass.outputAllocates}),
              noErr);
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    ASSERT_EQ(host.SetProperty(kAudioUnitProperty_InPlaceProcessing, kAudioUnitScope_Global, 0,
                               UInt32{bypass.inPlace}),
              noErr);
    ASSERT_EQ(
        host.SetProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, UInt32{1}),
        noErr);
    CallerBuffers caller;

    const unsigned hostMode = CAFloatingPointMode::Read();
    ASSERT_EQ(RenderAt(host.Get(), 0, caller.List()), noErr);

    EXPECT_EQ(CAFloatingPointMode::Read(), hostMode) << "the render left its own mode behind";
    EXPECT_EQ(caller.Channels(), input);
}

INSTANTIATE_TEST_SUITE_P(
    Buffers, BypassTest,
    ::testing::Values(Bypass{"Copied", false, true}, Bypass{"InPlace", true, true},
                      // In place without buffers of its own, the output is the caller's memory.
                      Bypass{"InPlaceOutputMayNotAllocate", true, false}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace rendertest
