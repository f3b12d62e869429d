// `quenzal render` beyond one plain file: parameters set by name, clipping reported, and batches
// that voice every file they can and say which failed.
#include "CliTestSupport.h"

namespace clitest {
namespace {

TEST(RenderSettings, NameIdAndValueStringSetTheParameters) {
    const ScratchFolder folder;
    const Audio input = TestAudio(48000, 1, 0.1);
    WriteAudio(folder.Path("in.wav"), input);
    const std::vector<float> expected = ReferenceRender(input, 4, 2.5f, 512, true);
    for (const std::vector<std::string>& sets :
         {std::vector<std::string>{"Loudspeaker=Bass: warm", "volume=2.5"},
          std::vector<std::string>{"0=4", "1=2.5"}}) {
        std::vector<std::string> args = {"render", folder.Path("in.wav"), folder.Path("out.wav"),
                                         "--no-tail"};
        for (const std::string& set : sets) {
            args.insert(args.end(), {"--set", set});
        }
        const RunResult run = RunQuenzal(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(SameSamples(ReadAudio(folder.Path("out.wav")).samples, expected)) << sets[0];
    }
    const RunResult bad = RunQuenzal(
        {"render", folder.Path("in.wav"), folder.Path("bad.wav"), "--set", "Loudspeaker=9"});
    EXPECT_NE(bad.exitCode, 0);
    EXPECT_NE(bad.err.find("Loudspeaker takes 1 to 5 or one of \"Guitar: warm\""),
              std::string::npos)
        << bad.err;
}

TEST(RenderClipping, IntegerOutputsReportWhatClippedAndFloatNeverClips) {
    const ScratchFolder folder;
    Audio input{48000, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, {}};
    for (int i = 0; i < 100; ++i) {
        input.samples.insert(input.samples.end(), {0.5f, i < 30 ? 1.5f : -0.25f});
    }
    WriteAudio(folder.Path("in.wav"), input);
    struct Case {
        std::string format;
        bool failOnClip;
        int exitCode;
        bool warns;
    };
    for (const Case& c : {Case{"pcm16", false, 0, true}, Case{"pcm24", true, 1, true},
                          Case{"float", true, 0, false}}) {
        std::vector<std::string> args = {"render",   folder.Path("in.wav"), folder.Path("out.wav"),
                                         "--bypass", "--no-tail",           "--format",
                                         c.format};
        if (c.failOnClip) {
            args.push_back("--fail-on-clip");
        }
        const RunResult run = RunQuenzal(args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.format << run.err;
        EXPECT_EQ(run.err.find("30 samples clipped (channel 2: 30); the peak before clipping was "
                               "+3.5 dBFS; 3.6 dB less level would have avoided it") !=
                      std::string::npos,
                  c.warns)
            << c.format << ": " << run.err;
        EXPECT_EQ(ReadAudio(folder.Path("out.wav")).Frames(), 100) << c.format;
    }
}

TEST(RenderBatch, VoicesEveryFileItCanAndNamesTheOnesThatFail) {
    const ScratchFolder folder;
    const Audio input = TestAudio(44100, 2, 0.1);
    WriteAudio(folder.Path("a.wav"), input);
    WriteAudio(folder.Path("c.wav"), input);
    const RunResult run = RunQuenzal({"render", folder.Path("a.wav"), folder.Path("missing.wav"),
                                      folder.Path("c.wav"), "--out-dir", folder.Path("out"), "-j",
                                      "2", "--speaker", "2", "--no-tail"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("missing.wav"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("rendered 2 of 3 files"), std::string::npos) << run.out;
    const std::vector<float> expected = ReferenceRender(input, 2, 0, 512, true);
    for (const char* name : {"out/a.wav", "out/c.wav"}) {
        EXPECT_TRUE(SameSamples(ReadAudio(folder.Path(name)).samples, expected)) << name;
    }

    // Into its own folder, a file would be replaced by its voicing: refused, left as it was.
    const RunResult own =
        RunQuenzal({"render", folder.Path("a.wav"), "--out-dir", folder.Path("")});
    EXPECT_EQ(own.exitCode, 1);
    EXPECT_NE(own.err.find("would replace it"), std::string::npos) << own.err;
    EXPECT_TRUE(SameSamples(ReadAudio(folder.Path("a.wav")).samples, input.samples));
}

} // namespace
} // namespace clitest
