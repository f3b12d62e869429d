/*
 * The host side of the component system: registering components, opening instances, and one
 * call per selector of the entry point. Every call builds the selector block (pointer-sized
 * words, last argument first) and returns the entry's status unchanged.
 */
#ifndef PLATFORM_HOST_H
#define PLATFORM_HOST_H

#include "Platform/Components.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- registry ---- */
PLATFORM_API AudioComponent PlatformRegisterComponent(const AudioComponentDescription* desc,
                                                      ComponentRoutine entry, UInt32 version);
/* Loads a component library (dlopen) and registers it with the codes, version and entry symbol
 * that its registration file (an XML property list) names. paramErr for a missing argument,
 * memFullErr, or kPlatformErr_Failed with a message naming the file and the problem in errorText
 * (which may be null); *outComponent is null on failure. */
PLATFORM_API OSStatus PlatformRegisterComponentLibrary(const char* libraryPath,
                                                       const char* registrationPath,
                                                       AudioComponent* outComponent,
                                                       char* errorText, size_t errorSize);
/* Forgets a component; its open instances must have been disposed. */
PLATFORM_API void PlatformUnregisterComponent(AudioComponent component);
/* The first registered component matching the non-zero fields of desc, or null. */
PLATFORM_API AudioComponent AudioComponentFindNext(AudioComponent after,
                                                   const AudioComponentDescription* desc);
PLATFORM_API UInt32 PlatformComponentVersion(AudioComponent component);

/* ---- instances ---- */
/* Open selector; on failure *outInstance is null and the entry's status is returned. */
PLATFORM_API OSStatus AudioComponentInstanceNew(AudioComponent component,
                                                AudioComponentInstance* outInstance);
/* Close selector, then the handle is forgotten. */
PLATFORM_API OSStatus AudioComponentInstanceDispose(AudioComponentInstance instance);
/* Open instances in the whole process: tests prove that nothing is left open. */
PLATFORM_API long PlatformOpenInstanceCount(void);

/* ---- one call per selector ---- */
PLATFORM_API OSStatus AudioComponentInstanceCanDo(AudioComponentInstance instance, SInt16 selector);
PLATFORM_API OSStatus AudioComponentInstanceVersion(AudioComponentInstance instance);
PLATFORM_API OSStatus AudioUnitInitialize(AudioUnit unit);
PLATFORM_API OSStatus AudioUnitUninitialize(AudioUnit unit);
PLATFORM_API OSStatus AudioUnitGetPropertyInfo(AudioUnit unit, AudioUnitPropertyID inID,
                                               AudioUnitScope inScope, AudioUnitElement inElement,
                                               UInt32* outDataSize, Boolean* outWritable);
PLATFORM_API OSStatus AudioUnitSetProperty(AudioUnit unit, AudioUnitPropertyID inID,
                                           AudioUnitScope inScope, AudioUnitElement inElement,
                                           const void* inData, UInt32 inDataSize);
/* The set-property selector with no data and size 0. */
PLATFORM_API OSStatus AudioUnitRemovePropertyValue(AudioUnit unit, AudioUnitPropertyID inID,
                                                   AudioUnitScope inScope,
                                                   AudioUnitElement inElement);
PLATFORM_API OSStatus AudioUnitGetParameter(AudioUnit unit, AudioUnitParameterID inID,
                                            AudioUnitScope inScope, AudioUnitElement inElement,
                                            AudioUnitParameterValue* outValue);
PLATFORM_API OSStatus AudioUnitSetParameter(AudioUnit unit, AudioUnitParameterID inID,
                                            AudioUnitScope inScope, AudioUnitElement inElement,
                                            AudioUnitParameterValue inValue,
                                            UInt32 inBufferOffsetInFrames);
PLATFORM_API OSStatus AudioUnitReset(AudioUnit unit, AudioUnitScope inScope,
                                     AudioUnitElement inElement);
PLATFORM_API OSStatus AudioUnitAddPropertyListener(AudioUnit unit, AudioUnitPropertyID inID,
                                                   AudioUnitPropertyListenerProc inProc,
                                                   void* inProcUserData);
PLATFORM_API OSStatus AudioUnitRemovePropertyListener(AudioUnit unit, AudioUnitPropertyID inID,
                                                      AudioUnitPropertyListenerProc inProc);
PLATFORM_API OSStatus AudioUnitRemovePropertyListenerWithUserData(
    AudioUnit unit, AudioUnitPropertyID inID, AudioUnitPropertyListenerProc inProc,
    void* inProcUserData);
PLATFORM_API OSStatus AudioUnitAddRenderNotify(AudioUnit unit, AURenderCallback inProc,
                                               void* inProcUserData);
PLATFORM_API OSStatus AudioUnitRemoveRenderNotify(AudioUnit unit, AURenderCallback inProc,
                                                  void* inProcUserData);
PLATFORM_API OSStatus AudioUnitScheduleParameters(AudioUnit unit,
                                                  const AudioUnitParameterEvent* inEvents,
                                                  UInt32 inNumEvents);
/* Calls an arbitrary selector with the given words (params[0] = last argument); for tests and
 * validators that probe selectors no named call reaches. */
PLATFORM_API OSStatus PlatformCallSelector(AudioComponentInstance instance, SInt16 selector,
                                           const intptr_t* params, UInt32 paramCount);

/* ---- saved state in files ---- */
/* Reads the unit's class-info (property 0) and writes it as an XML property list. */
PLATFORM_API OSStatus PlatformSaveClassInfoToFile(AudioUnit unit, const char* path, char* errorText,
                                                  size_t errorSize);
/* Reads an XML property list and sets it as the unit's class-info. */
PLATFORM_API OSStatus PlatformRestoreClassInfoFromFile(AudioUnit unit, const char* path,
                                                       char* errorText, size_t errorSize);

#ifdef __cplusplus
}
#endif

#endif
