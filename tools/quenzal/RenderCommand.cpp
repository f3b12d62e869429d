#include "RenderCommand.h"

#include "AudioFile.h"
#include "HostedUnit.h"
#include "Progress.h"
#include "VoicingSettings.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace quenzal {
namespace {

constexpr unsigned kMostBlockFrames = 65536;

// Moves samples between the file's interleaved blocks and the unit's channel buffers: one
// deinterleave into the unit's input buffers when it pulls its input, and one interleave out of
// the buffers it rendered in, which is all that interleaved file I/O requires. The block buffers
// are made once, so the memory used does not depend on the file's length.
class BlockStream {
public:
    BlockStream(UInt32 channels, UInt32 block)
        : mChannels(channels), mInterleavedIn(size_t(channels) * block),
          mInterleavedOut(size_t(channels) * block) {}

    float* Input() { return mInterleavedIn.data(); }
    const float* Output() const { return mInterleavedOut.data(); }

    // Called by the unit's input pull: the current block, deinterleaved into the unit's buffers.
    static void Fill(void* context, UInt32 frames, float* const* channels) {
        auto* self = static_cast<BlockStream*>(context);
        const float* source = self->mInterleavedIn.data();
        for (UInt32 c = 0; c < self->mChannels; ++c) {
            float* destination = channels[c];
            for (UInt32 i = 0; i < frames; ++i) {
                destination[i] = source[size_t(i) * self->mChannels + c];
            }
        }
    }

    void SilenceInput() { std::fill(mInterleavedIn.begin(), mInterleavedIn.end(), 0.0f); }

    void InterleaveOutput(UInt32 frames, const float* const* channels) {
        for (UInt32 c = 0; c < mChannels; ++c) {
            const float* source = channels[c];
            for (UInt32 i = 0; i < frames; ++i) {
                mInterleavedOut[size_t(i) * mChannels + c] = source[i];
            }
        }
    }

private:
    UInt32 mChannels;
    std::vector<float> mInterleavedIn;
    std::vector<float> mInterleavedOut;
};

void Configure(HostedUnit& unit, const RenderOptions& options, const AudioReader& reader,
               BlockStream& stream) {
    unit.SetStreamFormat(static_cast<UInt32>(reader.Channels()), reader.SampleRate());
    unit.SetMaxFramesPerSlice(options.block);
    unit.SetInput(&BlockStream::Fill, &stream);
    if (!options.stateFile.empty()) {
        unit.RestoreStateFile(options.stateFile);
    }
    ApplyVoicing(unit, options.speaker, options.volume);
    unit.SetBypass(options.bypass);
    unit.Initialize();
    unit.Reset();
}

void RenderBlock(HostedUnit& unit, BlockStream& stream, AudioWriter& writer, UInt32 frames) {
    stream.InterleaveOutput(frames, unit.RenderInUnitBuffers(frames));
    writer.Write(stream.Output(), frames);
}

} // namespace

void RunRender(const RenderOptions& options) {
    // The block buffers are allocated up front, so an absurd size would exhaust memory.
    if (options.block == 0 || options.block > kMostBlockFrames) {
        throw HostError("--block: " + std::to_string(options.block) + " frames is outside 1 to " +
                        std::to_string(kMostBlockFrames));
    }
    AudioReader reader(options.input);
    const int outputFormat = ChooseOutputFormat(reader.Format(), options.format, options.output);
    HostedUnit unit(RegisterComponent(FindComponent(options.component)));
    BlockStream stream(static_cast<UInt32>(reader.Channels()), options.block);
    Configure(unit, options, reader, stream);

    const sf_count_t tailFrames =
        options.noTail ? 0
                       : static_cast<sf_count_t>(std::ceil(unit.TailTime() * reader.SampleRate()));
    AudioWriter writer(options.output, outputFormat, reader.Channels(), reader.SampleRate());
    Progress progress("render " + options.input, reader.Frames() + tailFrames,
                      !options.quiet && reader.Frames() > 10 * reader.SampleRate());

    while (const sf_count_t read = reader.Read(stream.Input(), options.block)) {
        RenderBlock(unit, stream, writer, static_cast<UInt32>(read));
        progress.Advance(read);
    }
    stream.SilenceInput();
    for (sf_count_t left = tailFrames; left > 0;) {
        const auto frames = static_cast<UInt32>(std::min<sf_count_t>(left, options.block));
        RenderBlock(unit, stream, writer, frames);
        progress.Advance(frames);
        left -= frames;
    }
    writer.Commit();
}

} // namespace quenzal
