// `quenzal validate` on the fixture components: fails a broken one by name, survives one that will
// not open or that crashes, and always ends with its tally. Our own component's pass is the
// conformance test.
#include "CliTestSupport.h"

#include <regex>

namespace clitest {
namespace {

struct Tally {
    int passed = -1;
    int failed = -1;
};

// The closing "N passed, M failed", alone on the last line.
Tally LastLineTally(const std::string& out) {
    static const std::regex kTally(R"((\d+) passed, (\d+) failed\n$)");
    std::smatch match;
    if (!std::regex_search(out, match, kTally)) {
        ADD_FAILURE() << "no tally at the end of:\n" << out;
        return {};
    }
    return {std::stoi(match[1]), std::stoi(match[2])};
}

TEST(Validate, NamesWhatABrokenComponentGetsWrong) {
    const RunResult run = RunQuenzal({"validate", "--component", BROKEN_COMPONENT});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const char* const expectedFailures[] = {
        "version: the version selector",
        "can-do-unserved: ",
        "unserved-selectors: selector 8",
        "default-format: ",
        "refuses-float-interleaved: ",
        "render-1-frame: the output holds a non-finite sample",
        "render-null-buffers: buffer 0 is still null",
        "render-maximum-plus-one: ",
        "bypass: ",
        "parameter-info: parameter 0 has its default 5",
        "value-strings: parameter 0 is indexed but has no value strings",
        "state-keys: ",
        "listener-called: the listener was called 0 times",
        "render-notifications: the second call's flags 12 do not say post-render",
        "get-property-null-size: ",
        "render-null-buffer-list: ",
        "get-property-short-buffer: reading the latency into 4 bytes reported 8 bytes",
        "render-real-time: rendering and setting parameters made 12 allocation calls and took 6 "
        "locks",
    };
    for (const char* failure : expectedFailures) {
        EXPECT_NE(run.out.find(std::string("\nFAIL ") + failure), std::string::npos)
            << "expected FAIL " << failure << " in:\n"
            << run.out;
    }
    // What the broken component does right still passes.
    EXPECT_NE(run.out.find("\nPASS open-close\n"), std::string::npos);
    const Tally tally = LastLineTally(run.out);
    EXPECT_GE(tally.failed, static_cast<int>(std::size(expectedFailures)));
    EXPECT_GT(tally.passed, 0);
}

TEST(Validate, AComponentThatWillNotOpenIsOneFailure) {
    const RunResult run = RunQuenzal({"validate", "--component", UNOPENABLE_COMPONENT});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.out.find("FAIL open-close: opening an instance returned -108, expected 0\n"),
              std::string::npos)
        << run.out;
    const Tally tally = LastLineTally(run.out);
    EXPECT_EQ(tally.passed, 0);
    EXPECT_EQ(tally.failed, 1);
}

TEST(Validate, ACrashFailsOneCheckAndTheBatteryGoesOn) {
    const RunResult run = RunQuenzal({"validate", "--component", CRASHING_COMPONENT});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.out.find("\nFAIL render-1-frame: the component crashed (signal "),
              std::string::npos)
        << run.out;
    // Checks after the crashing ones still ran, and the tally closes the output.
    EXPECT_NE(run.out.find("\nFAIL get-property-null-size: "), std::string::npos) << run.out;
    EXPECT_GE(LastLineTally(run.out).failed, 1);
}

TEST(Validate, NamesAComponentThatIsNotThere) {
    const RunResult run = RunQuenzal({"validate", "--component", "/nowhere/Component.so"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("/nowhere/Component.so"), std::string::npos) << run.err;
}

} // namespace
} // namespace clitest
