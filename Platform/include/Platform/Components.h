/*
 * The host component services that a unit calls: its instance storage, its own description,
 * and the two calls it makes on another unit (reading a property, rendering).
 */
#ifndef PLATFORM_COMPONENTS_H
#define PLATFORM_COMPONENTS_H

#include "Platform/AudioTypes.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Registers the unit object of an instance; every later entry call brings it back. */
PLATFORM_API OSStatus SetComponentInstanceStorage(ComponentInstance instance, void* storage);
/* The registered unit object, or null for an unknown instance. */
PLATFORM_API void* GetComponentInstanceStorage(ComponentInstance instance);

/* The component an instance was opened from, or null. */
PLATFORM_API AudioComponent AudioComponentInstanceGetComponent(AudioComponentInstance instance);
/* The five description words; -50 for a null or unknown component or a null out pointer. */
PLATFORM_API OSStatus AudioComponentGetDescription(AudioComponent component,
                                                   AudioComponentDescription* outDesc);

/* Reaches the target unit through its entry point with the get-property selector. */
PLATFORM_API OSStatus AudioUnitGetProperty(AudioUnit unit, AudioUnitPropertyID inID,
                                           AudioUnitScope inScope, AudioUnitElement inElement,
                                           void* outData, UInt32* ioDataSize);
/* Reaches the target unit through its entry point with the render selector. */
PLATFORM_API OSStatus AudioUnitRender(AudioUnit unit, AudioUnitRenderActionFlags* ioActionFlags,
                                      const AudioTimeStamp* inTimeStamp, UInt32 inOutputBusNumber,
                                      UInt32 inNumberFrames, AudioBufferList* ioData);

#ifdef __cplusplus
}
#endif

#endif
