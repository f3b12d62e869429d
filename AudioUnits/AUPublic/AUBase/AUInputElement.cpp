#include "AUInputElement.h"

#include "Platform/Components.h"

namespace {

// A feed that answered success must leave one buffer per channel stream, each with memory that
// holds every frame asked for: the kernels read all of them without asking.
bool DeliversSamples(const AudioBufferList& list, const CAStreamBasicDescription& format,
                     UInt32 frames) {
    if (list.mNumberBuffers != format.NumberChannelStreams()) {
        return false;
    }
    const UInt64 bytesNeeded = UInt64{frames} * format.mBytesPerFrame;
    for (UInt32 i = 0; i < list.mNumberBuffers; ++i) {
        if (list.mBuffers[i].mData == nullptr || list.mBuffers[i].mDataByteSize < bytesNeeded) {
            return false;
        }
    }
    return true;
}

} // namespace

AUInputElement::AUInputElement(AUBase* audioUnit) : AUIOElement(audioUnit) {}

void AUInputElement::SetConnection(const AudioUnitConnection& connection) {
    if (connection.sourceAudioUnit == nullptr) {
        Disconnect();
        return;
    }
    // The fields are complete before the kind announces them to the render thread.
    mConnection = connection;
    mSourceRenderProc = nullptr;
    mInputKind.store(kInputFromConnection, std::memory_order_release);
    AllocateBuffer();

    // Pulling through the source's own render function skips its selector switch; a source that
    // does not hand one out is pulled through AudioUnitRender.
    AudioUnitRenderProc renderProc = nullptr;
    UInt32 size = sizeof(renderProc);
    if (AudioUnitGetProperty(connection.sourceAudioUnit, kAudioUnitProperty_FastDispatch,
                             kAudioUnitScope_Global, kAudioUnitRenderFastSelect, &renderProc,
                             &size) == noErr) {
        mSourceInstanceStorage = GetComponentInstanceStorage(connection.sourceAudioUnit);
        mSourceRenderProc = renderProc;
    }
}

void AUInputElement::SetInputCallback(AURenderCallback proc, void* refCon) {
    if (proc == nullptr) {
        Disconnect();
        return;
    }
    mCallback = proc;
    mCallbackRefCon = refCon;
    mInputKind.store(kInputFromCallback, std::memory_order_release);
    AllocateBuffer();
}

void AUInputElement::Disconnect() {
    mInputKind.store(kInputNone, std::memory_order_release);
    mIOBuffer.Deallocate();
}

OSStatus AUInputElement::SetStreamFormat(const CAStreamBasicDescription& format) {
    const OSStatus result = AUIOElement::SetStreamFormat(format);
    if (result == noErr) {
        AllocateBuffer();
    }
    return result;
}

OSStatus AUInputElement::PullInput(AudioUnitRenderActionFlags& ioActionFlags,
                                   const AudioTimeStamp& timeStamp, AudioUnitElement element,
                                   UInt32 frames) {
    const EInputType kind = InputKind();
    if (kind == kInputNone) {
        return kAudioUnitErr_NoConnection;
    }
    // A source unit supplies its own memory; so does a callback when this bus may not allocate.
    const bool feedSuppliesMemory = kind == kInputFromConnection || !WillAllocateBuffer();
    AudioBufferList& list = feedSuppliesMemory ? PrepareNullBuffer(frames) : PrepareBuffer(frames);
    const OSStatus result =
        PullInputWithBufferList(ioActionFlags, timeStamp, element, frames, &list);
    if (result == noErr && !DeliversSamples(list, mFormat, frames)) {
        return paramErr;
    }
    return result;
}

OSStatus AUInputElement::PullInputWithBufferList(AudioUnitRenderActionFlags& ioActionFlags,
                                                 const AudioTimeStamp& timeStamp,
                                                 AudioUnitElement element, UInt32 frames,
                                                 AudioBufferList* list) {
    OSStatus result;
    switch (InputKind()) {
    case kInputFromConnection:
        result = mSourceRenderProc != nullptr
                     ? mSourceRenderProc(mSourceInstanceStorage, &ioActionFlags, &timeStamp,
                                         mConnection.sourceOutputNumber, frames, list)
                     : AudioUnitRender(mConnection.sourceAudioUnit, &ioActionFlags, &timeStamp,
                                       mConnection.sourceOutputNumber, frames, list);
        break;
    case kInputFromCallback:
        result = mCallback(mCallbackRefCon, &ioActionFlags, &timeStamp, element, frames, list);
        break;
    default:
        return kAudioUnitErr_NoConnection;
    }
    // Nothing locks the feed: it may have been disconnected while it ran.
    return IsActive() ? result : kAudioUnitErr_NoConnection;
}
