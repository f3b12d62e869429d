#include "RenderCommand.h"

#include "AudioFile.h"
#include "ClipMeter.h"
#include "ParameterSettings.h"
#include "Progress.h"
#include "QuenzalHost.h"
#include "VoicingSettings.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <thread>
#include <vector>

namespace quenzal {
namespace {

namespace fs = std::filesystem;

constexpr unsigned kMostBlockFrames = 65536;
constexpr unsigned kMostJobs = 256;
// Longer than any reverberation; a larger answer is a unit's mistake, not a tail to render.
constexpr double kMostTailSeconds = 3600;

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
    ApplyParameterSettings(unit, options.settings);
    unit.SetBypass(options.bypass);
    unit.Initialize();
    unit.Reset();
}

// A unit that answers the tail-time query with "no such property" has no tail to append.
sf_count_t TailFrames(const Unit& unit, const RenderOptions& options, int sampleRate) {
    if (options.noTail) {
        return 0;
    }
    Float64 seconds = 0;
    const OSStatus status =
        unit.GetProperty(kAudioUnitProperty_TailTime, kAudioUnitScope_Global, 0, seconds);
    if (status == kAudioUnitErr_InvalidProperty) {
        return 0;
    }
    hosting::Check(status, "reading the tail time");
    if (!(seconds >= 0 && seconds <= kMostTailSeconds)) {
        throw HostError("the unit reports a tail of " + std::to_string(seconds) +
                        " s; render it with --no-tail");
    }
    return static_cast<sf_count_t>(std::ceil(seconds * sampleRate));
}

// Renders the chunk's frames in slices of at most `block` frames, then writes the chunk.
void RenderChunk(Unit& unit, ChunkStream& stream, AudioWriter& writer, ClipMeter& clips,
                 UInt32 frames, UInt32 block) {
    for (UInt32 start = 0; start < frames; start += block) {
        const UInt32 slice = std::min(block, frames - start);
        stream.StartSliceAt(start);
        const float* const* rendered = unit.RenderInUnitBuffers(slice);
        if (std::any_of(rendered, rendered + unit.Channels(),
                        [](const float* channel) { return channel == nullptr; })) {
            throw HostError("rendering: the unit reported success but handed back no audio");
        }
        stream.InterleaveOutput(slice, rendered);
    }
    clips.Measure(stream.Output(), frames);
    writer.Write(stream.Output(), frames);
}

void CheckBlock(const RenderOptions& options) {
    // The chunk buffers are allocated up front, so an absurd size would exhaust memory.
    if (options.block == 0 || options.block > kMostBlockFrames) {
        throw HostError("--block: " + std::to_string(options.block) + " frames is outside 1 to " +
                        std::to_string(kMostBlockFrames));
    }
}

// Voices one file into output; a null progress shows a bar of its own for a long file.
ClipMeter RenderFile(AudioComponent component, const RenderOptions& options,
                     const std::string& input, const std::string& output, Progress* shared) {
    AudioReader reader(input);
    const int outputFormat = ChooseOutputFormat(reader.Format(), options.format, output);
    Unit unit(component);
    const UInt32 chunk = ChunkFramesFor(options.block);
    ChunkStream stream(static_cast<UInt32>(reader.Channels()), chunk);
    Configure(unit, options, reader, stream);

    const sf_count_t tailFrames = TailFrames(unit, options, reader.SampleRate());
    AudioWriter writer(output, outputFormat, reader.Channels(), reader.SampleRate());
    std::unique_ptr<Progress> own;
    if (shared == nullptr) {
        own = std::make_unique<Progress>("render " + input, reader.Frames() + tailFrames,
                                         !options.quiet &&
                                             reader.Frames() > 10 * reader.SampleRate());
    }
    Progress& progress = shared != nullptr ? *shared : *own;
    ClipMeter clips(reader.Channels());
    while (const sf_count_t read = reader.Read(stream.Input(), chunk)) {
        RenderChunk(unit, stream, writer, clips, static_cast<UInt32>(read), options.block);
        progress.Advance(read);
    }
    stream.SilenceInput();
    for (sf_count_t left = tailFrames; left > 0;) {
        const auto frames = static_cast<UInt32>(std::min<sf_count_t>(left, chunk));
        RenderChunk(unit, stream, writer, clips, frames, options.block);
        progress.Advance(frames);
        left -= frames;
    }
    writer.Commit();
    return ClipsAtFullScale(outputFormat) ? clips : ClipMeter(reader.Channels());
}

// The clip warning for output, empty when nothing clipped.
std::string ClipReport(const ClipMeter& clips, const std::string& output, bool failOnClip) {
    const std::string warning = clips.Warning();
    if (warning.empty()) {
        return "";
    }
    return output + ": " + warning + (failOnClip ? " (--fail-on-clip: the file was written)" : "");
}

// One input of a batch: where it goes, and why it is refused before any work, if it is.
struct BatchFile {
    std::string input;
    std::string output;
    std::string refusal;
    std::string problem; // the failure or the clip report, after rendering
    bool failed = false;
};

fs::path Canonical(const std::string& path) {
    std::error_code ignored;
    return fs::weakly_canonical(path, ignored);
}

// Each input's output in the folder under the input's own name. An output that would replace its
// input, or one another input already writes, is refused: either would lose audio.
std::vector<BatchFile> PlanBatch(const RenderOptions& options) {
    std::vector<BatchFile> files;
    std::map<fs::path, std::string> writers;
    for (const std::string& input : options.files) {
        BatchFile file;
        file.input = input;
        file.output = (fs::path(options.outDir) / fs::path(input).filename()).string();
        const fs::path target = Canonical(file.output);
        std::error_code ignored;
        if (target == Canonical(input) || fs::equivalent(input, file.output, ignored)) {
            file.refusal = input + ": refused: its output would replace it (choose another "
                                   "--out-dir)";
        } else if (const auto [first, added] = writers.emplace(target, input); !added) {
            file.refusal = input + ": refused: " + first->second + " already writes " + file.output;
        }
        files.push_back(std::move(file));
    }
    return files;
}

sf_count_t TotalFrames(const std::vector<BatchFile>& files) {
    sf_count_t total = 0;
    for (const BatchFile& file : files) {
        try {
            total += AudioReader(file.input).Frames();
        } catch (const HostError&) {
            // Counted as nothing: the file fails, and says why, when its turn comes.
        }
    }
    return total;
}

void RenderBatchFile(AudioComponent component, const RenderOptions& options, BatchFile& file,
                     Progress& progress) {
    if (!file.refusal.empty()) {
        file.problem = file.refusal;
        file.failed = true;
        return;
    }
    try {
        file.problem =
            ClipReport(RenderFile(component, options, file.input, file.output, &progress),
                       file.output, options.failOnClip);
        file.failed = !file.problem.empty() && options.failOnClip;
    } catch (const std::exception& error) {
        const std::string message = error.what();
        file.problem = message.rfind(file.input, 0) == 0 ? message : file.input + ": " + message;
        file.failed = true;
    }
}

// The files in input order, each by whichever worker takes it next; every worker has units of
// its own, so nothing is shared but the progress line.
void RenderInParallel(AudioComponent component, const RenderOptions& options,
                      std::vector<BatchFile>& files) {
    Progress progress("render " + std::to_string(files.size()) + " files", TotalFrames(files),
                      !options.quiet);
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i = next++; i < files.size(); i = next++) {
            RenderBatchFile(component, options, files[i], progress);
        }
    };
    std::vector<std::jthread> workers;
    for (unsigned j = 1; j < std::min<size_t>(options.jobs, files.size()); ++j) {
        workers.emplace_back(work);
    }
    work();
}

} // namespace

void RunRender(const RenderOptions& options) {
    CheckBlock(options);
    const AudioComponent component = RegisterComponent(FindComponent(options.component));
    const std::string clipped =
        ClipReport(RenderFile(component, options, options.input, options.output, nullptr),
                   options.output, options.failOnClip);
    if (!clipped.empty() && options.failOnClip) {
        throw HostError(clipped);
    }
    if (!clipped.empty()) {
        std::fprintf(stderr, "quenzal: warning: %s\n", clipped.c_str());
    }
}

int RunRenderBatch(const RenderOptions& options) {
    CheckBlock(options);
    if (options.jobs == 0 || options.jobs > kMostJobs) {
        throw HostError("-j: " + std::to_string(options.jobs) + " workers is outside 1 to " +
                        std::to_string(kMostJobs));
    }
    const AudioComponent component = RegisterComponent(FindComponent(options.component));
    std::error_code ignored; // a folder that cannot be made fails each file, naming it
    fs::create_directories(options.outDir, ignored);
    std::vector<BatchFile> files = PlanBatch(options);
    RenderInParallel(component, options, files);

    size_t failed = 0;
    for (const BatchFile& file : files) {
        if (!file.problem.empty()) {
            std::fprintf(stderr, "quenzal: %s%s\n",
                         file.failed ? "" : "warning: ", file.problem.c_str());
        }
        failed += file.failed ? 1 : 0;
    }
    std::printf("rendered %zu of %zu files into %s", files.size() - failed, files.size(),
                options.outDir.c_str());
    std::printf(failed == 0 ? "\n" : "; %zu failed\n", failed);
    return failed == 0 ? 0 : 1;
}

} // namespace quenzal
