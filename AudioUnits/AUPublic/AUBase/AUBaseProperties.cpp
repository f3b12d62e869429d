// PLACEHOLDER: replaced by the property dispatch.
#include "AUBase.h"

OSStatus AUBase::DispatchGetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, UInt32& size, Boolean& writable) { return GetPropertyInfo(id, scope, element, size, writable); }
OSStatus AUBase::DispatchGetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, void* data) { return GetProperty(id, scope, element, data); }
OSStatus AUBase::DispatchSetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, const void* data, UInt32 size) { return SetProperty(id, scope, element, data, size); }
OSStatus AUBase::DispatchRemovePropertyValue(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element) { return RemovePropertyValue(id, scope, element); }
bool AUBase::IsStreamFormatWritable(AudioUnitScope, AudioUnitElement) { return false; }
bool AUBase::HasIcon() { return false; }
OSStatus AUBase::GetPropertyInfo(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, UInt32&, Boolean&) { return kAudioUnitErr_InvalidProperty; }
OSStatus AUBase::GetProperty(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, void*) { return kAudioUnitErr_InvalidProperty; }
OSStatus AUBase::SetProperty(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement, const void*, UInt32) { return kAudioUnitErr_InvalidProperty; }
OSStatus AUBase::RemovePropertyValue(AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) { return kAudioUnitErr_InvalidPropertyValue; }
OSStatus AUBase::GetPresets(CFArrayRef*) const { return kAudioUnitErr_InvalidProperty; }
OSStatus AUBase::NewFactoryPresetSet(const AUPreset&) { return kAudioUnitErr_InvalidProperty; }
UInt32 AUBase::GetNumCustomUIComponents() { return 0; }
void AUBase::GetUIComponentDescs(ComponentDescription*) {}
CFTypeRef AUBase::CopyIconLocation() { return nullptr; }
