// The core of every unit instance: scopes and elements, lifecycle, properties and their
// listeners, parameters and scheduled events, stream formats, saved state and the render entry.
//
// Threads: "[control]" is any host thread that configures the unit (never concurrently with a
// render that the change affects); "[render]" is the one thread rendering the unit.
#pragma once

#include "AUInputElement.h"
#include "AUOutputElement.h"
#include "AUScopeElement.h"
#include "CAThreadSafeList.h"
#include "ComponentBase.h"

#include <atomic>
#include <pthread.h>
#include <vector>

typedef std::vector<AudioUnitParameterEvent> ParameterEventList;

class AUBase : public ComponentBase, public AUElementCreator {
public:
    static constexpr Float64 kNoLastRenderedSampleTime = -1.0;
    static constexpr UInt32 kDefaultMaxFramesPerSlice = 1156;
    // Saved state may not grow a scope beyond this many elements.
    static constexpr UInt32 kMaxRestoredElements = 1024;

    AUBase(ComponentInstance instance, UInt32 numInputElements, UInt32 numOutputElements,
           UInt32 numGroupElements = 0, UInt32 numPartElements = 0);
    // [control, close] Releases the preset and context names, then the scopes and lists.
    ~AUBase() override;

    // [control, open] Creates the elements of scopes 1 to 4.
    void PostConstructor() override;
    // [control, close] Uninitializes.
    void PreDestructor() override;

    // ---- lifecycle ----
    OSStatus DoInitialize();
    void DoCleanup();
    // [control, uninitialized] The subclass's preparation; a non-zero status refuses it.
    virtual OSStatus Initialize();
    // [control, initialized] The subclass's release.
    virtual void Cleanup();
    // [control, any state] Clears rendering state; the base forgets the last rendered time.
    virtual OSStatus Reset(AudioUnitScope scope, AudioUnitElement element);

    // ---- properties (subclass fallbacks of the dispatchers) ----
    // [control, any state] Size and writability of a property the core does not serve.
    virtual OSStatus GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope,
                                     AudioUnitElement element, UInt32& outDataSize,
                                     Boolean& outWritable);
    // [control, any state] Writes the value into outData (at least the reported size).
    virtual OSStatus GetProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                 AudioUnitElement element, void* outData);
    // [control, any state] inData is the caller's, valid during the call only.
    virtual OSStatus SetProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                 AudioUnitElement element, const void* inData, UInt32 inDataSize);
    // [control, any state]
    virtual OSStatus RemovePropertyValue(AudioUnitPropertyID id, AudioUnitScope scope,
                                         AudioUnitElement element);
    // [control, any state] The host keeps ownership of userData.
    virtual OSStatus AddPropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                         void* userData);
    // [control, any state]
    virtual OSStatus RemovePropertyListener(AudioUnitPropertyID id,
                                            AudioUnitPropertyListenerProc proc, void* userData,
                                            bool matchUserData);
    // [any thread] Queued; the render thread applies it at its next render.
    virtual OSStatus SetRenderNotification(AURenderCallback proc, void* userData);
    // [any thread] Queued like SetRenderNotification.
    virtual OSStatus RemoveRenderNotification(AURenderCallback proc, void* userData);

    // ---- parameters ----
    // [any thread] Throws -10866 / -10877 / -10878 for a bad address.
    virtual OSStatus GetParameter(AudioUnitParameterID id, AudioUnitScope scope,
                                  AudioUnitElement element, AudioUnitParameterValue& outValue);
    // [any thread] The buffer offset matters in the group scope only.
    virtual OSStatus SetParameter(AudioUnitParameterID id, AudioUnitScope scope,
                                  AudioUnitElement element, AudioUnitParameterValue value,
                                  UInt32 bufferOffsetInFrames);
    // [any thread] Group parameters are not supported: -10866.
    virtual OSStatus SetGroupParameter(AudioUnitParameterID id, AudioUnitElement element,
                                       AudioUnitParameterValue value, UInt32 bufferOffsetInFrames);
    virtual OSStatus GetGroupParameter(AudioUnitParameterID id, AudioUnitElement element,
                                       AudioUnitParameterValue& outValue);
    // [render, between renders] Immediate events apply at once; all are kept for the next render.
    virtual OSStatus ScheduleParameter(const AudioUnitParameterEvent* events, UInt32 numEvents);

    // ---- rendering ----
    // [render, initialized] Renders bus unless this time stamp was rendered already.
    virtual OSStatus RenderBus(AudioUnitRenderActionFlags& ioActionFlags,
                               const AudioTimeStamp& timeStamp, UInt32 bus, UInt32 frames);
    // [render, initialized] The unit's own rendering into its output buffer list.
    virtual OSStatus Render(AudioUnitRenderActionFlags& ioActionFlags,
                            const AudioTimeStamp& timeStamp, UInt32 frames);

    // ---- buses ----
    // [control, any state]
    virtual bool BusCountWritable(AudioUnitScope scope);
    // [control, uninitialized]
    virtual OSStatus SetBusCount(AudioUnitScope scope, UInt32 count);
    // [control, any state] Feeds an input from another unit (adopting its output format).
    virtual OSStatus SetConnection(const AudioUnitConnection& connection);
    // [control, any state] Feeds an input from a host function.
    virtual OSStatus SetInputCallback(UInt32 propertyID, AudioUnitElement element,
                                      AURenderCallback proc, void* refCon);

    // ---- parameter descriptions ----
    // [control, any state] outList may be null to ask for the count only.
    virtual OSStatus GetParameterList(AudioUnitScope scope, AudioUnitParameterID* outList,
                                      UInt32& outNumParameters);
    // [control, any state] Fills the caller's record.
    virtual OSStatus GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id,
                                      AudioUnitParameterInfo& outInfo);

    // ---- saved state ----
    // [control, any state] The caller receives one reference to the new dictionary.
    virtual OSStatus SaveState(CFPropertyListRef* outData);
    // [control, any state] The caller keeps ownership of plist.
    virtual OSStatus RestoreState(CFPropertyListRef plist);

    // [control, any state] A null outStrings asks whether strings exist; the caller owns the array.
    virtual OSStatus GetParameterValueStrings(AudioUnitScope scope, AudioUnitParameterID id,
                                              CFArrayRef* outStrings);
    // [control, any state] The caller owns the name.
    virtual OSStatus CopyClumpName(AudioUnitScope scope, UInt32 clumpID, UInt32 desiredNameLength,
                                   CFStringRef* outClumpName);
    // [control, any state] A null outData asks whether presets exist; the caller owns the array.
    virtual OSStatus GetPresets(CFArrayRef* outData) const;
    // [control, any state]
    virtual OSStatus NewFactoryPresetSet(const AUPreset& newFactoryPreset);
    // [control, any state]
    virtual UInt32 GetNumCustomUIComponents();
    // [control, any state] Writes GetNumCustomUIComponents() descriptions.
    virtual void GetUIComponentDescs(ComponentDescription* inDescArray);
    // [control, any state] The caller owns the result; null when there is no icon.
    virtual CFTypeRef CopyIconLocation();

    // [any thread] Seconds.
    virtual Float64 GetLatency();
    // [any thread] Seconds.
    virtual Float64 GetTailTime();
    // [any thread]
    virtual bool SupportsTail();

    // ---- stream formats ----
    // [control, any state] Whether the bus's format may change now.
    virtual bool StreamFormatWritable(AudioUnitScope scope, AudioUnitElement element) = 0;
    // [control, any state] The table of accepted channel pairs and its length (0: none).
    virtual UInt32 SupportedNumChannels(const AUChannelInfo** outInfo);
    // [control, any state]
    virtual bool ValidFormat(AudioUnitScope scope, AudioUnitElement element,
                             const CAStreamBasicDescription& format);
    // [any thread] The bus's format; the global scope names output bus 0.
    virtual const CAStreamBasicDescription& GetStreamFormat(AudioUnitScope scope,
                                                            AudioUnitElement element);
    // [control, format writable] Adopts newFormat and announces property 8.
    virtual OSStatus ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                        const CAStreamBasicDescription& previousFormat,
                                        const CAStreamBasicDescription& newFormat);

    // [control] Global and group and part elements are AUElement, input and output buses I/O
    // elements; the caller owns the result.
    AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement element) override;
    // [control, initializing] Sizes every bus for the maximum frames per slice.
    virtual void ReallocateBuffers();
    // [control, uninitialized] Stores n, reallocates if buffers exist, announces property 14.
    virtual void SetMaxFramesPerSlice(UInt32 n);
    // [control] -10849 while initialized.
    virtual OSStatus CanSetMaxFrames() const;

    // ---- channel layouts ----
    // [control, any state] Number of supported tags, written when outLayoutTags is not null.
    virtual UInt32 GetChannelLayoutTags(AudioUnitScope scope, AudioUnitElement element,
                                        AudioChannelLayoutTag* outLayoutTags);
    // [control, any state] Byte size of the bus's layout (0: none), written when not null.
    virtual UInt32 GetAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element,
                                         AudioChannelLayout* outLayout, Boolean& outWritable);
    // [control, any state]
    virtual OSStatus SetAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element,
                                           const AudioChannelLayout* layout);
    // [control, any state]
    virtual OSStatus RemoveAudioChannelLayout(AudioUnitScope scope, AudioUnitElement element);

    // ---- scheduled events ----
    // [render] Cuts frames into slices at the events and calls ProcessScheduledSlice per slice.
    virtual OSStatus ProcessForScheduledParams(ParameterEventList& eventList, UInt32 frames,
                                               void* userData);
    // [render] One slice; userData is passed through from ProcessForScheduledParams.
    virtual OSStatus ProcessScheduledSlice(void* userData, UInt32 sliceStartFrame,
                                           UInt32 sliceFrames, UInt32 totalBufferFrames);

    // ---- the selector layer ----
    static OSStatus ComponentEntryDispatch(ComponentParameters* params, AUBase* obj);

    // ---- property dispatch (the host's four property calls) ----
    OSStatus DispatchGetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope,
                                     AudioUnitElement element, UInt32& outDataSize,
                                     Boolean& outWritable);
    OSStatus DispatchGetProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                 AudioUnitElement element, void* outData);
    OSStatus DispatchSetProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                 AudioUnitElement element, const void* inData, UInt32 inDataSize);
    OSStatus DispatchRemovePropertyValue(AudioUnitPropertyID id, AudioUnitScope scope,
                                         AudioUnitElement element);
    bool IsStreamFormatWritable(AudioUnitScope scope, AudioUnitElement element);
    bool HasIcon();

    // ---- render entry ----
    OSStatus DoRender(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp,
                      UInt32 bus, UInt32 frames, AudioBufferList& ioData);
    OSStatus DoRenderBus(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp,
                         UInt32 bus, AUOutputElement* output, UInt32 frames,
                         AudioBufferList& ioData);
    bool NeedsToRender(Float64 sampleTime);
    bool SetRenderError(OSStatus error);
    void SetWantsRenderThreadID(bool flag);
    bool WantsRenderThreadID() const { return mRecordRenderThread; }
    pthread_t GetRenderThreadID() const { return mRenderThread; }
    bool HasInput(AudioUnitElement element);

    // ---- announcements ----
    void PropertyChanged(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element);

    // ---- accessors ----
    bool IsInitialized() const { return mInitialized.load(std::memory_order_acquire); }
    bool HasBegunInitializing() const { return mHasBegunInitializing; }
    UInt8 AudioUnitAPIVersion() const { return mAudioUnitAPIVersion; }
    UInt32 GetMaxFramesPerSlice() const { return mMaxFramesPerSlice; }
    Float64 GetLastRenderedSampleTime() const {
        return mLastSampleTimeRendered.load(std::memory_order_relaxed);
    }
    void SetLastRenderedSampleTime(Float64 t) {
        mLastSampleTimeRendered.store(t, std::memory_order_relaxed);
    }
    const AUPreset& GetCurrentPreset() const { return mCurrentPreset; }
    // For subclasses with factory presets; false (and no change) for a user preset or no name.
    bool SetAFactoryPresetAsCurrent(const AUPreset& preset);
    // [any thread] The diagnostic prefix "AU (%p): %s %s %s", made at open (or, for an instance
    // without a component, on first use), so that a refused render prints it without a look-up.
    const char* GetLoggingString() const;

    AUScope& GetScope(AudioUnitScope scope);
    AUScope& GlobalScope() { return mScopes[kAudioUnitScope_Global]; }
    AUScope& Inputs() { return mScopes[kAudioUnitScope_Input]; }
    AUScope& Outputs() { return mScopes[kAudioUnitScope_Output]; }
    AUScope& Groups() { return mScopes[kAudioUnitScope_Group]; }
    AUScope& Parts() { return mScopes[kAudioUnitScope_Part]; }
    AUElement* Globals() { return mScopes[kAudioUnitScope_Global].GetElement(0); }
    AUElement* GetElement(AudioUnitScope scope, AudioUnitElement element) {
        return GetScope(scope).GetElement(element);
    }
    AUElement* SafeGetElement(AudioUnitScope scope, AudioUnitElement element) {
        return GetScope(scope).SafeGetElement(element);
    }
    AUIOElement* GetIOElement(AudioUnitScope scope, AudioUnitElement element) {
        return GetScope(scope).GetIOElement(element);
    }
    AUInputElement* GetInput(AudioUnitElement element);
    AUOutputElement* GetOutput(AudioUnitElement element);
    void SetNumberOfElements(AudioUnitScope scope, UInt32 numElements);
    void CreateElements();
    // Accepts exactly the canonical formats of this API version.
    bool FormatIsCanonical(const CAStreamBasicDescription& format);
    void MakeCanonicalFormat(CAStreamBasicDescription& outFormat, int nChannels);
    static void FillInParameterName(AudioUnitParameterInfo& info, CFStringRef name,
                                    bool shouldRelease);
    const ParameterEventList& GetParamEventList() const { return mParamList; }
    // [render] The pending events, which the slicing sorts in place.
    ParameterEventList& GetParamEventList() { return mParamList; }

    static SInt32 sVectorUnitType;

protected:
    struct PropertyListener {
        AudioUnitPropertyID propertyID;
        AudioUnitPropertyListenerProc listenerProc;
        void* listenerRefCon;
    };
    struct RenderCallback {
        AURenderCallback mRenderNotify;
        void* mRenderNotifyRefCon;
        bool operator==(const RenderCallback& other) const {
            return mRenderNotify == other.mRenderNotify &&
                   mRenderNotifyRefCon == other.mRenderNotifyRefCon;
        }
    };

    static void AddNumToDictionary(CFMutableDictionaryRef dict, CFStringRef key, SInt32 value);

    // The saved-state keys, made once per process under the open lock.
    static bool sAUBaseCFStringsInitialized;
    static CFStringRef kUntitledString;
    static CFStringRef kVersionString;
    static CFStringRef kTypeString;
    static CFStringRef kSubtypeString;
    static CFStringRef kManufacturerString;
    static CFStringRef kDataString;
    static CFStringRef kNameString;
    static CFStringRef kRenderQualityString;
    static CFStringRef kCPULoadString;
    static CFStringRef kElementNameString;
    static CFStringRef kPartString;

private:
    void CallRenderNotifications(AudioUnitRenderActionFlags flags, const AudioTimeStamp& timeStamp,
                                 UInt32 bus, UInt32 frames, AudioBufferList& ioData);

    bool mElementsCreated = false;
    std::atomic<bool> mInitialized{false};
    bool mHasBegunInitializing = false;
    UInt8 mAudioUnitAPIVersion = 2;
    const UInt32 mInitNumInputEls;
    const UInt32 mInitNumOutputEls;
    const UInt32 mInitNumGroupEls;
    const UInt32 mInitNumPartEls;
    AUScope mScopes[5];

    TThreadSafeList<RenderCallback> mRenderNotifications;
    // Set by any thread that adds a notification while the render thread reads it; the list
    // itself carries the ordering, so the flag only has to be a whole, race-free word.
    std::atomic<bool> mRenderNotificationsTouched{false};
    pthread_t mRenderThread{};
    bool mRecordRenderThread = false;

    // Written by every render and by a reset, which switching bypass off runs while the host may
    // be rendering; it only has to stay a whole value.
    std::atomic<Float64> mLastSampleTimeRendered{kNoLastRenderedSampleTime};
    // Inside Render: a pull that comes back to this unit through a connection cycle finds it set.
    bool mRenderingBus = false;
    UInt32 mMaxFramesPerSlice = 0;
    std::atomic<OSStatus> mLastRenderErrorCode{0};
    AUPreset mCurrentPreset{-1, nullptr};
    ParameterEventList mParamList;
    std::vector<PropertyListener> mPropertyListeners;
    bool mBuffersAllocated = false;
    mutable char mLogString[256] = {};
    HostCallbackInfo mHostCallbackInfo{};
    CFStringRef mContextName = nullptr;
};

// The fast entry functions a host may fetch through property 5; storage is the unit object.
extern "C" {
OSStatus AudioUnitBaseGetParameter(void* storage, AudioUnitParameterID id, AudioUnitScope scope,
                                   AudioUnitElement element, AudioUnitParameterValue* outValue);
OSStatus AudioUnitBaseSetParameter(void* storage, AudioUnitParameterID id, AudioUnitScope scope,
                                   AudioUnitElement element, AudioUnitParameterValue value,
                                   UInt32 bufferOffsetInFrames);
OSStatus AudioUnitBaseRender(void* storage, AudioUnitRenderActionFlags* ioActionFlags,
                             const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                             AudioBufferList* ioData);
}
