// PLACEHOLDER: replaced by the effect's render path.
#include "AUEffectBase.h"

OSStatus AUEffectBase::Render(AudioUnitRenderActionFlags&, const AudioTimeStamp&, UInt32) { return -4; }
OSStatus AUEffectBase::ProcessScheduledSlice(void*, UInt32, UInt32, UInt32) { return noErr; }
OSStatus AUEffectBase::ProcessBufferLists(AudioUnitRenderActionFlags&, const AudioBufferList&, AudioBufferList&, UInt32) { return noErr; }
bool AUEffectBase::IsInputSilent(AudioUnitRenderActionFlags flags, UInt32) { return (flags & kAudioUnitRenderAction_OutputIsSilence) != 0; }
