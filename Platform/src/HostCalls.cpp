/*
 * One host call per selector of a unit's entry. Each builds its selector block on the stack and
 * returns the entry's status unchanged; none locks or allocates, so a unit may pull another
 * unit's audio through them on the render thread.
 */
#include "ComponentRegistry.h"

#include "Platform/Host.h"

#include <algorithm>

using platform::InvokeSelector;

namespace {

// Enough for every selector and for probes that pass more words than any selector reads.
constexpr UInt32 kMaxProbeWords = 64;

} // namespace

extern "C" {

OSStatus AudioComponentInstanceCanDo(AudioComponentInstance instance, SInt16 selector) {
    return InvokeSelector(instance, kComponentCanDoSelect, selector);
}

OSStatus AudioComponentInstanceVersion(AudioComponentInstance instance) {
    return InvokeSelector(instance, kComponentVersionSelect);
}

OSStatus AudioUnitInitialize(AudioUnit unit) {
    return InvokeSelector(unit, kAudioUnitInitializeSelect);
}

OSStatus AudioUnitUninitialize(AudioUnit unit) {
    return InvokeSelector(unit, kAudioUnitUninitializeSelect);
}

OSStatus AudioUnitGetPropertyInfo(AudioUnit unit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                                  AudioUnitElement inElement, UInt32* outDataSize,
                                  Boolean* outWritable) {
    return InvokeSelector(unit, kAudioUnitGetPropertyInfoSelect, inID, inScope, inElement,
                          outDataSize, outWritable);
}

OSStatus AudioUnitGetProperty(AudioUnit unit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, void* outData, UInt32* ioDataSize) {
    return InvokeSelector(unit, kAudioUnitGetPropertySelect, inID, inScope, inElement, outData,
                          ioDataSize);
}

OSStatus AudioUnitSetProperty(AudioUnit unit, AudioUnitPropertyID inID, AudioUnitScope inScope,
                              AudioUnitElement inElement, const void* inData, UInt32 inDataSize) {
    return InvokeSelector(unit, kAudioUnitSetPropertySelect, inID, inScope, inElement, inData,
                          inDataSize);
}

OSStatus AudioUnitRemovePropertyValue(AudioUnit unit, AudioUnitPropertyID inID,
                                      AudioUnitScope inScope, AudioUnitElement inElement) {
    return AudioUnitSetProperty(unit, inID, inScope, inElement, nullptr, 0);
}

OSStatus AudioUnitGetParameter(AudioUnit unit, AudioUnitParameterID inID, AudioUnitScope inScope,
                               AudioUnitElement inElement, AudioUnitParameterValue* outValue) {
    return InvokeSelector(unit, kAudioUnitGetParameterSelect, inID, inScope, inElement, outValue);
}

OSStatus AudioUnitSetParameter(AudioUnit unit, AudioUnitParameterID inID, AudioUnitScope inScope,
                               AudioUnitElement inElement, AudioUnitParameterValue inValue,
                               UInt32 inBufferOffsetInFrames) {
    return InvokeSelector(unit, kAudioUnitSetParameterSelect, inID, inScope, inElement, inValue,
                          inBufferOffsetInFrames);
}

OSStatus AudioUnitReset(AudioUnit unit, AudioUnitScope inScope, AudioUnitElement inElement) {
    return InvokeSelector(unit, kAudioUnitResetSelect, inScope, inElement);
}

OSStatus AudioUnitAddPropertyListener(AudioUnit unit, AudioUnitPropertyID inID,
                                      AudioUnitPropertyListenerProc inProc, void* inProcUserData) {
    return InvokeSelector(unit, kAudioUnitAddPropertyListenerSelect, inID, inProc, inProcUserData);
}

OSStatus AudioUnitRemovePropertyListener(AudioUnit unit, AudioUnitPropertyID inID,
                                         AudioUnitPropertyListenerProc inProc) {
    return InvokeSelector(unit, kAudioUnitRemovePropertyListenerSelect, inID, inProc);
}

OSStatus AudioUnitRemovePropertyListenerWithUserData(AudioUnit unit, AudioUnitPropertyID inID,
                                                     AudioUnitPropertyListenerProc inProc,
                                                     void* inProcUserData) {
    return InvokeSelector(unit, kAudioUnitRemovePropertyListenerWithUserDataSelect, inID, inProc,
                          inProcUserData);
}

OSStatus AudioUnitRender(AudioUnit unit, AudioUnitRenderActionFlags* ioActionFlags,
                         const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                         UInt32 inNumberFrames, AudioBufferList* ioData) {
    return InvokeSelector(unit, kAudioUnitRenderSelect, ioActionFlags, inTimeStamp,
                          inOutputBusNumber, inNumberFrames, ioData);
}

OSStatus AudioUnitAddRenderNotify(AudioUnit unit, AURenderCallback inProc, void* inProcUserData) {
    return InvokeSelector(unit, kAudioUnitAddRenderNotifySelect, inProc, inProcUserData);
}

OSStatus AudioUnitRemoveRenderNotify(AudioUnit unit, AURenderCallback inProc,
                                     void* inProcUserData) {
    return InvokeSelector(unit, kAudioUnitRemoveRenderNotifySelect, inProc, inProcUserData);
}

OSStatus AudioUnitScheduleParameters(AudioUnit unit, const AudioUnitParameterEvent* inEvents,
                                     UInt32 inNumEvents) {
    return InvokeSelector(unit, kAudioUnitScheduleParametersSelect, inEvents, inNumEvents);
}

// The block always holds kMaxProbeWords words, zero beyond those given, so that a probe passing
// fewer words than its selector reads cannot make the unit read past the block. A close through
// here forgets the unit object it destroyed, so that later probes get paramErr from the unit
// instead of reaching freed memory.
OSStatus PlatformCallSelector(AudioComponentInstance instance, SInt16 selector,
                              const intptr_t* params, UInt32 paramCount) {
    const std::optional<platform::InstanceView> live = platform::LiveInstance(instance);
    if (!live || (params == nullptr && paramCount != 0) || paramCount > kMaxProbeWords) {
        return paramErr;
    }
    platform::SelectorBlock<kMaxProbeWords> block(selector);
    block.paramSize = static_cast<UInt8>(paramCount * sizeof(intptr_t));
    std::copy_n(params, paramCount, block.params);
    const OSStatus status = live->entry(block.AsParameters(), live->storage);
    if (selector == kComponentCloseSelect && status == noErr) {
        platform::StoreInstanceStorage(instance, nullptr);
    }
    return status;
}

} // extern "C"
