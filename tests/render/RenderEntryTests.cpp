// The render entry as a host meets it: its checks with their diagnostics, the thread it records,
// and a feed that leaves while it is pulled.
#include "RenderHarness.h"

#include <algorithm>
#include <string>
#include <thread>

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

// clang-format off
const RefusedCall kRefusedCalls[] = {
    {"Uninitialized", false, kFrames, {4096, 4096}, kAudioUnitErr_Uninitialized,
     "ca_require: IsInitialized() Uninitialized AUBase:", 4096},
    {"OneFrameTooMany", true, AUBase::kDefaultMaxFramesPerSlice + 1, {4096, 4096}, kAudioUnitErr_TooManyFramesToProcess,
     "ca_require: inFramesToProcess <= mMaxFramesPerSlice TooManyFrames AUBase:", 4096},
    {"OneBufferForTwoChannels", true, kFrames, {4096}, paramErr,
     "ioData.mNumberBuffers=1, output->GetStreamFormat().NumberChannelStreams()=2; paramErr\n", 4096},
    {"ShortSecondBuffer", true, kFrames, {4096, 2000}, paramErr,
     " 512 frames, 4 bytes/frame, expected 2048-byte buffer; ioData.mBuffers[1].mDataByteSize=2000; paramErr\n", 2048},
    // Rendering straight into this list would write through its null second pointer.
    {"MemoryForTheFirstBufferOnly", true, kFrames, {4096, 0}, paramErr, "ioData.mBuffers[1].mData=NULL", 2048},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Checks, RefusedRenderTest, ::testing::ValuesIn(kRefusedCalls),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RenderOutput, RecordsTheRenderingThreadWhileAsked) {
    hosting::Unit host(ProbeComponent());
    InputSource source(StereoNoise(kFrames));
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    CallerBuffers caller;
    Probe(host).SetWantsRenderThreadID(true);
    pthread_t renderThread{};
    std::thread([&] {
        renderThread = pthread_self();
        RenderAt(host.Get(), 0, caller.List());
    }).join();
    EXPECT_TRUE(pthread_equal(Probe(host).GetRenderThreadID(), renderThread));
    Probe(host).SetWantsRenderThreadID(false);
    EXPECT_EQ(Probe(host).GetRenderThreadID(), pthread_t{});
}

// A callback that takes itself off the unit while it runs.
OSStatus RemoveOwnFeed(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                       UInt32, AudioBufferList*) {
    const AURenderCallbackStruct none{nullptr, nullptr};
    return AudioUnitSetProperty(static_cast<AudioUnit>(refCon),
                                kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                                &none, sizeof none);
}

TEST(CallbackInput, DisconnectedDuringItsPullReportsNoConnection) {
    QuenzalUnit host;
    InputSource source;
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    ASSERT_EQ(host.SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                               AURenderCallbackStruct{&RemoveOwnFeed, host.Get()}),
              noErr);
    CallerBuffers caller;
    EXPECT_EQ(RenderAt(host.Get(), 0, caller.List()), kAudioUnitErr_NoConnection);
}

} // namespace
} // namespace rendertest
