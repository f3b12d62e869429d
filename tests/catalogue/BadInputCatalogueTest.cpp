// What a careless or hostile host can hand the unit through its entry point, one call per row:
// null pointers, zero, short and huge sizes, scopes and elements the unit does not have, channel
// and frame counts far beyond anything real. Each row names the status the call must return, and
// every row runs on a fresh instance that must close without leaving an object or an instance.
#include "UnitHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <ostream>
#include <vector>

using testhost::UnitHost;

namespace {

constexpr UInt32 kFrames = 512;
constexpr UInt32 kHuge = 0xFFFFFFFF;
constexpr AudioUnitScope kNoSuchScope = 7;

// Words in call order; the block holds them last argument first.
OSStatus Call(UnitHost& host, SInt16 selector, std::vector<intptr_t> words) {
    std::reverse(words.begin(), words.end());
    return PlatformCallSelector(host.Unit(), selector, words.data(), UInt32(words.size()));
}

template <class T> intptr_t Word(T* pointer) {
    return reinterpret_cast<intptr_t>(pointer);
}

// A zero-filled value of exactly size bytes: any reference in it reads as null.
OSStatus SetZeroed(UnitHost& host, AudioUnitPropertyID id, AudioUnitScope scope,
                   AudioUnitElement element, UInt32 size) {
    std::vector<Byte> value(std::max<UInt32>(size, 1));
    return AudioUnitSetProperty(host.Unit(), id, scope, element, value.data(), size);
}

OSStatus GetWithClientSize(UnitHost& host, AudioUnitPropertyID id, AudioUnitScope scope,
                           AudioUnitElement element, UInt32 clientSize) {
    std::vector<Byte> value(std::max<UInt32>(clientSize, 1));
    return AudioUnitGetProperty(host.Unit(), id, scope, element, value.data(), &clientSize);
}

OSStatus SetFormatWithChannels(UnitHost& host, AudioUnitScope scope, UInt32 channels) {
    const AudioStreamBasicDescription format = testhost::CanonicalFormat(channels, 44100.0);
    return host.SetProperty(kAudioUnitProperty_StreamFormat, scope, 0, format);
}

OSStatus InitializeWithChannels(UnitHost& host, UInt32 inChannels, UInt32 outChannels) {
    SetFormatWithChannels(host, kAudioUnitScope_Input, inChannels);
    SetFormatWithChannels(host, kAudioUnitScope_Output, outChannels);
    return host.Initialize();
}

OSStatus Initialized(UnitHost& host) {
    return host.ServeInput(testhost::Signal(2, std::vector<Float32>(kFrames, 0.5f))) != noErr
               ? -1
               : host.Initialize();
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
OSStatus Render(UnitHost& host, const RenderCall& call) {
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
    return AudioUnitRender(host.Unit(), nullptr, &timeStamp, call.bus, call.frames, list);
}

OSStatus InitializedThenRender(UnitHost& host, const RenderCall& call) {
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

OSStatus RenderFedBy(UnitHost& host, AURenderCallback feed, bool busAllocates) {
    const UInt32 allocates = busAllocates ? 1 : 0;
    const AURenderCallbackStruct callback{feed, nullptr};
    if (host.SetProperty(kAudioUnitProperty_ShouldAllocateBuffer, kAudioUnitScope_Input, 0,
                         allocates) != noErr ||
        host.SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                         callback) != noErr ||
        host.Initialize() != noErr) {
        return -1;
    }
    return Render(host, {});
}

OSStatus ScheduleEvent(UnitHost& host, AudioUnitScope scope, AudioUnitParameterID id,
                       AUParameterEventType type) {
    AudioUnitParameterEvent event{};
    event.scope = scope;
    event.parameter = id;
    event.eventType = type;
    return AudioUnitScheduleParameters(host.Unit(), &event, 1);
}

// ---- the catalogue ----

struct Row {
    const char* name;
    OSStatus (*call)(UnitHost&);
    OSStatus expected;
};

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.name;
}

// clang-format off
const Row kCatalogue[] = {
    // ---- component selectors ----
    {"OpenWithNullHandle", [](UnitHost& h) { return Call(h, kComponentOpenSelect, {0}); }, paramErr},
    {"OpenWithForgedHandle", [](UnitHost& h) { return Call(h, kComponentOpenSelect, {Word(&h)}); }, paramErr},
    {"CanDoHugeSelector", [](UnitHost& h) { return Call(h, kComponentCanDoSelect, {0x7FFFFFFF}); }, 0},
    {"UnservedSelectorZero", [](UnitHost& h) { return Call(h, 0, {1, 2, 3}); }, badComponentSelector},
    {"UnservedSelectorMost", [](UnitHost& h) { return Call(h, 0x7FFF, {}); }, badComponentSelector},
    {"UnservedSelectorLeast", [](UnitHost& h) { return Call(h, -0x8000, {}); }, badComponentSelector},

    // ---- initialize with channel counts the effect cannot take ----
    {"InitializeMoreInputsThanOutputs", [](UnitHost& h) { return InitializeWithChannels(h, 64, 2); }, kAudioUnitErr_FormatNotSupported},
    {"InitializeNoChannels", [](UnitHost& h) { return InitializeWithChannels(h, 0, 0); }, kAudioUnitErr_FormatNotSupported},
    {"InitializeChannelsBeyond32767", [](UnitHost& h) { return InitializeWithChannels(h, 32768, 32768); }, kAudioUnitErr_FormatNotSupported},
    {"InitializeHugeChannelCount", [](UnitHost& h) { return InitializeWithChannels(h, kHuge, kHuge); }, kAudioUnitErr_FormatNotSupported},
    {"InitializeHugeFramesPerSlice", [](UnitHost& h) { h.SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, kHuge); return h.Initialize(); }, memFullErr},
    {"UninitializeWhenNotInitialized", [](UnitHost& h) { return h.Uninitialize(); }, noErr},

    // ---- get-info ----
    {"InfoNoSuchScope", [](UnitHost& h) { return AudioUnitGetPropertyInfo(h.Unit(), kAudioUnitProperty_StreamFormat, kNoSuchScope, 0, nullptr, nullptr); }, kAudioUnitErr_InvalidScope},
    {"InfoHugeScope", [](UnitHost& h) { return AudioUnitGetPropertyInfo(h.Unit(), kAudioUnitProperty_ParameterList, kHuge, 0, nullptr, nullptr); }, kAudioUnitErr_InvalidScope},
    {"InfoHugeElement", [](UnitHost& h) { return AudioUnitGetPropertyInfo(h.Unit(), kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, kHuge, nullptr, nullptr); }, kAudioUnitErr_InvalidElement},
    {"InfoUnknownProperty", [](UnitHost& h) { return AudioUnitGetPropertyInfo(h.Unit(), 0x7FFFFFFF, 0, 0, nullptr, nullptr); }, kAudioUnitErr_InvalidProperty},
    {"InfoNullOutputs", [](UnitHost& h) { return AudioUnitGetPropertyInfo(h.Unit(), kAudioUnitProperty_StreamFormat, 0, 0, nullptr, nullptr); }, noErr},

    // ---- get ----
    {"GetNullSizePointer", [](UnitHost& h) { Float64 rate = 0; return AudioUnitGetProperty(h.Unit(), kAudioUnitProperty_SampleRate, 0, 0, &rate, nullptr); }, paramErr},
    {"GetZeroSize", [](UnitHost& h) { return GetWithClientSize(h, kAudioUnitProperty_SampleRate, 0, 0, 0); }, paramErr},
    {"GetNullDataIsSizeQuery", [](UnitHost& h) { UInt32 size = 0; return AudioUnitGetProperty(h.Unit(), kAudioUnitProperty_StreamFormat, 0, 0, nullptr, &size); }, noErr},
    {"GetOneByteOfFormat", [](UnitHost& h) { return GetWithClientSize(h, kAudioUnitProperty_StreamFormat, 0, 0, 1); }, noErr},
    {"GetHugeClientSize", [](UnitHost& h) { AudioStreamBasicDescription f{}; UInt32 size = kHuge; return AudioUnitGetProperty(h.Unit(), kAudioUnitProperty_StreamFormat, 0, 0, &f, &size); }, noErr},
    {"GetClassInfoShortOfAReference", [](UnitHost& h) { return GetWithClientSize(h, kAudioUnitProperty_ClassInfo, 0, 0, sizeof(CFPropertyListRef) - 1); }, noErr},
    {"GetPresentPresetShortOfTheName", [](UnitHost& h) { return GetWithClientSize(h, kAudioUnitProperty_PresentPreset, 0, 0, sizeof(AUPreset) - 1); }, noErr},
    {"GetValueStringsShortOfTheArray", [](UnitHost& h) { return GetWithClientSize(h, kAudioUnitProperty_ParameterValueStrings, 0, 0, 1); }, noErr},
    {"GetEmptyParameterList", [](UnitHost& h) { return GetWithClientSize(h, kAudioUnitProperty_ParameterList, kAudioUnitScope_Input, 0, 4); }, noErr},
    {"GetParameterInfoHugeID", [](UnitHost& h) { return GetWithClientSize(h, kAudioUnitProperty_ParameterInfo, 0, kHuge, sizeof(AudioUnitParameterInfo)); }, kAudioUnitErr_InvalidParameter},
    {"GetClumpNameOfClumpZero", [](UnitHost& h) { return GetWithClientSize(h, kAudioUnitProperty_ParameterClumpName, 0, 0, sizeof(AudioUnitParameterIDName)); }, kAudioUnitErr_InvalidPropertyValue},
    {"GetFastDispatchUnknownElement", [](UnitHost& h) { return GetWithClientSize(h, kAudioUnitProperty_FastDispatch, 0, 9, sizeof(void*)); }, kAudioUnitErr_InvalidProperty},
    {"GetContextNameNeverSet", [](UnitHost& h) { return GetWithClientSize(h, kAudioUnitProperty_ContextName, 0, 0, sizeof(CFStringRef)); }, kAudioUnitErr_InvalidPropertyValue},
    {"GetStreamFormatNoSuchScope", [](UnitHost& h) { return GetWithClientSize(h, kAudioUnitProperty_StreamFormat, kNoSuchScope, 0, 40); }, kAudioUnitErr_InvalidScope},

    // ---- set and remove: the call's own checks ----
    {"SetSizeWithoutData", [](UnitHost& h) { return AudioUnitSetProperty(h.Unit(), kAudioUnitProperty_SampleRate, 0, 0, nullptr, 8); }, paramErr},
    {"SetDataWithoutSize", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_SampleRate, 0, 0, 0); }, paramErr},
    {"RemoveClassInfo", [](UnitHost& h) { return AudioUnitRemovePropertyValue(h.Unit(), kAudioUnitProperty_ClassInfo, 0, 0); }, kAudioUnitErr_InvalidPropertyValue},
    {"RemoveHostCallbacksNoSuchScope", [](UnitHost& h) { return AudioUnitRemovePropertyValue(h.Unit(), kAudioUnitProperty_HostCallbacks, kNoSuchScope, 0); }, kAudioUnitErr_InvalidScope},
    {"SetUnknownProperty", [](UnitHost& h) { return SetZeroed(h, 0x7FFFFFFF, 0, 0, 4); }, kAudioUnitErr_InvalidProperty},
    {"SetReadOnlyParameterList", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_ParameterList, 0, 0, 8); }, kAudioUnitErr_InvalidProperty},

    // ---- set: sizes, values, scopes and elements ----
    {"ClassInfoShortSize", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_ClassInfo, 0, 0, 3); }, kAudioUnitErr_InvalidPropertyValue},
    {"ClassInfoNullReference", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_ClassInfo, 0, 0, sizeof(CFPropertyListRef)); }, kAudioUnitErr_InvalidPropertyValue},
    {"ClassInfoNotADictionary", [](UnitHost& h) { const CFPropertyListRef text = CFSTR("state"); return h.SetProperty(kAudioUnitProperty_ClassInfo, 0, 0, text); }, kAudioUnitErr_InvalidPropertyValue},
    {"ClassInfoInputScope", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Input, 0, sizeof(CFPropertyListRef)); }, kAudioUnitErr_InvalidScope},
    {"StreamFormatShortSize", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, 35); }, kAudioUnitErr_InvalidPropertyValue},
    {"StreamFormatAllZero", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, 40); }, kAudioUnitErr_FormatNotSupported},
    {"StreamFormatHugeSize", [](UnitHost& h) { std::vector<Byte> v(4096); const AudioStreamBasicDescription f = testhost::CanonicalFormat(1, 8000.0); std::memcpy(v.data(), &f, sizeof f); return AudioUnitSetProperty(h.Unit(), kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, v.data(), UInt32(v.size())); }, noErr},
    {"StreamFormatNoSuchElement", [](UnitHost& h) { const AudioStreamBasicDescription f = testhost::CanonicalFormat(2, 44100.0); return h.SetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 7, f); }, kAudioUnitErr_InvalidElement},
    {"StreamFormatNoSuchScope", [](UnitHost& h) { const AudioStreamBasicDescription f = testhost::CanonicalFormat(2, 44100.0); return h.SetProperty(kAudioUnitProperty_StreamFormat, kNoSuchScope, 0, f); }, kAudioUnitErr_InvalidScope},
    {"StreamFormatHugeChannelCount", [](UnitHost& h) { return SetFormatWithChannels(h, kAudioUnitScope_Output, kHuge); }, noErr},
    {"SampleRateShortSize", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_SampleRate, 0, 0, 4); }, kAudioUnitErr_InvalidPropertyValue},
    {"SampleRateNaN", [](UnitHost& h) { return h.SetProperty(kAudioUnitProperty_SampleRate, kAudioUnitScope_Output, 0, std::numeric_limits<Float64>::quiet_NaN()); }, noErr},
    {"MaxFramesShortSize", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_MaximumFramesPerSlice, 0, 0, 2); }, kAudioUnitErr_InvalidPropertyValue},
    {"MaxFramesWhileInitialized", [](UnitHost& h) { h.Initialize(); return h.SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, 0, 0, UInt32{64}); }, kAudioUnitErr_Initialized},
    {"ExternalBufferShortSize", [](UnitHost& h) { h.Initialize(); return SetZeroed(h, kAudioUnitProperty_SetExternalBuffer, kAudioUnitScope_Output, 0, 4); }, kAudioUnitErr_InvalidPropertyValue},
    {"ExternalBufferUninitialized", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_SetExternalBuffer, kAudioUnitScope_Output, 0, sizeof(AudioUnitExternalBuffer)); }, kAudioUnitErr_Uninitialized},
    {"ExternalBufferMisaligned", [](UnitHost& h) { alignas(16) static Byte memory[64]; h.Initialize(); return h.SetProperty(kAudioUnitProperty_SetExternalBuffer, kAudioUnitScope_Output, 0, AudioUnitExternalBuffer{memory + 4, 32}); }, paramErr},
    {"ExternalBufferNoSuchBus", [](UnitHost& h) { h.Initialize(); return SetZeroed(h, kAudioUnitProperty_SetExternalBuffer, kAudioUnitScope_Output, 3, sizeof(AudioUnitExternalBuffer)); }, kAudioUnitErr_InvalidElement},
    {"ChannelLayoutShortSize", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_AudioChannelLayout, kAudioUnitScope_Output, 0, 11); }, kAudioUnitErr_InvalidPropertyValue},
    {"ChannelLayoutHugeDescriptionCount", [](UnitHost& h) { UInt32 v[3] = {0, 0, kHuge}; return AudioUnitSetProperty(h.Unit(), kAudioUnitProperty_AudioChannelLayout, kAudioUnitScope_Output, 0, v, sizeof v); }, kAudioUnitErr_InvalidPropertyValue},
    {"RenderCallbackShortSize", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, 4); }, kAudioUnitErr_InvalidPropertyValue},
    {"RenderCallbackNoSuchInput", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 5, sizeof(AURenderCallbackStruct)); }, kAudioUnitErr_InvalidElement},
    {"ConnectionShortSize", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, 4); }, kAudioUnitErr_InvalidPropertyValue},
    {"ConnectionNoSuchInput", [](UnitHost& h) { return h.SetProperty(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, AudioUnitConnection{nullptr, 0, 9}); }, kAudioUnitErr_InvalidElement},
    {"ElementNameShortSize", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_ElementName, kAudioUnitScope_Output, 0, 2); }, kAudioUnitErr_InvalidPropertyValue},
    {"ElementNameNoSuchElement", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_ElementName, kAudioUnitScope_Output, 9, sizeof(CFStringRef)); }, kAudioUnitErr_InvalidElement},
    {"ContextNameInputScope", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_ContextName, kAudioUnitScope_Input, 0, sizeof(CFStringRef)); }, kAudioUnitErr_InvalidScope},
    {"PresetShortSize", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_CurrentPreset, 0, 0, sizeof(AUPreset) - 1); }, kAudioUnitErr_InvalidPropertyValue},
    {"UserPresetWithoutName", [](UnitHost& h) { return h.SetProperty(kAudioUnitProperty_PresentPreset, 0, 0, AUPreset{-1, nullptr}); }, kAudioUnitErr_InvalidPropertyValue},
    {"FactoryPresetHugeNumber", [](UnitHost& h) { return h.SetProperty(kAudioUnitProperty_CurrentPreset, 0, 0, AUPreset{0x7FFFFFFF, nullptr}); }, kAudioUnitErr_InvalidProperty},
    {"ShouldAllocateGlobalScope", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_ShouldAllocateBuffer, 0, 0, 4); }, kAudioUnitErr_InvalidScope},
    {"ShouldAllocateWideSize", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_ShouldAllocateBuffer, kAudioUnitScope_Output, 0, 8); }, kAudioUnitErr_InvalidPropertyValue},
    {"ShouldAllocateWhileInitialized", [](UnitHost& h) { h.Initialize(); return SetZeroed(h, kAudioUnitProperty_ShouldAllocateBuffer, kAudioUnitScope_Output, 0, 4); }, kAudioUnitErr_Initialized},
    {"HostCallbacksOneByte", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_HostCallbacks, 0, 0, 1); }, noErr},
    {"ElementCountNotWritable", [](UnitHost& h) { return h.SetProperty(kAudioUnitProperty_ElementCount, kAudioUnitScope_Output, 0, kHuge); }, kAudioUnitErr_PropertyNotWritable},
    {"BypassOneByte", [](UnitHost& h) { return SetZeroed(h, kAudioUnitProperty_BypassEffect, 0, 0, 1); }, kAudioUnitErr_InvalidPropertyValue},

    // ---- parameters ----
    {"GetParameterNullValue", [](UnitHost& h) { return AudioUnitGetParameter(h.Unit(), 0, 0, 0, nullptr); }, paramErr},
    {"GetParameterNoSuchScope", [](UnitHost& h) { Float32 v = 0; return AudioUnitGetParameter(h.Unit(), 0, kHuge, 0, &v); }, kAudioUnitErr_InvalidScope},
    {"GetParameterNoSuchElement", [](UnitHost& h) { Float32 v = 0; return AudioUnitGetParameter(h.Unit(), 0, 0, kHuge, &v); }, kAudioUnitErr_InvalidElement},
    {"GetParameterNoSuchID", [](UnitHost& h) { Float32 v = 0; return AudioUnitGetParameter(h.Unit(), kHuge, 0, 0, &v); }, kAudioUnitErr_InvalidParameter},
    {"GetParameterGroupScope", [](UnitHost& h) { Float32 v = 0; return AudioUnitGetParameter(h.Unit(), 0, kAudioUnitScope_Group, 0, &v); }, kAudioUnitErr_InvalidScope},
    {"SetParameterNoSuchID", [](UnitHost& h) { return AudioUnitSetParameter(h.Unit(), 2, 0, 0, 1.0f, 0); }, kAudioUnitErr_InvalidParameter},
    {"SetParameterPartScope", [](UnitHost& h) { return AudioUnitSetParameter(h.Unit(), 0, kAudioUnitScope_Part, 0, 1.0f, 0); }, kAudioUnitErr_InvalidElement},
    {"SetParameterNaNHugeOffset", [](UnitHost& h) { return AudioUnitSetParameter(h.Unit(), 1, 0, 0, NAN, kHuge); }, noErr},
    {"ResetHugeScope", [](UnitHost& h) { return AudioUnitReset(h.Unit(), kHuge, kHuge); }, noErr},

    // ---- scheduled events ----
    {"ScheduleNullEventsWithCount", [](UnitHost& h) { return AudioUnitScheduleParameters(h.Unit(), nullptr, 3); }, paramErr},
    {"ScheduleNoEvents", [](UnitHost& h) { return AudioUnitScheduleParameters(h.Unit(), nullptr, 0); }, noErr},
    {"ScheduleImmediateNoSuchID", [](UnitHost& h) { return ScheduleEvent(h, 0, 9, kParameterEvent_Immediate); }, kAudioUnitErr_InvalidParameter},
    {"ScheduleRampNoSuchID", [](UnitHost& h) { return ScheduleEvent(h, 0, 9, kParameterEvent_Ramped); }, kAudioUnitErr_InvalidParameter},
    {"ScheduleRampNoSuchScope", [](UnitHost& h) { return ScheduleEvent(h, kNoSuchScope, 0, kParameterEvent_Ramped); }, kAudioUnitErr_InvalidScope},

    // ---- listeners and notifications ----
    {"AddNullPropertyListener", [](UnitHost& h) { return AudioUnitAddPropertyListener(h.Unit(), 0, nullptr, nullptr); }, paramErr},
    {"RemoveListenerNeverAdded", [](UnitHost& h) { return AudioUnitRemovePropertyListenerWithUserData(h.Unit(), kHuge, nullptr, nullptr); }, noErr},
    {"AddNullRenderNotify", [](UnitHost& h) { return AudioUnitAddRenderNotify(h.Unit(), nullptr, nullptr); }, paramErr},
    {"RemoveRenderNotifyNeverAdded", [](UnitHost& h) { return AudioUnitRemoveRenderNotify(h.Unit(), &FailingFeed, nullptr); }, noErr},

    // ---- render ----
    {"RenderNullTimeStamp", [](UnitHost& h) { AudioBufferList list{}; return AudioUnitRender(h.Unit(), nullptr, nullptr, 0, kFrames, &list); }, paramErr},
    {"RenderNullBufferList", [](UnitHost& h) { AudioTimeStamp t{}; return AudioUnitRender(h.Unit(), nullptr, &t, 0, kFrames, nullptr); }, paramErr},
    {"RenderUninitialized", [](UnitHost& h) { return Render(h, {}); }, kAudioUnitErr_Uninitialized},
    {"RenderOneFrameTooMany", [](UnitHost& h) { return InitializedThenRender(h, {.frames = AUBase::kDefaultMaxFramesPerSlice + 1}); }, kAudioUnitErr_TooManyFramesToProcess},
    {"RenderHugeFrameCount", [](UnitHost& h) { return InitializedThenRender(h, {.frames = kHuge}); }, kAudioUnitErr_TooManyFramesToProcess},
    {"RenderNoSuchBus", [](UnitHost& h) { return InitializedThenRender(h, {.bus = kHuge}); }, kAudioUnitErr_InvalidElement},
    {"RenderTooFewBuffers", [](UnitHost& h) { return InitializedThenRender(h, {.declaredBuffers = 1}); }, paramErr},
    {"RenderNoBuffers", [](UnitHost& h) { return InitializedThenRender(h, {.declaredBuffers = 0}); }, paramErr},
    {"RenderHugeBufferCount", [](UnitHost& h) { return InitializedThenRender(h, {.declaredBuffers = kHuge}); }, paramErr},
    {"RenderShortBuffers", [](UnitHost& h) { return InitializedThenRender(h, {.bytesPerBuffer = kFrames * 4 - 1}); }, paramErr},
    {"RenderNullDataIntoOwnMemory", [](UnitHost& h) { return InitializedThenRender(h, {.withMemory = false}); }, noErr},
    {"RenderZeroFrames", [](UnitHost& h) { return InitializedThenRender(h, {.frames = 0, .bytesPerBuffer = 0}); }, noErr},
    {"RenderWithoutInput", [](UnitHost& h) { h.Initialize(); return Render(h, {}); }, kAudioUnitErr_NoConnection},
    {"RenderFeedFails", [](UnitHost& h) { return RenderFedBy(h, &FailingFeed, true); }, -1234},
    {"RenderFeedLeavesNoMemory", [](UnitHost& h) { return RenderFedBy(h, &EmptyFeed, false); }, paramErr},
    {"RenderFeedShortOfAFrame", [](UnitHost& h) { return RenderFedBy(h, &ShortFeed, false); }, paramErr},
    {"RenderFeedDropsABuffer", [](UnitHost& h) { return RenderFedBy(h, &DroppingFeed, true); }, paramErr},
    {"RenderSelfFedWithNaNTime", [](UnitHost& h) { h.SetProperty(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, AudioUnitConnection{h.Unit(), 0, 0}); h.Initialize(); return Render(h, {.sampleTime = NAN}); }, noErr},
    {"RenderIntoHugeFormat", [](UnitHost& h) { SetFormatWithChannels(h, kAudioUnitScope_Output, kHuge); return Render(h, {}); }, kAudioUnitErr_Uninitialized},
};
// clang-format on

class BadInput : public testing::TestWithParam<Row> {};

TEST_P(BadInput, ReturnsItsStatusAndLeavesNothingBehind) {
    const long objectsBefore = PlatformLiveObjectCount();
    const long instancesBefore = PlatformOpenInstanceCount();
    {
        UnitHost host;
        ASSERT_EQ(host.OpenStatus(), noErr);
        EXPECT_EQ(GetParam().call(host), GetParam().expected);
    }
    EXPECT_EQ(PlatformOpenInstanceCount(), instancesBefore);
    EXPECT_EQ(PlatformLiveObjectCount(), objectsBefore);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, BadInput, testing::ValuesIn(kCatalogue),
                         [](const testing::TestParamInfo<Row>& info) { return info.param.name; });

} // namespace
