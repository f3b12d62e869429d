// A hand-written unit for the registry and host-call tests. It serves open, close, version, the
// stream format and class-info properties and render like a real unit, and records the block of
// every call.
#pragma once

#include "Platform/Host.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <vector>

namespace component_test {

struct ReceivedCall {
    UInt8 flags;
    UInt8 paramSize;
    SInt16 what;
    std::vector<intptr_t> words; // as many as the selector takes, params[0] first
    void* storage;
};

struct RecordingUnit {
    AudioComponentInstance instance;
    std::vector<ReceivedCall> calls;
    Float32 ownSamples[8] = {};
    OSStatus classInfoStatus = noErr;
    CFPropertyListRef restoredState = nullptr;
};

inline constexpr OSStatus kEchoStatusBase = -20000;
inline constexpr OSStatus kVersion = 0x00010002;

// The storage the last close call received (the unit is gone by the time a test looks).
inline void* gLastClosedStorage = nullptr;

inline OSStatus Echo(SInt16 selector) {
    return kEchoStatusBase - selector;
}

// The unit's own reading of the block: how many words each selector takes.
inline std::size_t WordsTaken(SInt16 selector) {
    static const std::map<SInt16, std::size_t> taken = {
        {-1, 1}, {-3, 1}, {3, 5},  {4, 5},  {5, 5},  {6, 4},  {7, 5}, {9, 2},
        {10, 3}, {11, 2}, {14, 5}, {15, 2}, {16, 2}, {17, 2}, {18, 3}};
    const auto found = taken.find(selector);
    return found == taken.end() ? 0 : found->second;
}

inline CFPropertyListRef CreateClassInfo() {
    CFMutableDictionaryRef state = CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    const SInt32 model = 3;
    CFNumberRef number = CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &model);
    CFDictionarySetValue(state, CFSTR("model"), number);
    CFRelease(number);
    return state;
}

inline OSStatus ServeGetProperty(RecordingUnit& unit, const intptr_t* p) {
    auto* size = reinterpret_cast<UInt32*>(p[0]);
    if (p[4] == kAudioUnitProperty_StreamFormat && *size >= sizeof(AudioStreamBasicDescription)) {
        *reinterpret_cast<AudioStreamBasicDescription*>(p[1]) = {
            44100.0, kAudioFormatLinearPCM, 41, 4, 1, 4, 2, 32, 0};
        *size = sizeof(AudioStreamBasicDescription);
        return noErr;
    }
    if (p[4] == kAudioUnitProperty_ClassInfo && unit.classInfoStatus == noErr) {
        *reinterpret_cast<CFPropertyListRef*>(p[1]) = CreateClassInfo();
        *size = sizeof(CFPropertyListRef);
        return noErr;
    }
    return kAudioUnitErr_InvalidProperty;
}

inline OSStatus ServeSetProperty(RecordingUnit& unit, const intptr_t* p) {
    if (p[4] != kAudioUnitProperty_ClassInfo) {
        return Echo(kAudioUnitSetPropertySelect);
    }
    const CFPropertyListRef state = *reinterpret_cast<const CFPropertyListRef*>(p[1]);
    if (p[0] != sizeof state || CFGetTypeID(state) != CFDictionaryGetTypeID()) {
        return kAudioUnitErr_InvalidPropertyValue;
    }
    unit.restoredState = CFRetain(state);
    return noErr;
}

inline OSStatus ServeRender(RecordingUnit& unit, const intptr_t* p) {
    auto* list = reinterpret_cast<AudioBufferList*>(p[0]);
    for (UInt32 i = 0; i < list->mNumberBuffers; ++i) {
        if (list->mBuffers[i].mData == nullptr) {
            list->mBuffers[i].mData = unit.ownSamples;
        }
    }
    *reinterpret_cast<AudioUnitRenderActionFlags*>(p[4]) |= kAudioUnitRenderAction_OutputIsSilence;
    return noErr;
}

inline OSStatus CloseRecordingUnit(RecordingUnit* unit) {
    if (unit->restoredState != nullptr) {
        CFRelease(unit->restoredState);
    }
    gLastClosedStorage = unit;
    delete unit;
    return noErr;
}

inline OSStatus RecordingEntry(ComponentParameters* params, void* storage) {
    const intptr_t* p = params->params;
    auto* unit = static_cast<RecordingUnit*>(storage);
    if (params->what == kComponentOpenSelect) {
        unit = new RecordingUnit{reinterpret_cast<AudioComponentInstance>(p[0]), {}};
    } else if (unit == nullptr) {
        return paramErr;
    }
    unit->calls.push_back({params->flags, params->paramSize, params->what,
                           std::vector<intptr_t>(p, p + WordsTaken(params->what)), storage});
    switch (params->what) {
    case kComponentOpenSelect:
        return SetComponentInstanceStorage(unit->instance, unit);
    case kComponentCloseSelect:
        return CloseRecordingUnit(unit);
    case kComponentVersionSelect:
        return kVersion;
    case kAudioUnitGetPropertySelect:
        return ServeGetProperty(*unit, p);
    case kAudioUnitSetPropertySelect:
        return ServeSetProperty(*unit, p);
    case kAudioUnitRenderSelect:
        return ServeRender(*unit, p);
    default:
        return Echo(params->what);
    }
}

// Registers the recording unit and proves on the way out that nothing was left open or alive.
class RecordingUnitTest : public ::testing::Test {
protected:
    void SetUp() override {
        mOpenAtStart = PlatformOpenInstanceCount();
        mLiveAtStart = PlatformLiveObjectCount();
        mComponent = PlatformRegisterComponent(&mDescription, RecordingEntry, 7);
        ASSERT_NE(mComponent, nullptr);
    }
    void TearDown() override {
        PlatformUnregisterComponent(mComponent);
        EXPECT_EQ(PlatformOpenInstanceCount(), mOpenAtStart);
        EXPECT_EQ(PlatformLiveObjectCount(), mLiveAtStart);
    }

    // The open unit, or null when the open failed.
    RecordingUnit* Open() {
        AudioComponentInstance instance = nullptr;
        EXPECT_EQ(AudioComponentInstanceNew(mComponent, &instance), noErr);
        return static_cast<RecordingUnit*>(GetComponentInstanceStorage(instance));
    }

    // "tEST" "rcrd" "Hwtd", four-character codes read big-endian.
    const AudioComponentDescription mDescription = {0x74455354, 0x72637264, 0x48777464, 0, 0};
    AudioComponent mComponent = nullptr;
    long mOpenAtStart = 0;
    long mLiveAtStart = 0;
};

// The same with one unit open for the whole test.
class OpenUnitTest : public RecordingUnitTest {
protected:
    void SetUp() override {
        RecordingUnitTest::SetUp();
        mUnit = Open();
        ASSERT_NE(mUnit, nullptr);
    }
    void TearDown() override {
        EXPECT_EQ(AudioComponentInstanceDispose(mUnit->instance), noErr);
        RecordingUnitTest::TearDown();
    }

    RecordingUnit* mUnit = nullptr;
};

} // namespace component_test
