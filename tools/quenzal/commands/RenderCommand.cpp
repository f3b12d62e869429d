#include "RenderCommand.h"

#include "AudioFile.h"
#include "Progress.h"
#include "QuenzalHost.h"
#include "VoicingSettings.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace quenzal {
namespace {

constexpr unsigned kMostBlockFrames = 65536;

// File I/O goes in chunks of many render slices: a read and a write per slice would cost more
// system time than the voicing itself.
constexpr UInt32 kChunkFrames = 16384;

UInt32 ChunkFramesFor(UInt32 block) {
    return std::max(block, kChunkFrames / block * block);
}

// Moves samples between the file's interleaved chunks and the unit's channel buffers: one
// deinterleave of a slice into the unit's input buffers when it pulls its input, and one
// interleave out of the buffers it rendered in, which is all that interleaved file I/O requires.
// The chunk buffers are made once, so the memory used does not depend on the file's length.
class ChunkStream {
public:
    ChunkStream(UInt32 channels, UInt32 chunkFrames)
        : mChannels(channels), mInterleavedIn(size_t(channels) * chunkFrames),
          mInterleavedOut(size_t(channels) * chunkFrames) {}

    float* Input() { return mInterleavedIn.data(); }
    const float* Output() const { return mInterleavedOut.data(); }
    // The frame of the chunk where the slice being rendered starts.
    void StartSliceAt(UInt32 frame) { mSliceStart = frame; }

    // Called by the unit's input pull: the slice, deinterleaved into the unit's buffers.
    static void Fill(void* context, UInt32 frames, float* const* channels) {
        auto* self = static_cast<ChunkStream*>(context);
        const float* source =
            self->mInterleavedIn.data() + size_t(self->mSliceStart) * self->mChannels;
        for (UInt32 c = 0; c < self->mChannels; ++c) {
            float* destination = channels[c];
            for (UInt32 i = 0; i < frames; ++i) {
                destination[i] = source[size_t(i) * self->mChannels + c];
            }
        }
    }

    void SilenceInput() { std::fill(mInterleavedIn.begin(), mInterleavedIn.end(), 0.0f); }

    // The slice the unit rendered, interleaved into the output chunk.
    void InterleaveOutput(UInt32 frames, const float* const* channels) {
        float* destination = mInterleavedOut.data() + size_t(mSliceStart) * mChannels;
        for (UInt32 c = 0; c < mChannels; ++c) {
            const float* source = channels[c];
            for (UInt32 i = 0; i < frames; ++i) {
                destination[size_t(i) * mChannels + c] = source[i];
            }
        }
    }

private:
    UInt32 mChannels;
    UInt32 mSliceStart = 0;
    std::vector<float> mInterleavedIn;
    std::vector<float> mInterleavedOut;
};

void Configure(Unit& unit, const RenderOptions& options, const AudioReader& reader,
               ChunkStream& stream) {
    unit.SetStreamFormat(static_cast<UInt32>(reader.Channels()), reader.SampleRate());
    unit.SetMaxFramesPerSlice(options.block);
    unit.SetInput(&ChunkStream::Fill, &stream);
    if (!options.stateFile.empty()) {
        unit.RestoreStateFile(options.stateFile);
    }
    ApplyVoicing(unit, options.speaker, options.volume);
    unit.SetBypass(options.bypass);
    unit.Initialize();
    unit.Reset();
}

// Renders the chunk's frames in slices of at most `block` frames, then writes the chunk.
void RenderChunk(Unit& unit, ChunkStream& stream, AudioWriter& writer, UInt32 frames,
                 UInt32 block) {
    for (UInt32 start = 0; start < frames; start += block) {
        const UInt32 slice = std::min(block, frames - start);
        stream.StartSliceAt(start);
        stream.InterleaveOutput(slice, unit.RenderInUnitBuffers(slice));
    }
    writer.Write(stream.Output(), frames);
}

} // namespace

void RunRender(const RenderOptions& options) {
    // The chunk buffers are allocated up front, so an absurd size would exhaust memory.
    if (options.block == 0 || options.block > kMostBlockFrames) {
        throw HostError("--block: " + std::to_string(options.block) + " frames is outside 1 to " +
                        std::to_string(kMostBlockFrames));
    }
    AudioReader reader(options.input);
    const int outputFormat = ChooseOutputFormat(reader.Format(), options.format, options.output);
    Unit unit(RegisterComponent(FindComponent(options.component)));
    const UInt32 chunk = ChunkFramesFor(options.block);
    ChunkStream stream(static_cast<UInt32>(reader.Channels()), chunk);
    Configure(unit, options, reader, stream);

    const sf_count_t tailFrames =
        options.noTail ? 0
                       : static_cast<sf_count_t>(std::ceil(unit.TailTime() * reader.SampleRate()));
    AudioWriter writer(options.output, outputFormat, reader.Channels(), reader.SampleRate());
    Progress progress("render " + options.input, reader.Frames() + tailFrames,
                      !options.quiet && reader.Frames() > 10 * reader.SampleRate());

    while (const sf_count_t read = reader.Read(stream.Input(), chunk)) {
        RenderChunk(unit, stream, writer, static_cast<UInt32>(read), options.block);
        progress.Advance(read);
    }
    stream.SilenceInput();
    for (sf_count_t left = tailFrames; left > 0;) {
        const auto frames = static_cast<UInt32>(std::min<sf_count_t>(left, chunk));
        RenderChunk(unit, stream, writer, frames, options.block);
        progress.Advance(frames);
        left -= frames;
    }
    writer.Commit();
}

} // namespace quenzal
