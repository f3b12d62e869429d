// The C entry points for XML property lists in memory and in files. Nothing escapes them as an
// exception: a host written in C calls them.
#include "Platform/PlistXML.h"

#include "PlistXMLInternal.h"
#include "Utf8.h"

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

void reportError(char* errorText, size_t errorSize, std::string_view message) {
    if (errorText == nullptr || errorSize == 0)
        return;
    const size_t length = platform_utf8::prefixFitting(message, errorSize - 1);
    std::memcpy(errorText, message.data(), length);
    errorText[length] = '\0';
}

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

// Runs body, turning anything thrown into a message: these functions have C callers.
template <class Body> auto guarded(Body body, decltype(body()) failed, std::string& problem) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        problem = "out of memory";
    } catch (...) {
        problem = "unexpected failure";
    }
    return failed;
}

} // namespace

extern "C" {

CFDataRef PlatformPropertyListCreateXMLData(CFPropertyListRef plist, char* errorText,
                                            size_t errorSize) {
    std::string problem;
    CFDataRef data = guarded(
        [&]() -> CFDataRef {
            const std::optional<std::string> text = writePlist(plist, problem);
            if (!text)
                return nullptr;
            return CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const uint8_t*>(text->data()),
                                static_cast<CFIndex>(text->size()));
        },
        nullptr, problem);
    if (data == nullptr)
        reportError(errorText, errorSize, problem);
    return data;
}

CFPropertyListRef PlatformPropertyListCreateFromXMLData(const void* bytes, size_t length,
                                                        char* errorText, size_t errorSize) {
    std::string problem = "no data";
    CFPropertyListRef plist = guarded(
        [&]() -> CFPropertyListRef {
            if (bytes == nullptr && length > 0)
                return nullptr;
            const std::string_view text(static_cast<const char*>(bytes), bytes ? length : 0);
            return readPlist(text, problem).release();
        },
        nullptr, problem);
    if (plist == nullptr)
        reportError(errorText, errorSize, problem);
    return plist;
}

int PlatformPropertyListWriteFile(CFPropertyListRef plist, const char* path, char* errorText,
                                  size_t errorSize) {
    if (path == nullptr) {
        reportError(errorText, errorSize, "no file path given");
        return -1;
    }
    std::string problem;
    const int result = guarded(
        [&]() -> int {
            const std::optional<std::string> text = writePlist(plist, problem);
            return text ? replaceFile(path, *text, problem) : -1;
        },
        -1, problem);
    if (result != 0)
        reportError(errorText, errorSize, std::string(path) + ": " + problem);
    return result;
}

CFPropertyListRef PlatformPropertyListReadFile(const char* path, char* errorText,
                                               size_t errorSize) {
    if (path == nullptr) {
        reportError(errorText, errorSize, "no file path given");
        return nullptr;
    }
    std::string problem;
    CFPropertyListRef plist = guarded(
        [&]() -> CFPropertyListRef {
            std::string text;
            if (readWholeFile(path, text, problem) != 0)
                return nullptr;
            return readPlist(text, problem).release();
        },
        nullptr, problem);
    if (plist == nullptr)
        reportError(errorText, errorSize, std::string(path) + ": " + problem);
    return plist;
}

} // extern "C"
