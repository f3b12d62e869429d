// Property listeners and render notifications: called when they should be, with what they
// should be told, and no longer once removed.
#include "Probe.h"
#include "StreamFormats.h"
#include "ValidationChecks.h"

namespace quenzal::validation {
namespace {

struct ListenerCall {
    AudioUnit unit;
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    AudioUnitElement element;
};

struct ListenerLog {
    std::vector<ListenerCall> calls;
};

void RecordListenerCall(void* log, AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                        AudioUnitElement element) {
    static_cast<ListenerLog*>(log)->calls.push_back({unit, id, scope, element});
}

struct NotificationLog {
    std::vector<std::pair<AudioUnitRenderActionFlags, UInt32>> calls; // flags, frames
};

OSStatus RecordNotification(void* log, AudioUnitRenderActionFlags* flags, const AudioTimeStamp*,
                            UInt32, UInt32 frames, AudioBufferList*) {
    static_cast<NotificationLog*>(log)->calls.emplace_back(*flags, frames);
    return noErr;
}

void AddListener(Probe& probe, AudioUnitPropertyID id, ListenerLog& log) {
    ExpectStatus(AudioUnitAddPropertyListener(probe.Get(), id, RecordListenerCall, &log), noErr,
                 "adding a listener for property " + std::to_string(id));
}

void ChangeMaximumFrames(Probe& probe, UInt32 frames) {
    ExpectStatus(probe.SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global,
                                   0, frames),
                 noErr, "setting the maximum frames per slice");
}

void ExpectOneCall(const ListenerLog& log, const ListenerCall& expected) {
    Expect(log.calls.size() == 1,
           "the listener was called " + std::to_string(log.calls.size()) + " times for one change");
    const ListenerCall& call = log.calls.front();
    Expect(call.unit == expected.unit && call.id == expected.id && call.scope == expected.scope &&
               call.element == expected.element,
           "the listener was told property " + std::to_string(call.id) + ", scope " +
               std::to_string(call.scope) + ", element " + std::to_string(call.element) +
               (call.unit == expected.unit ? "" : " of another unit"));
}

void ListenerHearsChange(AudioComponent component) {
    Probe probe(component);
    ListenerLog log;
    AddListener(probe, kAudioUnitProperty_MaximumFramesPerSlice, log);
    ChangeMaximumFrames(probe, 2048);
    ExpectOneCall(
        log, {probe.Get(), kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0});
}

void ListenerHearsOnlyItsProperty(AudioComponent component) {
    Probe probe(component);
    ListenerLog log;
    AddListener(probe, kAudioUnitProperty_StreamFormat, log);
    ChangeMaximumFrames(probe, 2048);
    ExpectStatus(probe.SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0,
                                   CanonicalFormat(1, 22050)),
                 noErr, "setting the input format");
    ExpectOneCall(log, {probe.Get(), kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0});
}

void RemovedListenerHearsNothing(AudioComponent component) {
    Probe probe(component);
    ListenerLog log;
    AddListener(probe, kAudioUnitProperty_MaximumFramesPerSlice, log);
    ExpectStatus(AudioUnitRemovePropertyListener(
                     probe.Get(), kAudioUnitProperty_MaximumFramesPerSlice, RecordListenerCall),
                 noErr, "removing the listener");
    ChangeMaximumFrames(probe, 2048);
    Expect(log.calls.empty(), "a removed listener was still called");
}

void RemovalMatchesUserData(AudioComponent component) {
    Probe probe(component);
    ListenerLog removed;
    ListenerLog kept;
    AddListener(probe, kAudioUnitProperty_MaximumFramesPerSlice, removed);
    AddListener(probe, kAudioUnitProperty_MaximumFramesPerSlice, kept);
    ExpectStatus(
        AudioUnitRemovePropertyListenerWithUserData(
            probe.Get(), kAudioUnitProperty_MaximumFramesPerSlice, RecordListenerCall, &removed),
        noErr, "removing one listener by its user data");
    ChangeMaximumFrames(probe, 2048);
    Expect(removed.calls.empty(), "the listener removed by its user data was still called");
    Expect(kept.calls.size() == 1, "the listener with other user data was called " +
                                       std::to_string(kept.calls.size()) + " times, not once");
}

void NotificationsBracketRender(AudioComponent component) {
    Probe probe(component);
    probe.Prepare();
    NotificationLog log;
    ExpectStatus(AudioUnitAddRenderNotify(probe.Get(), RecordNotification, &log), noErr,
                 "adding a render notification");
    probe.RenderSignal(128);
    Expect(log.calls.size() == 2,
           "one render made " + std::to_string(log.calls.size()) + " notification calls, not 2");
    const auto [preFlags, preFrames] = log.calls[0];
    const auto [postFlags, postFrames] = log.calls[1];
    Expect((preFlags & kAudioUnitRenderAction_PreRender) &&
               !(preFlags & kAudioUnitRenderAction_PostRender),
           "the first call's flags " + std::to_string(preFlags) + " do not say pre-render");
    Expect((postFlags & kAudioUnitRenderAction_PostRender) &&
               !(postFlags & kAudioUnitRenderAction_PreRender),
           "the second call's flags " + std::to_string(postFlags) + " do not say post-render");
    Expect(preFrames == 128 && postFrames == 128, "the notifications were told other frames");
}

void RemovedNotificationIsNotCalled(AudioComponent component) {
    Probe probe(component);
    probe.Prepare();
    NotificationLog log;
    ExpectStatus(AudioUnitAddRenderNotify(probe.Get(), RecordNotification, &log), noErr,
                 "adding a render notification");
    probe.RenderSignal(64);
    ExpectStatus(AudioUnitRemoveRenderNotify(probe.Get(), RecordNotification, &log), noErr,
                 "removing the render notification");
    const size_t before = log.calls.size();
    probe.RenderSignal(64);
    Expect(log.calls.size() == before, "a removed render notification was still called");
}

} // namespace

std::vector<Check> NotificationChecks() {
    return {
        {"listener-called", ListenerHearsChange},
        {"listener-only-its-property", ListenerHearsOnlyItsProperty},
        {"listener-removed", RemovedListenerHearsNothing},
        {"listener-removed-by-user-data", RemovalMatchesUserData},
        {"render-notifications", NotificationsBracketRender},
        {"render-notification-removed", RemovedNotificationIsNotCalled},
    };
}

} // namespace quenzal::validation
