#include "TestUnits.h"

#include "Platform/Host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using testunits::OpenUnit;
using testunits::TestUnit;

namespace {

using EventLog = std::vector<std::string>;

// Logs the operations the base drives, down to each bus's allocation.
class LifecycleUnit : public TestUnit {
public:
    explicit LifecycleUnit(EventLog& log) : TestUnit(nullptr, 2, 2), mLog(log) {}
    OSStatus initializeStatus = noErr;

    OSStatus Initialize() override {
        mLog.push_back("Initialize");
        return initializeStatus;
    }
    void Cleanup() override { mLog.push_back("Cleanup"); }
    void ReallocateBuffers() override {
        mLog.push_back("Reallocate");
        TestUnit::ReallocateBuffers();
    }
    AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement index) override {
        if (scope != kAudioUnitScope_Input && scope != kAudioUnitScope_Output) {
            return TestUnit::CreateElement(scope, index);
        }
        return new Bus(this, mLog, (scope == 1 ? "in" : "out") + std::to_string(index));
    }

private:
    struct Bus : AUIOElement {
        Bus(AUBase* unit, EventLog& log, std::string name)
            : AUIOElement(unit), log(log), name(std::move(name)) {}
        void AllocateBuffer(UInt32 frames) override {
            log.push_back(name);
            AUIOElement::AllocateBuffer(frames);
        }
        bool NeedsBufferSpace() const override { return true; }
        EventLog& log;
        std::string name;
    };
    EventLog& mLog;
};

TEST(Lifecycle, InitializeUninitializeAndMaxFrames) {
    EventLog log;
    auto unit = OpenUnit<LifecycleUnit>(log);
    EXPECT_EQ(unit->GetMaxFramesPerSlice(), 1156u);
    unit->SetMaxFramesPerSlice(256);
    unit->DoCleanup();
    EXPECT_TRUE(log.empty()) << "no buffers to resize yet, nothing to clean up";

    unit->initializeStatus = kAudioUnitErr_FormatNotSupported;
    EXPECT_EQ(unit->DoInitialize(), kAudioUnitErr_FormatNotSupported);
    EXPECT_FALSE(unit->HasBegunInitializing());
    unit->initializeStatus = noErr;
    EXPECT_EQ(unit->DoInitialize(), noErr);
    EXPECT_EQ(unit->DoInitialize(), noErr);
    EXPECT_EQ(unit->CanSetMaxFrames(), kAudioUnitErr_Initialized);
    unit->DoCleanup();
    EXPECT_FALSE(unit->IsInitialized() || unit->HasBegunInitializing());
    EXPECT_EQ(unit->CanSetMaxFrames(), noErr);
    unit->SetMaxFramesPerSlice(128);
    unit->DoInitialize();
    unit.reset();
    const EventLog reallocation = {"Reallocate", "out0", "out1", "in0", "in1"};
    EventLog expected = {"Initialize", "Initialize"};
    for (const EventLog& part : std::initializer_list<EventLog>{
             reallocation, {"Cleanup"}, reallocation, {"Initialize"}, reallocation, {"Cleanup"}}) {
        expected.insert(expected.end(), part.begin(), part.end());
    }
    EXPECT_EQ(log, expected);
}

// A new output format after initializing reaches the output's buffers at once.
TEST(IOElements, NewOutputFormatAfterInitializeReallocates) {
    auto unit = OpenUnit();
    ASSERT_EQ(unit->DoInitialize(), noErr);
    AUIOElement* output = unit->GetOutput(0);
    CAStreamBasicDescription quad = output->GetStreamFormat();
    quad.mChannelsPerFrame = 4;
    EXPECT_EQ(output->SetStreamFormat(quad), noErr);
    EXPECT_EQ(output->IOBuffer().GetStreamCapacity(), 4u);
}

OSStatus SilentEntry(ComponentParameters*, void*) {
    return noErr;
}

TEST(LoggingString, FourCharacterCodes) {
    const std::pair<AudioComponentDescription, const char*> cases[] = {
        {{0x65666374, 0x716E7A6C, 0x48727764, 0, 0}, "'efct' 'qnzl' 'Hrwd'"},
        {{0x65666374, 0x20202020, 0x0001FF5C, 0, 0}, "'efct' '    ' 0x0001FF5C"},
        {{0x615C6263, 0x7E7E7E7F, 0x48727764, 0, 0}, "0x615C6263 0x7E7E7E7F 'Hrwd'"},
    };
    for (const auto& [desc, codes] : cases) {
        AudioComponent component = PlatformRegisterComponent(&desc, SilentEntry, 1);
        AudioComponentInstance instance = nullptr;
        ASSERT_EQ(AudioComponentInstanceNew(component, &instance), noErr);
        char expected[64];
        std::snprintf(expected, sizeof expected, "AU (%p): %s", static_cast<void*>(instance),
                      codes);
        EXPECT_STREQ(OpenUnit(instance)->GetLoggingString(), expected);
        AudioComponentInstanceDispose(instance);
        PlatformUnregisterComponent(component);
    }
}

} // namespace
