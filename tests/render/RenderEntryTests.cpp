// The render entry as a host meets it: the checks and their diagnostics, where the output lands,
// repeated time stamps, render notifications and the floating-point mode.
#include "ProbeEffect.h"

#include <string>

namespace rendertest {
namespace {

constexpr UInt32 kFrames = 512;

size_t CountLines(const std::string& text) {
    return size_t(std::count(text.begin(), text.end(), '\n'));
}

void CountCalls(void* refCon, AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
    ++*static_cast<int*>(refCon);
}

// ---- checks ----

struct RefusedCall {
    const char* name;
    bool initialize;
    UInt32 frames;
    std::vector<UInt32> bufferBytes; // one entry per buffer of the caller's list
    std::vector<bool> bufferHasMemory;
    OSStatus expected;
    std::string expectedDiagnostic;
};

class RefusedRenderTest : public ::testing::TestWithParam<RefusedCall> {};

TEST_P(RefusedRenderTest, ReportsOnceWithItsDiagnosticAndTheFromLine) {
    const RefusedCall& call = GetParam();
    UnitHost host;
    InputSource source(StereoNoise(kFrames));
    ASSERT_EQ(host.SetFormat(kStereo, kRate), noErr);
    ASSERT_EQ(source.Attach(host), noErr);
    if (call.initialize) {
        ASSERT_EQ(host.Initialize(), noErr);
    }
    int errorAnnouncements = 0;
    ASSERT_EQ(AudioUnitAddPropertyListener(host.Unit(), kAudioUnitProperty_LastRenderError,
                                           &CountCalls, &errorAnnouncements),
              noErr);
    const auto buffers = UInt32(call.bufferBytes.size());
    CallerBuffers caller(buffers, 1024);
    for (UInt32 i = 0; i < buffers; ++i) {
        caller.Buffer(i).mDataByteSize = call.bufferBytes[i];
        if (!call.bufferHasMemory[i]) {
            caller.Buffer(i).mData = nullptr;
        }
    }

    ::testing::internal::CaptureStderr();
    const OSStatus first = RenderAt(host.Unit(), 0, call.frames, caller.List());
    const std::string diagnostics = ::testing::internal::GetCapturedStderr();
    ::testing::internal::CaptureStderr();
    const OSStatus second = RenderAt(host.Unit(), 0, call.frames, caller.List());
    ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(first, call.expected);
    EXPECT_EQ(second, call.expected);
    EXPECT_EQ(CountLines(diagnostics), 2u) << diagnostics;
    EXPECT_NE(diagnostics.find(call.expectedDiagnostic), std::string::npos) << diagnostics;
    EXPECT_NE(diagnostics.find("\n  from AU ("), std::string::npos) << diagnostics;
    EXPECT_NE(diagnostics.find("render err: " + std::to_string(call.expected) + "\n"),
              std::string::npos)
        << diagnostics;
    EXPECT_EQ(errorAnnouncements, 1) << "only the first error is recorded";
    OSStatus recorded = 0;
    EXPECT_EQ(
        host.GetProperty(kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0, recorded),
        noErr);
    EXPECT_EQ(recorded, call.expected);
    EXPECT_EQ(source.pulls, 0) << "a refused call renders nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Checks, RefusedRenderTest,
    ::testing::Values(
        RefusedCall{"Uninitialized",
                    false,
                    kFrames,
                    {2048, 2048},
                    {true, true},
                    kAudioUnitErr_Uninitialized,
                    "ca_require: IsInitialized() Uninitialized AUBase:"},
        RefusedCall{"OneFrameAboveTheMaximum",
                    true,
                    AUBase::kDefaultMaxFramesPerSlice + 1,
                    {4096, 4096},
                    {true, true},
                    kAudioUnitErr_TooManyFramesToProcess,
                    "ca_require: inFramesToProcess <= mMaxFramesPerSlice TooManyFrames AUBase:"},
        RefusedCall{"OneBufferForTwoChannels",
                    true,
                    kFrames,
                    {2048},
                    {true},
                    paramErr,
                    "ioData.mNumberBuffers=1, "
                    "output->GetStreamFormat().NumberChannelStreams()=2; paramErr\n"},
        RefusedCall{"ShortSecondBuffer",
                    true,
                    kFrames,
                    {4096, 2000},
                    {true, true},
                    paramErr,
                    " 512 frames, 4 bytes/frame, expected 2048-byte buffer; "
                    "ioData.mBuffers[1].mDataByteSize=2000; paramErr\n"},
        // Rendering straight into this list would write through its null second pointer.
        RefusedCall{"MemoryForTheFirstBufferOnly",
                    true,
                    kFrames,
                    {2048, 2048},
                    {true, false},
                    paramErr,
                    "ioData.mBuffers[1].mData=NULL"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RenderChecks, AShortBufferLeavesTheEarlierBuffersAtTheirPinnedSize) {
    UnitHost host;
    InputSource source(StereoNoise(kFrames));
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    CallerBuffers caller(kStereo, 1024);
    caller.Buffer(0).mDataByteSize = 4096;
    caller.Buffer(1).mDataByteSize = 2000;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RenderAt(host.Unit(), 0, kFrames, caller.List()), paramErr);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(caller.Buffer(0).mDataByteSize, 2048u);

    caller.Buffer(1).mDataByteSize = 4096;
    EXPECT_EQ(RenderAt(host.Unit(), 0, kFrames, caller.List()), noErr);
    EXPECT_EQ(caller.Buffer(0).mDataByteSize, 2048u);
    EXPECT_EQ(caller.Buffer(1).mDataByteSize, 2048u);
}

// ---- where the output lands ----

TEST(RenderOutput, NullDataPointersComeBackPointingAtTheUnitsMemory) {
    const Signal input = StereoNoise(kFrames);
    UnitHost host;
    InputSource source(input);
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    CallerBuffers caller(kStereo, kFrames, false);

    ASSERT_EQ(RenderAt(host.Unit(), 0, kFrames, caller.List()), noErr);

    // In place: the output is the input bus's own buffers, which the callback filled.
    ASSERT_EQ(source.dataSeen.size(), size_t(kStereo));
    for (UInt32 channel = 0; channel < kStereo; ++channel) {
        EXPECT_EQ(caller.Buffer(channel).mData, source.dataSeen[channel]);
        EXPECT_EQ(caller.Buffer(channel).mDataByteSize, kFrames * sizeof(Float32));
    }
    EXPECT_TRUE(SameBits(caller.Channels(), ReferenceVoicing(input)));
}

TEST(RenderOutput, TheSameTimeStampRendersOnceUntilAReset) {
    UnitHost host(ProbeComponent());
    InputSource source(StereoNoise(kFrames));
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    CallerBuffers first(kStereo, kFrames);
    CallerBuffers again(kStereo, kFrames);

    ASSERT_EQ(RenderAt(host.Unit(), 0, kFrames, first.List()), noErr);
    ASSERT_EQ(RenderAt(host.Unit(), 0, kFrames, again.List()), noErr);
    EXPECT_EQ(source.pulls, 1);
    EXPECT_EQ(Probe(host).slices.size(), 1u);

    ASSERT_EQ(host.Reset(), noErr);
    ASSERT_EQ(RenderAt(host.Unit(), 0, kFrames, again.List()), noErr);
    EXPECT_EQ(source.pulls, 2);
    EXPECT_TRUE(SameBits(again.Channels(), first.Channels()));
}

// ---- render notifications ----

struct NotificationLog {
    std::vector<AudioUnitRenderActionFlags> flags;
    AudioUnitRenderActionFlags addToShared = 0;

    static OSStatus Record(void* refCon, AudioUnitRenderActionFlags* ioActionFlags,
                           const AudioTimeStamp*, UInt32, UInt32, AudioBufferList*) {
        auto& log = *static_cast<NotificationLog*>(refCon);
        log.flags.push_back(*ioActionFlags);
        *ioActionFlags |= log.addToShared;
        return noErr;
    }
};

struct NotifiedRender {
    const char* name;
    bool feedInput;
    bool silentInput;
    std::vector<AudioUnitRenderActionFlags> expected;
};

class NotificationFlagsTest : public ::testing::TestWithParam<NotifiedRender> {};

TEST_P(NotificationFlagsTest, PreAndPostRenderFlags) {
    const NotifiedRender& render = GetParam();
    UnitHost host(ProbeComponent());
    Probe(host).tailSeconds = 0; // silent input is silent output at once
    InputSource source(StereoNoise(kFrames));
    source.flagSilence = render.silentInput;
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    if (!render.feedInput) {
        ASSERT_EQ(host.SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                                   AURenderCallbackStruct{nullptr, nullptr}),
                  noErr);
    }
    NotificationLog log;
    ASSERT_EQ(AudioUnitAddRenderNotify(host.Unit(), &NotificationLog::Record, &log), noErr);
    CallerBuffers caller(kStereo, kFrames);

    AudioUnitRenderActionFlags flags = 0;
    const OSStatus status = RenderAt(host.Unit(), 0, kFrames, caller.List(), &flags);

    EXPECT_EQ(status, render.feedInput ? noErr : kAudioUnitErr_NoConnection);
    EXPECT_EQ(log.flags, render.expected);
}

INSTANTIATE_TEST_SUITE_P(Notifications, NotificationFlagsTest,
                         ::testing::Values(NotifiedRender{"Sound", true, false, {4, 8}},
                                           NotifiedRender{"SilentOutput", true, true, {4, 8 | 16}},
                                           NotifiedRender{
                                               "RenderFailed", false, false, {4, 8 | 256}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RenderNotifications, AddedTwiceCalledOnceRemovedOnceGone) {
    UnitHost host;
    InputSource source(StereoNoise(4 * kFrames));
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    NotificationLog log;
    CallerBuffers caller(kStereo, kFrames);
    ASSERT_EQ(AudioUnitAddRenderNotify(host.Unit(), &NotificationLog::Record, &log), noErr);
    ASSERT_EQ(AudioUnitAddRenderNotify(host.Unit(), &NotificationLog::Record, &log), noErr);

    ASSERT_EQ(RenderAt(host.Unit(), 0, kFrames, caller.List()), noErr);
    EXPECT_EQ(log.flags.size(), 2u);

    ASSERT_EQ(AudioUnitRemoveRenderNotify(host.Unit(), &NotificationLog::Record, &log), noErr);
    ASSERT_EQ(RenderAt(host.Unit(), kFrames, kFrames, caller.List()), noErr);
    EXPECT_EQ(log.flags.size(), 2u);
}

TEST(RenderNotifications, ShareOneFlagsWordThatIsNotTheCallers) {
    UnitHost host;
    InputSource source(StereoNoise(kFrames));
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    NotificationLog first;
    first.addToShared = 0x1000;
    NotificationLog second;
    ASSERT_EQ(AudioUnitAddRenderNotify(host.Unit(), &NotificationLog::Record, &first), noErr);
    ASSERT_EQ(AudioUnitAddRenderNotify(host.Unit(), &NotificationLog::Record, &second), noErr);
    CallerBuffers caller(kStereo, kFrames);

    AudioUnitRenderActionFlags flags = 0;
    ASSERT_EQ(RenderAt(host.Unit(), 0, kFrames, caller.List(), &flags), noErr);

    EXPECT_EQ(first.flags, (std::vector<AudioUnitRenderActionFlags>{4, 8}));
    EXPECT_EQ(second.flags, (std::vector<AudioUnitRenderActionFlags>{4 | 0x1000, 8 | 0x1000}));
    EXPECT_EQ(flags & 0x1000, 0u);
}

TEST(RenderNotifications, ANullNotificationIsRefused) {
    UnitHost host;
    EXPECT_EQ(AudioUnitAddRenderNotify(host.Unit(), nullptr, nullptr), paramErr);
}

// ---- floating-point mode ----

struct ModeScenario {
    const char* name;
    UInt32 frames;
    bool throwFromKernel;
    OSStatus expected;
};

class FloatingPointModeTest : public ::testing::TestWithParam<ModeScenario> {
protected:
    void TearDown() override { SetFloatingPointMode(mSavedMode); }
    const unsigned mSavedMode = FloatingPointMode();
};

TEST_P(FloatingPointModeTest, FlushesDenormalsWhileRenderingAndRestoresTheHostsMode) {
#if !defined(__x86_64__) && !defined(__i386__)
    GTEST_SKIP() << "no SSE control register";
#endif
    const ModeScenario& scenario = GetParam();
    UnitHost host(ProbeComponent());
    InputSource source(StereoNoise(kFrames));
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    Probe(host).throwFromKernel = scenario.throwFromKernel;
    CallerBuffers caller(kStereo, 2048);
    // Round toward zero, denormals kept: a mode no render would choose by itself.
    constexpr unsigned kStatusFlags = 0x3F;
    const unsigned hostMode = (mSavedMode & ~0x8040u & ~kStatusFlags) | 0x6000;
    SetFloatingPointMode(hostMode);

    ::testing::internal::CaptureStderr();
    const OSStatus status = RenderAt(host.Unit(), 0, scenario.frames, caller.List());
    const unsigned modeAfter = FloatingPointMode();
    ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(status, scenario.expected);
    EXPECT_EQ(modeAfter & ~kStatusFlags, hostMode);
    if (scenario.frames <= AUBase::kDefaultMaxFramesPerSlice) {
        EXPECT_EQ(Probe(host).modeSeenByKernel & 0x8040u, 0x8040u);
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, FloatingPointModeTest,
                         ::testing::Values(ModeScenario{"Normal", kFrames, false, noErr},
                                           ModeScenario{
                                               "Refused", AUBase::kDefaultMaxFramesPerSlice + 1,
                                               false, kAudioUnitErr_TooManyFramesToProcess},
                                           ModeScenario{"KernelThrows", kFrames, true, -1}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace rendertest
