// Saved state: the class-info dictionary that holds the unit's identity, its parameter values as
// a big-endian blob, the current preset's name and the names of its elements. A state is checked
// completely before any of it is applied, so a refused state leaves the unit as it was.
#include "AUBase.h"
#include "CAAutoDisposer.h"
#include "CASavedParameters.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace {

CFOwned<CFMutableDictionaryRef> NewDictionary() {
    return CFOwned<CFMutableDictionaryRef>(CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
}

// Scope numbers and element indices appear in saved state as decimal text.
CFOwned<CFStringRef> DecimalKey(UInt32 number) {
    char text[32];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(number));
    return CFOwned<CFStringRef>(
        CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingASCII));
}

bool IsOfType(CFTypeRef object, CFTypeID type) {
    return object != nullptr && CFGetTypeID(object) == type;
}

std::vector<std::pair<CFTypeRef, CFTypeRef>> DictionaryEntries(CFDictionaryRef dict) {
    const auto count = static_cast<std::size_t>(CFDictionaryGetCount(dict));
    std::vector<const void*> keys(count);
    std::vector<const void*> values(count);
    CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
    std::vector<std::pair<CFTypeRef, CFTypeRef>> entries;
    entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        entries.emplace_back(keys[i], values[i]);
    }
    return entries;
}

// ---- the parameter blob ----

using CASavedParameters::DecodeWord;
using CASavedParameters::kGroupHeaderSize;
using CASavedParameters::kPairSize;
using CASavedParameters::kWordSize;

void AppendBigEndian(CFMutableDataRef data, UInt32 word) {
    UInt8 bytes[kWordSize];
    CASavedParameters::EncodeWord(word, bytes);
    CFDataAppendBytes(data, bytes, kWordSize);
}

// Every group's header and pairs lie inside the blob, and nothing trails the last group.
bool BlobIsWellFormed(const UInt8* bytes, std::size_t length) {
    std::size_t position = 0;
    while (position < length) {
        if (length - position < kGroupHeaderSize) {
            return false;
        }
        const UInt32 pairs = DecodeWord(bytes + position + 2 * kWordSize);
        position += kGroupHeaderSize;
        if (!CASavedParameters::PairsFit(pairs, length - position)) {
            return false;
        }
        position += std::size_t{pairs} * kPairSize;
    }
    return true;
}

CFOwned<CFMutableDataRef> SaveParameters(AUBase& unit) {
    CFOwned<CFMutableDataRef> data(CFDataCreateMutable(kCFAllocatorDefault, 0));
    for (AudioUnitScope scope :
         {kAudioUnitScope_Global, kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        const AUScope& elements = unit.GetScope(scope);
        for (UInt32 index = 0; index < elements.GetNumberOfElements(); ++index) {
            AUElement* element = elements.GetElement(index);
            if (element != nullptr && element->GetNumberOfParameters() > 0) {
                AppendBigEndian(data.get(), scope);
                AppendBigEndian(data.get(), index);
                element->SaveState(data.get());
            }
        }
    }
    return data;
}

// Hands each group's element and pairs to visit, in order, until a group names an element the
// unit does not have; later groups are ignored. A scope the unit does not have throws -10866.
template <class Visit> void WalkGroups(AUBase& unit, CFDataRef data, Visit visit) {
    const UInt8* position = CFDataGetBytePtr(data);
    const UInt8* const end = position + CFDataGetLength(data);
    while (position < end) {
        const AudioUnitScope scope = DecodeWord(position);
        const AudioUnitElement index = DecodeWord(position + kWordSize);
        AUElement* element = unit.GetScope(scope).GetElement(index);
        if (element == nullptr) {
            return;
        }
        const UInt8* const pairs = position + 2 * kWordSize;
        visit(*element, pairs);
        position = pairs + kWordSize + std::size_t{DecodeWord(pairs)} * kPairSize;
    }
}

// Throws the status of the first group the walk would fail on: its scope (-10866) or a parameter
// its element does not hold (-10878), so that a refused blob applies nothing.
void CheckParameters(AUBase& unit, CFDataRef data) {
    WalkGroups(unit, data, [](const AUElement& element, const UInt8* pairs) {
        const UInt32 count = DecodeWord(pairs);
        for (UInt32 k = 0; k < count; ++k) {
            if (!element.CanHoldParameter(DecodeWord(pairs + kWordSize + k * kPairSize))) {
                CAThrowStatus(kAudioUnitErr_InvalidParameter);
            }
        }
    });
}

void RestoreParameters(AUBase& unit, CFDataRef data) {
    const UInt8* const end = CFDataGetBytePtr(data) + CFDataGetLength(data);
    WalkGroups(unit, data,
               [end](AUElement& element, const UInt8* pairs) { element.RestoreState(pairs, end); });
}

// ---- element names ----

constexpr UInt32 kNumScopes = 5;
constexpr CFIndex kMaxKeyLength = 32; // 31 characters and the terminator

// The element a key names: decimal digits only, and an index that saved state may reach.
std::optional<UInt32> ElementIndexFromKey(CFTypeRef key) {
    char text[kMaxKeyLength];
    if (!IsOfType(key, CFStringGetTypeID()) ||
        !CFStringGetCString(static_cast<CFStringRef>(key), text, kMaxKeyLength,
                            kCFStringEncodingASCII) ||
        text[0] == '\0') {
        return std::nullopt;
    }
    UInt32 index = 0;
    for (const char* digit = text; *digit != '\0'; ++digit) {
        if (*digit < '0' || *digit > '9') {
            return std::nullopt;
        }
        index = index * 10 + static_cast<UInt32>(*digit - '0');
        if (index >= AUBase::kMaxRestoredElements) {
            return std::nullopt;
        }
    }
    return index;
}

// The global scope keeps its single element; the others may grow.
bool ScopeCanHold(const AUScope& scope, UInt32 index) {
    return index < scope.GetNumberOfElements() || scope.GetScope() != kAudioUnitScope_Global;
}

// The (index, name) pairs of one scope's names that this scope can take.
std::vector<std::pair<UInt32, CFStringRef>> RestorableNames(const AUScope& scope,
                                                            CFDictionaryRef scopeNames) {
    std::vector<std::pair<UInt32, CFStringRef>> names;
    for (const auto& [key, value] : DictionaryEntries(scopeNames)) {
        const std::optional<UInt32> index = ElementIndexFromKey(key);
        if (index && ScopeCanHold(scope, *index) && IsOfType(value, CFStringGetTypeID())) {
            names.emplace_back(*index, static_cast<CFStringRef>(value));
        }
    }
    return names;
}

bool ScopeNamesAreRestorable(const AUScope& scope, CFTypeRef scopeNames) {
    if (!IsOfType(scopeNames, CFDictionaryGetTypeID())) {
        return false;
    }
    const auto dict = static_cast<CFDictionaryRef>(scopeNames);
    return RestorableNames(scope, dict).size() ==
           static_cast<std::size_t>(CFDictionaryGetCount(dict));
}

bool ElementNamesAreRestorable(AUBase& unit, CFTypeRef names) {
    if (!IsOfType(names, CFDictionaryGetTypeID())) {
        return false;
    }
    for (UInt32 scope = 0; scope < kNumScopes; ++scope) {
        const CFTypeRef scopeNames =
            CFDictionaryGetValue(static_cast<CFDictionaryRef>(names), DecimalKey(scope).get());
        if (scopeNames != nullptr && !ScopeNamesAreRestorable(unit.GetScope(scope), scopeNames)) {
            return false;
        }
    }
    return true;
}

void RestoreElementNames(AUBase& unit, CFDictionaryRef names) {
    for (UInt32 scope = 0; scope < kNumScopes; ++scope) {
        const CFTypeRef scopeNames = CFDictionaryGetValue(names, DecimalKey(scope).get());
        if (scopeNames != nullptr &&
            unit.GetScope(scope).RestoreElementNames(static_cast<CFDictionaryRef>(scopeNames))) {
            unit.PropertyChanged(kAudioUnitProperty_ElementCount, scope, 0);
        }
    }
}

// ---- reading a class-info dictionary ----

struct StateKeys {
    CFStringRef version, subtype, manufacturer, data, name, renderQuality, cpuLoad, elementName,
        part;
};

// A saved state whose every part has been checked; references are borrowed from the dictionary.
struct SavedState {
    CFDataRef data = nullptr;
    CFStringRef name = nullptr;
    std::optional<SInt32> renderQuality;
    std::optional<Float32> cpuLoad;
    CFDictionaryRef elementNames = nullptr;
};

template <class T> std::optional<T> NumberValue(CFTypeRef object, CFNumberType type) {
    if (!IsOfType(object, CFNumberGetTypeID())) {
        return std::nullopt;
    }
    T value{};
    CFNumberGetValue(static_cast<CFNumberRef>(object), type, &value);
    return value;
}

bool HasCode(CFDictionaryRef dict, CFStringRef key, UInt32 expected) {
    const auto value = NumberValue<SInt32>(CFDictionaryGetValue(dict, key), kCFNumberSInt32Type);
    return value && static_cast<UInt32>(*value) == expected;
}

// The value under key, when it is there and of the given type; false when it is of another type.
template <class Ref>
bool ReadOptional(CFDictionaryRef dict, CFStringRef key, CFTypeID type, Ref& out) {
    const CFTypeRef value = CFDictionaryGetValue(dict, key);
    out = static_cast<Ref>(value);
    return value == nullptr || IsOfType(value, type);
}

template <class T>
bool ReadOptionalNumber(CFDictionaryRef dict, CFStringRef key, CFNumberType type,
                        std::optional<T>& out) {
    const CFTypeRef value = CFDictionaryGetValue(dict, key);
    out = NumberValue<T>(value, type);
    return value == nullptr || out.has_value();
}

bool IdentifiesThisUnit(CFDictionaryRef dict, const StateKeys& keys,
                        const ComponentDescription& desc) {
    return !CFDictionaryContainsKey(dict, keys.part) && HasCode(dict, keys.version, 0) &&
           HasCode(dict, keys.subtype, desc.componentSubType) &&
           HasCode(dict, keys.manufacturer, desc.componentManufacturer);
}

bool ReadContents(AUBase& unit, CFDictionaryRef dict, const StateKeys& keys, SavedState& state) {
    return ReadOptional(dict, keys.data, CFDataGetTypeID(), state.data) &&
           (state.data == nullptr ||
            BlobIsWellFormed(CFDataGetBytePtr(state.data),
                             static_cast<std::size_t>(CFDataGetLength(state.data)))) &&
           ReadOptional(dict, keys.name, CFStringGetTypeID(), state.name) &&
           ReadOptionalNumber(dict, keys.renderQuality, kCFNumberSInt32Type, state.renderQuality) &&
           ReadOptionalNumber(dict, keys.cpuLoad, kCFNumberFloatType, state.cpuLoad) &&
           ReadOptional(dict, keys.elementName, CFDictionaryGetTypeID(), state.elementNames) &&
           (state.elementNames == nullptr || ElementNamesAreRestorable(unit, state.elementNames));
}

std::optional<SavedState> ReadSavedState(AUBase& unit, CFPropertyListRef plist,
                                         const StateKeys& keys, const ComponentDescription& desc) {
    if (!IsOfType(plist, CFDictionaryGetTypeID())) {
        return std::nullopt;
    }
    const auto dict = static_cast<CFDictionaryRef>(plist);
    SavedState state;
    if (!IdentifiesThisUnit(dict, keys, desc) || !ReadContents(unit, dict, keys, state)) {
        return std::nullopt;
    }
    return state;
}

constexpr SInt32 kSavedStateVersion = 0;

} // namespace

// ---- the unit ----

OSStatus AUBase::SaveState(CFPropertyListRef* outData) {
    const ComponentDescription desc = GetComponentDescription();
    CFOwned<CFMutableDictionaryRef> dict = NewDictionary();
    AddNumToDictionary(dict.get(), kVersionString, kSavedStateVersion);
    AddNumToDictionary(dict.get(), kTypeString, static_cast<SInt32>(desc.componentType));
    AddNumToDictionary(dict.get(), kSubtypeString, static_cast<SInt32>(desc.componentSubType));
    AddNumToDictionary(dict.get(), kManufacturerString,
                       static_cast<SInt32>(desc.componentManufacturer));
    CFDictionarySetValue(dict.get(), kDataString, SaveParameters(*this).get());
    if (mCurrentPreset.presetName != nullptr) {
        CFDictionarySetValue(dict.get(), kNameString, mCurrentPreset.presetName);
    }

    SInt32 renderQuality = 0;
    if (DispatchGetProperty(kAudioUnitProperty_RenderQuality, kAudioUnitScope_Global, 0,
                            &renderQuality) == noErr) {
        AddNumToDictionary(dict.get(), kRenderQualityString, renderQuality);
    }
    Float32 cpuLoad = 0.0f;
    if (DispatchGetProperty(kAudioUnitProperty_CPULoad, kAudioUnitScope_Global, 0, &cpuLoad) ==
        noErr) {
        const CFOwned<CFNumberRef> number(
            CFNumberCreate(kCFAllocatorDefault, kCFNumberFloatType, &cpuLoad));
        CFDictionarySetValue(dict.get(), kCPULoadString, number.get());
    }

    const bool anyNames =
        std::any_of(std::begin(mScopes), std::end(mScopes),
                    [](const AUScope& scope) { return scope.HasElementWithName(); });
    if (anyNames) {
        const CFOwned<CFMutableDictionaryRef> names = NewDictionary();
        for (AUScope& scope : mScopes) {
            scope.AddElementNamesToDict(names.get());
        }
        CFDictionarySetValue(dict.get(), kElementNameString, names.get());
    }
    *outData = dict.release();
    return noErr;
}

OSStatus AUBase::RestoreState(CFPropertyListRef plist) {
    const ComponentDescription desc = GetComponentDescription();
    const StateKeys keys{kVersionString, kSubtypeString,     kManufacturerString,
                         kDataString,    kNameString,        kRenderQualityString,
                         kCPULoadString, kElementNameString, kPartString};
    const std::optional<SavedState> state = ReadSavedState(*this, plist, keys, desc);
    if (!state) {
        return kAudioUnitErr_InvalidPropertyValue;
    }
    if (state->data != nullptr) {
        CheckParameters(*this, state->data);
        RestoreParameters(*this, state->data);
    }

    const CFStringRef name = state->name != nullptr ? state->name : kUntitledString;
    CFRetain(name);
    if (mCurrentPreset.presetName != nullptr) {
        CFRelease(mCurrentPreset.presetName);
    }
    mCurrentPreset = AUPreset{-1, name};
    PropertyChanged(kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0);
    PropertyChanged(kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0);

    if (state->renderQuality) {
        DispatchSetProperty(kAudioUnitProperty_RenderQuality, kAudioUnitScope_Global, 0,
                            &*state->renderQuality, sizeof(SInt32));
    }
    if (state->cpuLoad) {
        DispatchSetProperty(kAudioUnitProperty_CPULoad, kAudioUnitScope_Global, 0, &*state->cpuLoad,
                            sizeof(Float32));
    }
    if (state->elementNames != nullptr) {
        RestoreElementNames(*this, state->elementNames);
    }
    return noErr;
}

void AUBase::AddNumToDictionary(CFMutableDictionaryRef dict, CFStringRef key, SInt32 value) {
    const CFOwned<CFNumberRef> number(
        CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &value));
    CFDictionarySetValue(dict, key, number.get());
}

bool AUBase::SetAFactoryPresetAsCurrent(const AUPreset& preset) {
    if (preset.presetNumber < 0 || preset.presetName == nullptr) {
        return false;
    }
    CFRetain(preset.presetName);
    if (mCurrentPreset.presetName != nullptr) {
        CFRelease(mCurrentPreset.presetName);
    }
    mCurrentPreset = preset;
    return true;
}

// ---- elements ----

void AUElement::SaveState(CFMutableDataRef data) {
    const UInt32 count = GetNumberOfParameters();
    std::vector<AudioUnitParameterID> ids(count);
    GetParameterList(ids.data());
    AppendBigEndian(data, count);
    for (const AudioUnitParameterID id : ids) {
        AppendBigEndian(data, id);
        AppendBigEndian(data, std::bit_cast<UInt32>(GetParamEvent(id).GetValue()));
    }
}

const UInt8* AUElement::RestoreState(const UInt8* state, const UInt8* end) {
    const auto available = static_cast<std::size_t>(end - state);
    if (available < kWordSize ||
        !CASavedParameters::PairsFit(DecodeWord(state), available - kWordSize)) {
        CAThrowStatus(kAudioUnitErr_InvalidPropertyValue);
    }
    const UInt32 count = DecodeWord(state);
    state += kWordSize;
    for (UInt32 k = 0; k < count; ++k, state += kPairSize) {
        SetParameter(DecodeWord(state),
                     std::bit_cast<AudioUnitParameterValue>(DecodeWord(state + kWordSize)), false);
    }
    return state;
}

// ---- scopes ----

void AUScope::AddElementNamesToDict(CFMutableDictionaryRef namesDict) {
    if (!HasElementWithName()) {
        return;
    }
    const CFOwned<CFMutableDictionaryRef> names = NewDictionary();
    for (UInt32 index = 0; index < GetNumberOfElements(); ++index) {
        const AUElement* element = GetElement(index);
        if (element != nullptr && element->HasName()) {
            CFDictionarySetValue(names.get(), DecimalKey(index).get(), element->GetName());
        }
    }
    CFDictionarySetValue(namesDict, DecimalKey(mScope).get(), names.get());
}

bool AUScope::RestoreElementNames(CFDictionaryRef scopeNames) {
    const std::vector<std::pair<UInt32, CFStringRef>> names = RestorableNames(*this, scopeNames);
    if (names.empty()) {
        return false;
    }
    const UInt32 largest =
        std::max_element(names.begin(), names.end(), [](const auto& a, const auto& b) {
            return a.first < b.first;
        })->first;
    const bool adding = largest >= GetNumberOfElements();
    if (adding) {
        SetNumberOfElements(largest + 1);
    }
    for (const auto& [index, name] : names) {
        if (AUElement* element = GetElement(index)) {
            element->SetName(name);
        }
    }
    return adding;
}
