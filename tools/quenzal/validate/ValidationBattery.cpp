#include "ValidationBattery.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

namespace quenzal::validation {
namespace {

// Generous: a sanitizer build on a busy machine is slow, and a correct check takes milliseconds.
constexpr unsigned kSecondsPerCheck = 30;
constexpr int kDiagnosticLinesShown = 12;

struct Outcome {
    bool passed = false;
    std::string detail;
};

// The child's one message to the parent: "P", or "F" followed by what the check saw.
std::string RunCheck(const Check& check, AudioComponent component) {
    try {
        check.run(component);
        return "P";
    } catch (const std::exception& failure) {
        return std::string("F") + failure.what();
    } catch (...) {
        return "Fthe check stopped on an unknown exception";
    }
}

void WriteAll(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written <= 0) {
            return;
        }
        done += static_cast<size_t>(written);
    }
}

std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = read(fd, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<size_t>(got));
    }
    return text;
}

[[noreturn]] void RunChild(const Check& check, AudioComponent component, int reportFd,
                           std::FILE* diagnostics) {
    if (diagnostics != nullptr) {
        dup2(fileno(diagnostics), STDERR_FILENO);
    }
    alarm(kSecondsPerCheck);
    WriteAll(reportFd, RunCheck(check, component));
    // Straight out: no exit handlers, no flushing of buffers the parent also holds.
    _exit(0);
}

Outcome Interpret(const std::string& report, int waitStatus) {
    if (WIFSIGNALED(waitStatus)) {
        const int signal = WTERMSIG(waitStatus);
        if (signal == SIGALRM) {
            return {false, "did not finish within " + std::to_string(kSecondsPerCheck) + " s"};
        }
        return {false, "the component crashed (signal " + std::to_string(signal) + ", " +
                           strsignal(signal) + ")"};
    }
    if (WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) != 0) {
        return {false, "the process ended during the check (exit status " +
                           std::to_string(WEXITSTATUS(waitStatus)) + ")"};
    }
    if (report.empty()) {
        return {false, "the check ended without a result"};
    }
    return {report[0] == 'P', report.substr(1)};
}

Outcome RunIsolated(const Check& check, AudioComponent component, std::FILE* diagnostics) {
    int report[2];
    if (pipe(report) != 0) {
        return {false, std::string("cannot start the check: ") + std::strerror(errno)};
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t child = fork();
    if (child == 0) {
        close(report[0]);
        RunChild(check, component, report[1], diagnostics);
    }
    close(report[1]);
    if (child < 0) {
        close(report[0]);
        return {false, std::string("cannot start the check: ") + std::strerror(errno)};
    }
    const std::string text = ReadAll(report[0]);
    close(report[0]);
    int status = 0;
    waitpid(child, &status, 0);
    return Interpret(text, status);
}

// A failed check shows what the component wrote to standard error meanwhile.
void ShowDiagnostics(std::FILE* diagnostics) {
    if (diagnostics == nullptr) {
        return;
    }
    std::rewind(diagnostics);
    char line[512];
    for (int shown = 0; std::fgets(line, sizeof line, diagnostics) != nullptr; ++shown) {
        if (shown == kDiagnosticLinesShown) {
            std::fprintf(stderr, "  | ...\n");
            break;
        }
        std::fprintf(stderr, "  | %s%s", line, std::strchr(line, '\n') ? "" : "\n");
    }
}

} // namespace

void Expect(bool condition, const std::string& whatWasSeen) {
    if (!condition) {
        throw CheckFailure(whatWasSeen);
    }
}

void ExpectStatus(OSStatus status, OSStatus expected, const std::string& call) {
    Expect(status == expected,
           call + " returned " + std::to_string(status) + ", expected " + std::to_string(expected));
}

bool Battery::Run(const Check& check) {
    std::FILE* diagnostics = std::tmpfile();
    const Outcome outcome = RunIsolated(check, mComponent, diagnostics);
    if (outcome.passed) {
        ++mPassed;
        std::printf("PASS %s\n", check.name.c_str());
    } else {
        ++mFailed;
        std::printf("FAIL %s: %s\n", check.name.c_str(), outcome.detail.c_str());
        std::fflush(stdout);
        ShowDiagnostics(diagnostics);
    }
    std::fflush(stdout);
    if (diagnostics != nullptr) {
        std::fclose(diagnostics);
    }
    return outcome.passed;
}

} // namespace quenzal::validation
