// PLACEHOLDER: replaced by the selector layer.
#include "AUBase.h"

OSStatus AUBase::ComponentEntryDispatch(ComponentParameters*, AUBase*) { return badComponentSelector; }
OSStatus ComponentBase::ComponentEntryDispatch(ComponentParameters*, ComponentBase*) { return badComponentSelector; }

extern "C" {
OSStatus AudioUnitBaseGetParameter(void*, AudioUnitParameterID, AudioUnitScope, AudioUnitElement,
                                   AudioUnitParameterValue*) { return -4; }
OSStatus AudioUnitBaseSetParameter(void*, AudioUnitParameterID, AudioUnitScope, AudioUnitElement,
                                   AudioUnitParameterValue, UInt32) { return -4; }
OSStatus AudioUnitBaseRender(void*, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                             UInt32, AudioBufferList*) { return -4; }
}
