// Scheduled parameter events as the audio and the slices show them.
#include "RenderHarness.h"

#include <gmock/gmock.h>

#include <string>

namespace rendertest {
namespace {

AudioUnitParameterEvent Immediate(UInt32 offset, Float32 value,
                                  AudioUnitParameterID parameter = kParam_Volume) {
    AudioUnitParameterEvent event{
        kAudioUnitScope_Global, 0, parameter, kParameterEvent_Immediate, {}};
    event.eventValues.immediate = {offset, value};
    return event;
}

AudioUnitParameterEvent Ramp(SInt32 start, UInt32 duration, Float32 from,
                             AudioUnitScope scope = kAudioUnitScope_Global,
                             AudioUnitParameterID parameter = kParam_Volume) {
    AudioUnitParameterEvent event{scope, 0, parameter, kParameterEvent_Ramped, {}};
    event.eventValues.ramp = {start, duration, from, from + 1};
    return event;
}

OSStatus Schedule(hosting::Unit& host, const std::vector<AudioUnitParameterEvent>& events) {
    return AudioUnitScheduleParameters(host.Get(), events.data(), UInt32(events.size()));
}

struct Slicing {
    const char* name;
    std::vector<AudioUnitParameterEvent> events;
    std::vector<UInt32> frames;
    std::vector<Float32> volumes; // as each slice's kernels read it
};

class SlicingTest : public ::testing::TestWithParam<Slicing> {};

TEST_P(SlicingTest, SlicesAtEventStartsAndRampEndsForThisCallOnly) {
    const Slicing& slicing = GetParam();
    hosting::Unit host(ProbeComponent());
    InputSource source(StereoNoise(kFrames));
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    ASSERT_EQ(Schedule(host, slicing.events), noErr);
    CallerBuffers caller(kFrames, false);

    ASSERT_EQ(RenderAt(host.Get(), 0, caller.List()), noErr);

    const std::vector<ProbeEffect::Slice>& slices = Probe(host).slices;
    std::vector<UInt32> frames;
    std::vector<Float32> volumes;
    UInt32 sliceStart = 0;
    for (const ProbeEffect::Slice& slice : slices) {
        EXPECT_EQ(slice.inputData, slices[0].inputData + 4 * sliceStart);
        EXPECT_EQ(slice.inputBytes, 4 * slice.frames);
        frames.push_back(slice.frames);
        volumes.push_back(slice.volume);
        sliceStart += slice.frames;
    }
    EXPECT_EQ(frames, slicing.frames);
    EXPECT_EQ(volumes, slicing.volumes);
    // The caller receives records that describe the whole buffer again.
    EXPECT_EQ(caller.Buffer(0).mData, slices[0].inputData);
    EXPECT_EQ(caller.Buffer(0).mDataByteSize, 4 * kFrames);

    ASSERT_EQ(RenderAt(host.Get(), kFrames, caller.List()), noErr);
    EXPECT_EQ(slices.back().frames, kFrames) << "the events applied to their own call only";
}

INSTANTIATE_TEST_SUITE_P(
    Events, SlicingTest,
    ::testing::Values(
        // Out of order: the slicing sorts them.
        Slicing{"ImmediateAt256And0", {Immediate(256, 3), Immediate(0, -3)}, {256, 256}, {-3, 3}},
        Slicing{"ImmediateAt100And300",
                {Immediate(100, 1), Immediate(300, 2)},
                {100, 200, 212},
                {2, 1, 2}},
        Slicing{"RampFrom100For200", {Ramp(100, 200, -2)}, {100, 200, 212}, {0, -2, -2}},
        Slicing{"RampBegan64FramesBefore", {Ramp(-64, 128, 1)}, {64, 448}, {1, 1}},
        Slicing{"EventBeyondTheBuffer", {Immediate(600, 5)}, {512}, {5}},
        // Installing a ramp that ended before the buffer would change every slice's volume.
        Slicing{"RampEndedBeforeTheBuffer", {Ramp(-300, 100, 4)}, {512}, {0}}),
    [](const auto& info) { return std::string(info.param.name); });

// An array is taken or refused whole. It is refused only for an event that could never be
// installed: kept, that would fail every later render, since a failed render keeps its events. A
// ramp for a parameter an input element does not define yet is taken, and warned about at render.
struct EventInTheMiddle {
    const char* name;
    AudioUnitParameterEvent event;
    OSStatus expected;
    const char* renderWarning;
};

class EventArrayTest : public ::testing::TestWithParam<EventInTheMiddle> {};

TEST_P(EventArrayTest, IsTakenOrRefusedWholeAndRenderingGoesOn) {
    const EventInTheMiddle& middle = GetParam();
    QuenzalUnit host;
    InputSource source(StereoNoise(kFrames));
    ASSERT_NO_FATAL_FAILURE(PrepareStereoEffect(host, source));
    CallerBuffers caller;

    EXPECT_EQ(Schedule(host, {Immediate(0, 3), middle.event, Immediate(0, 4)}), middle.expected);
    Float32 volume = -1;
    volume = host.GetParameter(kParam_Volume);
    EXPECT_EQ(volume, middle.expected == noErr ? 4 : 0) << "all of the array or none of it";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(RenderAt(host.Get(), 0, caller.List()), noErr);
    EXPECT_THAT(::testing::internal::GetCapturedStderr(),
                ::testing::HasSubstr(middle.renderWarning));
}

INSTANTIATE_TEST_SUITE_P(
    Events, EventArrayTest,
    ::testing::Values(
        EventInTheMiddle{"UnknownParameter", Ramp(10, 20, 0, kAudioUnitScope_Global, 7),
                         kAudioUnitErr_InvalidParameter, ""},
        EventInTheMiddle{"UnknownScope", Ramp(10, 20, 0, 9), kAudioUnitErr_InvalidScope, ""},
        EventInTheMiddle{"InputParameterNotYetDefined", Ramp(10, 20, 0, kAudioUnitScope_Input, 5),
                         noErr, "SetScheduledEvent for undefined param ID 5 while initialized"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace rendertest
