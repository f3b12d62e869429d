// `quenzal render` end to end: the output is the kernel's voicing bit for bit, whatever the block
// size; the tail, the sample format and saved state behave as the options say.
#include "CliTestSupport.h"

namespace clitest {
namespace {

struct VoicingCase {
    std::string speaker; // as typed on the command line
    int model;
    std::string volume;
    int rate;
    int channels;
    std::string block; // the output may not depend on it
};

void PrintTo(const VoicingCase& voicing, std::ostream* out) {
    *out << "speaker " << voicing.speaker << ", " << voicing.volume << " dB, " << voicing.rate
         << " Hz, " << voicing.channels << " channels, block " << voicing.block;
}

class RenderVoicing : public ::testing::TestWithParam<VoicingCase> {};

TEST_P(RenderVoicing, IsTheKernelVoicingBitForBit) {
    const VoicingCase& voicing = GetParam();
    const ScratchFolder folder;
    const Audio input = TestAudio(voicing.rate, voicing.channels, 0.3);
    WriteAudio(folder.Path("in.wav"), input);

    const RunResult run =
        RunQuenzal({"render", folder.Path("in.wav"), folder.Path("out.wav"), "--speaker",
                    voicing.speaker, "--volume", voicing.volume, "--block", voicing.block});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Audio output = ReadAudio(folder.Path("out.wav"));
    EXPECT_EQ(output.rate, voicing.rate);
    EXPECT_EQ(output.channels, voicing.channels);
    EXPECT_TRUE(
        SameSamples(output.samples,
                    ReferenceRender(input, voicing.model, std::stof(voicing.volume), 512, false)));
}

INSTANTIATE_TEST_SUITE_P(ModelsVolumesRatesChannels, RenderVoicing,
                         ::testing::Values(VoicingCase{"1", 1, "0", 44100, 1, "512"},
                                           VoicingCase{"Guitar: bright", 2, "-6", 22050, 2, "1"},
                                           VoicingCase{"3", 3, "6", 48000, 3, "37"},
                                           VoicingCase{"Bass: warm", 4, "2.5", 96000, 1, "4096"},
                                           VoicingCase{"5", 5, "-3.75", 48000, 2, "512"}));

// 11025 Hz: half a second of tail is not a whole number of frames and rounds up.
TEST(Render, AppendsTheTailUnlessToldNotTo) {
    const ScratchFolder folder;
    const Audio input = TestAudio(11025, 1, 0.1);
    WriteAudio(folder.Path("in.wav"), input);
    ASSERT_EQ(RunQuenzal({"render", folder.Path("in.wav"), folder.Path("tail.wav")}).exitCode, 0);
    ASSERT_EQ(RunQuenzal({"render", folder.Path("in.wav"), folder.Path("none.wav"), "--no-tail"})
                  .exitCode,
              0);
    EXPECT_EQ(ReadAudio(folder.Path("tail.wav")).Frames(), input.Frames() + 5513);
    const Audio untailed = ReadAudio(folder.Path("none.wav"));
    EXPECT_EQ(untailed.Frames(), input.Frames());
    EXPECT_TRUE(SameSamples(untailed.samples, ReferenceRender(input, 1, 0, 512, true)));
}

TEST(Render, KeepsOrConvertsTheSampleFormat) {
    struct FormatCase {
        int input;
        std::vector<std::string> option;
        int output;
        const char* extension;
    };
    const FormatCase cases[] = {
        {SF_FORMAT_WAV | SF_FORMAT_PCM_16,
         {"--format", "float"},
         SF_FORMAT_WAV | SF_FORMAT_FLOAT,
         ".wav"},
        {SF_FORMAT_WAV | SF_FORMAT_FLOAT,
         {"--format", "pcm24"},
         SF_FORMAT_WAV | SF_FORMAT_PCM_24,
         ".wav"},
        {SF_FORMAT_FLAC | SF_FORMAT_PCM_16, {}, SF_FORMAT_FLAC | SF_FORMAT_PCM_16, ".flac"},
    };
    const ScratchFolder folder;
    for (const FormatCase& format : cases) {
        const std::string in = folder.Path(std::string("in") + format.extension);
        const std::string out = folder.Path(std::string("out") + format.extension);
        WriteAudio(in, TestAudio(44100, 2, 0.1, format.input));
        std::vector<std::string> args{"render", in, out};
        args.insert(args.end(), format.option.begin(), format.option.end());
        const RunResult run = RunQuenzal(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(ReadAudio(out).format, format.output) << std::hex << format.input;
    }
}

} // namespace
} // namespace clitest
