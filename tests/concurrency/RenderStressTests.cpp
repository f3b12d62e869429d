// One thread renders the effect without pause through its fast render function while two host
// threads set its parameters through the fast set-parameter function, add and remove render
// notifications, and switch bypass. Run under ThreadSanitizer, this also proves that the render
// path and the host's calls share no unsynchronised memory. A second test opens and disposes
// units while another renders through its handle.
#include "LinkedEffect.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

namespace {

using testhost::QuenzalUnit;

constexpr UInt32 kChannels = 2;
constexpr UInt32 kFrames = 128;
constexpr int kRoundsPerHost = 120;
constexpr auto kPatience = std::chrono::seconds(20);

enum : AudioUnitParameterID { kLoudspeaker = 0, kVolume = 1 };

// The effect, fed a constant signal and initialized.
struct FedUnit {
    FedUnit() {
        EXPECT_EQ(host.SetBusFormats(hosting::CanonicalFormat(kChannels, 44100)), noErr);
        feed.Attach(host);
        EXPECT_EQ(AudioUnitInitialize(host.Get()), noErr);
    }
    QuenzalUnit host;
    testhost::SignalFeed feed{testhost::Signal(kChannels, std::vector<Float32>(kFrames, 0.5f))};
};

// A render notification that counts its calls in each phase.
struct CountedNotification {
    std::atomic<long> pre{0}, post{0};
    long callsWhenRemoved = -1;

    static OSStatus Called(void* refCon, AudioUnitRenderActionFlags* flags, const AudioTimeStamp*,
                           UInt32, UInt32, AudioBufferList*) {
        auto& self = *static_cast<CountedNotification*>(refCon);
        (*flags & kAudioUnitRenderAction_PreRender ? self.pre : self.post)++;
        return noErr;
    }
};

TEST(RenderConcurrency, HostThreadsChangeParametersAndNotificationsWhileRendering) {
    FedUnit fed;
    QuenzalUnit& host = fed.host;
    const AudioUnit unit = host.Get();
    const hosting::FastCalls fast = host.FetchFastCalls();

    std::atomic<bool> stop{false};
    std::atomic<long> renders{0}, failures{0};
    std::thread renderer([&] {
        std::vector<Float32> samples(kChannels * kFrames);
        std::vector<std::byte> memory(AudioBufferListByteSize(kChannels));
        auto* list = reinterpret_cast<AudioBufferList*>(memory.data());
        AudioTimeStamp timeStamp{};
        while (!stop) {
            list->mNumberBuffers = kChannels;
            for (UInt32 c = 0; c < kChannels; ++c) {
                list->mBuffers[c] = {1, kFrames * 4, samples.data() + c * kFrames};
            }
            AudioUnitRenderActionFlags flags = 0;
            failures += fast.Render(flags, timeStamp, kFrames, list) != noErr;
            for (const Float32 sample : samples) {
                failures += !std::isfinite(sample);
            }
            timeStamp.mSampleTime += kFrames;
            ++renders;
        }
    });
    // Changes parameters until done() or the patience runs out.
    const auto changeUntil = [&](int seed, auto done) {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        for (int step = 0; !done(); ++step) {
            if (std::chrono::steady_clock::now() > deadline) {
                ++failures;
                return;
            }
            failures += fast.SetParameter(kLoudspeaker, Float32(1 + (step + seed) % 5)) != noErr;
            failures += fast.SetParameter(kVolume, Float32(-6 + (step * 7 + seed) % 13)) != noErr;
            std::this_thread::yield();
        }
    };
    const auto afterTwoRenders = [&] {
        const long until = renders + 2;
        return [&renders, until] { return renders >= until; };
    };
    std::vector<CountedNotification> notifications(2 * kRoundsPerHost);
    const auto hostThread = [&](int seed) {
        for (int round = 0; round < kRoundsPerHost; ++round) {
            CountedNotification& n = notifications[size_t(seed * kRoundsPerHost + round)];
            failures += AudioUnitAddRenderNotify(unit, &CountedNotification::Called, &n) != noErr;
            changeUntil(seed, [&] { return n.post > 0; });
            failures +=
                AudioUnitRemoveRenderNotify(unit, &CountedNotification::Called, &n) != noErr;
            // The render under way at the removal may still call it; the one after may not.
            changeUntil(seed, afterTwoRenders());
            n.callsWhenRemoved = n.pre + n.post;
            if (seed == 0) {
                // Switching bypass off resets the kernels on this thread; later renders use them.
                failures +=
                    host.SetProperty(kAudioUnitProperty_BypassEffect, 0, 0, UInt32{1}) != noErr;
                changeUntil(seed, afterTwoRenders());
                failures +=
                    host.SetProperty(kAudioUnitProperty_BypassEffect, 0, 0, UInt32{0}) != noErr;
            }
        }
    };
    std::thread first(hostThread, 0), second(hostThread, 1);
    first.join();
    second.join();
    stop = true;
    renderer.join();

    EXPECT_EQ(failures.load(), 0) << "failed calls, non-finite samples or waits in vain";
    for (const CountedNotification& n : notifications) {
        EXPECT_GT(n.post.load(), 0) << "an added notification was never called";
        EXPECT_EQ(n.pre + n.post, n.callsWhenRemoved)
            << "a removed notification was called after the render that followed its removal";
        EXPECT_EQ(n.pre.load(), n.post.load()) << "both phases call the same notifications";
    }
}

// Control threads open and dispose units, and call on each handle they disposed, while another
// unit renders through its handle: looking a handle up takes no lock, and a disposed handle
// reaches nothing, not even the unit opened next in its place.
TEST(RenderConcurrency, UnitsOpenAndCloseWhileAnotherRendersThroughItsHandle) {
    FedUnit fed;
    QuenzalUnit& host = fed.host;
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
