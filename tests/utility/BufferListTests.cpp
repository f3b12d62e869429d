#include "AUBuffer.h"
#include "CAException.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <string>

namespace {

CAStreamBasicDescription Canonical(UInt32 channels, bool interleaved = false) {
    CAStreamBasicDescription format;
    format.SetAUCanonical(channels, interleaved);
    return format;
}
CAStreamBasicDescription FrameBytes(CAStreamBasicDescription format, UInt32 bytes) {
    format.mBytesPerFrame = bytes;
    return format;
}

const CAStreamBasicDescription kStereo = Canonical(2);
const CAStreamBasicDescription kInterleavedStereo = Canonical(2, true);
alignas(16) Byte gHostMemory[8192];
float gCallerSamples[2][3];

// A caller's list with room for four buffers.
struct CallerList {
    UInt32 mNumberBuffers = 0;
    AudioBuffer mBuffers[4] = {};
    AudioBufferList& list() { return reinterpret_cast<AudioBufferList&>(*this); }
};

CallerList ListOf(std::initializer_list<float*> data, UInt32 bytes = 12) {
    CallerList caller;
    for (float* samples : data) {
        caller.mBuffers[caller.mNumberBuffers++] = AudioBuffer{1, bytes, samples};
    }
    return caller;
}

TEST(BufferList, PreparedBuffersAreStridedBy16ByteMultiples) {
    struct Case {
        CAStreamBasicDescription format;
        UInt32 frames, byteCapacity, stride;
    };
    for (const Case& c : {Case{kStereo, 512, 4096, 2048}, Case{kStereo, 3, 32, 16},
                          Case{kInterleavedStereo, 100, 800, 800}}) {
        AUBufferList buffers;
        buffers.Allocate(c.format, c.frames);
        EXPECT_EQ(buffers.GetByteCapacity(), c.byteCapacity);
        const AudioBufferList& list = buffers.PrepareBuffer(c.format, c.frames);
        ASSERT_EQ(list.mNumberBuffers, c.format.NumberChannelStreams());
        for (UInt32 i = 0; i < list.mNumberBuffers; ++i) {
            const AudioBuffer& buffer = (&list.mBuffers[0])[i];
            EXPECT_EQ(buffer.mNumberChannels, c.format.NumberInterleavedChannels());
            EXPECT_EQ(buffer.mDataByteSize, c.frames * c.format.mBytesPerFrame);
            EXPECT_EQ(buffer.mData, buffers.GetSampleMemory() + i * c.stride);
        }
    }
}

TEST(BufferList, MemoryOnlyGrowsAndNeverBeyond32Bits) {
    for (const auto& [format, frames] :
         {std::pair{kStereo, 100u}, std::pair{kStereo, 0x40000000u},
          std::pair{kInterleavedStereo, 0x20000000u}, std::pair{Canonical(0x80000000u), 4u}}) {
        AUBufferList buffers;
        buffers.Allocate(kStereo, 512);
        const Byte* memory = buffers.GetSampleMemory();
        if (frames == 100) {
            buffers.Allocate(format, frames);
        } else {
            EXPECT_THROW(buffers.Allocate(format, frames), std::bad_alloc);
        }
        EXPECT_EQ(buffers.GetSampleMemory(), memory);
        EXPECT_EQ(buffers.GetByteCapacity(), 4096u);
        EXPECT_EQ(buffers.GetFrameCapacity(), frames == 100 ? 100u : 512u);
    }
}

TEST(BufferList, FailuresReportTheirStatusAndLeaveTheRecordAlone) {
    using Step = std::function<void(AUBufferList&)>;
    const Step never = [](AUBufferList&) {};
    const Step upstream = [](AUBufferList& b) { // no frame check: upstream has the memory
        b.Allocate(kStereo, 512);
        b.PrepareNullBuffer(kStereo, 5000);
    };
    const Step deallocated = [&](AUBufferList& b) { upstream(b), b.Deallocate(); };
    // The stride of 4 buffers at this frame capacity would wrap to 0 bytes.
    const Step noBytes = [](AUBufferList& b) { b.Allocate(FrameBytes(Canonical(4), 0), 1u << 31); };
    // Frame capacity 6 in 48 bytes: the 32-byte stride of 2 buffers does not fit.
    const Step smallHost = [](AUBufferList& b) {
        b.Allocate(kStereo, 3);
        b.UseExternalBuffer(kStereo, AudioUnitExternalBuffer{gHostMemory, 48});
        b.SetBufferList(ListOf({gCallerSamples[0], gCallerSamples[1]}).list());
    };
    const std::string tooMany = "kAudioUnitErr_TooManyFramesToProcess\n";
    const std::string notSupported = "kAudioUnitErr_FormatNotSupported\n";
    struct Case {
        Step setup, action;
        OSStatus status;
        std::string message;
    };
    // clang-format off
    const Case cases[] = {
        {upstream, [](auto& b) { b.PrepareBuffer(kStereo, 513); }, -10874, tooMany},
        {upstream, [](auto& b) { b.PrepareBuffer(Canonical(6), 8); }, -10868, notSupported},
        {upstream, [](auto& b) { b.PrepareNullBuffer(Canonical(6), 8); }, -10868, notSupported},
        {upstream, [](auto& b) { b.SetBufferList(ListOf({0, 0, 0}).list()); }, -1, ""},
        {never, [](auto& b) { b.PrepareBuffer(kStereo, 1); }, -10874, tooMany},
        {never, [](auto& b) { b.PrepareBuffer(kInterleavedStereo, 0); }, -10868, notSupported},
        {never, [](auto& b) { b.PrepareNullBuffer(Canonical(0), 8); }, -10868, notSupported},
        {never, [](auto& b) { b.SetBufferList(ListOf({}).list()); }, -1, ""},
        {deallocated, [](auto& b) { b.GetBufferList(); }, -1, ""},
        {deallocated, [](auto& b) { b.CopyBufferListTo(ListOf({}).list()); }, -1, ""},
        {deallocated, [](auto& b) { b.CopyBufferContentsTo(ListOf({}).list()); }, -1, ""},
        {noBytes, [](auto& b) { b.PrepareBuffer(FrameBytes(Canonical(4), 1u << 31), 1); }, -10874, tooMany},
        {smallHost, [](auto& b) { b.PrepareBuffer(kStereo, 3); }, -10874, tooMany},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        AUBufferList buffers;
        c.setup(buffers);
        const auto state = buffers.GetPointerState();
        const bool valid = state != AUBufferList::kPointersInvalid;
        const void* data = valid ? buffers.GetBufferList().mBuffers[0].mData : nullptr;
        testing::internal::CaptureStderr();
        EXPECT_EQ(CATrapStatus([&] { return c.action(buffers), OSStatus(noErr); }), c.status);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
        EXPECT_EQ(buffers.GetPointerState(), state);
        EXPECT_EQ(valid ? buffers.GetBufferList().mBuffers[0].mData : nullptr, data);
    }
}

TEST(BufferList, CopiesRepeatTheLastSourceBuffer) {
    AUBufferList buffers;
    buffers.Allocate(kStereo, 3);
    const AudioBufferList& mono = buffers.PrepareBuffer(Canonical(1), 3);
    static_cast<float*>(mono.mBuffers[0].mData)[2] = 3.0f;
    float left[3] = {}, right[3] = {};
    CallerList dest = ListOf({left, right}, 0);
    buffers.CopyBufferContentsTo(dest.list());
    EXPECT_EQ(left[2], 3.0f);
    EXPECT_EQ(right[2], 3.0f);
    EXPECT_EQ(dest.mBuffers[1].mDataByteSize, 12u);

    // Already the destination's memory: only the sizes are set.
    buffers.SetBufferList(dest.list());
    dest.mBuffers[0].mDataByteSize = 0;
    buffers.CopyBufferContentsTo(dest.list());
    EXPECT_EQ(dest.mBuffers[0].mDataByteSize, 12u);
    CallerList pointers = ListOf({nullptr, nullptr});
    buffers.CopyBufferListTo(pointers.list());
    EXPECT_EQ(pointers.mBuffers[1].mData, right);

    buffers.PrepareBuffer(Canonical(0), 3);
    buffers.CopyBufferContentsTo(dest.list());
    EXPECT_EQ(dest.mBuffers[1].mData, right);
}

TEST(BufferList, HostMemoryIsAdoptedOnlyWhenUsable) {
    struct Case {
        CAStreamBasicDescription format;
        Byte* memory;
        UInt32 size;
        bool adopted;
        UInt32 byteCapacity, frameCapacity;
    };
    // clang-format off
    for (const Case& c : {Case{kStereo, gHostMemory, 4096 + 15, true, 4096, 512},
                          Case{kStereo, gHostMemory, 4096 + 16, true, 4112, 514},
                          Case{kStereo, gHostMemory, 4095, false, 4096, 512},
                          Case{Canonical(0), gHostMemory, 8192, false, 4096, 512},
                          Case{FrameBytes(kStereo, 0), gHostMemory, 8192, false, 4096, 512},
                          Case{kStereo, nullptr, 8192, false, 4096, 512}}) {
        // clang-format on
        AUBufferList buffers;
        buffers.Allocate(kStereo, 512);
        buffers.PrepareBuffer(kStereo, 512);
        const Byte* own = buffers.GetSampleMemory();
        buffers.UseExternalBuffer(c.format, AudioUnitExternalBuffer{c.memory, c.size});
        EXPECT_EQ(buffers.IsMemoryExternal(), c.adopted) << c.size;
        EXPECT_EQ(buffers.GetSampleMemory(), c.adopted ? gHostMemory : own);
        EXPECT_EQ(buffers.GetByteCapacity(), c.byteCapacity);
        EXPECT_EQ(buffers.GetFrameCapacity(), c.frameCapacity);
        // An adopted buffer leaves the record pointing into memory that was just freed.
        EXPECT_EQ(buffers.GetPointerState() == AUBufferList::kPointersInvalid, c.adopted);
    }
}

TEST(BufferList, HostMemoryIsForgottenNeverFreed) {
    AUBufferList buffers;
    buffers.UseExternalBuffer(kStereo, AudioUnitExternalBuffer{gHostMemory, 4096});
    EXPECT_FALSE(buffers.IsMemoryExternal()) << "offered before any memory was allocated";
    buffers.Allocate(kStereo, 512);
    buffers.UseExternalBuffer(kStereo, AudioUnitExternalBuffer{gHostMemory, 4096});
    EXPECT_EQ(buffers.PrepareBuffer(kStereo, 512).mBuffers[0].mData, gHostMemory);
    buffers.Allocate(kStereo, 1024);
    EXPECT_NE(buffers.GetSampleMemory(), gHostMemory);
    buffers.UseExternalBuffer(kStereo, AudioUnitExternalBuffer{gHostMemory, 8192});
    buffers.Deallocate();
    EXPECT_EQ(buffers.GetSampleMemory(), nullptr);

    float samples[3] = {1.0f, 2.0f, 3.0f};
    AUBufferList::ZeroBuffer(ListOf({samples, nullptr}).list());
    EXPECT_EQ(samples[2], 0.0f) << "a buffer without memory is skipped";
}

} // namespace
