// PLACEHOLDER: replaced by the effect base.
#include "AUEffectBase.h"

Float64 AUKernelBase::GetSampleRate() { return mOwner->GetSampleRate(); }
AudioUnitParameterValue AUKernelBase::GetParameter(AudioUnitParameterID id) { return mOwner->GetParameter(id); }

AUEffectBase::AUEffectBase(ComponentInstance instance, bool inPlace) : AUBase(instance, 1, 1), mInPlace(inPlace) {}
AUEffectBase::~AUEffectBase() { Cleanup(); }
OSStatus AUEffectBase::Initialize() { MaintainKernels(); return noErr; }
void AUEffectBase::Cleanup() {
    for (AUKernelBase* kernel : mKernels) delete kernel;
    mKernels.clear();
}
OSStatus AUEffectBase::Reset(AudioUnitScope scope, AudioUnitElement element) {
    for (AUKernelBase* kernel : mKernels) if (kernel) kernel->Reset();
    return AUBase::Reset(scope, element);
}
OSStatus AUEffectBase::GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, UInt32& size, Boolean& writable) {
    return AUBase::GetPropertyInfo(id, scope, element, size, writable);
}
OSStatus AUEffectBase::GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, void* data) {
    return AUBase::GetProperty(id, scope, element, data);
}
OSStatus AUEffectBase::SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, const void* data, UInt32 size) {
    return AUBase::SetProperty(id, scope, element, data, size);
}
bool AUEffectBase::StreamFormatWritable(AudioUnitScope, AudioUnitElement) { return !IsInitialized(); }
OSStatus AUEffectBase::ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element, const CAStreamBasicDescription& prev, const CAStreamBasicDescription& next) {
    return AUBase::ChangeStreamFormat(scope, element, prev, next);
}
void AUEffectBase::SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value) { Globals()->SetParameter(id, value); }
AudioUnitParameterValue AUEffectBase::GetParameter(AudioUnitParameterID id) { return Globals()->GetParameter(id); }
Float64 AUEffectBase::GetSampleRate() { return GetOutput(0)->GetStreamFormat().mSampleRate; }
UInt32 AUEffectBase::GetNumberOfChannels() { return GetOutput(0)->GetStreamFormat().mChannelsPerFrame; }
void AUEffectBase::MaintainKernels() {
    const UInt32 n = GetNumberOfChannels();
    while (mKernels.size() < n) mKernels.push_back(NewKernel());
    for (UInt32 i = 0; i < n; ++i) if (mKernels[i]) mKernels[i]->SetChannelNum(i);
}
