// Test files for the lilv tools and the verdict on their output.
//   wav-tool make PATH CHANNELS RATE FRAMES   a float WAV of tones and noise
//   wav-tool same A B                          exit 0 when both hold the same samples, to the bit
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct CloseFile {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using File = std::unique_ptr<SNDFILE, CloseFile>;

struct Samples {
    SF_INFO info{};
    std::vector<float> interleaved;
};

bool Read(const char* path, Samples& samples) {
    const File file(sf_open(path, SFM_READ, &samples.info));
    if (!file) {
        std::fprintf(stderr, "%s: %s\n", path, sf_strerror(nullptr));
        return false;
    }
    samples.interleaved.resize(size_t(samples.info.frames) * size_t(samples.info.channels));
    return sf_readf_float(file.get(), samples.interleaved.data(), samples.info.frames) ==
           samples.info.frames;
}

int Make(const char* path, int channels, int rate, long frames) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = rate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    const File file(sf_open(path, SFM_WRITE, &info));
    if (!file) {
        std::fprintf(stderr, "%s: %s\n", path, sf_strerror(nullptr));
        return 1;
    }
    std::vector<float> samples(size_t(frames) * size_t(channels));
    unsigned noise = 1;
    for (size_t i = 0; i < samples.size(); ++i) {
        noise = noise * 1103515245u + 12345u;
        const double time = double(i / size_t(channels)) / rate;
        const double tone = std::sin(2 * M_PI * (80.0 + 40.0 * double(i % size_t(channels))) *
                                     time * (1 + 20 * time));
        samples[i] = float(0.6 * tone + 0.3 * (double(noise >> 16 & 0x7FFF) / 32768.0 - 0.5));
    }
    return sf_writef_float(file.get(), samples.data(), frames) == frames ? 0 : 1;
}

int Same(const char* pathA, const char* pathB) {
    Samples a;
    Samples b;
    if (!Read(pathA, a) || !Read(pathB, b)) {
        return 1;
    }
    if (a.info.channels != b.info.channels || a.info.frames != b.info.frames) {
        std::fprintf(stderr, "%s has %d channels and %ld frames, %s has %d and %ld\n", pathA,
                     a.info.channels, long(a.info.frames), pathB, b.info.channels,
                     long(b.info.frames));
        return 1;
    }
    for (size_t i = 0; i < a.interleaved.size(); ++i) {
        if (std::memcmp(&a.interleaved[i], &b.interleaved[i], sizeof(float)) != 0) {
            std::fprintf(stderr, "first difference at frame %zu: %.9g against %.9g\n",
                         i / size_t(a.info.channels), a.interleaved[i], b.interleaved[i]);
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
