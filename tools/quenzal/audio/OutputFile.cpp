#include "OutputFile.h"

#include "QuenzalHost.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace quenzal {
namespace {

std::string PartialPathFor(const std::string& path) {
    const std::filesystem::path target(path);
    std::string name = ".";
    name += target.filename().string();
    name += ".partial-";
    name += std::to_string(getpid());
    return (target.parent_path() / name).string();
}

std::string Reason() {
    return std::strerror(errno);
}

} // namespace

void CheckOutputFolder(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code error;
    if (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
        throw HostError(path + ": cannot write here (no folder " + folder.string() + ")");
    }
}

void WriteFileAtomically(const std::string& path, const std::string& contents) {
    const std::string partial = PartialPathFor(path);
    std::FILE* file = std::fopen(partial.c_str(), "wb");
    if (file == nullptr) {
        throw HostError(path + ": cannot write here (" + Reason() + ")");
    }
    const bool written = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
    const std::string writeReason = written ? "" : Reason();
    if (std::fclose(file) != 0 || !written) {
        const std::string reason = written ? Reason() : writeReason;
        std::remove(partial.c_str());
        throw HostError(path + ": write failed (" + reason + ")");
    }
    if (std::rename(partial.c_str(), path.c_str()) != 0) {
        const std::string reason = Reason();
        std::remove(partial.c_str());
        throw HostError(path + ": cannot move the finished file into place (" + reason + ")");
    }
}

} // namespace quenzal
