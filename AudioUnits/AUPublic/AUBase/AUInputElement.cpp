// PLACEHOLDER: replaced by input connections and pulling.
#include "AUInputElement.h"

AUInputElement::AUInputElement(AUBase* audioUnit) : AUIOElement(audioUnit) {}
void AUInputElement::SetConnection(const AudioUnitConnection&) {}
void AUInputElement::SetInputCallback(AURenderCallback, void*) {}
void AUInputElement::Disconnect() { mInputKind = kInputNone; }
OSStatus AUInputElement::SetStreamFormat(const CAStreamBasicDescription& format) { return AUIOElement::SetStreamFormat(format); }
OSStatus AUInputElement::PullInput(AudioUnitRenderActionFlags&, const AudioTimeStamp&, AudioUnitElement, UInt32) { return kAudioUnitErr_NoConnection; }
OSStatus AUInputElement::PullInputWithBufferList(AudioUnitRenderActionFlags&, const AudioTimeStamp&, AudioUnitElement, UInt32, AudioBufferList*) { return kAudioUnitErr_NoConnection; }
