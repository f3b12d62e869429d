// One thread renders the effect without pause through its fast render function, pulling a host
// callback, while two host threads set its parameters through the fast set-parameter function,
// add and remove render notifications, and switch bypass. Run under ThreadSanitizer, this also
// proves that the render path and the host's calls share no unsynchronised memory. A second test
// opens and disposes units while another renders through its handle.
#include "LinkedEffect.h"

#include "Platform/Components.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

namespace {

using testhost::QuenzalUnit;

constexpr UInt32 kChannels = 2;
constexpr UInt32 kFrames = 128;
constexpr Float64 kRate = 44100.0;
constexpr int kRoundsPerHost = 120;
constexpr int kNotificationsPerRound = 3;
constexpr auto kPatience = std::chrono::seconds(20);

enum : AudioUnitParameterID { kLoudspeaker = 0, kVolume = 1 };

template <class Proc> Proc FastFunction(AudioUnit unit, AudioUnitElement selector) {
    Proc proc = nullptr;
    UInt32 size = sizeof proc;
    const OSStatus status = AudioUnitGetProperty(unit, kAudioUnitProperty_FastDispatch,
                                                 kAudioUnitScope_Global, selector, &proc, &size);
    EXPECT_EQ(status, noErr) << "fast function " << selector;
    return proc;
}

// A render notification that counts its calls in each phase.
struct CountedNotification {
    std::atomic<long> preRender{0};
    std::atomic<long> postRender{0};
    long callsWhenRemoved = -1;

    long Calls() const { return preRender.load() + postRender.load(); }

    static OSStatus Called(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp*,
                           UInt32, UInt32, AudioBufferList*) {
        auto& self = *static_cast<CountedNotification*>(refCon);
        if (*flags & kAudioUnitRenderAction_PreRender) {
            self.preRender.fetch_add(1, std::memory_order_relaxed);
        }
        if (*flags & kAudioUnitRenderAction_PostRender) {
            self.postRender.fetch_add(1, std::memory_order_relaxed);
        }
        return noErr;
    }
};

// The render thread: pulls a steady tone from its own input callback, renders into caller
// buffers, and counts the renders it has completed.
class RenderLoop {
public:
    explicit RenderLoop(AudioUnit unit)
        : mRender(FastFunction<AudioUnitRenderProc>(unit, kAudioUnitRenderFastSelect)),
          mStorage(GetComponentInstanceStorage(unit)) {
        const AURenderCallbackStruct input{&RenderLoop::FeedInput, this};
        EXPECT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback,
                                       kAudioUnitScope_Input, 0, &input, sizeof input),
                  noErr);
    }
    ~RenderLoop() { Stop(); }

    void Start() {
        mThread = std::thread([this] { Run(); });
    }
    void Stop() {
        mStop = true;
        if (mThread.joinable()) {
            mThread.join();
        }
    }
    long Completed() const { return mCompleted.load(); }
    // Waits until `count` renders have completed; false when rendering stalls.
    bool AwaitCompleted(long count) const {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (Completed() < count) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::yield();
        }
        return true;
    }
    long Failures() const { return mFailures.load(); }

private:
    void Run() {
        std::array<std::array<Float32, kFrames>, kChannels> output{};
        std::vector<std::byte> listMemory(AudioBufferListByteSize(kChannels));
        auto* list = reinterpret_cast<AudioBufferList*>(listMemory.data());
        AudioTimeStamp timeStamp{};
        while (!mStop) {
            list->mNumberBuffers = kChannels;
            for (UInt32 channel = 0; channel < kChannels; ++channel) {
                list->mBuffers[channel] = {1, UInt32(sizeof output[channel]),
                                           output[channel].data()};
            }
            AudioUnitRenderActionFlags flags = 0;
            const OSStatus status = mRender(mStorage, &flags, &timeStamp, 0, kFrames, list);
            if (status != noErr || !AllFinite(output)) {
                mFailures.fetch_add(1);
            }
            timeStamp.mSampleTime += kFrames;
            mCompleted.fetch_add(1);
        }
    }

    template <class Channels> static bool AllFinite(const Channels& channels) {
        for (const auto& channel : channels) {
            for (Float32 sample : channel) {
                if (!std::isfinite(sample)) {
                    return false;
                }
            }
        }
        return true;
    }

    static OSStatus FeedInput(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*,
                              UInt32, UInt32 frames, AudioBufferList* ioData) {
        auto& self = *static_cast<RenderLoop*>(refCon);
        for (UInt32 channel = 0; channel < ioData->mNumberBuffers; ++channel) {
            AudioBuffer& buffer = ioData->mBuffers[channel];
            if (buffer.mData == nullptr) {
                buffer.mData = self.mInput[channel].data();
                buffer.mDataByteSize = frames * UInt32(sizeof(Float32));
            }
            auto* samples = static_cast<Float32*>(buffer.mData);
            for (UInt32 frame = 0; frame < frames; ++frame) {
                samples[frame] = 0.5f * std::sin(0.05f * Float32(self.mPhase + frame));
            }
        }
        self.mPhase = (self.mPhase + frames) % 100000;
        return noErr;
    }

    const AudioUnitRenderProc mRender;
    void* const mStorage;
    std::thread mThread;
    std::atomic<bool> mStop{false};
    std::atomic<long> mCompleted{0};
    std::atomic<long> mFailures{0};
    // Touched by the render thread only.
    UInt32 mPhase = 0;
    std::array<std::array<Float32, kFrames>, kChannels> mInput{};
};

// A host control thread: every round adds a few notifications, keeps changing the parameters
// until each has been called, removes them, and notes their call counts once the render after
// the next has finished (the render under way at the removal may still call them). One of the
// threads then passes the effect through bypass for a few renders.
class HostThread {
public:
    HostThread(AudioUnit unit, const RenderLoop& renderer, int seed)
        : mUnit(unit), mRenderer(renderer), mSeed(seed),
          mSetParameter(
              FastFunction<AudioUnitSetParameterProc>(unit, kAudioUnitSetParameterFastSelect)),
          mGetParameter(
              FastFunction<AudioUnitGetParameterProc>(unit, kAudioUnitGetParameterFastSelect)),
          mStorage(GetComponentInstanceStorage(unit)),
          mNotifications(kRoundsPerHost * kNotificationsPerRound) {}

    void Start() {
        mThread = std::thread([this] { Run(); });
    }
    void Join() { mThread.join(); }

    const std::vector<CountedNotification>& Notifications() const { return mNotifications; }
    long Failures() const { return mFailures.load(); }

private:
    void Run() {
        for (int round = 0; round < kRoundsPerHost; ++round) {
            CountedNotification* batch = &mNotifications[size_t(round) * kNotificationsPerRound];
            for (int i = 0; i < kNotificationsPerRound; ++i) {
                Check(AudioUnitAddRenderNotify(mUnit, &CountedNotification::Called, &batch[i]) ==
                      noErr);
            }
            for (int i = 0; i < kNotificationsPerRound; ++i) {
                Check(ChangeParametersUntil([&] { return batch[i].postRender.load() > 0; }));
            }
            for (int i = 0; i < kNotificationsPerRound; ++i) {
                Check(AudioUnitRemoveRenderNotify(mUnit, &CountedNotification::Called, &batch[i]) ==
                      noErr);
            }
            const long removedBefore = mRenderer.Completed() + 2;
            Check(ChangeParametersUntil([&] { return mRenderer.Completed() >= removedBefore; }));
            for (int i = 0; i < kNotificationsPerRound; ++i) {
                batch[i].callsWhenRemoved = batch[i].Calls();
            }
            if (mSeed == 0) {
                BypassForAFewRenders();
            }
        }
    }

    // Switching bypass off resets the kernels on this thread; the renders after it use them.
    void BypassForAFewRenders() {
        Check(SetBypass(true));
        const long bypassedUntil = mRenderer.Completed() + 2;
        Check(ChangeParametersUntil([&] { return mRenderer.Completed() >= bypassedUntil; }));
        Check(SetBypass(false));
    }

    bool SetBypass(bool on) {
        const UInt32 word = on ? 1 : 0;
        return AudioUnitSetProperty(mUnit, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global,
                                    0, &word, sizeof word) == noErr;
    }

    template <class Condition> bool ChangeParametersUntil(Condition done) {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            ChangeParameters();
            std::this_thread::yield();
        }
        return true;
    }

    void ChangeParameters() {
        ++mStep;
        const auto model = Float32(1 + (mStep + mSeed) % 5);
        const auto volume = Float32(-6 + (mStep * 7 + mSeed) % 13);
        Check(mSetParameter(mStorage, kLoudspeaker, kAudioUnitScope_Global, 0, model, 0) == noErr);
        Check(mSetParameter(mStorage, kVolume, kAudioUnitScope_Global, 0, volume, 0) == noErr);
        AudioUnitParameterValue seen = 0;
        Check(mGetParameter(mStorage, kVolume, kAudioUnitScope_Global, 0, &seen) == noErr);
        Check(seen >= -6.0f && seen <= 6.0f && seen == std::round(seen));
    }

    void Check(bool ok) {
        if (!ok) {
            mFailures.fetch_add(1);
        }
    }

    const AudioUnit mUnit;
    const RenderLoop& mRenderer;
    const int mSeed;
    const AudioUnitSetParameterProc mSetParameter;
    const AudioUnitGetParameterProc mGetParameter;
    void* const mStorage;
    std::vector<CountedNotification> mNotifications;
    std::thread mThread;
    std::atomic<long> mFailures{0};
    int mStep = 0;
};

TEST(RenderConcurrency, HostThreadsChangeParametersAndNotificationsWhileRendering) {
    QuenzalUnit host;
    ASSERT_EQ(host.SetBusFormats(hosting::CanonicalFormat(kChannels, kRate)), noErr);
    RenderLoop renderer(host.Get());
    ASSERT_EQ(AudioUnitInitialize(host.Get()), noErr);
    ASSERT_EQ(AudioUnitReset(host.Get(), kAudioUnitScope_Global, 0), noErr);

    renderer.Start();
    std::vector<std::unique_ptr<HostThread>> hosts;
    for (int seed = 0; seed < 2; ++seed) {
        hosts.push_back(std::make_unique<HostThread>(host.Get(), renderer, seed));
    }
    for (auto& hostThread : hosts) {
        hostThread->Start();
    }
    for (auto& hostThread : hosts) {
        hostThread->Join();
    }
    // Whatever a removal left in flight has settled once two more renders have completed.
    ASSERT_TRUE(renderer.AwaitCompleted(renderer.Completed() + 2));
    renderer.Stop();

    EXPECT_EQ(renderer.Failures(), 0) << "renders that failed or produced non-finite samples";
    for (const auto& hostThread : hosts) {
        EXPECT_EQ(hostThread->Failures(), 0) << "host calls that failed or waited in vain";
        for (const CountedNotification& notification : hostThread->Notifications()) {
            EXPECT_GT(notification.postRender.load(), 0)
                << "an added notification was never called";
            EXPECT_EQ(notification.Calls(), notification.callsWhenRemoved)
                << "a removed notification was called after the render that followed its removal";
            EXPECT_EQ(notification.preRender.load(), notification.postRender.load())
                << "both phases of a render call the same notifications";
        }
    }
}

// Control threads open and dispose units, and call on each handle they disposed, while another
// unit renders through its handle: looking a handle up takes no lock, and a disposed handle
// reaches nothing, not even the unit opened next in its place.
TEST(RenderConcurrency, UnitsOpenAndCloseWhileAnotherRendersThroughItsHandle) {
    QuenzalUnit host;
    ASSERT_EQ(host.SetBusFormats(hosting::CanonicalFormat(kChannels, kRate)), noErr);
    testhost::SignalFeed feed{testhost::Signal(kChannels, std::vector<Float32>(kFrames, 0.5f))};
    feed.Attach(host);
    ASSERT_EQ(AudioUnitInitialize(host.Get()), noErr);
    std::atomic<bool> stop{false};
    std::atomic<long> failures{0};
    std::thread renderer([&] {
        testhost::Signal output;
        while (!stop.load()) {
            failures += testhost::RenderSignal(host, kFrames, output) != noErr;
        }
    });
    auto churn = [&failures] {
        for (int i = 0; i < 300; ++i) {
            AudioUnit unit = nullptr;
            failures += AudioComponentInstanceNew(testhost::QuenzalComponent(), &unit) != noErr;
            failures += AudioComponentInstanceDispose(unit) != noErr;
            failures += AudioUnitSetParameter(unit, kVolume, 0, 0, 1.0f, 0) != paramErr;
        }
    };
    std::thread first(churn), second(churn);
    first.join();
    second.join();
    stop = true;
    renderer.join();
    EXPECT_EQ(failures.load(), 0);
}

} // namespace
