// An input bus: remembers what feeds it (another unit or a host callback) and pulls from it.
#pragma once

#include "AUScopeElement.h"

#include <atomic>

class AUInputElement : public AUIOElement {
public:
    enum EInputType { kInputNone = 0, kInputFromConnection = 1, kInputFromCallback = 2 };

    explicit AUInputElement(AUBase* audioUnit);

    // [control thread] Feed from another unit; a null source disconnects.
    void SetConnection(const AudioUnitConnection& connection);
    // [control thread] Feed from a host function; a null function disconnects.
    void SetInputCallback(AURenderCallback proc, void* refCon);
    void Disconnect();

    bool HasConnection() const { return InputKind() == kInputFromConnection; }
    bool IsCallback() const { return InputKind() == kInputFromCallback; }
    bool IsActive() const { return InputKind() != kInputNone; }
    const AudioUnitConnection& GetConnection() const { return mConnection; }

    // [control thread] Adopts the format and reallocates.
    OSStatus SetStreamFormat(const CAStreamBasicDescription& format) override;
    // Only an input fed by a callback has sample memory of its own.
    bool NeedsBufferSpace() const override { return IsCallback(); }

    // [render thread] Pulls frames at timeStamp into this bus's buffer list.
    OSStatus PullInput(AudioUnitRenderActionFlags& ioActionFlags, const AudioTimeStamp& timeStamp,
                       AudioUnitElement element, UInt32 frames);
    OSStatus PullInputWithBufferList(AudioUnitRenderActionFlags& ioActionFlags,
                                     const AudioTimeStamp& timeStamp, AudioUnitElement element,
                                     UInt32 frames, AudioBufferList* list);

private:
    EInputType InputKind() const { return mInputKind.load(std::memory_order_acquire); }

    std::atomic<EInputType> mInputKind{kInputNone};
    AURenderCallback mCallback = nullptr;
    void* mCallbackRefCon = nullptr;
    AudioUnitConnection mConnection{};
    AudioUnitRenderProc mSourceRenderProc = nullptr;
    void* mSourceInstanceStorage = nullptr;
};
