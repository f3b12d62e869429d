#include "CliTestSupport.h"

#include "CAMath.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace clitest {
namespace {

std::string ReadWholeFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace

RunResult RunQuenzal(const std::vector<std::string>& args) {
    const ScratchFolder streams;
    const std::string out = streams.Path("stdout");
    const std::string err = streams.Path("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> words{QUENZAL_EXECUTABLE};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t child = 0;
    RunResult result;
    if (posix_spawn(&child, QUENZAL_EXECUTABLE, &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(child, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = ReadWholeFile(out);
    result.err = ReadWholeFile(err);
    return result;
}

ScratchFolder::ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "quenzal-cli-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a scratch folder: " + std::string(strerror(errno)));
    }
    mPath = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(mPath, ignored);
}

std::vector<std::string> ScratchFolder::Files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(mPath)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void WriteAudio(const std::string& path, const Audio& audio) {
    SF_INFO info{};
    info.samplerate = audio.rate;
    info.channels = audio.channels;
    info.format = audio.format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    ASSERT_NE(file, nullptr) << path << ": " << sf_strerror(nullptr);
    EXPECT_EQ(sf_writef_float(file, audio.samples.data(), audio.Frames()), audio.Frames());
    sf_close(file);
}

Audio ReadAudio(const std::string& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        ADD_FAILURE() << path << ": " << sf_strerror(nullptr);
        return {};
    }
    Audio audio{info.samplerate, info.channels, info.format, {}};
    audio.samples.resize(static_cast<size_t>(info.frames * info.channels));
    EXPECT_EQ(sf_readf_float(file, audio.samples.data(), info.frames), info.frames);
    sf_close(file);
    return audio;
}

Audio TestAudio(int rate, int channels, double seconds, int format) {
    Audio audio{rate, channels, format, {}};
    const auto frames = static_cast<size_t>(seconds * rate);
    audio.samples.resize(frames * static_cast<size_t>(channels));
    std::uint32_t noise = 12345;
    for (size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < channels; ++c) {
            noise = noise * 1664525u + 1013904223u;
            const double t = static_cast<double>(i) / rate;
            const double tones = 0.3 * std::sin(2 * M_PI * (110.0 * (c + 1)) * t) +
                                 0.2 * std::sin(2 * M_PI * 2500.0 * t + c);
            const double hiss = 0.2 * (static_cast<double>(noise >> 8) / (1 << 24) - 0.5);
            audio.samples[i * channels + c] = static_cast<float>(tones + hiss);
        }
    }
    return audio;
}

std::vector<float> ReferenceRender(const Audio& input, int model, float volume, int block,
                                   bool noTail) {
    using namespace quenzal_voicing;
    const auto rate = static_cast<float>(input.rate);
    Voicing voicing{};
    Design design{};
    Voice(voicing, model, rate);
    DesignCoefficients(design, voicing, rate);
    const double gain = VolumeGain(volume);
    const CADenormalsOff flushed; // the render entry's mode, so the tail matches

    const sf_count_t tail = noTail ? 0 : static_cast<sf_count_t>(std::ceil(0.5 * input.rate));
    const sf_count_t frames = input.Frames() + tail;
    std::vector<float> padded(input.samples);
    padded.resize(static_cast<size_t>(frames * input.channels), 0.0f);
    std::vector<float> output(padded.size());
    for (int c = 0; c < input.channels; ++c) {
        FilterState state{};
        // The render reads the file block by block, then renders the tail block by block.
        for (const auto& [first, count] :
             {std::pair{sf_count_t(0), input.Frames()}, std::pair{input.Frames(), tail}}) {
            for (sf_count_t done = 0; done < count; done += block) {
                const auto n =
                    static_cast<std::uint32_t>(std::min<sf_count_t>(block, count - done));
                const size_t at = static_cast<size_t>((first + done) * input.channels + c);
                ProcessSamples(design, state, padded.data() + at, output.data() + at, n,
                               static_cast<std::uint32_t>(input.channels), gain);
            }
        }
    }
    return output;
}

bool SameSamples(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

} // namespace clitest
