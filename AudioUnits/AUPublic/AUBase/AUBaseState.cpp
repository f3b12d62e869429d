// PLACEHOLDER: replaced by saved state.
#include "AUBase.h"

OSStatus AUBase::SaveState(CFPropertyListRef*) { return kAudioUnitErr_InvalidProperty; }
OSStatus AUBase::RestoreState(CFPropertyListRef) { return kAudioUnitErr_InvalidProperty; }
void AUBase::AddNumToDictionary(CFMutableDictionaryRef, CFStringRef, SInt32) {}
bool AUBase::SetAFactoryPresetAsCurrent(const AUPreset&) { return false; }
void AUElement::SaveState(CFMutableDataRef) {}
const UInt8* AUElement::RestoreState(const UInt8* state, const UInt8*) { return state; }
void AUScope::AddElementNamesToDict(CFMutableDictionaryRef) {}
bool AUScope::RestoreElementNames(CFDictionaryRef) { return false; }
