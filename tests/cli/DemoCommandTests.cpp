// `quenzal demo`: both clips through every model, the plot, the table, and where it all went.
#include "CliTestSupport.h"

namespace clitest {
namespace {

TEST(Demo, VoicesBothClipsThroughEveryModel) {
    const ScratchFolder folder;
    const std::string out = folder.Path("demo");
    const RunResult run = RunQuenzal({"demo", "--out", out});
    ASSERT_EQ(run.exitCode, 0) << run.err;

    std::vector<std::string> expected{"response.svg"};
    for (const std::string clip : {"guitar-riff", "bass-line"}) {
        expected.push_back(clip + "-dry.wav");
        for (const char* model :
             {"guitar-warm", "guitar-bright", "guitar-full", "bass-warm", "bass-bright"}) {
            expected.push_back(clip + "-" + model + ".wav");
        }
    }
    std::vector<std::string> written;
    for (const auto& entry : fs::directory_iterator(out)) {
        written.push_back(entry.path().filename().string());
    }
    std::sort(expected.begin(), expected.end());
    std::sort(written.begin(), written.end());
    EXPECT_EQ(written, expected);

    // Each voiced clip is the dry clip through `render`: the kernel's voicing plus the tail.
    const Audio dry = ReadAudio(out + "/bass-line-dry.wav");
    EXPECT_EQ(dry.rate, 48000);
    EXPECT_GT(dry.Frames(), 2 * 48000);
    EXPECT_TRUE(SameSamples(ReadAudio(out + "/bass-line-bass-warm.wav").samples,
                            ReferenceRender(dry, 4, 0, 512, false)));

    for (const char* row : {"guitar-riff   dry", "bass-line     Bass: bright", "peak dBFS"}) {
        EXPECT_NE(run.out.find(row), std::string::npos) << run.out;
    }
    EXPECT_NE(run.out.find("are in " + out + "\n"), std::string::npos) << run.out;
}

} // namespace
} // namespace clitest
