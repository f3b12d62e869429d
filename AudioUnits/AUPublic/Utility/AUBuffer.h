// The owner of a bus's buffer-list record and its sample memory. The record can describe the
// list's own memory, somebody else's memory (or null pointers for an upstream unit to fill), or
// be invalid; the render path moves it between these states without allocating.
#pragma once

#include "CAStreamBasicDescription.h"

class AUBufferList {
public:
    enum EPtrState {
        kPointersInvalid = 0,
        kPointersToOwnMemory = 1,
        kPointersToExternalMemory = 2
    };

    AUBufferList() = default;
    ~AUBufferList();
    AUBufferList(const AUBufferList&) = delete;
    AUBufferList& operator=(const AUBufferList&) = delete;

    // Room for frames of format; memory never shrinks. [control thread]
    void Allocate(const CAStreamBasicDescription& format, UInt32 frames);
    void Deallocate();

    // Point the record at own memory / at null data pointers for frames of format. [render thread]
    AudioBufferList& PrepareBuffer(const CAStreamBasicDescription& format, UInt32 frames);
    AudioBufferList& PrepareNullBuffer(const CAStreamBasicDescription& format, UInt32 frames);
    AudioBufferList& SetBufferList(const AudioBufferList& list);
    AudioBufferList& GetBufferList() const;
    void CopyBufferListTo(AudioBufferList& dest) const;
    void CopyBufferContentsTo(AudioBufferList& dest) const;
    void InvalidateBufferList() { mPointerState = kPointersInvalid; }

    void UseExternalBuffer(const CAStreamBasicDescription& format,
                           const AudioUnitExternalBuffer& buffer);
    static void ZeroBuffer(AudioBufferList& list);

    EPtrState GetPointerState() const { return mPointerState; }
    bool IsMemoryExternal() const { return mMemoryIsExternal; }
    UInt32 GetStreamCapacity() const { return mStreamCapacity; }
    UInt32 GetFrameCapacity() const { return mFrameCapacity; }
    UInt32 GetByteCapacity() const { return mByteCapacity; }
    const Byte* GetSampleMemory() const { return mSampleMemory; }

private:
    EPtrState mPointerState = kPointersInvalid;
    bool mMemoryIsExternal = false;
    AudioBufferList* mList = nullptr;
    Byte* mSampleMemory = nullptr;
    UInt32 mStreamCapacity = 0;
    UInt32 mFrameCapacity = 0;
    UInt32 mByteCapacity = 0;
};
