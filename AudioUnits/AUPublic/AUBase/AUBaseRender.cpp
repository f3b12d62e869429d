// PLACEHOLDER: replaced by the render entry, scheduled events and input connections.
#include "AUBase.h"

OSStatus AUBase::ScheduleParameter(const AudioUnitParameterEvent*, UInt32) { return noErr; }
OSStatus AUBase::RenderBus(AudioUnitRenderActionFlags&, const AudioTimeStamp&, UInt32, UInt32) { return noErr; }
OSStatus AUBase::Render(AudioUnitRenderActionFlags&, const AudioTimeStamp&, UInt32) { return noErr; }
OSStatus AUBase::ProcessForScheduledParams(ParameterEventList&, UInt32, void*) { return noErr; }
OSStatus AUBase::ProcessScheduledSlice(void*, UInt32, UInt32, UInt32) { return noErr; }
OSStatus AUBase::SetConnection(const AudioUnitConnection&) { return noErr; }
OSStatus AUBase::SetInputCallback(UInt32, AudioUnitElement, AURenderCallback, void*) { return noErr; }
bool AUBase::HasInput(AudioUnitElement) { return false; }
OSStatus AUBase::DoRender(AudioUnitRenderActionFlags&, const AudioTimeStamp&, UInt32, UInt32, AudioBufferList&) { return -4; }
OSStatus AUBase::DoRenderBus(AudioUnitRenderActionFlags&, const AudioTimeStamp&, UInt32, AUOutputElement*, UInt32, AudioBufferList&) { return -4; }
bool AUBase::NeedsToRender(Float64) { return true; }
bool AUBase::SetRenderError(OSStatus error) { return error != noErr; }
void AUBase::SetWantsRenderThreadID(bool flag) { mRecordRenderThread = flag; }
OSStatus AUBase::SetRenderNotification(AURenderCallback, void*) { return noErr; }
OSStatus AUBase::RemoveRenderNotification(AURenderCallback, void*) { return noErr; }
void AUBase::CallRenderNotifications(AudioUnitRenderActionFlags, const AudioTimeStamp&, UInt32, UInt32, AudioBufferList&) {}
