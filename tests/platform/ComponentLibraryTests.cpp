// Registering a component library by path through its registration file.
#include "Platform/Host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <unistd.h>

namespace {

const AudioComponentDescription kFixtureDescription = {0x74455354, 0x66697874, 0x48777464, 0,
                                                       0}; // "tEST" "fixt" "Hwtd"

struct Entries {
    std::string type = "<string>tEST</string>";
    std::string version = "<integer>4294967295</integer>";
    std::string entry = "<string>HostFixtureEntry</string>";
};

std::string RegistrationText(const Entries& e) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
           "<key>name</key><string>Fixture: Host</string>\n" +
           (e.type.empty() ? "" : "<key>type</key>" + e.type + "\n") +
           "<key>subtype</key><string>fixt</string>\n"
           "<key>manufacturer</key><string>Hwtd</string>\n" +
           (e.version.empty() ? "" : "<key>version</key>" + e.version + "\n") +
           (e.entry.empty() ? "" : "<key>entry</key>" + e.entry + "\n") + "</dict>\n</plist>\n";
}

class ComponentLibraryTest : public ::testing::Test {
protected:
    void SetUp() override { mOpenAtStart = PlatformOpenInstanceCount(); }
    void TearDown() override {
        std::remove(mPath.c_str());
        EXPECT_EQ(AudioComponentFindNext(nullptr, &kFixtureDescription), nullptr);
        EXPECT_EQ(PlatformOpenInstanceCount(), mOpenAtStart);
    }

    const std::string& Write(const std::string& text) {
        std::ofstream(mPath) << text;
        return mPath;
    }

    static std::string Refusal(const char* library, const std::string& registration,
                               std::size_t messageSize) {
        char message[512] = "unchanged";
        auto component = reinterpret_cast<AudioComponent>(message);
        EXPECT_EQ(PlatformRegisterComponentLibrary(library, registration.c_str(), &component,
                                                   message, messageSize),
                  kPlatformErr_Failed);
        EXPECT_EQ(component, nullptr);
        return message;
    }

    // Expects a refusal whose message names the file and says what is wrong, and that a short
    // buffer never ends inside the file name's multi-byte character.
    void ExpectRefused(const char* library, const std::string& registration,
                       const std::string& problem) {
        const std::string text = Refusal(library, registration, 512);
        EXPECT_NE(text.find(problem), std::string::npos) << text;
        const std::string named =
            library == std::string(HOST_FIXTURE_LIBRARY) ? registration : library;
        EXPECT_NE(text.find(named), std::string::npos) << text;
        const std::size_t at = text.find(kMultiByte);
        for (std::size_t inside = 1; at != std::string::npos && inside < kMultiByte.size();
             ++inside) {
            EXPECT_EQ(Refusal(library, registration, at + inside + 1), text.substr(0, at));
        }
    }

    static constexpr std::string_view kMultiByte = "\xE2\x82\xAC";
    // One file per test process: ctest runs the tests of this suite side by side.
    const std::string mPath = ::testing::TempDir() + "host_fixture_registration." +
                              std::string(kMultiByte) + std::to_string(getpid()) + ".plist";
    long mOpenAtStart = 0;
};

TEST_F(ComponentLibraryTest, RegistersTheEntryItNamesWithItsCodesAndVersion) {
    char message[256] = "unchanged";
    AudioComponent component = nullptr;
    ASSERT_EQ(PlatformRegisterComponentLibrary(HOST_FIXTURE_LIBRARY,
                                               Write(RegistrationText({})).c_str(), &component,
                                               message, sizeof message),
              noErr)
        << message;
    EXPECT_EQ(AudioComponentFindNext(nullptr, &kFixtureDescription), component);
    EXPECT_EQ(PlatformComponentVersion(component), 0xFFFFFFFFu);

    AudioComponentInstance instance = nullptr;
    ASSERT_EQ(AudioComponentInstanceNew(component, &instance), noErr);
    EXPECT_EQ(AudioComponentInstanceVersion(instance), 0x00050006);
    EXPECT_EQ(AudioComponentInstanceDispose(instance), noErr);
    PlatformUnregisterComponent(component);
}

TEST_F(ComponentLibraryTest, RefusesFaultyRegistrationFilesNamingFileAndProblem) {
    // clang-format off
    const std::pair<std::string, const char*> cases[] = {
        {"<plist><dict>", ""},
        {"<plist version=\"1.0\"><array/></plist>", "not a dictionary"},
        {RegistrationText({.type = ""}), "\"type\" is missing"},
        {RegistrationText({.type = "<integer>1</integer>"}), "\"type\" is not a string"},
        {RegistrationText({.type = "<string>efc</string>"}), "\"type\" is not four printable ASCII characters"},
        {RegistrationText({.type = "<string>ef\tt</string>"}), "printable"},
        {RegistrationText({.type = "<string>ef\xC3\xA9</string>"}), "printable"},
        {RegistrationText({.version = ""}), "\"version\" is missing"},
        {RegistrationText({.version = "<real>1.5</real>"}), "\"version\""},
        {RegistrationText({.version = "<integer>-1</integer>"}), "\"version\" is not an integer from 0 to 4294967295"},
        {RegistrationText({.version = "<integer>4294967296</integer>"}), "\"version\""},
        {RegistrationText({.entry = ""}), "\"entry\" is missing"},
        {RegistrationText({.entry = "<string>NoSuchEntry</string>"}), "no symbol \"NoSuchEntry\""},
    };
    // clang-format on
    for (const auto& [text, problem] : cases) {
        SCOPED_TRACE(text);
        ExpectRefused(HOST_FIXTURE_LIBRARY, Write(text), problem);
    }
}

TEST_F(ComponentLibraryTest, RefusesMissingFilesAndLibraries) {
    ExpectRefused(HOST_FIXTURE_LIBRARY, ::testing::TempDir() + "no-such-registration.plist", "");
    const std::string missingLibrary = ::testing::TempDir() + "no-such-library.so";
    ExpectRefused(missingLibrary.c_str(), Write(RegistrationText({})),
                  "cannot load component library " + missingLibrary + ": " + missingLibrary);

    char message[64] = "unchanged";
    AudioComponent component = nullptr;
    EXPECT_EQ(PlatformRegisterComponentLibrary(nullptr, mPath.c_str(), &component, message,
                                               sizeof message),
              paramErr);
    EXPECT_STRNE(message, "unchanged");
    EXPECT_EQ(
        PlatformRegisterComponentLibrary(HOST_FIXTURE_LIBRARY, nullptr, &component, nullptr, 0),
        paramErr);
    EXPECT_EQ(
        PlatformRegisterComponentLibrary(HOST_FIXTURE_LIBRARY, mPath.c_str(), nullptr, nullptr, 0),
        paramErr);
}

} // namespace
