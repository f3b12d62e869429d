/*
 * The host side of the component system: registering components, opening instances, and one
 * call per selector of the entry point. Every call builds the selector block (pointer-sized
 * words, last argument first) and returns the entry's status unchanged.
 *
 * Each call says which thread may make it and in which state: "[control thread]" is any host
 * thread that configures, never at the same time as another call on the same instance or a render
 * that the change affects; "[render thread]" is the one thread rendering the instance;
 * "[any thread]" needs no care. Registry calls take the registry's lock and may allocate; the
 * per-selector calls take no lock and allocate nothing of their own.
 */
#ifndef PLATFORM_HOST_H
#define PLATFORM_HOST_H

#include "Platform/Components.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- registry ---- */
/* [control thread] The registry copies desc; entry must stay callable until unregistered. */
PLATFORM_API AudioComponent PlatformRegisterComponent(const AudioComponentDescription* desc,
                                                      ComponentRoutine entry, UInt32 version);
/* [control thread] The library stays loaded for the life of the process.
 * Loads a component library (dlopen) and registers it with the codes, version and entry symbol
 * that its registration file (an XML property list) names. paramErr for a missing argument,
 * memFullErr, or kPlatformErr_Failed with a message naming the file and the problem in errorText
 * (which may be null); *outComponent is null on failure. */
PLATFORM_API OSStatus PlatformRegisterComponentLibrary(const char* libraryPath,
                                                       const char* registrationPath,
                                                       AudioComponent* outComponent,
                                                       char* errorText, size_t errorSize);
/* [control thread] Forgets a component; it stays describable until its last instance closes. */
PLATFORM_API void PlatformUnregisterComponent(AudioComponent component);
/* [control thread] The first registered component after `after` matching the non-zero fields of
 * desc, or null; the handle is borrowed from the registry. */
PLATFORM_API AudioComponent AudioComponentFindNext(AudioComponent after,
                                                   const AudioComponentDescription* desc);
/* [control thread] 0 for an unknown component. */
PLATFORM_API UInt32 PlatformComponentVersion(AudioComponent component);

/* ---- instances ---- */
/* [control thread] Open selector; the caller owns the instance and disposes of it. On failure
 * *outInstance is null and the entry's status is returned. */
PLATFORM_API OSStatus AudioComponentInstanceNew(AudioComponent component,
                                                AudioComponentInstance* outInstance);
/* [control thread, not rendering] Close selector, then the handle is forgotten. */
PLATFORM_API OSStatus AudioComponentInstanceDispose(AudioComponentInstance instance);
/* [any thread] Open instances in the whole process: tests prove that nothing is left open. */
PLATFORM_API long PlatformOpenInstanceCount(void);

/* ---- one call per selector ---- */
/* [any thread, open] Whether the unit serves selector: 1 or 0. */
PLATFORM_API OSStatus AudioComponentInstanceCanDo(AudioComponentInstance instance, SInt16 selector);
/* [any thread, open] The unit's version as the status. */
PLATFORM_API OSStatus AudioComponentInstanceVersion(AudioComponentInstance instance);
/* [control thread, any state] An initialized unit stays as it is. */
PLATFORM_API OSStatus AudioUnitInitialize(AudioUnit unit);
/* [control thread, not rendering] */
PLATFORM_API OSStatus AudioUnitUninitialize(AudioUnit unit);
/* [control thread, any state] Either out pointer may be null. */
PLATFORM_API OSStatus AudioUnitGetPropertyInfo(AudioUnit unit, AudioUnitPropertyID inID,
                                               AudioUnitScope inScope, AudioUnitElement inElement,
                                               UInt32* outDataSize, Boolean* outWritable);
/* [control thread, the state the property allows] inData stays the caller's; the unit copies or
 * retains what it keeps. */
PLATFORM_API OSStatus AudioUnitSetProperty(AudioUnit unit, AudioUnitPropertyID inID,
                                           AudioUnitScope inScope, AudioUnitElement inElement,
                                           const void* inData, UInt32 inDataSize);
/* [control thread, the state the property allows] The set-property selector with no data. */
PLATFORM_API OSStatus AudioUnitRemovePropertyValue(AudioUnit unit, AudioUnitPropertyID inID,
                                                   AudioUnitScope inScope,
                                                   AudioUnitElement inElement);
/* [any thread, any state] */
PLATFORM_API OSStatus AudioUnitGetParameter(AudioUnit unit, AudioUnitParameterID inID,
                                            AudioUnitScope inScope, AudioUnitElement inElement,
                                            AudioUnitParameterValue* outValue);
/* [any thread, any state] The render thread sees the value at its next slice. */
PLATFORM_API OSStatus AudioUnitSetParameter(AudioUnit unit, AudioUnitParameterID inID,
                                            AudioUnitScope inScope, AudioUnitElement inElement,
                                            AudioUnitParameterValue inValue,
                                            UInt32 inBufferOffsetInFrames);
/* [control thread, any state, not rendering] Clears the unit's rendering history. */
PLATFORM_API OSStatus AudioUnitReset(AudioUnit unit, AudioUnitScope inScope,
                                     AudioUnitElement inElement);
/* [control thread, any state] The caller keeps owning inProcUserData and keeps it alive until it
 * removes the listener or disposes of the instance. */
PLATFORM_API OSStatus AudioUnitAddPropertyListener(AudioUnit unit, AudioUnitPropertyID inID,
                                                   AudioUnitPropertyListenerProc inProc,
                                                   void* inProcUserData);
/* [control thread, any state] Matches inProc only, whatever its user data. */
PLATFORM_API OSStatus AudioUnitRemovePropertyListener(AudioUnit unit, AudioUnitPropertyID inID,
                                                      AudioUnitPropertyListenerProc inProc);
/* [control thread, any state] */
PLATFORM_API OSStatus AudioUnitRemovePropertyListenerWithUserData(
    AudioUnit unit, AudioUnitPropertyID inID, AudioUnitPropertyListenerProc inProc,
    void* inProcUserData);
/* [any thread, any state] Takes effect at the next render; inProcUserData stays the caller's. */
PLATFORM_API OSStatus AudioUnitAddRenderNotify(AudioUnit unit, AURenderCallback inProc,
                                               void* inProcUserData);
/* [any thread, any state] Takes effect at the next render. */
PLATFORM_API OSStatus AudioUnitRemoveRenderNotify(AudioUnit unit, AURenderCallback inProc,
                                                  void* inProcUserData);
/* [render thread, between renders] The unit copies the events; they apply to its next render. */
PLATFORM_API OSStatus AudioUnitScheduleParameters(AudioUnit unit,
                                                  const AudioUnitParameterEvent* inEvents,
                                                  UInt32 inNumEvents);
/* [the thread and state of the selector] Calls an arbitrary selector with the given words
 * (params[0] = last argument); for tests and validators that probe selectors no named call
 * reaches. */
PLATFORM_API OSStatus PlatformCallSelector(AudioComponentInstance instance, SInt16 selector,
                                           const intptr_t* params, UInt32 paramCount);

/* ---- saved state in files ---- */
/* [control thread, any state] Reads the unit's class-info (property 0) and writes it as an XML
 * property list. Statuses and messages as for PlatformPropertyListWriteFile, or the unit's
 * status when it hands out no state. */
PLATFORM_API OSStatus PlatformSaveClassInfoToFile(AudioUnit unit, const char* path, char* errorText,
                                                  size_t errorSize);
/* [control thread, any state] Reads an XML property list and sets it as the unit's class-info.
 * Statuses and messages as for PlatformPropertyListReadFile, or the unit's status when it
 * refuses the state. */
PLATFORM_API OSStatus PlatformRestoreClassInfoFromFile(AudioUnit unit, const char* path,
                                                       char* errorText, size_t errorSize);

#ifdef __cplusplus
}
#endif

#endif
