// Scopes and elements: everything a unit exposes is addressed by (scope, element, ID). An element
// owns its parameter values and name; an I/O element adds a stream format and a buffer list.
#pragma once

#include "AUBuffer.h"
#include "CAStreamBasicDescription.h"

#include <atomic>
#include <map>
#include <vector>

class AUBase;
class AUElement;
class AUIOElement;

// The factory through which a scope makes its elements.
class AUElementCreator {
public:
    // [control thread] A new element for (scope, index); the caller owns it.
    virtual AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement element) = 0;
    virtual ~AUElementCreator() = default;
};

// One stored parameter: a constant value or a ramp as seen from the current render slice.
// Every field is a relaxed atomic: the render thread reads while a control thread writes.
class ParameterMapEvent {
public:
    ParameterMapEvent();
    explicit ParameterMapEvent(AudioUnitParameterValue value);
    ParameterMapEvent(const AudioUnitParameterEvent& event, UInt32 sliceOffsetInBuffer,
                      UInt32 sliceDurationFrames);
    ParameterMapEvent(const ParameterMapEvent& other);
    ParameterMapEvent& operator=(const ParameterMapEvent& other);

    void SetScheduledEvent(const AudioUnitParameterEvent& event, UInt32 sliceOffsetInBuffer,
                           UInt32 sliceDurationFrames);
    void SetValue(AudioUnitParameterValue value);
    AudioUnitParameterValue GetValue() const { return mValue1.load(std::memory_order_relaxed); }
    AudioUnitParameterValue GetEndValue() const { return mValue2.load(std::memory_order_relaxed); }
    // The ramp's value at the slice's first frame and one slice later, and the change per frame.
    void GetRampSliceStartEnd(AudioUnitParameterValue& outStart, AudioUnitParameterValue& outEnd,
                              AudioUnitParameterValue& outValuePerFrameDelta) const;

    AUParameterEventType GetEventType() const { return mEventType.load(std::memory_order_relaxed); }
    SInt32 GetBufferOffset() const { return mBufferOffset.load(std::memory_order_relaxed); }
    UInt32 GetDurationInFrames() const { return mDurationInFrames.load(std::memory_order_relaxed); }
    UInt32 GetSliceDurationFrames() const {
        return mSliceDurationFrames.load(std::memory_order_relaxed);
    }

private:
    std::atomic<AUParameterEventType> mEventType;
    std::atomic<SInt32> mBufferOffset;
    std::atomic<UInt32> mDurationInFrames;
    std::atomic<AudioUnitParameterValue> mValue1;
    std::atomic<AudioUnitParameterValue> mValue2;
    std::atomic<UInt32> mSliceDurationFrames;
};

class AUElement {
public:
    explicit AUElement(AUBase* audioUnit);
    // [control thread] Releases the name.
    virtual ~AUElement();
    // [control thread, before rendering] Switch to indexed storage of n parameters.
    virtual void UseIndexedParameters(int numberOfParameters);

    AUBase* GetAudioUnit() const { return mAudioUnit; }

    UInt32 GetNumberOfParameters() const;
    void GetParameterList(AudioUnitParameterID* outList) const;
    // Whether a set of the ID can succeed: indexed storage holds a fixed range of IDs, while map
    // storage creates an ID before initialize and warns about it after.
    bool CanHoldParameter(AudioUnitParameterID paramID) const {
        return !mUseIndexedParameters || paramID < mIndexedParameters.size();
    }
    // Throws -10878 for an ID the element does not hold.
    ParameterMapEvent& GetParamEvent(AudioUnitParameterID paramID);
    AudioUnitParameterValue GetParameter(AudioUnitParameterID paramID);
    AudioUnitParameterValue GetEndValue(AudioUnitParameterID paramID);
    void GetRampSliceStartEnd(AudioUnitParameterID paramID, AudioUnitParameterValue& outStart,
                              AudioUnitParameterValue& outEnd,
                              AudioUnitParameterValue& outValuePerFrameDelta);
    void SetParameter(AudioUnitParameterID paramID, AudioUnitParameterValue value,
                      bool okWhenInitialized = false);
    void SetScheduledEvent(AudioUnitParameterID paramID, const AudioUnitParameterEvent& event,
                           UInt32 sliceOffsetInBuffer, UInt32 sliceDurationFrames,
                           bool okWhenInitialized = false);

    // Saved state: the count and (ID, value) pairs, big-endian.
    void SaveState(CFMutableDataRef data);
    // Reads a count and that many pairs from [state, end); returns the position after them.
    // The caller has checked that they fit.
    const UInt8* RestoreState(const UInt8* state, const UInt8* end);

    void SetName(CFStringRef name);
    bool HasName() const { return mElementName != nullptr; }
    CFStringRef GetName() const { return mElementName; }

private:
    AUBase* mAudioUnit;
    std::map<AudioUnitParameterID, ParameterMapEvent> mParameters;
    bool mUseIndexedParameters = false;
    std::vector<ParameterMapEvent> mIndexedParameters;
    CFStringRef mElementName = nullptr;
};

// An input or output bus: a stream format and a buffer list.
class AUIOElement : public AUElement {
public:
    explicit AUIOElement(AUBase* audioUnit);

    // [control thread] Adopt a new stream format.
    virtual OSStatus SetStreamFormat(const CAStreamBasicDescription& format);
    // [control thread] Size the buffers for frames (0: the unit's maximum frames per slice);
    // nothing until the unit has begun initializing.
    virtual void AllocateBuffer(UInt32 frames = 0);
    // Whether this bus keeps sample memory of its own.
    virtual bool NeedsBufferSpace() const = 0;
    // [control thread] Layout hooks: no tags, no layout, sets refused, removes refused.
    virtual UInt32 GetChannelLayoutTags(AudioChannelLayoutTag* outLayoutTags);
    virtual UInt32 GetAudioChannelLayout(AudioChannelLayout* outLayout, Boolean& outWritable);
    virtual OSStatus SetAudioChannelLayout(const AudioChannelLayout& layout);
    virtual OSStatus RemoveAudioChannelLayout();

    const CAStreamBasicDescription& GetStreamFormat() const { return mFormat; }
    void DeallocateBuffer() { mIOBuffer.Deallocate(); }
    bool WillAllocateBuffer() const { return mAllocatesBuffer; }
    void SetWillAllocateBuffer(bool allocates) { mAllocatesBuffer = allocates; }
    void UseExternalBuffer(const AudioUnitExternalBuffer& buffer);

    // Throws -10851 when the host said this bus must not allocate.
    AudioBufferList& PrepareBuffer(UInt32 frames);
    AudioBufferList& PrepareNullBuffer(UInt32 frames) {
        return mIOBuffer.PrepareNullBuffer(mFormat, frames);
    }
    AudioBufferList& SetBufferList(const AudioBufferList& list) {
        return mIOBuffer.SetBufferList(list);
    }
    AudioBufferList& GetBufferList() const { return mIOBuffer.GetBufferList(); }
    void CopyBufferListTo(AudioBufferList& dest) const { mIOBuffer.CopyBufferListTo(dest); }
    void CopyBufferContentsTo(AudioBufferList& dest) const { mIOBuffer.CopyBufferContentsTo(dest); }
    void InvalidateBufferList() { mIOBuffer.InvalidateBufferList(); }
    AUBufferList& IOBuffer() { return mIOBuffer; }

protected:
    CAStreamBasicDescription mFormat;
    AUBufferList mIOBuffer;
    bool mAllocatesBuffer = true;
};

// An ordered list of elements addressed by index; owns them.
class AUScope {
public:
    AUScope() = default;
    ~AUScope();
    AUScope(const AUScope&) = delete;
    AUScope& operator=(const AUScope&) = delete;

    void Initialize(AUElementCreator* creator, AudioUnitScope scope, UInt32 numElements);
    void SetNumberOfElements(UInt32 numElements);
    UInt32 GetNumberOfElements() const { return static_cast<UInt32>(mElements.size()); }
    // Null when index is not below the count.
    AUElement* GetElement(UInt32 index) const {
        return index < mElements.size() ? mElements[index] : nullptr;
    }
    // Throws -10877 when there is no such element.
    AUElement* SafeGetElement(UInt32 index) const;
    // Throws -10877 when there is no such element or it is not an I/O element.
    AUIOElement* GetIOElement(UInt32 index) const;
    bool HasElementWithName() const;
    void AddElementNamesToDict(CFMutableDictionaryRef namesDict);
    // Returns whether elements had to be added.
    bool RestoreElementNames(CFDictionaryRef scopeNames);

    AUElementCreator* GetCreator() const { return mCreator; }
    AudioUnitScope GetScope() const { return mScope; }

private:
    AUElementCreator* mCreator = nullptr;
    AudioUnitScope mScope = 0;
    std::vector<AUElement*> mElements;
};
