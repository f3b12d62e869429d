// What the end-to-end tests of quenzal share: running the built executable, a scratch folder per
// test, audio files made and read with libsndfile, and the voicing computed without the unit.
#pragma once

#include "Harwendel_QuenzalVoicing.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <filesystem>
#include <string>
#include <vector>

namespace clitest {

namespace fs = std::filesystem;

// The unit's names of its speaker models, in model order.
inline const char* const kModelNames[] = {"Guitar: warm", "Guitar: bright", "Guitar: full",
                                          "Bass: warm", "Bass: bright"};

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the quenzal under test with args; standard output and error are captured apart.
RunResult RunQuenzal(const std::vector<std::string>& args);

// A fresh folder for one test, removed with everything in it afterwards.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string Path(const std::string& name) const { return (mPath / name).string(); }
    // The names of the files in the folder, sorted.
    std::vector<std::string> Files() const;

private:
    fs::path mPath;
};

struct Audio {
    int rate = 48000;
    int channels = 1;
    int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    std::vector<float> samples; // interleaved

    sf_count_t Frames() const { return static_cast<sf_count_t>(samples.size()) / channels; }
};

void WriteAudio(const std::string& path, const Audio& audio);
Audio ReadAudio(const std::string& path);

// A few tones and some noise on every channel, different per channel, within [-0.8, 0.8].
Audio TestAudio(int rate, int channels, double seconds,
                int format = SF_FORMAT_WAV | SF_FORMAT_FLOAT);

// What `render` must produce: the voicing design and sample loop run over each channel, one call
// per render block as the unit makes them, followed by the tail of silence unless noTail.
std::vector<float> ReferenceRender(const Audio& input, int model, float volume, int block,
                                   bool noTail);

// Bit for bit.
bool SameSamples(const std::vector<float>& a, const std::vector<float>& b);

} // namespace clitest
