// Test files for the lilv tools and the verdict on their output.
//   wav-tool make PATH CHANNELS RATE FRAMES   a float WAV of a rising tone and noise
//   wav-tool same A B                          exit 0 when both hold the same samples, to the bit
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The file's samples, interleaved, and its shape in info; empty when it cannot be read.
std::vector<float> Read(const char* path, SF_INFO& info) {
    SNDFILE* file = sf_open(path, SFM_READ, &info);
    std::vector<float> samples(file ? size_t(info.frames) * size_t(info.channels) : 0);
    if (file == nullptr || sf_readf_float(file, samples.data(), info.frames) != info.frames) {
        std::fprintf(stderr, "%s: %s\n", path, sf_strerror(file));
        samples.clear();
    }
    sf_close(file);
    return samples;
}

int Make(const char* path, int channels, int rate, long frames) {
    std::vector<float> samples(size_t(frames) * size_t(channels));
    unsigned noise = 1;
    for (size_t i = 0; i < samples.size(); ++i) {
        noise = noise * 1103515245u + 12345u;
        const double time = double(i / size_t(channels)) / rate;
        const double tone = std::sin(2 * M_PI * (80.0 + 40.0 * double(i % size_t(channels))) *
                                     time * (1 + 20 * time));
        samples[i] = float(0.6 * tone + 0.3 * (double(noise >> 16 & 0x7FFF) / 32768.0 - 0.5));
    }
    SF_INFO info{0, rate, channels, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
    SNDFILE* file = sf_open(path, SFM_WRITE, &info);
    const bool written = file != nullptr && sf_writef_float(file, samples.data(), frames) == frames;
    if (!written) {
        std::fprintf(stderr, "%s: %s\n", path, sf_strerror(file));
    }
    return sf_close(file) == 0 && written ? 0 : 1;
}

int Same(const char* pathA, const char* pathB) {
    SF_INFO a{};
    SF_INFO b{};
    const std::vector<float> samplesA = Read(pathA, a);
    const std::vector<float> samplesB = Read(pathB, b);
    if (samplesA.empty() || a.channels != b.channels || samplesA.size() != samplesB.size()) {
        std::fprintf(stderr, "%s and %s differ in shape\n", pathA, pathB);
        return 1;
    }
    for (size_t i = 0; i < samplesA.size(); ++i) {
        if (std::memcmp(&samplesA[i], &samplesB[i], sizeof(float)) != 0) {
            std::fprintf(stderr, "first difference at frame %zu: %.9g against %.9g\n",
                         i / size_t(a.channels), samplesA[i], samplesB[i]);
            return 1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 6 && std::strcmp(argv[1], "make") == 0) {
        return Make(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atol(argv[5]));
    }
    if (argc == 4 && std::strcmp(argv[1], "same") == 0) {
        return Same(argv[2], argv[3]);
    }
    std::fprintf(stderr, "usage: %s make PATH CHANNELS RATE FRAMES | same A B\n", argv[0]);
    return 2;
}
