#include "AudioFile.h"

#include "QuenzalHost.h"

#include <cstdio>
#include <filesystem>
#include <unistd.h>

namespace quenzal {
namespace {

std::string Describe(const std::string& path, SNDFILE* file) {
    return path + ": " + sf_strerror(file);
}

std::string TemporaryPathBeside(const std::string& path) {
    const std::filesystem::path target(path);
    // Built by appending: GCC 12 warns falsely about "." + std::string at -O3.
    std::string name(".");
    name += target.filename().string();
    name += ".partial-";
    name += std::to_string(getpid());
    return (target.parent_path() / name).string();
}

} // namespace

AudioReader::AudioReader(const std::string& path) : mPath(path) {
    mFile = sf_open(path.c_str(), SFM_READ, &mInfo);
    if (mFile == nullptr) {
        throw HostError(Describe(path, nullptr));
    }
    if (mInfo.channels <= 0 || mInfo.samplerate <= 0) {
        sf_close(mFile);
        throw HostError(path + ": the file declares no channels or no sample rate");
    }
}

AudioReader::~AudioReader() {
    sf_close(mFile);
}

sf_count_t AudioReader::Read(float* interleaved, sf_count_t frames) {
    const sf_count_t read = sf_readf_float(mFile, interleaved, frames);
    if (read < 0 || sf_error(mFile) != SF_ERR_NO_ERROR) {
        throw HostError(Describe(mPath, mFile));
    }
    return read;
}

AudioWriter::AudioWriter(const std::string& path, int format, int channels, int sampleRate)
    : mPath(path), mTemporaryPath(TemporaryPathBeside(path)) {
    SF_INFO info{};
    info.channels = channels;
    info.samplerate = sampleRate;
    info.format = format;
    mFile = sf_open(mTemporaryPath.c_str(), SFM_WRITE, &info);
    if (mFile == nullptr) {
        throw HostError(path + ": cannot write here (" + sf_strerror(nullptr) + ")");
    }
    // Integer outputs saturate instead of wrapping around when the voicing exceeds full scale.
    sf_command(mFile, SFC_SET_CLIPPING, nullptr, SF_TRUE);
}

AudioWriter::~AudioWriter() {
    if (mFile != nullptr) {
        sf_close(mFile);
    }
    if (!mCommitted) {
        std::remove(mTemporaryPath.c_str());
    }
}

void AudioWriter::Write(const float* interleaved, sf_count_t frames) {
    if (sf_writef_float(mFile, interleaved, frames) != frames) {
        throw HostError(mPath + ": write failed (" + sf_strerror(mFile) + ")");
    }
}

void AudioWriter::Commit() {
    const int closed = sf_close(mFile);
    mFile = nullptr;
    if (closed != 0) {
        throw HostError(mPath + ": write failed (" + sf_error_number(closed) + ")");
    }
    if (std::rename(mTemporaryPath.c_str(), mPath.c_str()) != 0) {
        throw HostError(mPath + ": cannot move the finished file into place");
    }
    mCommitted = true;
}

int ChooseOutputFormat(int inputFormat, const std::string& choice, const std::string& outPath) {
    const int container = inputFormat & SF_FORMAT_TYPEMASK;
    int subtype = inputFormat & SF_FORMAT_SUBMASK;
    if (choice == "float") {
        subtype = SF_FORMAT_FLOAT;
    } else if (choice == "pcm16") {
        subtype = SF_FORMAT_PCM_16;
    } else if (choice == "pcm24") {
        subtype = SF_FORMAT_PCM_24;
    }
    SF_INFO probe{};
    probe.format = container | subtype | (inputFormat & SF_FORMAT_ENDMASK);
    probe.channels = 1;
    probe.samplerate = 44100;
    if (!sf_format_check(&probe)) {
        throw HostError(outPath + ": this file type cannot hold " + choice +
                        " samples; choose another --format");
    }
    return probe.format;
}

} // namespace quenzal
