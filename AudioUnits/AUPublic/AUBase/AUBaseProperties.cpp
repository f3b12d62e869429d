// The four property dispatchers: they serve the properties every unit has, check what the host
// passes before anything changes, call the part of the unit that owns the data, and announce
// what changed. Every other ID goes to the subclass's virtual fallbacks.
#include "AUBase.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace {

// ---- reading and writing host memory ----
// The host's buffers carry no alignment promise, so values cross as bytes.

template <class T> void WriteValue(void* outData, const T& value) {
    std::memcpy(outData, &value, sizeof value);
}

template <class T> T ReadValue(const void* inData) {
    T value{};
    std::memcpy(&value, inData, sizeof value);
    return value;
}

// A function handed out by the fast-dispatch property travels as one pointer-sized word.
static_assert(sizeof(AudioUnitRenderProc) == sizeof(void*));

// ---- the checks of the set and remove paths ----

struct Failure {
    OSStatus status;
    const char* label;
};
constexpr Failure kBadValue{kAudioUnitErr_InvalidPropertyValue, "InvalidPropertyValue"};
constexpr Failure kBadScope{kAudioUnitErr_InvalidScope, "InvalidScope"};
constexpr Failure kBadElement{kAudioUnitErr_InvalidElement, "InvalidElement"};
constexpr Failure kBadFormat{kAudioUnitErr_FormatNotSupported, "InvalidFormat"};
constexpr Failure kNotWritable{kAudioUnitErr_PropertyNotWritable, "NotWritable"};
constexpr Failure kNotInitialized{kAudioUnitErr_Uninitialized, "Uninitialized"};
constexpr Failure kIsInitialized{kAudioUnitErr_Initialized, "Initialized"};
constexpr Failure kBadProperty{kAudioUnitErr_InvalidProperty, "InvalidProperty"};

// A failed check says which condition failed and where, in the form host developers grep for.
// The line is the caller's (__builtin_LINE, which every compiler we build with has).
OSStatus Require(bool satisfied, const char* condition, Failure failure,
                 int line = __builtin_LINE()) {
    if (satisfied) {
        return noErr;
    }
    CARequireFailed(condition, failure.label, "AUBase", line);
    return failure.status;
}

OSStatus RequireGlobalScope(AudioUnitScope inScope, int line = __builtin_LINE()) {
    return Require(inScope == kAudioUnitScope_Global, "inScope == kAudioUnitScope_Global",
                   kBadScope, line);
}

OSStatus RequireElement(AUBase& unit, AudioUnitScope inScope, AudioUnitElement inElement,
                        int line = __builtin_LINE()) {
    return Require(unit.GetElement(inScope, inElement) != nullptr,
                   "GetElement(inScope, inElement) != NULL", kBadElement, line);
}

OSStatus RequireStringSize(UInt32 inDataSize, int line = __builtin_LINE()) {
    return Require(inDataSize == sizeof(CFStringRef), "inDataSize == sizeof(CFStringRef)",
                   kBadValue, line);
}

OSStatus RequireUInt32Size(UInt32 inDataSize, int line = __builtin_LINE()) {
    return Require(inDataSize == sizeof(UInt32), "inDataSize == sizeof(UInt32)", kBadValue, line);
}

// ---- get-info: the table of the core's properties ----

enum class Scopes { Any, Global, InputOrGlobal, InputOrOutput };
// IfFormat: IsStreamFormatWritable; IfBusCount: BusCountWritable; AsLayout: as the layout says.
enum class Writable { No, Yes, IfFormat, IfBusCount, AsLayout };
constexpr UInt32 kComputedSize = 0;

// What a host may learn about a core property before reading or writing it.
struct InfoRow {
    AudioUnitPropertyID id;
    Scopes scopes;
    UInt32 size;
    Writable writable;
    bool needsElement;
};

// clang-format off
using enum Scopes;
using enum Writable;
constexpr InfoRow kInfoTable[] = {
    // ID                                           scopes         size                                 writable    element
    {kAudioUnitProperty_ClassInfo,                  Global,        sizeof(CFPropertyListRef),           Yes,        true},
    {kAudioUnitProperty_MakeConnection,             InputOrGlobal, sizeof(AudioUnitConnection),         Yes,        true},
    {kAudioUnitProperty_SampleRate,                 Any,           sizeof(Float64),                     IfFormat,   true},
    {kAudioUnitProperty_ParameterList,              Any,           kComputedSize,                       No,         false},
    {kAudioUnitProperty_ParameterInfo,              Any,           sizeof(AudioUnitParameterInfo),      No,         false},
    {kAudioUnitProperty_FastDispatch,               Global,        sizeof(void*),                       No,         false},
    {kAudioUnitProperty_StreamFormat,               Any,           sizeof(AudioStreamBasicDescription), IfFormat,   true},
    {kAudioUnitProperty_ElementCount,               Any,           sizeof(UInt32),                      IfBusCount, false},
    {kAudioUnitProperty_Latency,                    Global,        sizeof(Float64),                     No,         true},
    {kAudioUnitProperty_SupportedNumChannels,       Global,        kComputedSize,                       No,         true},
    {kAudioUnitProperty_MaximumFramesPerSlice,      Global,        sizeof(UInt32),                      Yes,        true},
    {kAudioUnitProperty_ParameterValueStrings,      Any,           sizeof(CFArrayRef),                  No,         false},
    {kAudioUnitProperty_GetUIComponentList,         Global,        kComputedSize,                       No,         true},
    {kAudioUnitProperty_AudioChannelLayout,         Any,           kComputedSize,                       AsLayout,   false},
    {kAudioUnitProperty_TailTime,                   Global,        sizeof(Float64),                     No,         true},
    {kAudioUnitProperty_LastRenderError,            Global,        sizeof(OSStatus),                    No,         true},
    {kAudioUnitProperty_SetRenderCallback,          InputOrGlobal, sizeof(AURenderCallbackStruct),      Yes,        true},
    {kAudioUnitProperty_FactoryPresets,             Global,        sizeof(CFArrayRef),                  No,         true},
    {kAudioUnitProperty_ContextName,                Global,        sizeof(CFStringRef),                 Yes,        true},
    {kAudioUnitProperty_HostCallbacks,              Global,        sizeof(HostCallbackInfo),            Yes,        true},
    {kAudioUnitProperty_CurrentPreset,              Global,        sizeof(AUPreset),                    Yes,        true},
    {kAudioUnitProperty_PresentPreset,              Global,        sizeof(AUPreset),                    Yes,        true},
    {kAudioUnitProperty_ElementName,                Any,           sizeof(CFStringRef),                 Yes,        true},
    {kAudioUnitProperty_SupportedChannelLayoutTags, Any,           kComputedSize,                       No,         false},
    {kAudioUnitProperty_ParameterClumpName,         Any,           sizeof(AudioUnitParameterIDName),    No,         true},
    {kAudioUnitProperty_IconLocation,               Global,        sizeof(CFTypeRef),                   No,         true},
    {kAudioUnitProperty_ShouldAllocateBuffer,       InputOrOutput, sizeof(UInt32),                      Yes,        true},
    {kAudioUnitProperty_LastRenderedSampleTime,     Any,           sizeof(Float64),                     No,         true},
};
// clang-format on

const InfoRow* FindInfoRow(AudioUnitPropertyID id) {
    for (const InfoRow& row : kInfoTable) {
        if (row.id == id) {
            return &row;
        }
    }
    return nullptr;
}

bool ScopeAllowed(Scopes scopes, AudioUnitScope scope) {
    switch (scopes) {
    case Scopes::Any:
        return true;
    case Scopes::Global:
        return scope == kAudioUnitScope_Global;
    case Scopes::InputOrGlobal:
        return scope == kAudioUnitScope_Input || scope == kAudioUnitScope_Global;
    case Scopes::InputOrOutput:
        return scope == kAudioUnitScope_Input || scope == kAudioUnitScope_Output;
    }
    return false;
}

// The answer of one row: status, and the size and writability once the row has reached them.
struct InfoAnswer {
    OSStatus status = noErr;
    UInt32 size = 0;
    bool writable = false;
};

OSStatus AvailableWhen(bool available) {
    return available ? noErr : kAudioUnitErr_InvalidProperty;
}

// A list property whose length the unit decides: n entries of entrySize bytes, none refused.
OSStatus ListSize(UInt32 count, UInt32 entrySize, UInt32& outSize) {
    outSize = count * entrySize;
    return AvailableWhen(count > 0);
}

OSStatus ChannelLayoutInfo(AUBase& unit, AudioUnitScope scope, AudioUnitElement element,
                           InfoAnswer& answer) {
    Boolean writable = false;
    answer.size = unit.GetAudioChannelLayout(scope, element, nullptr, writable);
    answer.writable = writable != 0;
    if (answer.size > 0) {
        return noErr;
    }
    return unit.GetChannelLayoutTags(scope, element, nullptr) != 0
               ? kAudioUnitErr_InvalidPropertyValue
               : kAudioUnitErr_InvalidProperty;
}

// The rows whose size or availability the unit decides at run time.
OSStatus ComputedInfo(AUBase& unit, AudioUnitPropertyID id, AudioUnitScope scope,
                      AudioUnitElement element, InfoAnswer& answer) {
    switch (id) {
    case kAudioUnitProperty_ParameterList: {
        UInt32 count = 0;
        const OSStatus status = unit.GetParameterList(scope, nullptr, count);
        answer.size = count * sizeof(AudioUnitParameterID);
        return status;
    }
    case kAudioUnitProperty_SupportedNumChannels:
        return ListSize(unit.SupportedNumChannels(nullptr), sizeof(AUChannelInfo), answer.size);
    case kAudioUnitProperty_ParameterValueStrings:
        return unit.GetParameterValueStrings(scope, element, nullptr);
    case kAudioUnitProperty_GetUIComponentList:
        return ListSize(unit.GetNumCustomUIComponents(), sizeof(ComponentDescription), answer.size);
    case kAudioUnitProperty_AudioChannelLayout:
        return ChannelLayoutInfo(unit, scope, element, answer);
    case kAudioUnitProperty_TailTime:
        return AvailableWhen(unit.SupportsTail());
    case kAudioUnitProperty_FactoryPresets:
        return unit.GetPresets(nullptr);
    case kAudioUnitProperty_SupportedChannelLayoutTags:
        return ListSize(unit.GetChannelLayoutTags(scope, element, nullptr),
                        sizeof(AudioChannelLayoutTag), answer.size);
    case kAudioUnitProperty_IconLocation:
        return AvailableWhen(unit.HasIcon());
    default:
        return noErr;
    }
}

bool RowWritable(AUBase& unit, const InfoRow& row, AudioUnitScope scope, AudioUnitElement element) {
    switch (row.writable) {
    case Writable::Yes:
        return true;
    case Writable::IfFormat:
        return unit.IsStreamFormatWritable(scope, element);
    case Writable::IfBusCount:
        return unit.BusCountWritable(scope);
    default:
        return false;
    }
}

InfoAnswer AnswerInfoRow(AUBase& unit, const InfoRow& row, AudioUnitScope scope,
                         AudioUnitElement element) {
    InfoAnswer answer;
    if (row.id == kAudioUnitProperty_SetRenderCallback && unit.AudioUnitAPIVersion() < 2) {
        answer.status = kAudioUnitErr_InvalidProperty;
        return answer;
    }
    if (!ScopeAllowed(row.scopes, scope)) {
        answer.status = kAudioUnitErr_InvalidScope;
        return answer;
    }
    answer.size = row.size;
    answer.writable = RowWritable(unit, row, scope, element);
    answer.status = ComputedInfo(unit, row.id, scope, element, answer);
    return answer;
}

// ---- get: values the unit derives from its parts ----

OSStatus GetFastDispatch(AUBase& unit, AudioUnitElement element, void* outData) {
    switch (element) {
    case kAudioUnitGetParameterFastSelect:
        WriteValue(outData, AudioUnitGetParameterProc{&AudioUnitBaseGetParameter});
        return noErr;
    case kAudioUnitSetParameterFastSelect:
        WriteValue(outData, AudioUnitSetParameterProc{&AudioUnitBaseSetParameter});
        return noErr;
    case kAudioUnitRenderFastSelect:
        if (unit.AudioUnitAPIVersion() < 2) {
            return kAudioUnitErr_InvalidElement;
        }
        WriteValue(outData, AudioUnitRenderProc{&AudioUnitBaseRender});
        return noErr;
    default:
        return unit.GetProperty(kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global, element,
                                outData);
    }
}

OSStatus GetParameterListProperty(AUBase& unit, AudioUnitScope scope, void* outData) {
    UInt32 count = 0;
    unit.GetParameterList(scope, nullptr, count);
    std::vector<AudioUnitParameterID> ids(count);
    const OSStatus status = unit.GetParameterList(scope, ids.data(), count);
    // An empty list has no storage to copy from.
    if (!ids.empty()) {
        std::memcpy(outData, ids.data(), ids.size() * sizeof(AudioUnitParameterID));
    }
    return status;
}

// The unit fills in the caller's own record: the fields it does not name (the unit name and the
// clump, and all but the flags of a refused query) keep the caller's bytes.
OSStatus GetParameterInfoProperty(AUBase& unit, AudioUnitScope scope, AudioUnitParameterID id,
                                  void* outData) {
    auto info = ReadValue<AudioUnitParameterInfo>(outData);
    const OSStatus status = unit.GetParameterInfo(scope, id, info);
    WriteValue(outData, info);
    return status;
}

OSStatus GetSupportedNumChannels(AUBase& unit, void* outData) {
    const AUChannelInfo* table = nullptr;
    const UInt32 count = unit.SupportedNumChannels(&table);
    if (count > 0 && table != nullptr) {
        std::memcpy(outData, table, count * sizeof(AUChannelInfo));
    }
    return noErr;
}

OSStatus GetChannelLayoutProperty(AUBase& unit, AudioUnitScope scope, AudioUnitElement element,
                                  void* outData) {
    Boolean writable = false;
    const UInt32 size = unit.GetAudioChannelLayout(
        scope, element, static_cast<AudioChannelLayout*>(outData), writable);
    return AvailableWhen(size > 0);
}

OSStatus GetChannelLayoutTagsProperty(AUBase& unit, AudioUnitScope scope, AudioUnitElement element,
                                      void* outData) {
    const UInt32 count =
        unit.GetChannelLayoutTags(scope, element, static_cast<AudioChannelLayoutTag*>(outData));
    return AvailableWhen(count > 0);
}

OSStatus GetClumpName(AUBase& unit, AudioUnitScope scope, AudioUnitElement element, void* ioData) {
    auto request = ReadValue<AudioUnitParameterIDName>(ioData);
    if (request.inID == 0) {
        return kAudioUnitErr_InvalidPropertyValue;
    }
    const OSStatus status = unit.CopyClumpName(
        scope, request.inID, static_cast<UInt32>(request.inDesiredLength), &request.outName);
    if (status == kAudioUnitErr_InvalidProperty) {
        return unit.GetProperty(kAudioUnitProperty_ParameterClumpName, scope, element, ioData);
    }
    WriteValue(ioData, request);
    return status;
}

OSStatus GetIconLocation(AUBase& unit, void* outData) {
    const CFTypeRef location = unit.CopyIconLocation();
    if (location == nullptr) {
        return kAudioUnitErr_InvalidProperty;
    }
    WriteValue(outData, location);
    return noErr;
}

OSStatus GetElementName(AUBase& unit, AudioUnitScope scope, AudioUnitElement element,
                        void* outData) {
    const CFStringRef name = unit.SafeGetElement(scope, element)->GetName();
    if (name == nullptr) {
        return kAudioUnitErr_InvalidPropertyValue;
    }
    CFRetain(name);
    WriteValue(outData, name);
    return noErr;
}

// A property whose value is an object the callee creates: the word is null unless it made one.
template <class Ref, class Make> OSStatus GetCreatedObject(void* outData, Make&& make) {
    Ref object = nullptr;
    WriteValue(outData, object);
    const OSStatus status = make(&object);
    WriteValue(outData, object);
    return status;
}

// Answers the properties that the unit's other parts own; nullopt for every other ID.
std::optional<OSStatus> GetDerivedProperty(AUBase& unit, AudioUnitPropertyID id,
                                           AudioUnitScope scope, AudioUnitElement element,
                                           void* outData) {
    switch (id) {
    case kAudioUnitProperty_ClassInfo:
        return GetCreatedObject<CFPropertyListRef>(
            outData, [&](CFPropertyListRef* out) { return unit.SaveState(out); });
    case kAudioUnitProperty_SampleRate:
        WriteValue(outData, unit.GetStreamFormat(scope, element).mSampleRate);
        return noErr;
    case kAudioUnitProperty_ParameterList:
        return GetParameterListProperty(unit, scope, outData);
    case kAudioUnitProperty_ParameterInfo:
        return GetParameterInfoProperty(unit, scope, element, outData);
    case kAudioUnitProperty_FastDispatch:
        return GetFastDispatch(unit, element, outData);
    case kAudioUnitProperty_StreamFormat:
        WriteValue(outData, static_cast<const AudioStreamBasicDescription&>(
                                unit.GetStreamFormat(scope, element)));
        return noErr;
    case kAudioUnitProperty_ElementCount:
        WriteValue(outData, unit.GetScope(scope).GetNumberOfElements());
        return noErr;
    case kAudioUnitProperty_Latency:
        WriteValue(outData, unit.GetLatency());
        return noErr;
    case kAudioUnitProperty_SupportedNumChannels:
        return GetSupportedNumChannels(unit, outData);
    case kAudioUnitProperty_MaximumFramesPerSlice:
        WriteValue(outData, unit.GetMaxFramesPerSlice());
        return noErr;
    case kAudioUnitProperty_ParameterValueStrings:
        return GetCreatedObject<CFArrayRef>(outData, [&](CFArrayRef* out) {
            return unit.GetParameterValueStrings(scope, element, out);
        });
    case kAudioUnitProperty_GetUIComponentList:
        unit.GetUIComponentDescs(static_cast<ComponentDescription*>(outData));
        return noErr;
    case kAudioUnitProperty_AudioChannelLayout:
        return GetChannelLayoutProperty(unit, scope, element, outData);
    case kAudioUnitProperty_TailTime:
        if (!unit.SupportsTail()) {
            return kAudioUnitErr_InvalidProperty;
        }
        WriteValue(outData, unit.GetTailTime());
        return noErr;
    case kAudioUnitProperty_FactoryPresets:
        return GetCreatedObject<CFArrayRef>(outData,
                                            [&](CFArrayRef* out) { return unit.GetPresets(out); });
    case kAudioUnitProperty_ElementName:
        return GetElementName(unit, scope, element, outData);
    case kAudioUnitProperty_SupportedChannelLayoutTags:
        return GetChannelLayoutTagsProperty(unit, scope, element, outData);
    case kAudioUnitProperty_ParameterClumpName:
        return GetClumpName(unit, scope, element, outData);
    case kAudioUnitProperty_IconLocation:
        return GetIconLocation(unit, outData);
    case kAudioUnitProperty_ShouldAllocateBuffer:
        WriteValue(outData, UInt32{unit.GetIOElement(scope, element)->WillAllocateBuffer()});
        return noErr;
    case kAudioUnitProperty_LastRenderedSampleTime:
        WriteValue(outData, unit.GetLastRenderedSampleTime());
        return noErr;
    default:
        return std::nullopt;
    }
}

// ---- set: changes that the unit's other parts carry out ----

OSStatus SetClassInfo(AUBase& unit, AudioUnitScope inScope, AudioUnitElement, const void* inData,
                      UInt32 inDataSize) {
    if (const OSStatus status = Require(inDataSize == sizeof(CFPropertyListRef),
                                        "inDataSize == sizeof(CFPropertyListRef *)", kBadValue);
        status != noErr) {
        return status;
    }
    if (const OSStatus status = RequireGlobalScope(inScope); status != noErr) {
        return status;
    }
    return unit.RestoreState(ReadValue<CFPropertyListRef>(inData));
}

OSStatus SetMakeConnection(AUBase& unit, AudioUnitScope, AudioUnitElement, const void* inData,
                           UInt32 inDataSize) {
    if (const OSStatus status = Require(inDataSize >= sizeof(AudioUnitConnection),
                                        "inDataSize >= sizeof(AudioUnitConnection)", kBadValue);
        status != noErr) {
        return status;
    }
    return unit.SetConnection(ReadValue<AudioUnitConnection>(inData));
}

// The common end of a sample-rate or format change: accepted formats only, an equal format is
// no change, and a different one only while the bus may change.
OSStatus AdoptStreamFormat(AUBase& unit, AudioUnitScope inScope, AudioUnitElement inElement,
                           const CAStreamBasicDescription& newDesc) {
    if (const OSStatus status = Require(unit.ValidFormat(inScope, inElement, newDesc),
                                        "ValidFormat(inScope, inElement, newDesc)", kBadFormat);
        status != noErr) {
        return status;
    }
    const CAStreamBasicDescription current = unit.GetStreamFormat(inScope, inElement);
    if (current.IsEqual(newDesc, false)) {
        return noErr;
    }
    if (const OSStatus status = Require(unit.IsStreamFormatWritable(inScope, inElement),
                                        "IsStreamFormatWritable(inScope, inElement)", kNotWritable);
        status != noErr) {
        return status;
    }
    return unit.ChangeStreamFormat(inScope, inElement, current, newDesc);
}

OSStatus SetSampleRate(AUBase& unit, AudioUnitScope inScope, AudioUnitElement inElement,
                       const void* inData, UInt32 inDataSize) {
    if (const OSStatus status =
            Require(inDataSize == sizeof(Float64), "inDataSize == sizeof(Float64)", kBadValue);
        status != noErr) {
        return status;
    }
    if (const OSStatus status = RequireElement(unit, inScope, inElement); status != noErr) {
        return status;
    }
    CAStreamBasicDescription newDesc = unit.GetStreamFormat(inScope, inElement);
    newDesc.mSampleRate = ReadValue<Float64>(inData);
    return AdoptStreamFormat(unit, inScope, inElement, newDesc);
}

// The last word of the record is reserved: a host may leave it out, and it is always zero here.
constexpr UInt32 kMeaningfulFormatBytes = offsetof(AudioStreamBasicDescription, mReserved);

OSStatus SetStreamFormat(AUBase& unit, AudioUnitScope inScope, AudioUnitElement inElement,
                         const void* inData, UInt32 inDataSize) {
    if (inDataSize < kMeaningfulFormatBytes) {
        return kAudioUnitErr_InvalidPropertyValue;
    }
    if (const OSStatus status = RequireElement(unit, inScope, inElement); status != noErr) {
        return status;
    }
    CAStreamBasicDescription newDesc;
    std::memcpy(static_cast<AudioStreamBasicDescription*>(&newDesc), inData,
                kMeaningfulFormatBytes);
    return AdoptStreamFormat(unit, inScope, inElement, newDesc);
}

OSStatus SetElementCount(AUBase& unit, AudioUnitScope inScope, AudioUnitElement inElement,
                         const void* inData, UInt32 inDataSize) {
    if (const OSStatus status = RequireUInt32Size(inDataSize); status != noErr) {
        return status;
    }
    if (const OSStatus status =
            Require(unit.BusCountWritable(inScope), "BusCountWritable(inScope)", kNotWritable);
        status != noErr) {
        return status;
    }
    const OSStatus result = unit.SetBusCount(inScope, ReadValue<UInt32>(inData));
    if (result == noErr) {
        unit.PropertyChanged(kAudioUnitProperty_ElementCount, inScope, inElement);
    }
    return result;
}

OSStatus SetMaximumFrames(AUBase& unit, AudioUnitScope, AudioUnitElement, const void* inData,
                          UInt32 inDataSize) {
    if (const OSStatus status = RequireUInt32Size(inDataSize); status != noErr) {
        return status;
    }
    if (const OSStatus status = unit.CanSetMaxFrames(); status != noErr) {
        return status;
    }
    unit.SetMaxFramesPerSlice(ReadValue<UInt32>(inData));
    return noErr;
}

constexpr uintptr_t kExternalBufferAlignment = 16;

OSStatus SetExternalBuffer(AUBase& unit, AudioUnitScope inScope, AudioUnitElement inElement,
                           const void* inData, UInt32 inDataSize) {
    if (const OSStatus status = Require(inDataSize >= sizeof(AudioUnitExternalBuffer),
                                        "inDataSize >= sizeof(AudioUnitExternalBuffer)", kBadValue);
        status != noErr) {
        return status;
    }
    if (const OSStatus status = Require(unit.IsInitialized(), "IsInitialized()", kNotInitialized);
        status != noErr) {
        return status;
    }
    const auto buffer = ReadValue<AudioUnitExternalBuffer>(inData);
    if (reinterpret_cast<uintptr_t>(buffer.buffer) % kExternalBufferAlignment != 0) {
        return paramErr;
    }
    AUIOElement* bus = inScope == kAudioUnitScope_Input
                           ? static_cast<AUIOElement*>(unit.GetInput(inElement))
                           : static_cast<AUIOElement*>(unit.GetOutput(inElement));
    // A bus whose frames take no bytes could never use the memory.
    const CAStreamBasicDescription& format = bus->GetStreamFormat();
    if (format.NumberChannelStreams() == 0 || format.mBytesPerFrame == 0) {
        return kAudioUnitErr_InvalidPropertyValue;
    }
    bus->UseExternalBuffer(buffer);
    return noErr;
}

OSStatus SetChannelLayout(AUBase& unit, AudioUnitScope inScope, AudioUnitElement inElement,
                          const void* inData, UInt32 inDataSize) {
    constexpr std::size_t kHeaderSize = offsetof(AudioChannelLayout, mChannelDescriptions);
    // The description count lives in the header, so a record shorter than that has no count.
    std::uint64_t needed = kHeaderSize;
    if (inDataSize >= kHeaderSize) {
        const auto count =
            ReadValue<UInt32>(static_cast<const Byte*>(inData) +
                              offsetof(AudioChannelLayout, mNumberChannelDescriptions));
        needed += std::uint64_t{count} * sizeof(AudioChannelDescription);
    }
    if (const OSStatus status =
            Require(inDataSize >= needed,
                    "inDataSize >= offsetof(AudioChannelLayout, mChannelDescriptions) + "
                    "layout->mNumberChannelDescriptions * sizeof(AudioChannelDescription)",
                    kBadValue);
        status != noErr) {
        return status;
    }
    const OSStatus result = unit.SetAudioChannelLayout(
        inScope, inElement, static_cast<const AudioChannelLayout*>(inData));
    if (result == noErr) {
        unit.PropertyChanged(kAudioUnitProperty_AudioChannelLayout, inScope, inElement);
    }
    return result;
}

OSStatus SetRenderCallback(AUBase& unit, AudioUnitScope, AudioUnitElement inElement,
                           const void* inData, UInt32 inDataSize) {
    if (const OSStatus status = Require(inDataSize >= sizeof(AURenderCallbackStruct),
                                        "inDataSize >= sizeof(AURenderCallbackStruct)", kBadValue);
        status != noErr) {
        return status;
    }
    if (const OSStatus status =
            Require(unit.AudioUnitAPIVersion() > 1, "AudioUnitAPIVersion() > 1", kBadProperty);
        status != noErr) {
        return status;
    }
    const auto callback = ReadValue<AURenderCallbackStruct>(inData);
    return unit.SetInputCallback(kAudioUnitProperty_SetRenderCallback, inElement,
                                 callback.inputProc, callback.inputProcRefCon);
}

OSStatus SetElementName(AUBase& unit, AudioUnitScope inScope, AudioUnitElement inElement,
                        const void* inData, UInt32 inDataSize) {
    if (const OSStatus status = RequireElement(unit, inScope, inElement); status != noErr) {
        return status;
    }
    if (const OSStatus status = RequireStringSize(inDataSize); status != noErr) {
        return status;
    }
    unit.GetElement(inScope, inElement)->SetName(ReadValue<CFStringRef>(inData));
    unit.PropertyChanged(kAudioUnitProperty_ElementName, inScope, inElement);
    return noErr;
}

OSStatus SetShouldAllocateBuffer(AUBase& unit, AudioUnitScope inScope, AudioUnitElement inElement,
                                 const void* inData, UInt32 inDataSize) {
    if (const OSStatus status = Require(
            inScope == kAudioUnitScope_Input || inScope == kAudioUnitScope_Output,
            "(inScope == kAudioUnitScope_Input || inScope == kAudioUnitScope_Output)", kBadScope);
        status != noErr) {
        return status;
    }
    if (const OSStatus status = RequireElement(unit, inScope, inElement); status != noErr) {
        return status;
    }
    if (const OSStatus status = RequireUInt32Size(inDataSize); status != noErr) {
        return status;
    }
    if (const OSStatus status = Require(!unit.IsInitialized(), "!IsInitialized()", kIsInitialized);
        status != noErr) {
        return status;
    }
    unit.GetIOElement(inScope, inElement)->SetWillAllocateBuffer(ReadValue<UInt32>(inData) != 0);
    return noErr;
}

// The changes that the unit's other parts carry out, each after the checks of its property.
using SetHandler = OSStatus (*)(AUBase& unit, AudioUnitScope inScope, AudioUnitElement inElement,
                                const void* inData, UInt32 inDataSize);

struct SetRow {
    AudioUnitPropertyID id;
    SetHandler set;
};

constexpr SetRow kSetTable[] = {
    {kAudioUnitProperty_ClassInfo, SetClassInfo},
    {kAudioUnitProperty_MakeConnection, SetMakeConnection},
    {kAudioUnitProperty_SampleRate, SetSampleRate},
    {kAudioUnitProperty_StreamFormat, SetStreamFormat},
    {kAudioUnitProperty_ElementCount, SetElementCount},
    {kAudioUnitProperty_MaximumFramesPerSlice, SetMaximumFrames},
    {kAudioUnitProperty_SetExternalBuffer, SetExternalBuffer},
    {kAudioUnitProperty_AudioChannelLayout, SetChannelLayout},
    {kAudioUnitProperty_SetRenderCallback, SetRenderCallback},
    {kAudioUnitProperty_ElementName, SetElementName},
    {kAudioUnitProperty_ShouldAllocateBuffer, SetShouldAllocateBuffer},
};

SetHandler FindSetHandler(AudioUnitPropertyID id) {
    for (const SetRow& row : kSetTable) {
        if (row.id == id) {
            return row.set;
        }
    }
    return nullptr;
}

bool IsAllZero(const HostCallbackInfo& info) {
    return info.hostUserData == nullptr && info.beatAndTempoProc == nullptr &&
           info.musicalTimeLocationProc == nullptr && info.transportStateProc == nullptr;
}

// Stores a new reference in place of the held one; retaining first keeps a re-stored object alive.
template <class Ref> void ReplaceRetained(Ref& held, Ref replacement) {
    if (replacement != nullptr) {
        CFRetain(replacement);
    }
    if (held != nullptr) {
        CFRelease(held);
    }
    held = replacement;
}

// ---- set and remove: the state the unit keeps for the host ----

OSStatus SetContextName(AUBase& unit, CFStringRef& held, AudioUnitScope inScope,
                        AudioUnitElement inElement, const void* inData, UInt32 inDataSize) {
    if (const OSStatus status = RequireStringSize(inDataSize); status != noErr) {
        return status;
    }
    if (const OSStatus status = RequireGlobalScope(inScope); status != noErr) {
        return status;
    }
    ReplaceRetained(held, ReadValue<CFStringRef>(inData));
    unit.PropertyChanged(kAudioUnitProperty_ContextName, inScope, inElement);
    return noErr;
}

// A short record is taken as far as it goes; the words it leaves out are cleared.
OSStatus SetHostCallbacks(AUBase& unit, HostCallbackInfo& held, AudioUnitScope inScope,
                          AudioUnitElement inElement, const void* inData, UInt32 inDataSize) {
    if (const OSStatus status = RequireGlobalScope(inScope); status != noErr) {
        return status;
    }
    const std::size_t length = std::min<std::size_t>(inDataSize, sizeof(HostCallbackInfo));
    const bool changed = std::memcmp(&held, inData, length) != 0;
    held = HostCallbackInfo{};
    std::memcpy(&held, inData, length);
    if (changed) {
        unit.PropertyChanged(kAudioUnitProperty_HostCallbacks, inScope, inElement);
    }
    return noErr;
}

OSStatus RemoveHostCallbacks(AUBase& unit, HostCallbackInfo& held, AudioUnitScope inScope,
                             AudioUnitElement inElement) {
    if (const OSStatus status = RequireGlobalScope(inScope); status != noErr) {
        return status;
    }
    if (!IsAllZero(held)) {
        held = HostCallbackInfo{};
        unit.PropertyChanged(kAudioUnitProperty_HostCallbacks, inScope, inElement);
    }
    return noErr;
}

// A negative number names a user preset, which needs a name; the others are factory presets.
OSStatus SetPreset(AUBase& unit, AUPreset& held, AudioUnitPropertyID id, AudioUnitScope inScope,
                   AudioUnitElement inElement, const void* inData, UInt32 inDataSize) {
    if (const OSStatus status =
            Require(inDataSize == sizeof(AUPreset), "inDataSize == sizeof(AUPreset)", kBadValue);
        status != noErr) {
        return status;
    }
    if (const OSStatus status = RequireGlobalScope(inScope); status != noErr) {
        return status;
    }
    const auto preset = ReadValue<AUPreset>(inData);
    OSStatus result = noErr;
    if (preset.presetNumber >= 0) {
        result = unit.NewFactoryPresetSet(preset);
    } else if (preset.presetName == nullptr) {
        return kAudioUnitErr_InvalidPropertyValue;
    } else {
        ReplaceRetained(held.presetName, preset.presetName);
        held.presetNumber = preset.presetNumber;
    }
    if (result == noErr) {
        unit.PropertyChanged(id, inScope, inElement);
    }
    return result;
}

} // namespace

// ---- get-info ----

OSStatus AUBase::DispatchGetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope,
                                         AudioUnitElement element, UInt32& outDataSize,
                                         Boolean& outWritable) {
    const InfoRow* row = FindInfoRow(id);
    if (row == nullptr) {
        return GetPropertyInfo(id, scope, element, outDataSize, outWritable);
    }
    const InfoAnswer answer = AnswerInfoRow(*this, *row, scope, element);
    if (answer.status != noErr) {
        return answer.status;
    }
    outDataSize = answer.size;
    outWritable = answer.writable;
    if (row->needsElement && GetElement(scope, element) == nullptr) {
        return kAudioUnitErr_InvalidElement;
    }
    return noErr;
}

// ---- get ----

OSStatus AUBase::DispatchGetProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                     AudioUnitElement element, void* outData) {
    switch (id) {
    case kAudioUnitProperty_LastRenderError:
        WriteValue(outData, mLastRenderErrorCode.exchange(noErr));
        return noErr;
    case kAudioUnitProperty_ContextName:
        if (mContextName == nullptr) {
            return kAudioUnitErr_InvalidPropertyValue;
        }
        WriteValue(outData, static_cast<CFStringRef>(CFRetain(mContextName)));
        return noErr;
    case kAudioUnitProperty_HostCallbacks:
        WriteValue(outData, mHostCallbackInfo);
        return noErr;
    case kAudioUnitProperty_CurrentPreset:
        WriteValue(outData, mCurrentPreset);
        return noErr;
    case kAudioUnitProperty_PresentPreset:
        if (mCurrentPreset.presetName != nullptr) {
            CFRetain(mCurrentPreset.presetName);
        }
        WriteValue(outData, mCurrentPreset);
        return noErr;
    default:
        break;
    }
    if (const auto status = GetDerivedProperty(*this, id, scope, element, outData)) {
        return *status;
    }
    return GetProperty(id, scope, element, outData);
}

// ---- set ----

OSStatus AUBase::DispatchSetProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                     AudioUnitElement element, const void* inData,
                                     UInt32 inDataSize) {
    switch (id) {
    case kAudioUnitProperty_ContextName:
        return SetContextName(*this, mContextName, scope, element, inData, inDataSize);
    case kAudioUnitProperty_HostCallbacks:
        return SetHostCallbacks(*this, mHostCallbackInfo, scope, element, inData, inDataSize);
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset:
        return SetPreset(*this, mCurrentPreset, id, scope, element, inData, inDataSize);
    default:
        break;
    }
    if (const SetHandler set = FindSetHandler(id)) {
        return set(*this, scope, element, inData, inDataSize);
    }
    const OSStatus result = SetProperty(id, scope, element, inData, inDataSize);
    if (result == noErr) {
        PropertyChanged(id, scope, element);
    }
    return result;
}

// ---- remove ----

OSStatus AUBase::DispatchRemovePropertyValue(AudioUnitPropertyID id, AudioUnitScope scope,
                                             AudioUnitElement element) {
    switch (id) {
    case kAudioUnitProperty_AudioChannelLayout: {
        const OSStatus result = RemoveAudioChannelLayout(scope, element);
        if (result == noErr) {
            PropertyChanged(id, scope, element);
        }
        return result;
    }
    case kAudioUnitProperty_ContextName:
        ReplaceRetained(mContextName, CFStringRef{nullptr});
        return noErr;
    case kAudioUnitProperty_HostCallbacks:
        return RemoveHostCallbacks(*this, mHostCallbackInfo, scope, element);
    default:
        return RemovePropertyValue(id, scope, element);
    }
}

// ---- questions the dispatchers ask ----

bool AUBase::IsStreamFormatWritable(AudioUnitScope scope, AudioUnitElement element) {
    switch (scope) {
    case kAudioUnitScope_Global:
        return StreamFormatWritable(kAudioUnitScope_Output, 0);
    case kAudioUnitScope_Output:
        return StreamFormatWritable(kAudioUnitScope_Output, element);
    case kAudioUnitScope_Input: {
        // An input fed by another unit keeps that unit's format.
        const auto* input = dynamic_cast<const AUInputElement*>(Inputs().GetElement(element));
        return (input == nullptr || !input->HasConnection()) &&
               StreamFormatWritable(kAudioUnitScope_Input, element);
    }
    default:
        return false;
    }
}

bool AUBase::HasIcon() {
    const CFTypeRef location = CopyIconLocation();
    if (location == nullptr) {
        return false;
    }
    CFRelease(location);
    return true;
}

// ---- the base answers of the subclass fallbacks ----

OSStatus AUBase::GetPropertyInfo(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, UInt32&,
                                 Boolean&) {
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::GetProperty(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, void*) {
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::SetProperty(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, const void*,
                             UInt32) {
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::RemovePropertyValue(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) {
    return kAudioUnitErr_InvalidPropertyValue;
}

OSStatus AUBase::GetPresets(CFArrayRef*) const {
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::NewFactoryPresetSet(const AUPreset&) {
    return kAudioUnitErr_InvalidProperty;
}

UInt32 AUBase::GetNumCustomUIComponents() {
    return 0;
}

void AUBase::GetUIComponentDescs(ComponentDescription*) {}

CFTypeRef AUBase::CopyIconLocation() {
    return nullptr;
}
