/*
 * The host component services that a unit calls: its instance storage, its own description,
 * and the two calls it makes on another unit (reading a property, rendering). Threads and states
 * are named as in Host.h.
 */
#ifndef PLATFORM_COMPONENTS_H
#define PLATFORM_COMPONENTS_H

#include "Platform/AudioTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* [control thread, inside the open selector] Registers the unit object of an instance; every
 * later entry call brings it back. The unit keeps owning it; its close selector frees it. */
PLATFORM_API OSStatus SetComponentInstanceStorage(ComponentInstance instance, void* storage);
/* [any thread, open] The registered unit object (borrowed), or null for an unknown instance; no
 * lock or allocation, so a render may use it. */
PLATFORM_API void* GetComponentInstanceStorage(ComponentInstance instance);

/* [any thread, open] The component an instance was opened from (borrowed), or null. */
PLATFORM_API AudioComponent AudioComponentInstanceGetComponent(AudioComponentInstance instance);
/* [control thread] Takes the registry's lock. The five description words; -50 for a null or
 * unknown component or a null out pointer. */
PLATFORM_API OSStatus AudioComponentGetDescription(AudioComponent component,
                                                   AudioComponentDescription* outDesc);

/* [control thread, any state] Reaches the target unit through its entry point with the
 * get-property selector; outData is the caller's. */
PLATFORM_API OSStatus AudioUnitGetProperty(AudioUnit unit, AudioUnitPropertyID inID,
                                           AudioUnitScope inScope, AudioUnitElement inElement,
                                           void* outData, UInt32* ioDataSize);
/* [render thread, initialized] Reaches the target unit through its entry point with the render
 * selector. Null data pointers in ioData borrow the target's buffers until its next render. */
PLATFORM_API OSStatus AudioUnitRender(AudioUnit unit, AudioUnitRenderActionFlags* ioActionFlags,
                                      const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                                      UInt32 inNumberFrames, AudioBufferList* ioData);

#ifdef __cplusplus
}
#endif

#endif
