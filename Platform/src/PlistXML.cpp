// The C entry points for XML property lists in memory and in files. Nothing escapes them as an
// exception: a host written in C calls them.
#include "Platform/PlistXML.h"

#include "HostFiles.h"
#include "PlistXMLInternal.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

using namespace platform_xml;

namespace {

std::string systemError(int error) {
    return std::generic_category().message(error);
}

class Fd {
public:
    explicit Fd(int fd) : mFd(fd) {}
    ~Fd() {
        if (mFd >= 0)
            ::close(mFd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return mFd; }
    // Closes now, so that a failure to flush can be reported; 0 or an errno value.
    int close() {
        const int result = ::close(mFd);
        mFd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int mFd;
};

// Reads a whole regular file into text; 0, or -1 with the problem.
int readWholeFile(const char* path, std::string& text, std::string& problem) {
    Fd file(::open(path, O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0) {
        problem = "cannot open: " + systemError(errno);
        return -1;
    }
    if (!S_ISREG(status.st_mode)) {
        problem = "not a regular file";
        return -1;
    }
    char chunk[65536];
    for (;;) {
        const ssize_t count = ::read(file.get(), chunk, sizeof chunk);
        if (count == 0)
            return 0;
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            problem = "cannot read: " + systemError(errno);
            return -1;
        }
        text.append(chunk, static_cast<size_t>(count));
    }
}

int writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t count = ::write(fd, bytes.data(), bytes.size());
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return errno;
        bytes.remove_prefix(static_cast<size_t>(count));
    }
    return 0;
}

// A temporary name beside the target that no other writer in this or another process uses.
std::string temporaryPathFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

// Writes bytes to a temporary file beside path and renames it over path, so readers see the
// old file or the new one, never a part; 0 or -1 with the problem.
int replaceFile(const std::string& path, std::string_view bytes, std::string& problem) {
    const std::string temporary = temporaryPathFor(path);
    Fd file(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (file.get() < 0) {
        problem = "cannot write: " + systemError(errno);
        return -1;
    }
    int error = writeAll(file.get(), bytes);
    if (error == 0 && ::fsync(file.get()) != 0)
        error = errno;
    const int closeError = file.close();
    if (error == 0)
        error = closeError;
    if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0)
        error = errno;
    if (error != 0) {
        ::unlink(temporary.c_str());
        problem = "cannot write: " + systemError(error);
        return -1;
    }
    return 0;
}

// Runs body, turning anything thrown into a status and a message: these functions have C callers.
template <class Body> OSStatus guarded(Body body, std::string& problem) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        problem = "out of memory";
        return memFullErr;
    } catch (...) {
        problem = "unexpected failure";
        return kPlatformErr_Failed;
    }
}

// Clears the caller's result first, so that it is null on every way out but success.
template <class Result> bool hasPlaceFor(Result* out, char* errorText, size_t errorSize) {
    if (out == nullptr) {
        platform::WriteErrorText(errorText, errorSize, "no place for the result given");
        return false;
    }
    *out = nullptr;
    return true;
}

} // namespace

extern "C" {

OSStatus PlatformPropertyListCreateXMLData(CFPropertyListRef plist, CFDataRef* outData,
                                           char* errorText, size_t errorSize) {
    if (!hasPlaceFor(outData, errorText, errorSize))
        return paramErr;
    std::string problem;
    const OSStatus status = guarded(
        [&]() -> OSStatus {
            const std::optional<std::string> text = writePlist(plist, problem);
            if (!text)
                return kPlatformErr_Failed;
            *outData =
                CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const uint8_t*>(text->data()),
                             static_cast<CFIndex>(text->size()));
            return noErr;
        },
        problem);
    if (status != noErr)
        platform::WriteErrorText(errorText, errorSize, problem);
    return status;
}

OSStatus PlatformPropertyListCreateFromXMLData(const void* bytes, size_t length,
                                               CFPropertyListRef* outPlist, char* errorText,
                                               size_t errorSize) {
    if (!hasPlaceFor(outPlist, errorText, errorSize))
        return paramErr;
    if (bytes == nullptr && length > 0) {
        platform::WriteErrorText(errorText, errorSize, "no data");
        return paramErr;
    }
    std::string problem;
    const OSStatus status = guarded(
        [&]() -> OSStatus {
            const std::string_view text(static_cast<const char*>(bytes), bytes ? length : 0);
            *outPlist = readPlist(text, problem).release();
            return *outPlist != nullptr ? noErr : kPlatformErr_Failed;
        },
        problem);
    if (status != noErr)
        platform::WriteErrorText(errorText, errorSize, problem);
    return status;
}

OSStatus PlatformPropertyListWriteFile(CFPropertyListRef plist, const char* path, char* errorText,
                                       size_t errorSize) {
    if (path == nullptr) {
        platform::WriteErrorText(errorText, errorSize, "no file path given");
        return paramErr;
    }
    std::string problem;
    const OSStatus status = guarded(
        [&]() -> OSStatus {
            const std::optional<std::string> text = writePlist(plist, problem);
            return text && replaceFile(path, *text, problem) == 0 ? noErr : kPlatformErr_Failed;
        },
        problem);
    if (status != noErr)
        platform::WriteErrorText(errorText, errorSize, std::string(path) + ": " + problem);
    return status;
}

OSStatus PlatformPropertyListReadFile(const char* path, CFPropertyListRef* outPlist,
                                      char* errorText, size_t errorSize) {
    if (!hasPlaceFor(outPlist, errorText, errorSize))
        return paramErr;
    if (path == nullptr) {
        platform::WriteErrorText(errorText, errorSize, "no file path given");
        return paramErr;
    }
    std::string problem;
    const OSStatus status = guarded(
        [&]() -> OSStatus {
            std::string text;
            if (readWholeFile(path, text, problem) != 0)
                return kPlatformErr_Failed;
            *outPlist = readPlist(text, problem).release();
            return *outPlist != nullptr ? noErr : kPlatformErr_Failed;
        },
        problem);
    if (status != noErr)
        platform::WriteErrorText(errorText, errorSize, std::string(path) + ": " + problem);
    return status;
}

} // extern "C"
