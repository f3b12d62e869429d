// `quenzal render` refusing: every bad input or option gives a message that names the file or the
// option, a non-zero exit, and leaves nothing behind: no output, no temporary file.
#include "CliTestSupport.h"

#include <fstream>

namespace clitest {
namespace {

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A well-formed saved state of a component from another manufacturer.
std::string ForeignState() {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>version</key><integer>0</integer>
<key>type</key><integer>1701208948</integer>
<key>subtype</key><integer>1903065708</integer>
<key>manufacturer</key><integer>1953719668</integer>
<key>data</key><data>AAAAAAAAAAAAAAACAAAAAECAAAAAAAABwCAAAA==</data>
<key>name</key><string>Elsewhere</string>
</dict></plist>
)";
}

struct RefusalCase {
    std::string name;
    // Arguments after "render IN OUT"; IN and OUT may be replaced by the case.
    std::vector<std::string> options;
    std::string input = "in.wav";
    std::string output = "out.wav";
    std::vector<std::string> messageNames; // what the error message must name
};

void PrintTo(const RefusalCase& refusal, std::ostream* out) {
    *out << refusal.name;
}

class RenderRefusal : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RenderRefusal, NamesTheProblemAndLeavesNothingBehind) {
    const RefusalCase& refusal = GetParam();
    const ScratchFolder folder;
    WriteAudio(folder.Path("in.wav"), TestAudio(44100, 1, 0.1));
    WriteText(folder.Path("garbage.wav"), std::string(3000, '\x5A') + "not audio at all");
    WriteText(folder.Path("foreign.plist"), ForeignState());
    WriteText(folder.Path("broken.plist"), "<plist><dict><key>version</key>");
    const std::vector<std::string> before = folder.Files();

    std::vector<std::string> args{"render", folder.Path(refusal.input),
                                  folder.Path(refusal.output)};
    for (const std::string& option : refusal.options) {
        args.push_back(option.ends_with(".plist") ? folder.Path(option) : option);
    }
    const RunResult run = RunQuenzal(args);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_LT(run.exitCode, 128) << "the process crashed";
    for (const std::string& name : refusal.messageNames) {
        EXPECT_NE(run.err.find(name), std::string::npos) << "no \"" << name << "\" in: " << run.err;
    }
    EXPECT_EQ(folder.Files(), before);
}

std::vector<RefusalCase> RefusalCases() {
    std::vector<std::string> choices{"--speaker"};
    choices.insert(choices.end(), std::begin(kModelNames), std::end(kModelNames));
    return {
        {"MissingInput", {}, "missing.wav", "out.wav", {"missing.wav"}},
        {"UnreadableInput", {}, "garbage.wav", "out.wav", {"garbage.wav"}},
        {"UnwritableOutputFolder",
         {},
         "in.wav",
         "no-such-folder/out.wav",
         {"no-such-folder/out.wav"}},
        {"SpeakerOutOfRange", {"--speaker", "7"}, "in.wav", "out.wav", choices},
        {"SpeakerUnknownName", {"--speaker", "Bass: loud"}, "in.wav", "out.wav", choices},
        {"VolumeTooHigh", {"--volume", "9"}, "in.wav", "out.wav", {"--volume", "-6", "6"}},
        {"VolumeNotANumber", {"--volume", "loud"}, "in.wav", "out.wav", {"--volume"}},
        {"BlockOfNoFrames", {"--block", "0"}, "in.wav", "out.wav", {"--block"}},
        {"BlockTooLarge", {"--block", "4000000000"}, "in.wav", "out.wav", {"--block", "65536"}},
        {"StateOfAnotherComponent",
         {"--state", "foreign.plist"},
         "in.wav",
         "out.wav",
         {"foreign.plist"}},
        {"StateNotAPropertyList",
         {"--state", "broken.plist"},
         "in.wav",
         "out.wav",
         {"broken.plist"}},
        {"StateMissing", {"--state", "absent.plist"}, "in.wav", "out.wav", {"absent.plist"}},
        {"FormatUnknown", {"--format", "mp3"}, "in.wav", "out.wav", {"--format"}},
    };
}

INSTANTIATE_TEST_SUITE_P(Render, RenderRefusal, ::testing::ValuesIn(RefusalCases()),
                         [](const auto& info) { return info.param.name; });

TEST(Render, FailureLeavesAnExistingOutputUntouched) {
    const ScratchFolder folder;
    WriteAudio(folder.Path("in.wav"), TestAudio(44100, 1, 0.1));
    WriteText(folder.Path("out.wav"), "the previous take");
    const RunResult run =
        RunQuenzal({"render", folder.Path("in.wav"), folder.Path("out.wav"), "--speaker", "0"});
    EXPECT_NE(run.exitCode, 0);
    std::ifstream kept(folder.Path("out.wav"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "the previous take");
}

} // namespace
} // namespace clitest
