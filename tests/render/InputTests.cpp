// A host callback feeding the effect.
#include "RenderHarness.h"

namespace rendertest {
namespace {

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
