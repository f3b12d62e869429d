// `quenzal info` shows what a host learns of the component; no command at all is an error.
#include "CliTestSupport.h"

namespace clitest {
namespace {

TEST(Info, ShowsWhatAHostLearns) {
    const RunResult run = RunQuenzal({"info"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> expected{
        "type efct, subtype qnzl, manufacturer Hrwd",
        "0xFFFFFFFF registered, 0xFFFFFFFF from the unit",
        "latency        0 s",
        "tail           0.5 s",
        "Loudspeaker    indexed  1 to 5, default 1, read/write (flags 0xC8000000)",
        "Volume         dB       -6 to 6, default 0, read/write (flags 0xC8000000)",
        "accepted  32-bit float, deinterleaved, 6 channels, 96000 Hz",
        "refused   16-bit integer, interleaved, stereo, 44100 Hz",
    };
    for (int model = 1; model <= 5; ++model) {
        expected.push_back(std::to_string(model) + " = " + kModelNames[model - 1]);
    }
    for (const std::string& text : expected) {
        EXPECT_NE(run.out.find(text), std::string::npos) << "no \"" << text << "\" in:\n"
                                                         << run.out;
    }
    EXPECT_EQ(run.err, "") << "the probes' refusals should not reach the user";
}

TEST(Help, NoCommandAtAllIsAnError) {
    const RunResult run = RunQuenzal({});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("subcommand"), std::string::npos) << run.err;
}

} // namespace
} // namespace clitest
