// The render entry as a host meets it: the checks and their diagnostics, and the floating-point
// mode.
#include "RenderHarness.h"

#include <algorithm>
#include <string>

namespace rendertest {
namespace {

void CountCalls(void* refCon, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
    ++*static_cast<int*>(refCon);
}

struct RefusedCall {
    const char* name;
    bool initialize;
    UInt32 frames;
    std::vector<UInt32> bufferBytes; // 0: a null data pointer
    OSStatus expected;
    const char* diagnostic;
    UInt32 firstBufferBytesAfter;
};

class RefusedRenderTest : public ::testing::TestWithParam<RefusedCall> {};

TEST_P(RefusedRenderTest, ReportsTheErrorOnceWithItsTwoDiagnosticLines) {
    const RefusedCall& call = GetParam();
    QuenzalUnit host;
    InputSource source;
    ASSERT_EQ(host.SetBusFormats(hosting::CanonicalFormat(kStereo, kRate)), noErr);
    ASSERT_EQ(source.Attach(host), noErr);
    if (call.initialize) {
        ASSERT_EQ(AudioUnitInitialize(host.Get()), noErr);
    }
    int announcements = 0;
    ASSERT_EQ(AudioUnitAddPropertyListener(host.Get(), kAudioUnitProperty_LastRenderError,
                                           &CountCalls, &announcements),
              noErr);
    CallerBuffers caller(2 * kFrames);
    caller.List().mNumberBuffers = UInt32(call.bufferBytes.size());
    for (UInt32 i = 0; i < call.bufferBytes.size(); ++i) {
        caller.Buffer(i).mDataByteSize = call.bufferBytes[i];
        caller.Buffer(i).mData = call.bufferBytes[i] == 0 ? nullptr : caller.Buffer(i).mData;
    }

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RenderAt(host.Get(), 0, caller.List(), call.frames), call.expected);
    EXPECT_EQ(RenderAt(host.Get(), 0, caller.List(), call.frames), call.expected);
    const std::string diagnostics = ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(std::count(diagnostics.begin(), diagnostics.end(), '\n'), 4) << "two per call";
    EXPECT_NE(diagnostics.find(call.diagnostic), std::string::npos) << diagnostics;
    EXPECT_NE(diagnostics.find("\n  from AU ("), std::string::npos) << diagnostics;
    EXPECT_NE(diagnostics.find(", render err: " + std::to_string(call.expected) + "\n"),
              std::string::npos)
        << diagnostics;
    EXPECT_EQ(announcements, 1) << "only the first error since the last read is recorded";
    OSStatus recorded = 0;
    ASSERT_EQ(
        host.GetProperty(kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0, recorded),
        noErr);
    EXPECT_EQ(recorded, call.expected);
    EXPECT_EQ(caller.Buffer(0).mDataByteSize, call.firstBufferBytesAfter);
    EXPECT_EQ(source.pulls, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Checks, RefusedRenderTest,
    ::testing::Values(
        RefusedCall{"Uninitialized",
                    false,
                    kFrames,
                    {4096, 4096},
                    kAudioUnitErr_Uninitialized,
                    "ca_require: IsInitialized() Uninitialized AUBase:",
                    4096},
        RefusedCall{"OneFrameTooMany",
                    true,
                    kTooManyFrames,
                    {4096, 4096},
                    kAudioUnitErr_TooManyFramesToProcess,
                    "ca_require: inFramesToProcess <= mMaxFramesPerSlice TooManyFrames AUBase:",
                    4096},
        RefusedCall{"OneBufferForTwoChannels",
                    true,
                    kFrames,
                    {4096},
                    paramErr,
                    "ioData.mNumberBuffers=1, "
                    "output->GetStreamFormat().NumberChannelStreams()=2; paramErr\n",
                    4096},
        RefusedCall{"ShortSecondBuffer",
                    true,
                    kFrames,
                    {4096, 2000},
                    paramErr,
                    " 512 frames, 4 bytes/frame, expected 2048-byte buffer; "
                    "ioData.mBuffers[1].mDataByteSize=2000; paramErr\n",
                    2048},
        // Rendering straight into this list would write through its null second pointer.
        RefusedCall{"MemoryForTheFirstBufferOnly",
                    true,
                    kFrames,
                    {4096, 0},
                    paramErr,
                    "ioData.mBuffers[1].mData=NULL",
                    2048}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- floating-point mode ----

struct ModeScenario {
    const char* name;
    UInt32 frames;
    bool throwFromKernel;
    OSStatus expected;
};

class FloatingPointModeTest : public ::testing::TestWithParam<ModeScenario> {
protected:
    void TearDown() override { CAFloatingPointMode::Write(mSavedMode); }
    const unsigned mSavedMode = CAFloatingPointMode::Read();
};

TEST_P(FloatingPointModeTest, DenormalsFlushWhileRenderingAndTheHostsModeReturns) {
    const ModeScenario& scenario = GetParam();
    hosting::Unit host(ProbeComponent());
    InputSource source(StereoNoise(kFrames));
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    Probe(host).throwFromKernel = scenario.throwFromKernel;
    CallerBuffers caller(kTooManyFrames);
    // Round toward zero with denormals kept: a mode no render chooses by itself.
    constexpr unsigned kStatusFlags = 0x3F;
    const unsigned hostMode =
        (mSavedMode & ~CAFloatingPointMode::kFlushToZeroAndDenormalsAreZero & ~kStatusFlags) |
        0x6000;
    CAFloatingPointMode::Write(hostMode);

    ::testing::internal::CaptureStderr();
    const OSStatus status = RenderAt(host.Get(), 0, caller.List(), scenario.frames);
    const unsigned modeAfter = CAFloatingPointMode::Read();
    ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(status, scenario.expected);
    EXPECT_EQ(modeAfter & ~kStatusFlags, hostMode);
    if (scenario.frames == kFrames) {
        EXPECT_EQ(Probe(host).modeSeenByKernel &
                      CAFloatingPointMode::kFlushToZeroAndDenormalsAreZero,
                  CAFloatingPointMode::kFlushToZeroAndDenormalsAreZero);
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, FloatingPointModeTest,
                         ::testing::Values(ModeScenario{"Normal", kFrames, false, noErr},
                                           ModeScenario{"Refused", kTooManyFrames, false,
                                                        kAudioUnitErr_TooManyFramesToProcess},
                                           ModeScenario{"KernelThrows", kFrames, true, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace rendertest
