// A hand-written unit for the registry and host-call tests: it serves open, close, can-do,
// version, get-property and render like a real unit, and records the block of every call.
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
};

inline constexpr OSStatus kEchoStatusBase = -20000;
inline constexpr OSStatus kVersion = 0x00010002;
// The storage the last close call received (the unit is gone by the time a test looks).
inline void* gLastClosedStorage = nullptr;

inline constexpr UInt32 kFormatProperty = kAudioUnitProperty_StreamFormat;

// The unit's own reading of the block: how many words each selector takes.
inline std::size_t WordsTaken(SInt16 selector) {
    static const std::map<SInt16, std::size_t> taken = {{kComponentOpenSelect, 1},
                                                        {kComponentCanDoSelect, 1},
                                                        {3, 5},
                                                        {4, 5},
                                                        {5, 5},
                                                        {6, 4},
                                                        {7, 5},
                                                        {9, 2},
                                                        {10, 3},
                                                        {11, 2},
                                                        {14, 5},
                                                        {15, 2},
                                                        {16, 2},
                                                        {17, 2},
                                                        {18, 3}};
    const auto found = taken.find(selector);
    return found == taken.end() ? 0 : found->second;
}

inline ReceivedCall Receive(const ComponentParameters* params, void* storage) {
    ReceivedCall call{params->flags, params->paramSize, params->what, {}, storage};
    call.words.assign(params->params, params->params + WordsTaken(params->what));
    return call;
}

inline OSStatus ServeGetProperty(const ReceivedCall& call) {
    auto* size = reinterpret_cast<UInt32*>(call.words[0]);
    auto* data = reinterpret_cast<AudioStreamBasicDescription*>(call.words[1]);
    if (call.words[4] != kFormatProperty || data == nullptr || *size < sizeof *data) {
        return kAudioUnitErr_InvalidProperty;
    }
    *data = AudioStreamBasicDescription{44100.0, kAudioFormatLinearPCM, 41, 4, 1, 4, 2, 32, 0};
    *size = sizeof *data;
    return noErr;
}

inline OSStatus ServeRender(RecordingUnit& unit, const ReceivedCall& call) {
    auto* flags = reinterpret_cast<AudioUnitRenderActionFlags*>(call.words[4]);
    auto* list = reinterpret_cast<AudioBufferList*>(call.words[0]);
    for (UInt32 i = 0; i < list->mNumberBuffers; ++i) {
        if (list->mBuffers[i].mData == nullptr) {
            list->mBuffers[i].mData = unit.ownSamples;
        }
    }
    *flags |= kAudioUnitRenderAction_OutputIsSilence;
    return noErr;
}

inline OSStatus OpenRecordingUnit(const ComponentParameters* params) {
    auto* unit = new RecordingUnit{reinterpret_cast<AudioComponentInstance>(params->params[0]), {}};
    unit->calls.push_back(Receive(params, nullptr));
    return SetComponentInstanceStorage(unit->instance, unit);
}

inline OSStatus RecordingEntry(ComponentParameters* params, void* storage) {
    if (params->what == kComponentOpenSelect) {
        return OpenRecordingUnit(params);
    }
    auto* unit = static_cast<RecordingUnit*>(storage);
    if (unit == nullptr) {
        return paramErr;
    }
    unit->calls.push_back(Receive(params, storage));
    const ReceivedCall& call = unit->calls.back();
    switch (params->what) {
    case kComponentCloseSelect:
        gLastClosedStorage = storage;
        delete unit;
        return noErr;
    case kComponentVersionSelect:
        return kVersion;
    case kAudioUnitGetPropertySelect:
        return ServeGetProperty(call);
    case kAudioUnitRenderSelect:
        return ServeRender(*unit, call);
    default:
        return kEchoStatusBase - params->what;
    }
}

inline AudioComponentDescription Describe(const char (&type)[5], const char (&subtype)[5],
                                          const char (&manufacturer)[5]) {
    auto code = [](const char(&text)[5]) {
        return static_cast<OSType>(static_cast<UInt8>(text[0]) << 24 |
                                   static_cast<UInt8>(text[1]) << 16 |
                                   static_cast<UInt8>(text[2]) << 8 | static_cast<UInt8>(text[3]));
    };
    return {code(type), code(subtype), code(manufacturer), 0, 0};
}

// Registers the recording unit and proves on the way out that every instance was closed.
class RecordingUnitTest : public ::testing::Test {
protected:
    void SetUp() override {
        mOpenAtStart = PlatformOpenInstanceCount();
        mComponent = PlatformRegisterComponent(&mDescription, RecordingEntry, 7);
        ASSERT_NE(mComponent, nullptr);
    }
    void TearDown() override {
        PlatformUnregisterComponent(mComponent);
        EXPECT_EQ(PlatformOpenInstanceCount(), mOpenAtStart);
    }

    // The open unit, or null when the open failed.
    RecordingUnit* Open() {
        AudioComponentInstance instance = nullptr;
        EXPECT_EQ(AudioComponentInstanceNew(mComponent, &instance), noErr);
        return static_cast<RecordingUnit*>(GetComponentInstanceStorage(instance));
    }

    const AudioComponentDescription mDescription = Describe("tEST", "rcrd", "Hwtd");
    AudioComponent mComponent = nullptr;
    long mOpenAtStart = 0;
};

} // namespace component_test
