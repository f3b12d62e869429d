#include "AUBuffer.h"

#include "CAAutoDisposer.h"
#include "CAException.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

namespace {

// Every buffer starts a multiple of 16 bytes into the sample memory.
constexpr std::uint64_t RoundUpTo16(std::uint64_t bytes) {
    return (bytes + 15) & ~std::uint64_t(15);
}

// Widened so that a host's frame or channel count cannot wrap the product into a small value.
std::uint64_t StreamStride(UInt32 frames, UInt32 bytesPerFrame) {
    return RoundUpTo16(std::uint64_t(frames) * bytesPerFrame);
}

// Whether streams buffers of stride bytes fit in capacity; the product itself could wrap.
bool FitsIn(std::uint64_t capacity, UInt32 streams, std::uint64_t stride) {
    return streams == 0 || stride <= capacity / streams;
}

// Sizes are kept in 32 bits; anything larger cannot be represented, so it cannot be allocated.
UInt32 SampleMemorySize(UInt32 streams, std::uint64_t stride) {
    if (!FitsIn(UINT32_MAX, streams, stride)) {
        throw std::bad_alloc();
    }
    return static_cast<UInt32>(streams * stride);
}

// The record for streams buffers; on a 32-bit target a huge count must not wrap the size.
std::size_t ListByteSize(UInt32 streams) {
    const std::size_t size = AudioBufferListByteSize(streams);
    if ((size - AudioBufferListByteSize(0)) / sizeof(AudioBuffer) != streams) {
        throw std::bad_alloc();
    }
    return size;
}

[[noreturn]] void FailWithMessage(const char* name, OSStatus status) {
    std::fprintf(stderr, "%s\n", name);
    CAThrowStatus(status);
}

[[noreturn]] void FailTooManyFrames() {
    FailWithMessage("kAudioUnitErr_TooManyFramesToProcess", kAudioUnitErr_TooManyFramesToProcess);
}

// The buffers a list for format needs, if the record has room for them.
UInt32 CheckedStreamCount(const AudioBufferList* list, UInt32 streamCapacity,
                          const CAStreamBasicDescription& format) {
    const UInt32 streams = format.NumberChannelStreams();
    // A list never allocated has no record to describe even one buffer.
    if (list == nullptr || streams > streamCapacity) {
        FailWithMessage("kAudioUnitErr_FormatNotSupported", kAudioUnitErr_FormatNotSupported);
    }
    return streams;
}

// Describes frames of format in list: buffer i at memory + i * stride, or null data when
// memory is null.
void FillRecord(AudioBufferList& list, Byte* memory, std::uint64_t stride,
                const CAStreamBasicDescription& format, UInt32 frames) {
    const UInt32 streams = format.NumberChannelStreams();
    list.mNumberBuffers = streams;
    AudioBuffer* buffers = list.mBuffers;
    for (UInt32 i = 0; i < streams; ++i) {
        buffers[i].mNumberChannels = format.NumberInterleavedChannels();
        buffers[i].mDataByteSize = frames * format.mBytesPerFrame;
        buffers[i].mData = memory == nullptr ? nullptr : memory + i * stride;
    }
}

constexpr OSStatus kPointersUnusable = -1;

} // namespace

AUBufferList::~AUBufferList() {
    Deallocate();
    std::free(mList);
}

void AUBufferList::Allocate(const CAStreamBasicDescription& format, UInt32 frames) {
    const UInt32 streams = format.NumberChannelStreams();
    const UInt32 size = SampleMemorySize(streams, StreamStride(frames, format.mBytesPerFrame));
    const std::size_t listSize = ListByteSize(streams);
    // CA_realloc frees the old block when it fails, so each block is detached before it is
    // reallocated: a failure then leaves an empty but consistent list behind.
    mPointerState = kPointersInvalid;
    if (streams > mStreamCapacity) {
        void* old = std::exchange(mList, nullptr);
        mStreamCapacity = 0;
        mList = static_cast<AudioBufferList*>(CA_realloc(old, listSize));
        mStreamCapacity = streams;
    }
    if (size > mByteCapacity) {
        // The host's memory is only forgotten, never reallocated.
        Byte* old = mMemoryIsExternal ? nullptr : mSampleMemory;
        mSampleMemory = nullptr;
        mMemoryIsExternal = false;
        mByteCapacity = 0;
        mSampleMemory = static_cast<Byte*>(CA_realloc(old, size));
        mByteCapacity = size;
    }
    mFrameCapacity = frames;
}

void AUBufferList::Deallocate() {
    mStreamCapacity = 0;
    mFrameCapacity = 0;
    mByteCapacity = 0;
    if (mSampleMemory != nullptr) {
        if (!std::exchange(mMemoryIsExternal, false)) {
            std::free(mSampleMemory);
        }
        mSampleMemory = nullptr;
    }
    mPointerState = kPointersInvalid;
}

AudioBufferList& AUBufferList::PrepareBuffer(const CAStreamBasicDescription& format,
                                             UInt32 frames) {
    if (frames > mFrameCapacity) {
        FailTooManyFrames();
    }
    const UInt32 streams = CheckedStreamCount(mList, mStreamCapacity, format);
    const std::uint64_t stride = StreamStride(mFrameCapacity, format.mBytesPerFrame);
    // Checked before the record is touched, so that a failure cannot leave a valid-looking
    // record pointing past the memory (possible after UseExternalBuffer).
    if (!FitsIn(mByteCapacity, streams, stride)) {
        FailTooManyFrames();
    }
    FillRecord(*mList, mSampleMemory, stride, format, frames);
    mPointerState = kPointersToOwnMemory;
    return *mList;
}

AudioBufferList& AUBufferList::PrepareNullBuffer(const CAStreamBasicDescription& format,
                                                 UInt32 frames) {
    CheckedStreamCount(mList, mStreamCapacity, format);
    FillRecord(*mList, nullptr, 0, format, frames);
    mPointerState = kPointersToExternalMemory;
    return *mList;
}

AudioBufferList& AUBufferList::SetBufferList(const AudioBufferList& list) {
    if (mList == nullptr || list.mNumberBuffers > mStreamCapacity) {
        CAThrowStatus(kPointersUnusable);
    }
    mPointerState = kPointersToExternalMemory;
    std::memcpy(mList, &list, AudioBufferListByteSize(list.mNumberBuffers));
    return *mList;
}

AudioBufferList& AUBufferList::GetBufferList() const {
    if (mPointerState == kPointersInvalid) {
        CAThrowStatus(kPointersUnusable);
    }
    return *mList;
}

void AUBufferList::CopyBufferListTo(AudioBufferList& dest) const {
    if (mPointerState == kPointersInvalid) {
        CAThrowStatus(kPointersUnusable);
    }
    std::memcpy(&dest, mList, AudioBufferListByteSize(dest.mNumberBuffers));
}

void AUBufferList::CopyBufferContentsTo(AudioBufferList& dest) const {
    if (mPointerState == kPointersInvalid) {
        CAThrowStatus(kPointersUnusable);
    }
    const UInt32 sourceCount = mList->mNumberBuffers;
    // With no source buffer there is nothing to repeat.
    if (sourceCount == 0) {
        return;
    }
    const AudioBuffer* sources = mList->mBuffers;
    AudioBuffer* destinations = dest.mBuffers;
    for (UInt32 i = 0; i < dest.mNumberBuffers; ++i) {
        const AudioBuffer& source = sources[i < sourceCount ? i : sourceCount - 1];
        AudioBuffer& destination = destinations[i];
        if (destination.mData != source.mData) {
            std::memmove(destination.mData, source.mData, source.mDataByteSize);
        }
        destination.mDataByteSize = source.mDataByteSize;
    }
}

void AUBufferList::UseExternalBuffer(const CAStreamBasicDescription& format,
                                     const AudioUnitExternalBuffer& buffer) {
    const UInt32 usable = buffer.size & ~UInt32(15);
    const std::uint64_t bytesPerFrame =
        std::uint64_t(format.NumberChannelStreams()) * format.mBytesPerFrame;
    // A format without bytes gives no frame capacity, and a null buffer is no memory at all.
    if (mSampleMemory == nullptr || usable < mByteCapacity || bytesPerFrame == 0 ||
        buffer.buffer == nullptr) {
        return;
    }
    if (!mMemoryIsExternal) {
        std::free(mSampleMemory);
    }
    mSampleMemory = buffer.buffer;
    mMemoryIsExternal = true;
    mByteCapacity = usable;
    mFrameCapacity = static_cast<UInt32>(usable / bytesPerFrame);
    // The record may still point into the memory just given up.
    mPointerState = kPointersInvalid;
}

void AUBufferList::ZeroBuffer(AudioBufferList& list) {
    AudioBuffer* buffers = list.mBuffers;
    for (UInt32 i = 0; i < list.mNumberBuffers; ++i) {
        // A null buffer is waiting for somebody else's memory; there is nothing to clear.
        if (buffers[i].mData != nullptr) {
            std::memset(buffers[i].mData, 0, buffers[i].mDataByteSize);
        }
    }
}
