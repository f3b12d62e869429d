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

} // namespace
