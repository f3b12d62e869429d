// Audio files through libsndfile: a reader, and a writer that only ever replaces its target
// whole (it writes a temporary file beside it and renames it on commit).
#pragma once

#include <sndfile.h>

#include <string>

namespace quenzal {

class AudioReader {
public:
    explicit AudioReader(const std::string& path);
    ~AudioReader();
    AudioReader(const AudioReader&) = delete;
    AudioReader& operator=(const AudioReader&) = delete;

    int Channels() const { return mInfo.channels; }
    int SampleRate() const { return mInfo.samplerate; }
    sf_count_t Frames() const { return mInfo.frames; }
    int Format() const { return mInfo.format; }
    const std::string& Path() const { return mPath; }

    // Reads up to frames interleaved frames; returns how many were read (0 at the end).
    sf_count_t Read(float* interleaved, sf_count_t frames);

private:
    std::string mPath;
    SF_INFO mInfo{};
    SNDFILE* mFile = nullptr;
};

class AudioWriter {
public:
    AudioWriter(const std::string& path, int format, int channels, int sampleRate);
    // Removes the temporary file unless Commit succeeded.
    ~AudioWriter();
    AudioWriter(const AudioWriter&) = delete;
    AudioWriter& operator=(const AudioWriter&) = delete;

    void Write(const float* interleaved, sf_count_t frames);
    // Closes the file and moves it into place.
    void Commit();

private:
    std::string mPath;
    std::string mTemporaryPath;
    SNDFILE* mFile = nullptr;
    bool mCommitted = false;
};

// The output format for an input format and a --format choice ("same", "float", "pcm16",
// "pcm24"); throws a HostError naming the file when the container cannot hold the samples.
int ChooseOutputFormat(int inputFormat, const std::string& choice, const std::string& outPath);

} // namespace quenzal
