/*
 * Records, codes and call signatures shared by hosts, the platform layer and audio units.
 *
 * Records without pointers have one layout on every target, pinned by static assertions.
 * Records with pointers keep their field order and take the target's natural layout.
 */
#ifndef PLATFORM_AUDIOTYPES_H
#define PLATFORM_AUDIOTYPES_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "Platform/PropertyList.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- scalar types ---- */
typedef int32_t OSStatus;
typedef uint8_t UInt8;
typedef int8_t SInt8;
typedef uint16_t UInt16;
typedef int16_t SInt16;
typedef uint32_t UInt32;
typedef int32_t SInt32;
typedef uint64_t UInt64;
typedef int64_t SInt64;
typedef float Float32;
typedef double Float64;
typedef unsigned char Boolean;
typedef unsigned char Byte;
typedef uint32_t OSType;

typedef UInt32 AudioUnitPropertyID;
typedef UInt32 AudioUnitScope;
typedef UInt32 AudioUnitElement;
typedef UInt32 AudioUnitParameterID;
typedef Float32 AudioUnitParameterValue;
typedef UInt32 AudioUnitRenderActionFlags;

/* ---- component handles ---- */
typedef struct ComponentRecord* Component;
typedef struct ComponentInstanceRecord* ComponentInstance;
typedef Component AudioComponent;
typedef ComponentInstance AudioComponentInstance;
typedef ComponentInstance AudioUnit;

typedef struct ComponentDescription {
    OSType componentType;
    OSType componentSubType;
    OSType componentManufacturer;
    UInt32 componentFlags;
    UInt32 componentFlagsMask;
} ComponentDescription;
typedef ComponentDescription AudioComponentDescription;

/* The selector call block: flags, size, selector, then one pointer-sized word per argument in
 * reverse order (params[0] is the host call's last argument). */
typedef struct ComponentParameters {
    UInt8 flags;
    UInt8 paramSize;
    SInt16 what;
    intptr_t params[1];
} ComponentParameters;

/* A Float32 argument travels as its bit pattern in the low 32 bits of its word. */
static inline intptr_t ComponentWordFromFloat(float value) {
    uint32_t bits;
    memcpy(&bits, &value, sizeof bits);
    return (intptr_t)(uintptr_t)bits;
}
static inline float ComponentWordToFloat(intptr_t word) {
    uint32_t bits = (uint32_t)(uintptr_t)word;
    float value;
    memcpy(&value, &bits, sizeof value);
    return value;
}

/* The exported entry of a component: the selector block and the instance's storage. */
typedef OSStatus (*ComponentRoutine)(ComponentParameters* params, void* storage);

/* ---- status codes ---- */
enum {
    noErr = 0,
    paramErr = -50,
    memFullErr = -108,
    badComponentSelector = (SInt32)0x80008002,
    kAudioUnitErr_InvalidProperty = -10879,
    kAudioUnitErr_InvalidParameter = -10878,
    kAudioUnitErr_InvalidElement = -10877,
    kAudioUnitErr_NoConnection = -10876,
    kAudioUnitErr_FailedInitialization = -10875,
    kAudioUnitErr_TooManyFramesToProcess = -10874,
    kAudioUnitErr_FormatNotSupported = -10868,
    kAudioUnitErr_Uninitialized = -10867,
    kAudioUnitErr_InvalidScope = -10866,
    kAudioUnitErr_PropertyNotWritable = -10865,
    kAudioUnitErr_InvalidPropertyValue = -10851,
    kAudioUnitErr_Initialized = -10849,
    /* A file, library or document fault of a platform call; its message says which. */
    kPlatformErr_Failed = -1
};

/* ---- selectors ---- */
enum {
    kComponentOpenSelect = -1,
    kComponentCloseSelect = -2,
    kComponentCanDoSelect = -3,
    kComponentVersionSelect = -4,
    kAudioUnitInitializeSelect = 1,
    kAudioUnitUninitializeSelect = 2,
    kAudioUnitGetPropertyInfoSelect = 3,
    kAudioUnitGetPropertySelect = 4,
    kAudioUnitSetPropertySelect = 5,
    kAudioUnitGetParameterSelect = 6,
    kAudioUnitSetParameterSelect = 7,
    kAudioUnitResetSelect = 9,
    kAudioUnitAddPropertyListenerSelect = 10,
    kAudioUnitRemovePropertyListenerSelect = 11,
    kAudioUnitRenderSelect = 14,
    kAudioUnitAddRenderNotifySelect = 15,
    kAudioUnitRemoveRenderNotifySelect = 16,
    kAudioUnitScheduleParametersSelect = 17,
    kAudioUnitRemovePropertyListenerWithUserDataSelect = 18
};

/* ---- scopes ---- */
enum {
    kAudioUnitScope_Global = 0,
    kAudioUnitScope_Input = 1,
    kAudioUnitScope_Output = 2,
    kAudioUnitScope_Group = 3,
    kAudioUnitScope_Part = 4
};

/* ---- property IDs ---- */
enum {
    kAudioUnitProperty_ClassInfo = 0,
    kAudioUnitProperty_MakeConnection = 1,
    kAudioUnitProperty_SampleRate = 2,
    kAudioUnitProperty_ParameterList = 3,
    kAudioUnitProperty_ParameterInfo = 4,
    kAudioUnitProperty_FastDispatch = 5,
    kAudioUnitProperty_CPULoad = 6,
    kAudioUnitProperty_StreamFormat = 8,
    kAudioUnitProperty_ElementCount = 11,
    kAudioUnitProperty_Latency = 12,
    kAudioUnitProperty_SupportedNumChannels = 13,
    kAudioUnitProperty_MaximumFramesPerSlice = 14,
    kAudioUnitProperty_SetExternalBuffer = 15,
    kAudioUnitProperty_ParameterValueStrings = 16,
    kAudioUnitProperty_GetUIComponentList = 18,
    kAudioUnitProperty_AudioChannelLayout = 19,
    kAudioUnitProperty_TailTime = 20,
    kAudioUnitProperty_BypassEffect = 21,
    kAudioUnitProperty_LastRenderError = 22,
    kAudioUnitProperty_SetRenderCallback = 23,
    kAudioUnitProperty_FactoryPresets = 24,
    kAudioUnitProperty_ContextName = 25,
    kAudioUnitProperty_RenderQuality = 26,
    kAudioUnitProperty_HostCallbacks = 27,
    kAudioUnitProperty_CurrentPreset = 28,
    kAudioUnitProperty_InPlaceProcessing = 29,
    kAudioUnitProperty_ElementName = 30,
    kAudioUnitProperty_SupportedChannelLayoutTags = 32,
    kAudioUnitProperty_ParameterClumpName = 35,
    kAudioUnitProperty_PresentPreset = 36,
    kAudioUnitProperty_IconLocation = 39,
    kAudioUnitProperty_ShouldAllocateBuffer = 51,
    /* the core's own ID for the last rendered sample time ('lrst') */
    kAudioUnitProperty_LastRenderedSampleTime = 0x6C727374
};

/* ---- render action flags ---- */
enum {
    kAudioUnitRenderAction_PreRender = 4,
    kAudioUnitRenderAction_PostRender = 8,
    kAudioUnitRenderAction_OutputIsSilence = 16,
    kAudioUnitRenderAction_PostRenderError = 256
};

/* ---- parameters ---- */
enum {
    kAudioUnitParameterUnit_Generic = 0,
    kAudioUnitParameterUnit_Indexed = 1,
    kAudioUnitParameterUnit_Percent = 3,
    kAudioUnitParameterUnit_Seconds = 4,
    kAudioUnitParameterUnit_Hertz = 8,
    kAudioUnitParameterUnit_Decibels = 13,
    kAudioUnitParameterUnit_Milliseconds = 24
};

enum {
    kAudioUnitParameterFlag_CFNameRelease = 0x10,
    kAudioUnitParameterFlag_DisplayLogarithmic = 0x00400000,
    kAudioUnitParameterFlag_HasCFNameString = 0x08000000,
    kAudioUnitParameterFlag_IsReadable = 0x40000000,
    kAudioUnitParameterFlag_IsWritable = (SInt32)0x80000000
};

enum { kParameterEvent_Immediate = 1, kParameterEvent_Ramped = 2 };
typedef UInt32 AUParameterEventType;

typedef struct AudioUnitParameterEvent {
    AudioUnitScope scope;
    AudioUnitElement element;
    AudioUnitParameterID parameter;
    AUParameterEventType eventType;
    union {
        struct {
            SInt32 startBufferOffset;
            UInt32 durationInFrames;
            AudioUnitParameterValue startValue;
            AudioUnitParameterValue endValue;
        } ramp;
        struct {
            UInt32 bufferOffset;
            AudioUnitParameterValue value;
        } immediate;
    } eventValues;
} AudioUnitParameterEvent;

typedef struct AudioUnitParameterInfo {
    char name[52];
    CFStringRef unitName;
    UInt32 clumpID;
    CFStringRef cfNameString;
    UInt32 unit;
    AudioUnitParameterValue minValue;
    AudioUnitParameterValue maxValue;
    AudioUnitParameterValue defaultValue;
    UInt32 flags;
} AudioUnitParameterInfo;

/* The clump-name request of property 35. */
typedef struct AudioUnitParameterIDName {
    UInt32 inID;
    SInt32 inDesiredLength;
    CFStringRef outName;
} AudioUnitParameterIDName;

/* ---- stream formats ---- */
enum {
    kAudioFormatLinearPCM = 0x6C70636D /* 'lpcm' */
};

enum {
    kAudioFormatFlagIsFloat = 1,
    kAudioFormatFlagIsBigEndian = 2,
    kAudioFormatFlagIsSignedInteger = 4,
    kAudioFormatFlagIsPacked = 8,
    kAudioFormatFlagIsAlignedHigh = 16,
    kAudioFormatFlagIsNonInterleaved = 32,
    kAudioFormatFlagIsNonMixable = 64,
    kAudioFormatFlagsAreAllClear = (SInt32)0x80000000
};

typedef struct AudioStreamBasicDescription {
    Float64 mSampleRate;
    UInt32 mFormatID;
    UInt32 mFormatFlags;
    UInt32 mBytesPerPacket;
    UInt32 mFramesPerPacket;
    UInt32 mBytesPerFrame;
    UInt32 mChannelsPerFrame;
    UInt32 mBitsPerChannel;
    UInt32 mReserved;
} AudioStreamBasicDescription;

typedef struct AUChannelInfo {
    SInt16 inChannels;
    SInt16 outChannels;
} AUChannelInfo;

/* ---- buffers ---- */
typedef struct AudioBuffer {
    UInt32 mNumberChannels;
    UInt32 mDataByteSize;
    void* mData;
} AudioBuffer;

typedef struct AudioBufferList {
    UInt32 mNumberBuffers;
    AudioBuffer mBuffers[1]; /* mNumberBuffers entries */
} AudioBufferList;

/* Bytes taken by a buffer list of n buffers. */
#define AudioBufferListByteSize(n)                                                                 \
    (offsetof(AudioBufferList, mBuffers) + (size_t)(n) * sizeof(AudioBuffer))

typedef struct AudioUnitExternalBuffer {
    Byte* buffer;
    UInt32 size;
} AudioUnitExternalBuffer;

/* Only mSampleTime is read by units; the rest is passed through. */
typedef struct AudioTimeStamp {
    Float64 mSampleTime;
    UInt64 mHostTime;
    Float64 mRateScalar;
    UInt64 mWordClockTime;
    UInt32 mFlags;
    UInt32 mReserved;
} AudioTimeStamp;

/* ---- channel layouts ---- */
typedef UInt32 AudioChannelLayoutTag;
typedef struct AudioChannelDescription {
    UInt32 mChannelLabel;
    UInt32 mChannelFlags;
    Float32 mCoordinates[3];
} AudioChannelDescription;

typedef struct AudioChannelLayout {
    UInt32 mChannelLayoutTag;
    UInt32 mChannelBitmap;
    UInt32 mNumberChannelDescriptions;
    AudioChannelDescription mChannelDescriptions[1]; /* mNumberChannelDescriptions entries */
} AudioChannelLayout;

enum {
    kAudioChannelLayoutTag_UseChannelDescriptions = 0,
    kAudioChannelLayoutTag_UseChannelBitmap = 0x10000,
    kAudioChannelLabel_Unknown = (SInt32)0xFFFFFFFF
};

/* ---- host callbacks into functions registered with a unit ---- */
typedef OSStatus (*AURenderCallback)(void* inRefCon, AudioUnitRenderActionFlags* ioActionFlags,
                                     const AudioTimeStamp* inTimeStamp, UInt32 inBusNumber,
                                     UInt32 inNumberFrames, AudioBufferList* ioData);

typedef struct AURenderCallbackStruct {
    AURenderCallback inputProc;
    void* inputProcRefCon;
} AURenderCallbackStruct;

typedef void (*AudioUnitPropertyListenerProc)(void* inRefCon, AudioUnit inUnit,
                                              AudioUnitPropertyID inID, AudioUnitScope inScope,
                                              AudioUnitElement inElement);

typedef struct AudioUnitConnection {
    AudioUnit sourceAudioUnit;
    UInt32 sourceOutputNumber;
    UInt32 destInputNumber;
} AudioUnitConnection;

typedef struct AUPreset {
    SInt32 presetNumber;
    CFStringRef presetName;
} AUPreset;

/* Four pointer-sized words supplied by the host, opaque to the unit. */
typedef struct HostCallbackInfo {
    void* hostUserData;
    void* beatAndTempoProc;
    void* musicalTimeLocationProc;
    void* transportStateProc;
} HostCallbackInfo;

/* ---- fast entry functions handed out through property 5 ---- */
enum {
    kAudioUnitGetParameterFastSelect = kAudioUnitGetParameterSelect,
    kAudioUnitSetParameterFastSelect = kAudioUnitSetParameterSelect,
    kAudioUnitRenderFastSelect = kAudioUnitRenderSelect
};

typedef OSStatus (*AudioUnitGetParameterProc)(void* inComponentStorage, AudioUnitParameterID inID,
                                              AudioUnitScope inScope, AudioUnitElement inElement,
                                              AudioUnitParameterValue* outValue);
typedef OSStatus (*AudioUnitSetParameterProc)(void* inComponentStorage, AudioUnitParameterID inID,
                                              AudioUnitScope inScope, AudioUnitElement inElement,
                                              AudioUnitParameterValue inValue,
                                              UInt32 inBufferOffsetInFrames);
typedef OSStatus (*AudioUnitRenderProc)(void* inComponentStorage,
                                        AudioUnitRenderActionFlags* ioActionFlags,
                                        const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                                        UInt32 inNumberFrames, AudioBufferList* ioData);

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(AudioStreamBasicDescription) == 40, "stream format record");
static_assert(sizeof(AudioUnitParameterEvent) == 32, "parameter event record");
static_assert(sizeof(AUChannelInfo) == 4, "channel-count pair");
static_assert(sizeof(ComponentDescription) == 20, "component description");
static_assert(sizeof(AudioChannelDescription) == 20, "channel description");
static_assert(offsetof(AudioChannelLayout, mChannelDescriptions) == 12, "channel layout header");
static_assert(offsetof(ComponentParameters, params) == sizeof(intptr_t), "selector block words");
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(intptr_t) == 4, "selector block word");
static_assert(sizeof(AudioUnitConnection) == 12, "connection");
static_assert(sizeof(AURenderCallbackStruct) == 8, "render callback");
static_assert(sizeof(AudioUnitExternalBuffer) == 8, "external buffer");
static_assert(sizeof(AUPreset) == 8, "preset");
static_assert(sizeof(HostCallbackInfo) == 16, "host callbacks");
static_assert(sizeof(AudioUnitParameterInfo) == 84, "parameter info");
static_assert(sizeof(AudioBuffer) == 12 && offsetof(AudioBufferList, mBuffers) == 4, "buffer list");
static_assert(sizeof(AudioUnitParameterIDName) == 12, "clump name request");
#endif
#endif

#endif
