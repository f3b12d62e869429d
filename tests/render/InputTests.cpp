// What feeds the effect: a host callback, another unit through a connection, and the ways a feed
// is replaced, refused, lost or misbehaves.
#include "RenderHarness.h"

#include <numeric>
#include <string>

namespace rendertest {
namespace {

constexpr UInt32 kFrames = 512;

// Renders consecutive calls of the given sizes and joins their output.
Signal RenderCalls(UnitHost& host, const std::vector<UInt32>& callFrames) {
    Signal joined(kStereo);
    Float64 sampleTime = 0;
    for (const UInt32 frames : callFrames) {
        CallerBuffers caller(kStereo, frames);
        EXPECT_EQ(RenderAt(host.Unit(), sampleTime, frames, caller.List()), noErr);
        for (UInt32 channel = 0; channel < kStereo; ++channel) {
            const std::vector<Float32> part = caller.Channel(channel);
            joined[channel].insert(joined[channel].end(), part.begin(), part.end());
        }
        sampleTime += frames;
    }
    return joined;
}

TEST(CallbackInput, EveryCallVoicesTheCallbacksSamplesWithTheMemoriesCarriedOver) {
    const std::vector<UInt32> calls{512, 64, 1156, 3, 1};
    const Signal input = StereoNoise(std::accumulate(calls.begin(), calls.end(), size_t(0)));
    UnitHost host;
    InputSource source(input);
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));

    EXPECT_TRUE(SameBits(RenderCalls(host, calls), ReferenceVoicing(input)));
    EXPECT_EQ(source.pulls, int(calls.size()));
}

TEST(CallbackInput, AFailingCallbackFailsTheRenderAndLeavesTheOutputAlone) {
    UnitHost host;
    InputSource source(StereoNoise(kFrames));
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    source.failure = -1234;
    CallerBuffers caller(kStereo, kFrames);
    std::fill_n(static_cast<Float32*>(caller.Buffer(0).mData), kFrames, 0.25f);

    EXPECT_EQ(RenderAt(host.Unit(), 0, kFrames, caller.List()), -1234);
    EXPECT_EQ(caller.Channel(0), std::vector<Float32>(kFrames, 0.25f));
}

// When the input bus may not allocate, the callback is offered null pointers and must supply
// memory; a callback that leaves them null fails the render instead of having them read.
TEST(CallbackInput, WithoutMemoryOfItsOwnTheBusTakesTheCallbacksOrRefuses) {
    const Signal input = StereoNoise(kFrames);
    for (const bool callbackSuppliesMemory : {true, false}) {
        SCOPED_TRACE(callbackSuppliesMemory ? "supplied" : "left null");
        UnitHost host;
        InputSource source(input);
        if (callbackSuppliesMemory) {
            source.SupplyMemory(kStereo, kFrames);
        }
        ASSERT_EQ(host.SetProperty(kAudioUnitProperty_ShouldAllocateBuffer, kAudioUnitScope_Input,
                                   0, UInt32{0}),
                  noErr);
        ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
        CallerBuffers caller(kStereo, kFrames);

        const OSStatus status = RenderAt(host.Unit(), 0, kFrames, caller.List());

        EXPECT_EQ(source.dataSeen, std::vector<void*>(kStereo, nullptr));
        if (callbackSuppliesMemory) {
            EXPECT_EQ(status, noErr);
            EXPECT_TRUE(SameBits(caller.Channels(), ReferenceVoicing(input)));
        } else {
            EXPECT_EQ(status, paramErr);
        }
    }
}

// ---- connections ----

OSStatus Connect(UnitHost& destination, AudioUnit source) {
    return destination.SetProperty(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0,
                                   AudioUnitConnection{source, 0, 0});
}

// Sees the buffer list the upstream unit is asked to render into, and what it gives back.
struct ListSpy {
    std::vector<void*> before;
    std::vector<void*> after;

    static OSStatus Notify(void* refCon, AudioUnitRenderActionFlags* ioActionFlags,
                           const AudioTimeStamp*, UInt32, UInt32, AudioBufferList* ioData) {
        auto& spy = *static_cast<ListSpy*>(refCon);
        auto& seen =
            (*ioActionFlags & kAudioUnitRenderAction_PreRender) != 0 ? spy.before : spy.after;
        seen.clear();
        for (UInt32 i = 0; i < ioData->mNumberBuffers; ++i) {
            seen.push_back(ioData->mBuffers[i].mData);
        }
        return noErr;
    }
};

class ChainTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(mUpstream, mSource));
        ASSERT_EQ(mDownstream.SetFormat(kStereo, kRate), noErr);
        ASSERT_EQ(Connect(mDownstream, mUpstream.Unit()), noErr);
        ASSERT_EQ(mDownstream.Initialize(), noErr);
        ASSERT_EQ(mDownstream.Reset(), noErr);
    }

    const Signal mInput = StereoNoise(4 * kFrames);
    InputSource mSource{mInput};
    UnitHost mUpstream;
    UnitHost mDownstream;
};

TEST_F(ChainTest, TheDownstreamOutputIsBothVoicingsInTurnBitForBit) {
    const Signal output = RenderCalls(mDownstream, {kFrames, 100, 1156, 280});
    EXPECT_TRUE(SameBits(output, ReferenceVoicing(mInput, 2)));
}

TEST_F(ChainTest, PullsWithNullPointersAndEndsUpPointingAtTheSourcesMemory) {
    ListSpy spy;
    ASSERT_EQ(AudioUnitAddRenderNotify(mUpstream.Unit(), &ListSpy::Notify, &spy), noErr);
    CallerBuffers caller(kStereo, kFrames, false);

    ASSERT_EQ(RenderAt(mDownstream.Unit(), 0, kFrames, caller.List()), noErr);

    EXPECT_EQ(spy.before, std::vector<void*>(kStereo, nullptr));
    // Both units work in place, so the samples never left the upstream unit's input bus.
    EXPECT_EQ(spy.after, mSource.dataSeen);
    for (UInt32 channel = 0; channel < kStereo; ++channel) {
        EXPECT_EQ(caller.Buffer(channel).mData, mSource.dataSeen[channel]);
    }
    EXPECT_TRUE(SameBits(
        caller.Channels(),
        ReferenceVoicing(Signal{Slice(mInput[0], 0, kFrames), Slice(mInput[1], 0, kFrames)}, 2)));
}

TEST_F(ChainTest, AnUpstreamFailurePassesThrough) {
    mSource.failure = -4321;
    CallerBuffers caller(kStereo, kFrames);
    EXPECT_EQ(RenderAt(mDownstream.Unit(), 0, kFrames, caller.List()), -4321);
}

struct LateConnection {
    const char* name;
    Float64 sourceRate;
    OSStatus expected;
};

class ConnectWhileInitializedTest : public ::testing::TestWithParam<LateConnection> {};

TEST_P(ConnectWhileInitializedTest, OnlyAnEqualFormatReplacesTheFeed) {
    const LateConnection& connection = GetParam();
    const Signal callbackInput = StereoNoise(kFrames, 1);
    const Signal upstreamInput = StereoNoise(kFrames, 2);
    UnitHost upstream;
    InputSource upstreamSource(upstreamInput);
    ASSERT_EQ(upstream.SetFormat(kStereo, connection.sourceRate), noErr);
    ASSERT_EQ(upstreamSource.Attach(upstream), noErr);
    ASSERT_EQ(upstream.Initialize(), noErr);
    UnitHost host;
    InputSource callback(callbackInput);
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, callback));

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Connect(host, upstream.Unit()), connection.expected);
    const std::string diagnostics = ::testing::internal::GetCapturedStderr();

    CallerBuffers caller(kStereo, kFrames);
    ASSERT_EQ(RenderAt(host.Unit(), 0, kFrames, caller.List()), noErr);
    if (connection.expected == noErr) {
        EXPECT_TRUE(SameBits(caller.Channels(), ReferenceVoicing(upstreamInput, 2)));
        EXPECT_EQ(callback.pulls, 0);
    } else {
        EXPECT_NE(diagnostics.find("ca_require_noerr: [err = DispatchSetProperty "
                                   "(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, "
                                   "inConnection.destInputNumber, &sourceDesc, "
                                   "sizeof(CAStreamBasicDescription)), -10865] (goto errexit;) "
                                   "AUBase:"),
                  std::string::npos)
            << diagnostics;
        EXPECT_TRUE(SameBits(caller.Channels(), ReferenceVoicing(callbackInput)));
        EXPECT_EQ(upstreamSource.pulls, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, ConnectWhileInitializedTest,
                         ::testing::Values(LateConnection{"DifferentRate", 48000.0,
                                                          kAudioUnitErr_PropertyNotWritable},
                                           LateConnection{"SameFormat", kRate, noErr}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Connection, WhileUninitializedTheInputTakesOverTheSourcesFormat) {
    UnitHost upstream;
    ASSERT_EQ(upstream.SetFormat(1, 48000.0), noErr);
    UnitHost host;
    ASSERT_EQ(host.SetFormat(kStereo, kRate), noErr);

    ASSERT_EQ(Connect(host, upstream.Unit()), noErr);

    AudioStreamBasicDescription inputFormat{};
    ASSERT_EQ(
        host.GetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, inputFormat),
        noErr);
    EXPECT_EQ(inputFormat.mChannelsPerFrame, 1u);
    EXPECT_EQ(inputFormat.mSampleRate, 48000.0);
}

TEST(Connection, AnUnreadableSourceFormatRefusesTheConnection) {
    UnitHost upstream;
    UnitHost host;
    ASSERT_EQ(host.SetFormat(kStereo, kRate), noErr);
    ::testing::internal::CaptureStderr();
    const OSStatus status =
        host.SetProperty(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0,
                         AudioUnitConnection{upstream.Unit(), 7, 0});
    const std::string diagnostics = ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(status, kAudioUnitErr_InvalidElement);
    EXPECT_NE(diagnostics.find("ca_require_noerr: [err = AudioUnitGetProperty( "
                               "inConnection.sourceAudioUnit, kAudioUnitProperty_StreamFormat, "
                               "kAudioUnitScope_Output, inConnection.sourceOutputNumber, "
                               "&sourceDesc, &size), -10877] (goto errexit;) AUBase:"),
              std::string::npos)
        << diagnostics;
}

// ---- losing the feed ----

void CountAnnouncement(void* refCon, AudioUnit, AudioUnitPropertyID, AudioUnitScope scope,
                       AudioUnitElement) {
    if (scope == kAudioUnitScope_Input) {
        ++*static_cast<int*>(refCon);
    }
}

struct Disconnection {
    const char* name;
    AudioUnitPropertyID property;
};

class DisconnectTest : public ::testing::TestWithParam<Disconnection> {};

TEST_P(DisconnectTest, ANullFeedDisconnectsAnnouncesAndLeavesNothingToPull) {
    const Disconnection& disconnection = GetParam();
    UnitHost upstream;
    InputSource upstreamSource(StereoNoise(kFrames));
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(upstream, upstreamSource));
    UnitHost host;
    InputSource source(StereoNoise(kFrames));
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    ASSERT_EQ(Connect(host, upstream.Unit()), noErr);
    int announcements = 0;
    ASSERT_EQ(AudioUnitAddPropertyListener(host.Unit(), disconnection.property, &CountAnnouncement,
                                           &announcements),
              noErr);

    const OSStatus status =
        disconnection.property == kAudioUnitProperty_MakeConnection
            ? Connect(host, nullptr)
            : host.SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                               AURenderCallbackStruct{nullptr, nullptr});

    EXPECT_EQ(status, noErr);
    EXPECT_EQ(announcements, 1);
    CallerBuffers caller(kStereo, kFrames);
    EXPECT_EQ(RenderAt(host.Unit(), 0, kFrames, caller.List()), kAudioUnitErr_NoConnection);
}

INSTANTIATE_TEST_SUITE_P(
    Feeds, DisconnectTest,
    ::testing::Values(Disconnection{"NullSource", kAudioUnitProperty_MakeConnection},
                      Disconnection{"NullCallback", kAudioUnitProperty_SetRenderCallback}),
    [](const auto& info) { return std::string(info.param.name); });

// A callback that takes itself off the unit while it runs.
struct SelfRemovingFeed {
    AudioUnit unit;

    static OSStatus Callback(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*,
                             UInt32, UInt32, AudioBufferList*) {
        const AURenderCallbackStruct none{nullptr, nullptr};
        AudioUnitSetProperty(static_cast<SelfRemovingFeed*>(refCon)->unit,
                             kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &none,
                             sizeof none);
        return noErr;
    }
};

TEST(LostFeed, AnInputDisconnectedDuringItsPullReportsNoConnection) {
    UnitHost host;
    InputSource source;
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    SelfRemovingFeed feed{host.Unit()};
    ASSERT_EQ(host.SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                               AURenderCallbackStruct{&SelfRemovingFeed::Callback, &feed}),
              noErr);
    CallerBuffers caller(kStereo, kFrames);

    EXPECT_EQ(RenderAt(host.Unit(), 0, kFrames, caller.List()), kAudioUnitErr_NoConnection);
}

} // namespace
} // namespace rendertest
