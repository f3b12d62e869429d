// Scheduled parameter events as the audio and the slices show them.
#include "ProbeEffect.h"

#include <string>

namespace rendertest {
namespace {

constexpr UInt32 kFrames = 512;

AudioUnitParameterEvent Immediate(UInt32 offset, Float32 value,
                                  AudioUnitParameterID parameter = kParam_Volume) {
    AudioUnitParameterEvent event{};
    event.scope = kAudioUnitScope_Global;
    event.parameter = parameter;
    event.eventType = kParameterEvent_Immediate;
    event.eventValues.immediate = {offset, value};
    return event;
}

AudioUnitParameterEvent Ramp(SInt32 start, UInt32 duration, Float32 from, Float32 to,
                             AudioUnitParameterID parameter = kParam_Volume) {
    AudioUnitParameterEvent event{};
    event.scope = kAudioUnitScope_Global;
    event.parameter = parameter;
    event.eventType = kParameterEvent_Ramped;
    event.eventValues.ramp = {start, duration, from, to};
    return event;
}

OSStatus Schedule(UnitHost& host, const std::vector<AudioUnitParameterEvent>& events) {
    return AudioUnitScheduleParameters(host.Unit(), events.data(), UInt32(events.size()));
}

// ---- in the audio ----

struct GainChange {
    const char* name;
    std::vector<AudioUnitParameterEvent> events;
    Float32 volumeBefore256;
    Float32 volumeFrom256;
};

class GainChangeTest : public ::testing::TestWithParam<GainChange> {};

TEST_P(GainChangeTest, TheGainChangesExactlyAtTheEventsFrame) {
    const GainChange& change = GetParam();
    const Signal input = StereoNoise(kFrames);
    UnitHost host;
    InputSource source(input);
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    ASSERT_EQ(Schedule(host, change.events), noErr);
    CallerBuffers caller(kStereo, kFrames);

    ASSERT_EQ(RenderAt(host.Unit(), 0, kFrames, caller.List()), noErr);

    for (UInt32 channel = 0; channel < kStereo; ++channel) {
        ReferenceChannel reference;
        std::vector<Float32> expected =
            reference.Process(Slice(input[channel], 0, 256), change.volumeBefore256);
        const std::vector<Float32> rest =
            reference.Process(Slice(input[channel], 256, kFrames), change.volumeFrom256);
        expected.insert(expected.end(), rest.begin(), rest.end());
        EXPECT_TRUE(SameBits(caller.Channel(channel), expected)) << "channel " << channel;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Volume, GainChangeTest,
    ::testing::Values(GainChange{"OldValueAt0NewAt256", {Immediate(0, 0), Immediate(256, 6)}, 0, 6},
                      // Scheduling sets the value at once, so it also governs the slice before.
                      GainChange{"OnlyAnEventAt256", {Immediate(256, -6)}, -6, -6}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- in the slices ----

struct Slicing {
    const char* name;
    std::vector<AudioUnitParameterEvent> events;
    std::vector<UInt32> frames;
    std::vector<std::ptrdiff_t> offsets;
    std::vector<Float32> volumes; // as the slice's kernels read it
};

class SlicingTest : public ::testing::TestWithParam<Slicing> {};

TEST_P(SlicingTest, SlicesAtEventStartsAndRampEndsAndRestoresTheRecords) {
    const Slicing& slicing = GetParam();
    UnitHost host(ProbeComponent());
    InputSource source(StereoNoise(kFrames));
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    ASSERT_EQ(Schedule(host, slicing.events), noErr);
    CallerBuffers caller(kStereo, kFrames, false);

    ASSERT_EQ(RenderAt(host.Unit(), 0, kFrames, caller.List()), noErr);

    const ProbeEffect& probe = Probe(host);
    EXPECT_EQ(probe.SliceFrames(), slicing.frames);
    EXPECT_EQ(probe.SliceOffsets(), slicing.offsets);
    std::vector<Float32> volumes;
    for (const ProbeEffect::Slice& slice : probe.slices) {
        volumes.push_back(slice.volume);
        EXPECT_EQ(slice.inputBytes, slice.frames * sizeof(Float32));
    }
    EXPECT_EQ(volumes, slicing.volumes);
    // The caller receives records that describe the whole buffer again.
    EXPECT_EQ(caller.Buffer(0).mData, probe.slices.front().inputData);
    EXPECT_EQ(caller.Buffer(0).mDataByteSize, kFrames * sizeof(Float32));
}

INSTANTIATE_TEST_SUITE_P(
    Events, SlicingTest,
    ::testing::Values(
        Slicing{"ImmediateAt0And256",
                {Immediate(256, 3), Immediate(0, -3)}, // out of order: the slicing sorts them
                {256, 256},
                {0, 256},
                {-3, 3}},
        Slicing{"ImmediateAt100And300",
                {Immediate(100, 1), Immediate(300, 2)},
                {100, 200, 212},
                {0, 100, 300},
                {2, 1, 2}},
        Slicing{"RampFrom100For200",
                {Ramp(100, 200, -2, 4)},
                {100, 200, 212},
                {0, 100, 300},
                {0, -2, -2}},
        Slicing{"RampBeganBeforeTheBuffer", {Ramp(-64, 128, 1, 5)}, {64, 448}, {0, 64}, {1, 1}},
        Slicing{"EventBeyondTheBuffer", {Immediate(600, 5)}, {512}, {0}, {5}},
        // Its end lies before the buffer: installing it would change the volume of every slice.
        Slicing{"RampThatEndedBeforeTheBuffer", {Ramp(-300, 100, 4, 5)}, {512}, {0}, {0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ScheduledEvents, ApplyToTheNextRenderThatReachesTheUnitOnly) {
    UnitHost host(ProbeComponent());
    InputSource source(StereoNoise(4 * kFrames));
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    ProbeEffect& probe = Probe(host);
    ASSERT_EQ(Schedule(host, {Immediate(128, 1)}), noErr);
    CallerBuffers caller(kStereo, 2 * AUBase::kDefaultMaxFramesPerSlice);

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RenderAt(host.Unit(), 0, AUBase::kDefaultMaxFramesPerSlice + 1, caller.List()),
              kAudioUnitErr_TooManyFramesToProcess);
    ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(RenderAt(host.Unit(), 0, kFrames, caller.List()), noErr);
    EXPECT_EQ(probe.SliceFrames(), (std::vector<UInt32>{128, 384}));

    probe.slices.clear();
    ASSERT_EQ(RenderAt(host.Unit(), kFrames, kFrames, caller.List()), noErr);
    EXPECT_EQ(probe.SliceFrames(), std::vector<UInt32>{kFrames});
}

// An event that could never be installed is refused when scheduled. Were it kept, every later
// render would fail on it, and the render entry keeps the events of a failed render.
struct BadEvent {
    const char* name;
    AudioUnitParameterEvent event;
    OSStatus expected;
};

AudioUnitParameterEvent InScope(AudioUnitParameterEvent event, AudioUnitScope scope) {
    event.scope = scope;
    return event;
}

class BadEventTest : public ::testing::TestWithParam<BadEvent> {};

TEST_P(BadEventTest, IsRefusedAndRenderingGoesOn) {
    const BadEvent& bad = GetParam();
    UnitHost host(ProbeComponent());
    InputSource source(StereoNoise(2 * kFrames));
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    CallerBuffers caller(kStereo, kFrames);

    EXPECT_EQ(Schedule(host, {bad.event}), bad.expected);

    EXPECT_EQ(RenderAt(host.Unit(), 0, kFrames, caller.List()), noErr);
    EXPECT_EQ(RenderAt(host.Unit(), kFrames, kFrames, caller.List()), noErr);
    EXPECT_EQ(Probe(host).SliceFrames(), (std::vector<UInt32>{kFrames, kFrames}));
}

INSTANTIATE_TEST_SUITE_P(
    Events, BadEventTest,
    ::testing::Values(BadEvent{"RampOfAnUnknownParameter", Ramp(10, 20, 0, 1, 7),
                               kAudioUnitErr_InvalidParameter},
                      BadEvent{"RampInAnUnknownScope", InScope(Ramp(10, 20, 0, 1), 9),
                               kAudioUnitErr_InvalidScope},
                      BadEvent{"ImmediateOfAnUnknownParameter", Immediate(10, 1, 7),
                               kAudioUnitErr_InvalidParameter}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace rendertest
