// A unit's saved state kept in a property-list file.
#include "Platform/Host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

namespace {

// A unit whose class-info is a one-entry dictionary; it keeps the state it is given.
struct StateUnit {
    OSStatus getStatus = noErr;
    CFPropertyListRef restored = nullptr;
};

CFPropertyListRef CreateState() {
    CFMutableDictionaryRef state = CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    const SInt32 model = 3;
    CFNumberRef number = CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &model);
    CFDictionarySetValue(state, CFSTR("model"), number);
    CFRelease(number);
    return state;
}

OSStatus GetState(StateUnit& unit, const intptr_t* p) {
    if (unit.getStatus != noErr) {
        return unit.getStatus;
    }
    *reinterpret_cast<CFPropertyListRef*>(p[1]) = CreateState();
    *reinterpret_cast<UInt32*>(p[0]) = sizeof(CFPropertyListRef);
    return noErr;
}

OSStatus SetState(StateUnit& unit, const intptr_t* p) {
    const CFPropertyListRef state = *reinterpret_cast<const CFPropertyListRef*>(p[1]);
    if (p[0] != sizeof state || CFGetTypeID(state) != CFDictionaryGetTypeID()) {
        return kAudioUnitErr_InvalidPropertyValue;
    }
    unit.restored = CFRetain(state);
    return noErr;
}

OSStatus StateEntry(ComponentParameters* params, void* storage) {
    auto* unit = static_cast<StateUnit*>(storage);
    const intptr_t* p = params->params;
    switch (params->what) {
    case kComponentOpenSelect:
        return SetComponentInstanceStorage(reinterpret_cast<AudioComponentInstance>(p[0]),
                                           new StateUnit);
    case kComponentCloseSelect:
        if (unit->restored != nullptr) {
            CFRelease(unit->restored);
        }
        delete unit;
        return noErr;
    case kAudioUnitGetPropertySelect:
        return p[4] == kAudioUnitProperty_ClassInfo ? GetState(*unit, p)
                                                    : kAudioUnitErr_InvalidProperty;
    case kAudioUnitSetPropertySelect:
        return p[4] == kAudioUnitProperty_ClassInfo ? SetState(*unit, p)
                                                    : kAudioUnitErr_InvalidProperty;
    default:
        return badComponentSelector;
    }
}

class ClassInfoFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        mLiveAtStart = PlatformLiveObjectCount();
        mComponent = PlatformRegisterComponent(&mDescription, StateEntry, 1);
        ASSERT_EQ(AudioComponentInstanceNew(mComponent, &mInstance), noErr);
        mUnit = static_cast<StateUnit*>(GetComponentInstanceStorage(mInstance));
    }
    void TearDown() override {
        EXPECT_EQ(AudioComponentInstanceDispose(mInstance), noErr);
        PlatformUnregisterComponent(mComponent);
        std::remove(mPath.c_str());
        EXPECT_EQ(PlatformLiveObjectCount(), mLiveAtStart);
    }

    const AudioComponentDescription mDescription = {0x74455354, 0x73746174, 0x48777464, 0, 0};
    const std::string mPath = ::testing::TempDir() + "host_class_info.plist";
    AudioComponent mComponent = nullptr;
    AudioComponentInstance mInstance = nullptr;
    StateUnit* mUnit = nullptr;
    long mLiveAtStart = 0;
    char mMessage[512] = "";
};

TEST_F(ClassInfoFileTest, SavedStateComesBackEqual) {
    ASSERT_EQ(PlatformSaveClassInfoToFile(mInstance, mPath.c_str(), mMessage, sizeof mMessage),
              noErr)
        << mMessage;
    ASSERT_EQ(PlatformRestoreClassInfoFromFile(mInstance, mPath.c_str(), mMessage, sizeof mMessage),
              noErr)
        << mMessage;
    ASSERT_NE(mUnit->restored, nullptr);
    const CFPropertyListRef expected = CreateState();
    EXPECT_TRUE(CFEqual(mUnit->restored, expected));
    CFRelease(expected);
    EXPECT_EQ(CFGetRetainCount(mUnit->restored), 1) << "the file's list is released";
}

TEST_F(ClassInfoFileTest, FailuresNameTheFileAndReturnAStatus) {
    struct Case {
        const char* what;
        std::function<OSStatus()> call;
        OSStatus status;
        const char* problem;
    };
    const std::string missing = ::testing::TempDir() + "no-such-dir/state.plist";
    auto save = [&](const std::string& path) {
        return PlatformSaveClassInfoToFile(mInstance, path.c_str(), mMessage, sizeof mMessage);
    };
    auto restore = [&](const std::string& path) {
        return PlatformRestoreClassInfoFromFile(mInstance, path.c_str(), mMessage, sizeof mMessage);
    };
    const Case cases[] = {
        {"unit refuses to hand out its state",
         [&] {
             mUnit->getStatus = kAudioUnitErr_InvalidProperty;
             const OSStatus status = save(mPath);
             mUnit->getStatus = noErr;
             return status;
         },
         kAudioUnitErr_InvalidProperty, "did not hand out its state"},
        {"unwritable file", [&] { return save(missing); }, -1, ""},
        {"missing file", [&] { return restore(missing); }, -1, ""},
        {"refused state",
         [&] {
             std::ofstream(mPath) << "<plist version=\"1.0\"><array/></plist>";
             return restore(mPath);
         },
         kAudioUnitErr_InvalidPropertyValue, "the unit refused the saved state"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        mMessage[0] = '\0';
        EXPECT_EQ(c.call(), c.status);
        const std::string text = mMessage;
        EXPECT_NE(text.find(c.problem), std::string::npos) << text;
        const bool namesFile =
            text.find(mPath) != std::string::npos || text.find(missing) != std::string::npos;
        EXPECT_TRUE(namesFile) << text;
    }
    EXPECT_EQ(mUnit->restored, nullptr);
}

} // namespace
