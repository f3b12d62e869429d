// `quenzal state`: saving a unit's state to a property-list file and reading one back, and
// damaged files refused with a message that names them.
#include "CliTestSupport.h"

#include <fstream>

namespace clitest {
namespace {

std::string StateWithData(const std::string& base64) {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>version</key><integer>0</integer>
<key>data</key><data>)" +
           base64 + R"(</data>
</dict></plist>
)";
}

TEST(State, ShowDecodesWhatSaveWrote) {
    const ScratchFolder folder;
    const std::string file = folder.Path("voicing.plist");
    const RunResult save =
        RunQuenzal({"state", "save", file, "--speaker", "Bass: bright", "--volume", "1.5"});
    ASSERT_EQ(save.exitCode, 0) << save.err;
    EXPECT_NE(save.out.find(file), std::string::npos);

    const RunResult show = RunQuenzal({"state", "show", file});
    ASSERT_EQ(show.exitCode, 0) << show.err;
    for (const char* line : {"version        0\n", "type           efct\n", "subtype        qnzl\n",
                             "manufacturer   Hrwd\n", "data           28 bytes\n", "  0/0/0 = 5\n",
                             "  0/0/1 = 1.5\n", "preset name: Untitled\n"}) {
        EXPECT_NE(show.out.find(line), std::string::npos) << "no \"" << line << "\" in:\n"
                                                          << show.out;
    }
}

TEST(State, ShowDescribesValuesItDoesNotDecode) {
    const ScratchFolder folder;
    const std::string file = folder.Path("names.plist");
    std::ofstream(file) << R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>element-name</key><dict><key>1</key><dict/></dict></dict></plist>
)";
    const RunResult show = RunQuenzal({"state", "show", file});
    EXPECT_NE(show.out.find("element-name   a dictionary of 1 entry\n"), std::string::npos)
        << show.out << show.err;
}

TEST(State, ShowRefusesDamagedFilesByName) {
    const std::pair<const char*, std::string> cases[] = {
        {"not-xml.plist", "these are not the bytes of a property list"},
        {"array.plist", R"(<?xml version="1.0"?><plist version="1.0"><array/></plist>)"},
        // One group that declares two parameters but carries one.
        {"short-data.plist", StateWithData("AAAAAAAAAAAAAAACAAAAAD+AAAA=")},
        // A group cut inside its header.
        {"cut-header.plist", StateWithData("AAAAAAAAAAA=")},
        {"absent.plist", ""},
    };
    const ScratchFolder folder;
    for (const auto& [name, contents] : cases) {
        const std::string file = folder.Path(name);
        if (!contents.empty()) {
            std::ofstream(file) << contents;
        }
        const RunResult run = RunQuenzal({"state", "show", file});
        EXPECT_NE(run.exitCode, 0) << name;
        EXPECT_LT(run.exitCode, 128) << name << " crashed the process";
        EXPECT_NE(run.err.find(file), std::string::npos) << run.err;
    }
}

} // namespace
} // namespace clitest
