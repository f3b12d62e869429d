// What a careless or hostile host can hand the unit through its entry point, one call per row:
// null pointers, zero, short and huge sizes, scopes and elements the unit does not have, channel
// and frame counts far beyond anything real. Each row names the status the call must return, and
// every row runs on a fresh instance that must close without leaving an object or an instance.
#include "LinkedEffect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <vector>

using testhost::QuenzalUnit;

namespace {

constexpr UInt32 kFrames = 512;
constexpr UInt32 kHuge = 0xFFFFFFFF;
constexpr AudioUnitScope kNoSuchScope = 7;

// Words in call order; the block holds them last argument first.
OSStatus Call(hosting::Unit& host, SInt16 selector, std::vector<intptr_t> words) {
    std::reverse(words.begin(), words.end());
    return PlatformCallSelector(host.Get(), selector, words.data(), UInt32(words.size()));
}

template <class T> intptr_t Word(T* pointer) {
    return reinterpret_cast<intptr_t>(pointer);
}

// A zero-filled value of exactly size bytes: any reference in it reads as null.
OSStatus SetZeroed(hosting::Unit& host, AudioUnitPropertyID id, AudioUnitScope scope,
                   AudioUnitElement element, UInt32 size) {
    std::vector<Byte> value(std::max<UInt32>(size, 1));
    return AudioUnitSetProperty(host.Get(), id, scope, element, value.data(), size);
}

OSStatus GetWithClientSize(hosting::Unit& host, AudioUnitPropertyID id, AudioUnitScope scope,
                           AudioUnitElement element, UInt32 clientSize) {
    std::vector<Byte> value(std::max<UInt32>(clientSize, 1));
    return AudioUnitGetProperty(host.Get(), id, scope, element, value.data(), &clientSize);
}

OSStatus SetFormatWithChannels(hosting::Unit& host, AudioUnitScope scope, UInt32 channels) {
    const AudioStreamBasicDescription format = hosting::CanonicalFormat(channels, 44100.0);
    return host.SetProperty(kAudioUnitProperty_StreamFormat, scope, 0, format);
}

OSStatus InitializeWithChannels(hosting::Unit& host, UInt32 inChannels, UInt32 outChannels) {
    SetFormatWithChannels(host, kAudioUnitScope_Input, inChannels);
    SetFormatWithChannels(host, kAudioUnitScope_Output, outChannels);
    return AudioUnitInitialize(host.Get());
}

OSStatus Initialized(hosting::Unit& host) {
    static testhost::SignalFeed feed;
    feed = {testhost::Signal(2, std::vector<Float32>(kFrames, 0.5f))};
    host.SetStreamFormat(2, 44100.0);
    feed.Attach(host);
    return AudioUnitInitialize(host.Get());
}

// ---- renders ----

struct RenderCall {
    UInt32 frames = kFrames;
    UInt32 declaredBuffers = 2;
    UInt32 bytesPerBuffer = kFrames * sizeof(Float32);
    bool withMemory = true;
    UInt32 bus = 0;
    Float64 sampleTime = 0;
};

// The list holds at most 64 records; a larger declared count is refused before any is read.
OSStatus Render(hosting::Unit& host, const RenderCall& call) {
    constexpr UInt32 kMostRecords = 64;
    const UInt32 records = std::min(call.declaredBuffers, kMostRecords);
    std::vector<Byte> listMemory(AudioBufferListByteSize(std::max<UInt32>(records, 1)));
    std::vector<std::vector<Byte>> memory(records, std::vector<Byte>(call.bytesPerBuffer));
    auto* list = reinterpret_cast<AudioBufferList*>(listMemory.data());
    list->mNumberBuffers = call.declaredBuffers;
    for (UInt32 i = 0; i < records; ++i) {
        list->mBuffers[i] = {1, call.bytesPerBuffer, call.withMemory ? memory[i].data() : nullptr};
    }
    AudioTimeStamp timeStamp{};
    timeStamp.mSampleTime = call.sampleTime;
    return AudioUnitRender(host.Get(), nullptr, &timeStamp, call.bus, call.frames, list);
}

OSStatus InitializedThenRender(hosting::Unit& host, const RenderCall& call) {
    return Initialized(host) != noErr ? -1 : Render(host, call);
}

OSStatus FailingFeed(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                     AudioBufferList*) {
    return -1234;
}

// Claims success but supplies no memory for the buffers the unit left to it.
OSStatus EmptyFeed(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                   AudioBufferList*) {
    return noErr;
}

// Supplies memory for one frame fewer than asked for, and says so in the buffer sizes.
OSStatus ShortFeed(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32 frames,
                   AudioBufferList* ioData) {
    static std::vector<std::vector<Float32>> memory;
    memory.assign(ioData->mNumberBuffers, std::vector<Float32>(frames - 1, 0.5f));
    for (UInt32 i = 0; i < ioData->mNumberBuffers; ++i) {
        ioData->mBuffers[i].mData = memory[i].data();
        ioData->mBuffers[i].mDataByteSize = (frames - 1) * UInt32(sizeof(Float32));
    }
    return noErr;
}

// Hands back one buffer fewer than it was given.
OSStatus DroppingFeed(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                      AudioBufferList* ioData) {
    --ioData->mNumberBuffers;
    return noErr;
}

OSStatus RenderFedBy(hosting::Unit& host, AURenderCallback feed, bool busAllocates) {
    const UInt32 allocates = busAllocates ? 1 : 0;
    const AURenderCallbackStruct callback{feed, nullptr};
    if (host.SetProperty(kAudioUnitProperty_ShouldAllocateBuffer, kAudioUnitScope_Input, 0,
                         allocates) != noErr ||
        host.SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                         callback) != noErr ||
        AudioUnitInitialize(host.Get()) != noErr) {
        return -1;
    }
    return Render(host, {});
}

OSStatus ScheduleEvent(hosting::Unit& host, AudioUnitScope scope, AudioUnitParameterID id,
                       AUParameterEventType type) {
    AudioUnitParameterEvent event{};
    event.scope = scope;
    event.parameter = id;
    event.eventType = type;
    return AudioUnitScheduleParameters(host.Get(), &event, 1);
}

// ---- the catalogue ----

struct Row {
    const char* name;
    OSStatus (*call)(hosting::Unit&);
    OSStatus expected;
};

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

// clang-format off
const Row kCatalogue[] = {
    // ---- component selectors ----
    {"OpenWithNullHandle", [](hosting::Unit& h) { return Call(h, kComponentOpenSelect, {0}); }, paramErr},
    {"OpenWithForgedHandle", [](hosting::Unit& h) { return Call(h, kComponentOpenSelect, {Word(&h)}); }, paramErr},

    // ---- initialize with channel counts the effect cannot take ----
    {"InitializeMoreInputsThanOutputs", [](hosting::Unit& h) { return InitializeWithChannels(h, 64, 2); }, kAudioUnitErr_FormatNotSupported},
    {"InitializeNoChannels", [](hosting::Unit& h) { return InitializeWithChannels(h, 0, 0); }, kAudioUnitErr_FormatNotSupported},
    {"InitializeChannelsBeyond32767", [](hosting::Unit& h) { return InitializeWithChannels(h, 32768, 32768); }, kAudioUnitErr_FormatNotSupported},
    {"InitializeHugeChannelCount", [](hosting::Unit& h) { return InitializeWithChannels(h, kHuge, kHuge); }, kAudioUnitErr_FormatNotSupported},
    {"InitializeHugeFramesPerSlice", [](hosting::Unit& h) { h.SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, kHuge); return AudioUnitInitialize(h.Get()); }, memFullErr},

    // ---- get ----
    {"GetHugeClientSize", [](hosting::Unit& h) { AudioStreamBasicDescription f{}; UInt32 size = kHuge; return AudioUnitGetProperty(h.Get(), kAudioUnitProperty_StreamFormat, 0, 0, &f, &size); }, noErr},
    {"GetClassInfoShortOfAReference", [](hosting::Unit& h) { return GetWithClientSize(h, kAudioUnitProperty_ClassInfo, 0, 0, sizeof(CFPropertyListRef) - 1); }, noErr},
    {"GetPresentPresetShortOfTheName", [](hosting::Unit& h) { return GetWithClientSize(h, kAudioUnitProperty_PresentPreset, 0, 0, sizeof(AUPreset) - 1); }, noErr},
    {"GetValueStringsShortOfTheArray", [](hosting::Unit& h) { return GetWithClientSize(h, kAudioUnitProperty_ParameterValueStrings, 0, 0, 1); }, noErr},
    {"GetEmptyParameterList", [](hosting::Unit& h) { return GetWithClientSize(h, kAudioUnitProperty_ParameterList, kAudioUnitScope_Input, 0, 4); }, noErr},
    {"GetParameterInfoHugeID", [](hosting::Unit& h) { return GetWithClientSize(h, kAudioUnitProperty_ParameterInfo, 0, kHuge, sizeof(AudioUnitParameterInfo)); }, kAudioUnitErr_InvalidParameter},
    {"GetClumpNameOfClumpZero", [](hosting::Unit& h) { return GetWithClientSize(h, kAudioUnitProperty_ParameterClumpName, 0, 0, sizeof(AudioUnitParameterIDName)); }, kAudioUnitErr_InvalidPropertyValue},
    {"GetFastDispatchUnknownElement", [](hosting::Unit& h) { return GetWithClientSize(h, kAudioUnitProperty_FastDispatch, 0, 9, sizeof(void*)); }, kAudioUnitErr_InvalidProperty},
    {"GetContextNameNeverSet", [](hosting::Unit& h) { return GetWithClientSize(h, kAudioUnitProperty_ContextName, 0, 0, sizeof(CFStringRef)); }, kAudioUnitErr_InvalidPropertyValue},

    // ---- set and remove: the call's own checks ----
    {"RemoveClassInfo", [](hosting::Unit& h) { return AudioUnitRemovePropertyValue(h.Get(), kAudioUnitProperty_ClassInfo, 0, 0); }, kAudioUnitErr_InvalidPropertyValue},
    {"RemoveHostCallbacksNoSuchScope", [](hosting::Unit& h) { return AudioUnitRemovePropertyValue(h.Get(), kAudioUnitProperty_HostCallbacks, kNoSuchScope, 0); }, kAudioUnitErr_InvalidScope},
    {"SetReadOnlyParameterList", [](hosting::Unit& h) { return SetZeroed(h, kAudioUnitProperty_ParameterList, 0, 0, 8); }, kAudioUnitErr_InvalidProperty},

    // ---- set: sizes, values, scopes and elements ----
    {"ClassInfoNullReference", [](hosting::Unit& h) { return SetZeroed(h, kAudioUnitProperty_ClassInfo, 0, 0, sizeof(CFPropertyListRef)); }, kAudioUnitErr_InvalidPropertyValue},
    {"ClassInfoNotADictionary", [](hosting::Unit& h) { const CFPropertyListRef text = CFSTR("state"); return h.SetProperty(kAudioUnitProperty_ClassInfo, 0, 0, text); }, kAudioUnitErr_InvalidPropertyValue},
    {"StreamFormatAllZero", [](hosting::Unit& h) { return SetZeroed(h, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, 40); }, kAudioUnitErr_FormatNotSupported},
    {"StreamFormatHugeSize", [](hosting::Unit& h) { std::vector<Byte> v(4096); const AudioStreamBasicDescription f = hosting::CanonicalFormat(1, 8000.0); std::memcpy(v.data(), &f, sizeof f); return AudioUnitSetProperty(h.Get(), kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, v.data(), UInt32(v.size())); }, noErr},
    {"StreamFormatNoSuchScope", [](hosting::Unit& h) { const AudioStreamBasicDescription f = hosting::CanonicalFormat(2, 44100.0); return h.SetProperty(kAudioUnitProperty_StreamFormat, kNoSuchScope, 0, f); }, kAudioUnitErr_InvalidScope},
    {"StreamFormatHugeChannelCount", [](hosting::Unit& h) { return SetFormatWithChannels(h, kAudioUnitScope_Output, kHuge); }, noErr},
    {"SampleRateNaN", [](hosting::Unit& h) { return h.SetProperty(kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, std::numeric_limits<Float64>::quiet_NaN()); }, noErr},
    {"ChannelLayoutHugeDescriptionCount", [](hosting::Unit& h) { UInt32 v[3] = {0, 0, kHuge}; return AudioUnitSetProperty(h.Get(), kAudioUnitProperty_AudioChannelLayout, kAudioUnitScope_Output, 0, v, sizeof v); }, kAudioUnitErr_InvalidPropertyValue},
    {"RenderCallbackNoSuchInput", [](hosting::Unit& h) { return SetZeroed(h, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 5, sizeof(AURenderCallbackStruct)); }, kAudioUnitErr_InvalidElement},
    {"ConnectionNoSuchInput", [](hosting::Unit& h) { return h.SetProperty(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, AudioUnitConnection{nullptr, 0, 9}); }, kAudioUnitErr_InvalidElement},
    {"FactoryPresetHugeNumber", [](hosting::Unit& h) { return h.SetProperty(kAudioUnitProperty_CurrentPreset, 0, 0, AUPreset{0x7FFFFFFF, nullptr}); }, kAudioUnitErr_InvalidProperty},
    {"HostCallbacksOneByte", [](hosting::Unit& h) { return SetZeroed(h, kAudioUnitProperty_HostCallbacks, 0, 0, 1); }, noErr},
    {"BypassOneByte", [](hosting::Unit& h) { return SetZeroed(h, kAudioUnitProperty_BypassEffect, 0, 0, 1); }, kAudioUnitErr_InvalidPropertyValue},

    // ---- parameters ----
    {"GetParameterNoSuchElement", [](hosting::Unit& h) { Float32 v = 0; return AudioUnitGetParameter(h.Get(), 0, 0, kHuge, &v); }, kAudioUnitErr_InvalidElement},
    {"GetParameterNoSuchID", [](hosting::Unit& h) { Float32 v = 0; return AudioUnitGetParameter(h.Get(), kHuge, 0, 0, &v); }, kAudioUnitErr_InvalidParameter},
    {"GetParameterGroupScope", [](hosting::Unit& h) { Float32 v = 0; return AudioUnitGetParameter(h.Get(), 0, kAudioUnitScope_Group, 0, &v); }, kAudioUnitErr_InvalidScope},
    {"SetParameterNoSuchID", [](hosting::Unit& h) { return AudioUnitSetParameter(h.Get(), 2, 0, 0, 1.0f, 0); }, kAudioUnitErr_InvalidParameter},
    {"SetParameterPartScope", [](hosting::Unit& h) { return AudioUnitSetParameter(h.Get(), 0, kAudioUnitScope_Part, 0, 1.0f, 0); }, kAudioUnitErr_InvalidElement},
    {"SetParameterNaNHugeOffset", [](hosting::Unit& h) { return AudioUnitSetParameter(h.Get(), 1, 0, 0, NAN, kHuge); }, noErr},

    // ---- scheduled events ----
    {"ScheduleNullEventsWithCount", [](hosting::Unit& h) { return AudioUnitScheduleParameters(h.Get(), nullptr, 3); }, paramErr},
    {"ScheduleNoEvents", [](hosting::Unit& h) { return AudioUnitScheduleParameters(h.Get(), nullptr, 0); }, noErr},
    {"ScheduleImmediateNoSuchID", [](hosting::Unit& h) { return ScheduleEvent(h, 0, 9, kParameterEvent_Immediate); }, kAudioUnitErr_InvalidParameter},
    {"ScheduleRampNoSuchID", [](hosting::Unit& h) { return ScheduleEvent(h, 0, 9, kParameterEvent_Ramped); }, kAudioUnitErr_InvalidParameter},
    {"ScheduleRampNoSuchScope", [](hosting::Unit& h) { return ScheduleEvent(h, kNoSuchScope, 0, kParameterEvent_Ramped); }, kAudioUnitErr_InvalidScope},

    // ---- listeners and notifications ----
    {"AddNullPropertyListener", [](hosting::Unit& h) { return AudioUnitAddPropertyListener(h.Get(), 0, nullptr, nullptr); }, paramErr},

    // ---- render ----
    {"RenderHugeFrameCount", [](hosting::Unit& h) { return InitializedThenRender(h, {.frames = kHuge}); }, kAudioUnitErr_TooManyFramesToProcess},
    {"RenderNoSuchBus", [](hosting::Unit& h) { return InitializedThenRender(h, {.bus = kHuge}); }, kAudioUnitErr_InvalidElement},
    {"RenderNoBuffers", [](hosting::Unit& h) { return InitializedThenRender(h, {.declaredBuffers = 0}); }, paramErr},
    {"RenderHugeBufferCount", [](hosting::Unit& h) { return InitializedThenRender(h, {.declaredBuffers = kHuge}); }, paramErr},
    {"RenderNullDataIntoOwnMemory", [](hosting::Unit& h) { return InitializedThenRender(h, {.withMemory = false}); }, noErr},
    {"RenderZeroFrames", [](hosting::Unit& h) { return InitializedThenRender(h, {.frames = 0, .bytesPerBuffer = 0}); }, noErr},
    {"RenderFeedFails", [](hosting::Unit& h) { return RenderFedBy(h, &FailingFeed, true); }, -1234},
    {"RenderFeedLeavesNoMemory", [](hosting::Unit& h) { return RenderFedBy(h, &EmptyFeed, false); }, paramErr},
    {"RenderFeedShortOfAFrame", [](hosting::Unit& h) { return RenderFedBy(h, &ShortFeed, false); }, paramErr},
    {"RenderFeedDropsABuffer", [](hosting::Unit& h) { return RenderFedBy(h, &DroppingFeed, true); }, paramErr},
    {"RenderSelfFedWithNaNTime", [](hosting::Unit& h) { h.SetProperty(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, AudioUnitConnection{h.Get(), 0, 0}); AudioUnitInitialize(h.Get()); return Render(h, {.sampleTime = NAN}); }, noErr},
    {"RenderIntoHugeFormat", [](hosting::Unit& h) { SetFormatWithChannels(h, kAudioUnitScope_Output, kHuge); return Render(h, {}); }, kAudioUnitErr_Uninitialized},
};
// clang-format on

class BadInput : public testing::TestWithParam<Row> {};

TEST_P(BadInput, ReturnsItsStatusAndLeavesNothingBehind) {
    const long objectsBefore = PlatformLiveObjectCount();
    const long instancesBefore = PlatformOpenInstanceCount();
    {
        QuenzalUnit host;
        EXPECT_EQ(GetParam().call(host), GetParam().expected);
    }
    EXPECT_EQ(PlatformOpenInstanceCount(), instancesBefore);
    EXPECT_EQ(PlatformLiveObjectCount(), objectsBefore);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, BadInput, testing::ValuesIn(kCatalogue),
                         [](const testing::TestParamInfo<Row>& info) { return info.param.name; });

} // namespace
