#include "AUScopeElement.h"

#include "AUBase.h"

#include <cstdio>

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;

// Parameters come into being by being set; once the unit renders, the map must not change shape
// under the render thread, so an unknown ID is refused with a warning instead.
bool MayAddParameter(const AUBase* unit, bool okWhenInitialized, const char* operation,
                     AudioUnitParameterID paramID) {
    if (okWhenInitialized || unit == nullptr || !unit->IsInitialized()) {
        return true;
    }
    std::fprintf(stderr, "WARNING: %s %s for undefined param ID %d while initialized. Ignoring..\n",
                 unit->GetLoggingString(), operation, static_cast<int>(paramID));
    return false;
}
} // namespace

// ---- ParameterMapEvent ----

ParameterMapEvent::ParameterMapEvent() : ParameterMapEvent(0.0f) {}

ParameterMapEvent::ParameterMapEvent(AudioUnitParameterValue value)
    : mEventType(kParameterEvent_Immediate), mBufferOffset(0), mDurationInFrames(0), mValue1(value),
      mValue2(value), mSliceDurationFrames(0) {}

ParameterMapEvent::ParameterMapEvent(const AudioUnitParameterEvent& event,
                                     UInt32 sliceOffsetInBuffer, UInt32 sliceDurationFrames)
    : ParameterMapEvent() {
    SetScheduledEvent(event, sliceOffsetInBuffer, sliceDurationFrames);
}

ParameterMapEvent::ParameterMapEvent(const ParameterMapEvent& other) : ParameterMapEvent() {
    *this = other;
}

ParameterMapEvent& ParameterMapEvent::operator=(const ParameterMapEvent& other) {
    mEventType.store(other.GetEventType(), kRelaxed);
    mBufferOffset.store(other.GetBufferOffset(), kRelaxed);
    mDurationInFrames.store(other.GetDurationInFrames(), kRelaxed);
    mValue1.store(other.GetValue(), kRelaxed);
    mValue2.store(other.GetEndValue(), kRelaxed);
    mSliceDurationFrames.store(other.GetSliceDurationFrames(), kRelaxed);
    return *this;
}

void ParameterMapEvent::SetScheduledEvent(const AudioUnitParameterEvent& event,
                                          UInt32 sliceOffsetInBuffer, UInt32 sliceDurationFrames) {
    mEventType.store(event.eventType, kRelaxed);
    mSliceDurationFrames.store(sliceDurationFrames, kRelaxed);
    if (event.eventType == kParameterEvent_Immediate) {
        const AudioUnitParameterValue value = event.eventValues.immediate.value;
        mValue1.store(value, kRelaxed);
        mValue2.store(value, kRelaxed);
        mDurationInFrames.store(sliceDurationFrames, kRelaxed);
        mBufferOffset.store(0, kRelaxed);
        return;
    }
    const auto& ramp = event.eventValues.ramp;
    mDurationInFrames.store(ramp.durationInFrames, kRelaxed);
    // A ramp that began in an earlier slice lies at a negative offset: wrap, then read as signed.
    const UInt32 offset = static_cast<UInt32>(ramp.startBufferOffset) - sliceOffsetInBuffer;
    mBufferOffset.store(static_cast<SInt32>(offset), kRelaxed);
    mValue1.store(ramp.startValue, kRelaxed);
    mValue2.store(ramp.endValue, kRelaxed);
}

void ParameterMapEvent::SetValue(AudioUnitParameterValue value) {
    mEventType.store(kParameterEvent_Immediate, kRelaxed);
    mValue1.store(value, kRelaxed);
    mValue2.store(value, kRelaxed);
}

void ParameterMapEvent::GetRampSliceStartEnd(AudioUnitParameterValue& outStart,
                                             AudioUnitParameterValue& outEnd,
                                             AudioUnitParameterValue& outValuePerFrameDelta) const {
    const UInt32 duration = GetDurationInFrames();
    if (GetEventType() != kParameterEvent_Ramped) {
        outValuePerFrameDelta = 0.0f;
        outStart = outEnd = GetValue();
        return;
    }
    // A ramp of no length has already arrived: it has no slope to divide out.
    if (duration == 0) {
        outValuePerFrameDelta = 0.0f;
        outStart = outEnd = GetEndValue();
        return;
    }
    const Float32 delta = (GetEndValue() - GetValue()) / static_cast<Float32>(duration);
    // Negating after the conversion rounds the same and stays defined for the most negative offset.
    outStart = GetValue() + -static_cast<Float32>(GetBufferOffset()) * delta;
    outEnd = outStart + static_cast<Float32>(GetSliceDurationFrames()) * delta;
    outValuePerFrameDelta = delta;
}

// ---- AUElement ----

AUElement::AUElement(AUBase* audioUnit) : mAudioUnit(audioUnit) {}

AUElement::~AUElement() {
    if (mElementName != nullptr) {
        CFRelease(mElementName);
    }
}

void AUElement::UseIndexedParameters(int numberOfParameters) {
    mIndexedParameters.resize(static_cast<std::size_t>(numberOfParameters));
    mUseIndexedParameters = true;
}

UInt32 AUElement::GetNumberOfParameters() const {
    return static_cast<UInt32>(mUseIndexedParameters ? mIndexedParameters.size()
                                                     : mParameters.size());
}

void AUElement::GetParameterList(AudioUnitParameterID* outList) const {
    if (mUseIndexedParameters) {
        for (UInt32 i = 0; i < mIndexedParameters.size(); ++i) {
            outList[i] = i;
        }
        return;
    }
    for (const auto& entry : mParameters) {
        *outList++ = entry.first;
    }
}

ParameterMapEvent& AUElement::GetParamEvent(AudioUnitParameterID paramID) {
    if (mUseIndexedParameters) {
        if (paramID >= mIndexedParameters.size()) {
            CAThrowStatus(kAudioUnitErr_InvalidParameter);
        }
        return mIndexedParameters[paramID];
    }
    const auto found = mParameters.find(paramID);
    if (found == mParameters.end()) {
        CAThrowStatus(kAudioUnitErr_InvalidParameter);
    }
    return found->second;
}

AudioUnitParameterValue AUElement::GetParameter(AudioUnitParameterID paramID) {
    return GetParamEvent(paramID).GetValue();
}

AudioUnitParameterValue AUElement::GetEndValue(AudioUnitParameterID paramID) {
    return GetParamEvent(paramID).GetEndValue();
}

void AUElement::GetRampSliceStartEnd(AudioUnitParameterID paramID,
                                     AudioUnitParameterValue& outStart,
                                     AudioUnitParameterValue& outEnd,
                                     AudioUnitParameterValue& outValuePerFrameDelta) {
    GetParamEvent(paramID).GetRampSliceStartEnd(outStart, outEnd, outValuePerFrameDelta);
}

void AUElement::SetParameter(AudioUnitParameterID paramID, AudioUnitParameterValue value,
                             bool okWhenInitialized) {
    if (mUseIndexedParameters) {
        GetParamEvent(paramID).SetValue(value);
        return;
    }
    if (const auto found = mParameters.find(paramID); found != mParameters.end()) {
        found->second.SetValue(value);
        return;
    }
    if (MayAddParameter(mAudioUnit, okWhenInitialized, "SetParameter", paramID)) {
        mParameters.emplace(paramID, ParameterMapEvent(value));
    }
}

void AUElement::SetScheduledEvent(AudioUnitParameterID paramID,
                                  const AudioUnitParameterEvent& event, UInt32 sliceOffsetInBuffer,
                                  UInt32 sliceDurationFrames, bool okWhenInitialized) {
    if (mUseIndexedParameters) {
        GetParamEvent(paramID).SetScheduledEvent(event, sliceOffsetInBuffer, sliceDurationFrames);
        return;
    }
    if (const auto found = mParameters.find(paramID); found != mParameters.end()) {
        found->second.SetScheduledEvent(event, sliceOffsetInBuffer, sliceDurationFrames);
        return;
    }
    if (MayAddParameter(mAudioUnit, okWhenInitialized, "SetScheduledEvent", paramID)) {
        mParameters.emplace(paramID,
                            ParameterMapEvent(event, sliceOffsetInBuffer, sliceDurationFrames));
    }
}

void AUElement::SetName(CFStringRef name) {
    // Retain before releasing: the new name may be the one held now, with no other owner.
    if (name != nullptr) {
        CFRetain(name);
    }
    if (mElementName != nullptr) {
        CFRelease(mElementName);
    }
    mElementName = name;
}

// ---- AUIOElement ----

AUIOElement::AUIOElement(AUBase* audioUnit) : AUElement(audioUnit) {
    mFormat.SetAUCanonical(2, audioUnit->AudioUnitAPIVersion() == 1);
    mFormat.mSampleRate = 44100.0;
}

OSStatus AUIOElement::SetStreamFormat(const CAStreamBasicDescription& format) {
    mFormat = format;
    return noErr;
}

void AUIOElement::AllocateBuffer(UInt32 frames) {
    const AUBase* unit = GetAudioUnit();
    if (!unit->HasBegunInitializing()) {
        return;
    }
    const UInt32 wanted = frames > 0 ? frames : unit->GetMaxFramesPerSlice();
    // A bus without memory of its own still needs a record with room for its buffers.
    mIOBuffer.Allocate(mFormat, mAllocatesBuffer && NeedsBufferSpace() ? wanted : 0);
}

void AUIOElement::UseExternalBuffer(const AudioUnitExternalBuffer& buffer) {
    mIOBuffer.UseExternalBuffer(mFormat, buffer);
}

AudioBufferList& AUIOElement::PrepareBuffer(UInt32 frames) {
    if (!mAllocatesBuffer) {
        CAThrowStatus(kAudioUnitErr_InvalidPropertyValue);
    }
    return mIOBuffer.PrepareBuffer(mFormat, frames);
}

UInt32 AUIOElement::GetChannelLayoutTags(AudioChannelLayoutTag*) {
    return 0;
}

UInt32 AUIOElement::GetAudioChannelLayout(AudioChannelLayout*, Boolean&) {
    return 0;
}

OSStatus AUIOElement::SetAudioChannelLayout(const AudioChannelLayout&) {
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUIOElement::RemoveAudioChannelLayout() {
    return kAudioUnitErr_InvalidPropertyValue;
}

// ---- AUScope ----

AUScope::~AUScope() {
    for (AUElement* element : mElements) {
        delete element;
    }
}

void AUScope::Initialize(AUElementCreator* creator, AudioUnitScope scope, UInt32 numElements) {
    mCreator = creator;
    mScope = scope;
    SetNumberOfElements(numElements);
}

void AUScope::SetNumberOfElements(UInt32 numElements) {
    if (numElements <= mElements.size()) {
        while (mElements.size() > numElements) {
            AUElement* last = mElements.back();
            mElements.pop_back();
            delete last;
        }
        return;
    }
    mElements.reserve(numElements);
    while (mElements.size() < numElements) {
        const auto index = static_cast<AudioUnitElement>(mElements.size());
        mElements.push_back(mCreator->CreateElement(mScope, index));
    }
}

AUElement* AUScope::SafeGetElement(UInt32 index) const {
    AUElement* element = GetElement(index);
    if (element == nullptr) {
        CAThrowStatus(kAudioUnitErr_InvalidElement);
    }
    return element;
}

AUIOElement* AUScope::GetIOElement(UInt32 index) const {
    auto* element = dynamic_cast<AUIOElement*>(GetElement(index));
    if (element == nullptr) {
        CAThrowStatus(kAudioUnitErr_InvalidElement);
    }
    return element;
}

bool AUScope::HasElementWithName() const {
    for (UInt32 i = 0; i < GetNumberOfElements(); ++i) {
        const AUElement* element = GetElement(i);
        if (element != nullptr && element->HasName()) {
            return true;
        }
    }
    return false;
}
