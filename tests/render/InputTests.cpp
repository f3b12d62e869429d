// What feeds the effect: a host callback, or another unit through a connection.
#include "RenderHarness.h"

#include <string>

namespace rendertest {
namespace {

// Renders consecutive calls of the given sizes and joins their output.
Signal RenderCalls(hosting::Unit& host, const std::vector<UInt32>& callFrames) {
    Signal joined(kStereo);
    Float64 sampleTime = 0;
    for (const UInt32 frames : callFrames) {
        CallerBuffers caller(frames);
        EXPECT_EQ(RenderAt(host.Get(), sampleTime, caller.List(), frames), noErr);
        const Signal part = caller.Channels();
        for (UInt32 channel = 0; channel < kStereo; ++channel) {
            joined[channel].insert(joined[channel].end(), part[channel].begin(),
                                   part[channel].end());
        }
        sampleTime += frames;
    }
    return joined;
}

TEST(CallbackInput, EachCallVoicesTheCallbacksSamplesWithTheMemoriesCarriedOver) {
    const Signal input = StereoNoise(512 + 64 + 1156 + 3);
    QuenzalUnit host;
    InputSource source(input);
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));

    EXPECT_TRUE(SameBits(RenderCalls(host, {512, 64, 1156, 3}), ReferenceVoicing(input)));
}

// A bus that may not allocate offers the callback null pointers; a callback that leaves them
// null fails the render instead of having them read.
TEST(CallbackInput, WithoutMemoryOfItsOwnTheBusTakesTheCallbacksOrRefuses) {
    const Signal input = StereoNoise(kFrames);
    for (const bool callbackSuppliesMemory : {true, false}) {
        SCOPED_TRACE(callbackSuppliesMemory ? "supplied" : "left null");
        QuenzalUnit host;
        InputSource source(input);
        if (callbackSuppliesMemory) {
            source.SupplyMemory();
        }
        ASSERT_EQ(host.SetProperty(kAudioUnitProperty_ShouldAllocateBuffer, kAudioUnitScope_Input,
                                   0, UInt32{0}),
                  noErr);
        ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
        CallerBuffers caller;

        const OSStatus status = RenderAt(host.Get(), 0, caller.List());

        EXPECT_EQ(source.dataSeen, std::vector<void*>(kStereo, nullptr));
        EXPECT_EQ(status, callbackSuppliesMemory ? noErr : paramErr);
        EXPECT_TRUE(!callbackSuppliesMemory ||
                    SameBits(caller.Channels(), ReferenceVoicing(input)));
    }
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

// ---- connections ----

OSStatus Connect(hosting::Unit& destination, AudioUnit source) {
    return destination.SetProperty(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0,
                                   AudioUnitConnection{source, 0, 0});
}

// The data pointers of the list the upstream unit renders into, before and after.
OSStatus RecordPointers(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                        UInt32, AudioBufferList* ioData) {
    for (UInt32 i = 0; i < ioData->mNumberBuffers; ++i) {
        static_cast<std::vector<void*>*>(refCon)->push_back(ioData->mBuffers[i].mData);
    }
    return noErr;
}

class ChainTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(mUpstream, mSource));
        ASSERT_EQ(mDownstream.SetBusFormats(hosting::CanonicalFormat(kStereo, kRate)), noErr);
        ASSERT_EQ(Connect(mDownstream, mUpstream.Get()), noErr);
        ASSERT_EQ(AudioUnitInitialize(mDownstream.Get()), noErr);
        ASSERT_EQ(AudioUnitReset(mDownstream.Get(), kAudioUnitScope_Global, 0), noErr);
    }

    const Signal mInput = StereoNoise(4 * kFrames);
    InputSource mSource{mInput};
    QuenzalUnit mUpstream;
    QuenzalUnit mDownstream;
};

TEST_F(ChainTest, TheOutputIsBothVoicingsInTurnBitForBit) {
    EXPECT_TRUE(
        SameBits(RenderCalls(mDownstream, {kFrames, 100, 1156, 280}), ReferenceVoicing(mInput, 2)));
}

TEST_F(ChainTest, PullsWithNullPointersAndThenPointsAtTheSourcesMemory) {
    std::vector<void*> upstreamList;
    ASSERT_EQ(AudioUnitAddRenderNotify(mUpstream.Get(), &RecordPointers, &upstreamList), noErr);
    CallerBuffers caller(kFrames, false);

    ASSERT_EQ(RenderAt(mDownstream.Get(), 0, caller.List()), noErr);

    // Both units work in place: the samples never leave the upstream unit's input bus.
    const std::vector<void*> sourceMemory = mSource.dataSeen;
    EXPECT_EQ(upstreamList,
              (std::vector<void*>{nullptr, nullptr, sourceMemory[0], sourceMemory[1]}));
    EXPECT_EQ(caller.Buffer(0).mData, sourceMemory[0]);
    EXPECT_EQ(caller.Buffer(1).mData, sourceMemory[1]);
}

struct LateConnection {
    const char* name;
    Float64 sourceRate;
    OSStatus expected;
};

class ConnectWhileInitializedTest : public ::testing::TestWithParam<LateConnection> {};

TEST_P(ConnectWhileInitializedTest, OnlyAnEqualFormatReplacesTheFeed) {
    const LateConnection& connection = GetParam();
    const Signal fedByCallback = StereoNoise(kFrames, 1);
    const Signal fedUpstream = StereoNoise(kFrames, 2);
    QuenzalUnit upstream;
    InputSource upstreamSource(fedUpstream);
    ASSERT_EQ(upstream.SetBusFormats(hosting::CanonicalFormat(kStereo, connection.sourceRate)),
              noErr);
    ASSERT_EQ(upstreamSource.Attach(upstream), noErr);
    ASSERT_EQ(AudioUnitInitialize(upstream.Get()), noErr);
    QuenzalUnit host;
    InputSource callback(fedByCallback);
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, callback));

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Connect(host, upstream.Get()), connection.expected);
    const std::string diagnostics = ::testing::internal::GetCapturedStderr();
    CallerBuffers caller;
    ASSERT_EQ(RenderAt(host.Get(), 0, caller.List()), noErr);

    const bool connected = connection.expected == noErr;
    EXPECT_TRUE(SameBits(caller.Channels(), connected ? ReferenceVoicing(fedUpstream, 2)
                                                      : ReferenceVoicing(fedByCallback)));
    EXPECT_EQ(diagnostics.empty(), connected) << diagnostics;
    EXPECT_EQ(diagnostics.find("ca_require_noerr: [err = DispatchSetProperty "
                               "(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, "
                               "inConnection.destInputNumber, &sourceDesc, "
                               "sizeof(CAStreamBasicDescription)), -10865] (goto errexit;) "
                               "AUBase:") != std::string::npos,
              !connected)
        << diagnostics;
}

INSTANTIATE_TEST_SUITE_P(Formats, ConnectWhileInitializedTest,
                         ::testing::Values(LateConnection{"DifferentRate", 48000.0,
                                                          kAudioUnitErr_PropertyNotWritable},
                                           LateConnection{"SameFormat", kRate, noErr}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace rendertest
