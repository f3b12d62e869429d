#include "AUBase.h"

#include "CAAudioChannelLayout.h"
#include "CAAutoDisposer.h"
#include "CAVectorUnit.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

SInt32 AUBase::sVectorUnitType = kVecUninitialized;

bool AUBase::sAUBaseCFStringsInitialized = false;
CFStringRef AUBase::kUntitledString = nullptr;
CFStringRef AUBase::kVersionString = nullptr;
CFStringRef AUBase::kTypeString = nullptr;
CFStringRef AUBase::kSubtypeString = nullptr;
CFStringRef AUBase::kManufacturerString = nullptr;
CFStringRef AUBase::kDataString = nullptr;
CFStringRef AUBase::kNameString = nullptr;
CFStringRef AUBase::kRenderQualityString = nullptr;
CFStringRef AUBase::kCPULoadString = nullptr;
CFStringRef AUBase::kElementNameString = nullptr;
CFStringRef AUBase::kPartString = nullptr;

namespace {
constexpr UInt32 kNumScopes = 5;
constexpr std::size_t kScheduledEventReserve = 24;
constexpr std::size_t kListenerReserve = 32;

// The four-character form of a code in diagnostics: quoted when printable, else hexadecimal.
const char* CAStringForOSType(OSType code, char (&text)[16]) {
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(code >> 24), static_cast<unsigned char>(code >> 16),
        static_cast<unsigned char>(code >> 8), static_cast<unsigned char>(code)};
    const bool printable = std::all_of(std::begin(bytes), std::end(bytes), [](unsigned char c) {
        return c >= 0x20 && c < 0x7F && c != '\\';
    });
    if (printable) {
        std::snprintf(text, sizeof text, "'%c%c%c%c'", bytes[0], bytes[1], bytes[2], bytes[3]);
    } else {
        std::snprintf(text, sizeof text, "0x%02X%02X%02X%02X", bytes[0], bytes[1], bytes[2],
                      bytes[3]);
    }
    return text;
}

// The bus whose stream format a (scope, element) pair names; the global scope names output 0.
AUIOElement* FormatBus(AUBase& unit, AudioUnitScope scope, AudioUnitElement element) {
    switch (scope) {
    case kAudioUnitScope_Global:
        return unit.Outputs().GetIOElement(0);
    case kAudioUnitScope_Input:
        return unit.Inputs().GetIOElement(element);
    case kAudioUnitScope_Output:
        return unit.Outputs().GetIOElement(element);
    default:
        CAThrowStatus(kAudioUnitErr_InvalidScope);
    }
}

bool IsSameListener(const auto& a, const auto& b) {
    return a.propertyID == b.propertyID && a.listenerProc == b.listenerProc &&
           a.listenerRefCon == b.listenerRefCon;
}

// Copies as much of a UTF-8 text as fits, never splitting a character.
void CopyTruncatedUTF8(const char* text, char* field, std::size_t fieldSize) {
    std::size_t length = std::strlen(text);
    if (length >= fieldSize) {
        length = fieldSize - 1;
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
            --length;
        }
    }
    std::memcpy(field, text, length);
    field[length] = '\0';
}
} // namespace

// ---- construction and destruction ----

AUBase::AUBase(ComponentInstance instance, UInt32 numInputElements, UInt32 numOutputElements,
               UInt32 numGroupElements, UInt32 numPartElements)
    : ComponentBase(instance), mInitNumInputEls(numInputElements),
      mInitNumOutputEls(numOutputElements), mInitNumGroupEls(numGroupElements),
      mInitNumPartEls(numPartElements) {
    // The open path holds the open lock, which covers these once-per-process initialisations.
    if (!sAUBaseCFStringsInitialized) {
        kUntitledString = CFSTR("Untitled");
        kVersionString = CFSTR("version");
        kTypeString = CFSTR("type");
        kSubtypeString = CFSTR("subtype");
        kManufacturerString = CFSTR("manufacturer");
        kDataString = CFSTR("data");
        kNameString = CFSTR("name");
        kRenderQualityString = CFSTR("render-quality");
        kCPULoadString = CFSTR("cpu-load");
        kElementNameString = CFSTR("element-name");
        kPartString = CFSTR("part");
        sAUBaseCFStringsInitialized = true;
    }
    if (sVectorUnitType == kVecUninitialized) {
        sVectorUnitType = CAVectorUnit::GetVectorUnitType();
    }
    mAudioUnitAPIVersion = 2;
    SetMaxFramesPerSlice(kDefaultMaxFramesPerSlice);
    GlobalScope().Initialize(this, kAudioUnitScope_Global, 1);
    if (mAudioUnitAPIVersion > 1) {
        mParamList.reserve(kScheduledEventReserve);
    }
    mHostCallbackInfo = HostCallbackInfo{};
    mCurrentPreset.presetNumber = -1;
    mCurrentPreset.presetName = kUntitledString;
    CFRetain(mCurrentPreset.presetName);
}

AUBase::~AUBase() {
    if (mCurrentPreset.presetName != nullptr) {
        CFRelease(mCurrentPreset.presetName);
    }
    if (mContextName != nullptr) {
        CFRelease(mContextName);
    }
}

void AUBase::PostConstructor() {
    CreateElements();
    // The registry's lock and the name's formatting belong here, not on the render thread. An
    // instance without a component makes the name when first asked, with the failed look-up's
    // diagnostics at that moment as before.
    if (AudioComponentInstanceGetComponent(GetComponentInstance()) != nullptr) {
        GetLoggingString();
    }
}

void AUBase::PreDestructor() {
    DoCleanup();
}

void AUBase::CreateElements() {
    if (mElementsCreated) {
        return;
    }
    Inputs().Initialize(this, kAudioUnitScope_Input, mInitNumInputEls);
    Outputs().Initialize(this, kAudioUnitScope_Output, mInitNumOutputEls);
    Groups().Initialize(this, kAudioUnitScope_Group, mInitNumGroupEls);
    Parts().Initialize(this, kAudioUnitScope_Part, mInitNumPartEls);
    mElementsCreated = true;
}

// ---- lifecycle ----

OSStatus AUBase::DoInitialize() {
    if (IsInitialized()) {
        return noErr;
    }
    const OSStatus result = Initialize();
    if (result != noErr) {
        return result;
    }
    mHasBegunInitializing = true;
    ReallocateBuffers();
    mInitialized.store(true, std::memory_order_release);
    // A render thread that sees the flag must also see the buffers.
    std::atomic_thread_fence(std::memory_order_seq_cst);
    return noErr;
}

void AUBase::DoCleanup() {
    if (IsInitialized()) {
        Cleanup();
    }
    mInitialized.store(false, std::memory_order_release);
    mHasBegunInitializing = false;
}

OSStatus AUBase::Initialize() {
    return noErr;
}

void AUBase::Cleanup() {}

OSStatus AUBase::Reset(AudioUnitScope, AudioUnitElement) {
    SetLastRenderedSampleTime(kNoLastRenderedSampleTime);
    return noErr;
}

void AUBase::ReallocateBuffers() {
    CreateElements();
    for (UInt32 i = 0; i < Outputs().GetNumberOfElements(); ++i) {
        Outputs().GetIOElement(i)->AllocateBuffer();
    }
    for (UInt32 i = 0; i < Inputs().GetNumberOfElements(); ++i) {
        Inputs().GetIOElement(i)->AllocateBuffer();
    }
    mBuffersAllocated = true;
}

void AUBase::SetMaxFramesPerSlice(UInt32 n) {
    mMaxFramesPerSlice = n;
    if (mBuffersAllocated) {
        ReallocateBuffers();
    }
    PropertyChanged(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0);
}

OSStatus AUBase::CanSetMaxFrames() const {
    return IsInitialized() ? kAudioUnitErr_Initialized : noErr;
}

// ---- scopes and elements ----

AUScope& AUBase::GetScope(AudioUnitScope scope) {
    if (scope >= kNumScopes) {
        CAThrowStatus(kAudioUnitErr_InvalidScope);
    }
    return mScopes[scope];
}

AUInputElement* AUBase::GetInput(AudioUnitElement element) {
    return static_cast<AUInputElement*>(Inputs().SafeGetElement(element));
}

AUOutputElement* AUBase::GetOutput(AudioUnitElement element) {
    return static_cast<AUOutputElement*>(Outputs().SafeGetElement(element));
}

void AUBase::SetNumberOfElements(AudioUnitScope scope, UInt32 numElements) {
    if (scope == kAudioUnitScope_Global && numElements != 1) {
        CAThrowStatus(kAudioUnitErr_InvalidScope);
    }
    GetScope(scope).SetNumberOfElements(numElements);
}

AUElement* AUBase::CreateElement(AudioUnitScope scope, AudioUnitElement) {
    switch (scope) {
    case kAudioUnitScope_Global:
    case kAudioUnitScope_Group:
    case kAudioUnitScope_Part:
        return new AUElement(this);
    case kAudioUnitScope_Input:
        return new AUInputElement(this);
    case kAudioUnitScope_Output:
        return new AUOutputElement(this);
    default:
        CAThrowStatus(kAudioUnitErr_InvalidScope);
    }
}

// ---- property listeners ----

OSStatus AUBase::AddPropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                     void* userData) {
    if (mPropertyListeners.empty()) {
        mPropertyListeners.reserve(kListenerReserve);
    }
    mPropertyListeners.push_back(PropertyListener{id, proc, userData});
    return noErr;
}

OSStatus AUBase::RemovePropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                        void* userData, bool matchUserData) {
    for (std::size_t i = mPropertyListeners.size(); i-- > 0;) {
        const PropertyListener& listener = mPropertyListeners[i];
        if (listener.propertyID == id && listener.listenerProc == proc &&
            (!matchUserData || listener.listenerRefCon == userData)) {
            mPropertyListeners.erase(mPropertyListeners.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    return noErr;
}

void AUBase::PropertyChanged(AudioUnitPropertyID id, AudioUnitScope scope,
                             AudioUnitElement element) {
    // Listeners may add or remove listeners while called: the list is indexed afresh each step
    // (nothing is copied, so announcing from the render thread allocates nothing).
    std::size_t next = 0;
    while (next < mPropertyListeners.size()) {
        const PropertyListener listener = mPropertyListeners[next];
        if (listener.propertyID == id) {
            listener.listenerProc(listener.listenerRefCon, GetComponentInstance(), id, scope,
                                  element);
        }
        // When the record just called is gone from its place, the unvisited ones have moved down
        // into it; stepping on would skip one of them.
        if (next < mPropertyListeners.size() &&
            IsSameListener(mPropertyListeners[next], listener)) {
            ++next;
        }
    }
}

// ---- parameters ----

OSStatus AUBase::GetParameter(AudioUnitParameterID id, AudioUnitScope scope,
                              AudioUnitElement element, AudioUnitParameterValue& outValue) {
    if (scope == kAudioUnitScope_Group) {
        return GetGroupParameter(id, element, outValue);
    }
    outValue = SafeGetElement(scope, element)->GetParameter(id);
    return noErr;
}

OSStatus AUBase::SetParameter(AudioUnitParameterID id, AudioUnitScope scope,
                              AudioUnitElement element, AudioUnitParameterValue value,
                              UInt32 bufferOffsetInFrames) {
    if (scope == kAudioUnitScope_Group) {
        return SetGroupParameter(id, element, value, bufferOffsetInFrames);
    }
    SafeGetElement(scope, element)->SetParameter(id, value);
    return noErr;
}

OSStatus AUBase::SetGroupParameter(AudioUnitParameterID, AudioUnitElement, AudioUnitParameterValue,
                                   UInt32) {
    return kAudioUnitErr_InvalidScope;
}

OSStatus AUBase::GetGroupParameter(AudioUnitParameterID, AudioUnitElement,
                                   AudioUnitParameterValue&) {
    return kAudioUnitErr_InvalidScope;
}

OSStatus AUBase::GetParameterList(AudioUnitScope scope, AudioUnitParameterID* outList,
                                  UInt32& outNumParameters) {
    const AUScope& fromScope = GetScope(scope);
    const AUElement* largest = nullptr;
    UInt32 largestCount = 0;
    for (UInt32 i = 0; i < fromScope.GetNumberOfElements(); ++i) {
        const AUElement* element = fromScope.GetElement(i);
        if (element != nullptr && element->GetNumberOfParameters() > largestCount) {
            largest = element;
            largestCount = element->GetNumberOfParameters();
        }
    }
    if (outList != nullptr && largest != nullptr) {
        largest->GetParameterList(outList);
    }
    outNumParameters = largestCount;
    return noErr;
}

OSStatus AUBase::GetParameterInfo(AudioUnitScope, AudioUnitParameterID, AudioUnitParameterInfo&) {
    return kAudioUnitErr_InvalidParameter;
}

OSStatus AUBase::GetParameterValueStrings(AudioUnitScope, AudioUnitParameterID, CFArrayRef*) {
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::CopyClumpName(AudioUnitScope, UInt32, UInt32, CFStringRef*) {
    return kAudioUnitErr_InvalidProperty;
}

void AUBase::FillInParameterName(AudioUnitParameterInfo& info, CFStringRef name,
                                 bool shouldRelease) {
    info.cfNameString = name;
    info.flags |= kAudioUnitParameterFlag_HasCFNameString;
    if (shouldRelease) {
        info.flags |= kAudioUnitParameterFlag_CFNameRelease;
    }
    const char* text = name != nullptr ? PlatformStringUTF8(name) : nullptr;
    CopyTruncatedUTF8(text != nullptr ? text : "", info.name, sizeof info.name);
}

// ---- latency and tail ----

Float64 AUBase::GetLatency() {
    return 0.0;
}

Float64 AUBase::GetTailTime() {
    return 0.0;
}

bool AUBase::SupportsTail() {
    return false;
}

// ---- stream formats and buses ----

UInt32 AUBase::SupportedNumChannels(const AUChannelInfo**) {
    return 0;
}

bool AUBase::ValidFormat(AudioUnitScope, AudioUnitElement, const CAStreamBasicDescription& format) {
    return FormatIsCanonical(format);
}

bool AUBase::FormatIsCanonical(const CAStreamBasicDescription& format) {
    const bool interleavedWanted = mAudioUnitAPIVersion == 1;
    return format.mFormatID == kAudioFormatLinearPCM && format.mFramesPerPacket == 1 &&
           format.mBytesPerPacket == format.mBytesPerFrame &&
           (format.mFormatFlags & kAudioFormatFlagIsFloat) != 0 &&
           format.IsInterleaved() == interleavedWanted &&
           (format.mFormatFlags & kAudioFormatFlagIsBigEndian) == 0 &&
           format.mBitsPerChannel == 32 &&
           format.mBytesPerFrame == sizeof(Float32) * format.NumberInterleavedChannels();
}

void AUBase::MakeCanonicalFormat(CAStreamBasicDescription& outFormat, int nChannels) {
    outFormat.SetAUCanonical(static_cast<UInt32>(nChannels), mAudioUnitAPIVersion < 2);
    outFormat.mSampleRate = 0.0;
}

const CAStreamBasicDescription& AUBase::GetStreamFormat(AudioUnitScope scope,
                                                        AudioUnitElement element) {
    return FormatBus(*this, scope, element)->GetStreamFormat();
}

OSStatus AUBase::ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                    const CAStreamBasicDescription&,
                                    const CAStreamBasicDescription& newFormat) {
    const OSStatus result = FormatBus(*this, scope, element)->SetStreamFormat(newFormat);
    if (result != noErr) {
        return result;
    }
    PropertyChanged(kAudioUnitProperty_StreamFormat, scope, element);
    return noErr;
}

bool AUBase::BusCountWritable(AudioUnitScope) {
    return false;
}

OSStatus AUBase::SetBusCount(AudioUnitScope scope, UInt32 count) {
    if (IsInitialized()) {
        return kAudioUnitErr_Initialized;
    }
    GetScope(scope).SetNumberOfElements(count);
    return noErr;
}

// ---- channel layouts ----

UInt32 AUBase::GetChannelLayoutTags(AudioUnitScope scope, AudioUnitElement element,
                                    AudioChannelLayoutTag* outLayoutTags) {
    return GetIOElement(scope, element)->GetChannelLayoutTags(outLayoutTags);
}

UInt32 AUBase::GetAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element,
                                     AudioChannelLayout* outLayout, Boolean& outWritable) {
    return GetIOElement(scope, element)->GetAudioChannelLayout(outLayout, outWritable);
}

OSStatus AUBase::SetAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element,
                                       const AudioChannelLayout* layout) {
    AUIOElement* bus = GetIOElement(scope, element);
    if (layout == nullptr ||
        bus->GetStreamFormat().NumberChannels() != CAAudioChannelLayout::NumberChannels(*layout)) {
        return kAudioUnitErr_InvalidPropertyValue;
    }
    const UInt32 numTags = GetChannelLayoutTags(scope, element, nullptr);
    if (numTags == 0) {
        return kAudioUnitErr_InvalidProperty;
    }
    std::vector<AudioChannelLayoutTag> tags(numTags);
    GetChannelLayoutTags(scope, element, tags.data());
    const bool acceptable = std::any_of(tags.begin(), tags.end(), [&](AudioChannelLayoutTag tag) {
        return tag == layout->mChannelLayoutTag ||
               tag == kAudioChannelLayoutTag_UseChannelDescriptions;
    });
    if (!acceptable) {
        return kAudioUnitErr_InvalidPropertyValue;
    }
    return bus->SetAudioChannelLayout(*layout);
}

OSStatus AUBase::RemoveAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element) {
    AUIOElement* bus = GetIOElement(scope, element);
    Boolean writable = false;
    if (bus->GetAudioChannelLayout(nullptr, writable) == 0) {
        return noErr;
    }
    return bus->RemoveAudioChannelLayout();
}

// ---- diagnostics ----

const char* AUBase::GetLoggingString() const {
    if (mLogString[0] == '\0') {
        const ComponentDescription desc = GetComponentDescription();
        char type[16];
        char subtype[16];
        char manufacturer[16];
        std::snprintf(mLogString, sizeof mLogString, "AU (%p): %s %s %s",
                      static_cast<void*>(GetComponentInstance()),
                      CAStringForOSType(desc.componentType, type),
                      CAStringForOSType(desc.componentSubType, subtype),
                      CAStringForOSType(desc.componentManufacturer, manufacturer));
    }
    return mLogString;
}
