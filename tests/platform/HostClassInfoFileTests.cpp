// A unit's saved state kept in a property-list file.
#include "ComponentTestUnit.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

using namespace component_test;

namespace {

class ClassInfoFileTest : public OpenUnitTest {
protected:
    void TearDown() override {
        std::remove(mPath.c_str());
        OpenUnitTest::TearDown();
    }
    OSStatus Save(const std::string& path) {
        return PlatformSaveClassInfoToFile(mUnit->instance, path.c_str(), mMessage,
                                           sizeof mMessage);
    }
    OSStatus Restore(const std::string& path) {
        return PlatformRestoreClassInfoFromFile(mUnit->instance, path.c_str(), mMessage,
                                                sizeof mMessage);
    }
    // The message names the file and says what went wrong.
    void ExpectMessage(const std::string& path, const std::string& problem) {
        const std::string text = mMessage;
        EXPECT_NE(text.find(path), std::string::npos) << text;
        EXPECT_NE(text.find(problem), std::string::npos) << text;
    }

    // One file per test process: ctest runs the tests of this suite side by side.
    const std::string mPath =
        ::testing::TempDir() + "host_class_info." + std::to_string(getpid()) + ".plist";
    const std::string mMissing = ::testing::TempDir() + "no-such-dir/state.plist";
    char mMessage[512] = "";
};

TEST_F(ClassInfoFileTest, SavedStateComesBackEqualAndReleased) {
    ASSERT_EQ(Save(mPath), noErr) << mMessage;
    ASSERT_EQ(Restore(mPath), noErr) << mMessage;
    ASSERT_NE(mUnit->restoredState, nullptr);
    const CFPropertyListRef expected = CreateClassInfo();
    EXPECT_TRUE(CFEqual(mUnit->restoredState, expected));
    CFRelease(expected);
    EXPECT_EQ(CFGetRetainCount(mUnit->restoredState), 1);
}

TEST_F(ClassInfoFileTest, FailuresNameTheFileAndTheProblem) {
    mUnit->classInfoStatus = kAudioUnitErr_InvalidProperty;
    EXPECT_EQ(Save(mPath), kAudioUnitErr_InvalidProperty);
    ExpectMessage(mPath, "did not hand out its state");
    mUnit->classInfoStatus = noErr;
    EXPECT_EQ(Save(mMissing), -1);
    ExpectMessage(mMissing, "");

    EXPECT_EQ(Restore(mMissing), -1);
    ExpectMessage(mMissing, "");
    std::ofstream(mPath) << "<plist version=\"1.0\"><array/></plist>";
    EXPECT_EQ(Restore(mPath), kAudioUnitErr_InvalidPropertyValue);
    ExpectMessage(mPath, "the unit refused the saved state");
    EXPECT_EQ(mUnit->restoredState, nullptr);
}

} // namespace
