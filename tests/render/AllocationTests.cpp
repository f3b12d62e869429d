// Once initialized, rendering allocates and frees nothing, and neither rendering nor refusing a
// render takes a lock, as the validator's counters see it: every allocation and lock of this test
// binary is counted while they count.
#include "RealTimeCounters.h"
#include "RenderHarness.h"

#include <cstdlib>
#include <mutex>

namespace rendertest {
namespace {

constexpr int kCountedRenders = 1000;

OSStatus CountNotification(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                           UInt32, AudioBufferList*) {
    ++*static_cast<long*>(refCon);
    return noErr;
}

// A chain as a host runs it: a callback feeds the upstream effect, the downstream effect pulls it
// through its connection, and the host calls the downstream's fast render function, alternately
// with memory of its own and with null data pointers, scheduling events before each call.
class RenderChain {
public:
    RenderChain() {
        PrepareStereoEffect(mUpstream, mSource);
        mDownstream.SetBusFormats(hosting::CanonicalFormat(kStereo, kRate));
        mDownstream.SetProperty(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0,
                                AudioUnitConnection{mUpstream.Get(), 0, 0});
        AudioUnitInitialize(mDownstream.Get());
        AudioUnitAddRenderNotify(mUpstream.Get(), &CountNotification, &notifications);
        AudioUnitAddRenderNotify(mDownstream.Get(), &CountNotification, &notifications);
        mFast = mDownstream.FetchFastCalls();
        mEvents[0] = {kAudioUnitScope_Global, 0, kParam_Volume, kParameterEvent_Immediate, {}};
        mEvents[0].eventValues.immediate = {100, 1.0f};
        mEvents[1] = {kAudioUnitScope_Global, 0, kParam_Volume, kParameterEvent_Ramped, {}};
        mEvents[1].eventValues.ramp = {30, 64, 2.0f, -2.0f};
    }

    // Returns the number of calls that failed.
    int RenderCalls(int calls) {
        int failures = 0;
        for (int call = 0; call < calls; ++call) {
            failures += AudioUnitScheduleParameters(mDownstream.Get(), mEvents, 2) != noErr;
            const bool callerHasMemory = call % 2 == 0;
            mNullPointers.Buffer(0).mData = mNullPointers.Buffer(1).mData = nullptr;
            CallerBuffers& caller = callerHasMemory ? mWithMemory : mNullPointers;
            AudioTimeStamp timeStamp{};
            timeStamp.mSampleTime = mSampleTime;
            mSampleTime += kFrames;
            AudioUnitRenderActionFlags flags = 0;
            failures += mFast.Render(flags, timeStamp, kFrames, &caller.List()) != noErr;
        }
        return failures;
    }

    long notifications = 0;

private:
    InputSource mSource{StereoNoise(kFrames)};
    QuenzalUnit mUpstream;
    QuenzalUnit mDownstream;
    hosting::FastCalls mFast;
    AudioUnitParameterEvent mEvents[2];
    CallerBuffers mWithMemory;
    CallerBuffers mNullPointers{kFrames, false};
    Float64 mSampleTime = 0;
};

TEST(RenderAllocations, NoneOnceInitializedWithNotificationsAndScheduledEvents) {
    RenderChain chain;
    ASSERT_EQ(chain.RenderCalls(1), 0);

    StartCounting();
    const int failures = chain.RenderCalls(kCountedRenders);
    StopCounting();

    EXPECT_EQ(failures, 0);
    EXPECT_EQ(CountedAllocations(), 0);
    EXPECT_EQ(chain.notifications, 4L * (kCountedRenders + 1)) << "before and after, both units";
}

// Each unit refuses its first render under the count: the first refusal is the one that would
// find the unit's name for the diagnostics.
TEST(RenderAllocations, NoneAndNoLockWhenARenderIsRefused) {
    struct Refusal {
        bool initialize;
        UInt32 frames;
        UInt32 buffers;
    };
    for (const Refusal refusal : {Refusal{false, kFrames, kStereo},
                                  Refusal{true, kFrames + 1, kStereo}, Refusal{true, kFrames, 1}}) {
        QuenzalUnit host;
        InputSource source;
        ASSERT_EQ(host.SetBusFormats(hosting::CanonicalFormat(kStereo, kRate)), noErr);
        ASSERT_EQ(host.SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global,
                                   0, kFrames),
                  noErr);
        ASSERT_EQ(source.Attach(host), noErr);
        if (refusal.initialize) {
            ASSERT_EQ(AudioUnitInitialize(host.Get()), noErr);
        }
        CallerBuffers caller(2 * kFrames);
        caller.List().mNumberBuffers = refusal.buffers;
        ::testing::internal::CaptureStderr();

        StartCounting();
        const OSStatus status = RenderAt(host.Get(), 0, caller.List(), refusal.frames);
        StopCounting();

        const std::string diagnostics = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(status, noErr);
        EXPECT_NE(diagnostics.find(", render err: "), std::string::npos) << diagnostics;
        EXPECT_EQ(CountedAllocations(), 0) << diagnostics;
        EXPECT_EQ(CountedLocks(), 0) << diagnostics;
    }
}

void* volatile gEscaped = nullptr;

TEST(RenderAllocations, TheCountersSeeBothKindsOfAllocationAndALock) {
    std::mutex mutex;
    StartCounting();
    gEscaped = std::malloc(16);
    std::free(gEscaped);
    gEscaped = new int(1);
    delete static_cast<int*>(gEscaped);
    mutex.lock();
    StopCounting();
    mutex.unlock();
    EXPECT_EQ(CountedAllocations(), 4);
    EXPECT_EQ(CountedLocks(), 1);
}

} // namespace
} // namespace rendertest
