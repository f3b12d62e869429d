// The selectors that hand the unit something to call later, and the render call itself with
// what it may leave out.
#include "LinkedEffect.h"

#include <gtest/gtest.h>

#include <vector>

using testhost::QuenzalUnit;
using testhost::Signal;

namespace {

int gNotifications = 0;

OSStatus CountNotification(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                           UInt32, AudioBufferList*) {
    ++gNotifications;
    return noErr;
}

class CallbackSelectors : public testing::Test {
protected:
    CallbackSelectors() { gNotifications = 0; }

    // One channel of a ramp, served on the input.
    void PrepareToRender() {
        ASSERT_EQ(host.SetBusFormats(hosting::CanonicalFormat(1, 44100)), noErr);
        feed.signal = {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
        feed.Attach(host);
        ASSERT_EQ(AudioUnitInitialize(host.Get()), noErr);
    }

    testhost::SignalFeed feed;
    QuenzalUnit host;
};

// A null procedure would be called at the next announcement or render.
TEST_F(CallbackSelectors, NullProceduresAreRefused) {
    EXPECT_EQ(
        AudioUnitAddPropertyListener(host.Get(), kAudioUnitProperty_BypassEffect, nullptr, nullptr),
        paramErr);
    EXPECT_EQ(AudioUnitAddRenderNotify(host.Get(), nullptr, nullptr), paramErr);
    ASSERT_EQ(host.SetProperty(kAudioUnitProperty_BypassEffect, 0, 0, UInt32{1}), noErr);
    PrepareToRender();
    Signal output;
    EXPECT_EQ(testhost::RenderSignal(host, 8, output), noErr);
}

TEST_F(CallbackSelectors, RenderRefusesMissingTimeStampOrBuffersAndNotifiesUntilRemoved) {
    PrepareToRender();
    ASSERT_EQ(AudioUnitAddRenderNotify(host.Get(), CountNotification, nullptr), noErr);
    std::vector<Float32> samples(8);
    AudioBufferList list{1, {{1, UInt32(samples.size() * sizeof(Float32)), samples.data()}}};
    const AudioTimeStamp timeStamp{};
    AudioUnitRenderActionFlags flags = 0;

    // The fast render function, called raw so that it can be handed what a careless host hands.
    const hosting::FastCalls fast = host.FetchFastCalls();
    const AudioUnitRenderProc fastRender = fast.render;
    void* const storage = fast.storage;

    EXPECT_EQ(AudioUnitRender(host.Get(), &flags, nullptr, 0, 8, &list), paramErr);
    EXPECT_EQ(AudioUnitRender(host.Get(), &flags, &timeStamp, 0, 8, nullptr), paramErr);
    EXPECT_EQ(fastRender(storage, &flags, nullptr, 0, 8, &list), paramErr);
    EXPECT_EQ(fastRender(storage, &flags, &timeStamp, 0, 8, nullptr), paramErr);
    EXPECT_EQ(fastRender(nullptr, &flags, &timeStamp, 0, 8, &list), paramErr);
    EXPECT_EQ(gNotifications, 0);

    // Without flags both render with none; the notification is called before and after each.
    ASSERT_EQ(AudioUnitRender(host.Get(), nullptr, &timeStamp, 0, 8, &list), noErr);
    EXPECT_NE(samples[7], 0.0f);
    EXPECT_EQ(gNotifications, 2);
    ASSERT_EQ(AudioUnitRemoveRenderNotify(host.Get(), CountNotification, nullptr), noErr);
    AudioTimeStamp nextTimeStamp{};
    nextTimeStamp.mSampleTime = 8;
    ASSERT_EQ(fastRender(storage, nullptr, &nextTimeStamp, 0, 8, &list), noErr);
    EXPECT_EQ(gNotifications, 2);
}

} // namespace
