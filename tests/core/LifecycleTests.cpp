#include "TestUnits.h"

#include "CAVectorUnit.h"
#include "Platform/Host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using testing::MatchesRegex;
using testunits::OpenUnit;
using testunits::StatusOf;
using testunits::TestUnit;

namespace {

using EventLog = std::vector<std::string>;

// A bus that logs each allocation request with its scope and index.
class LoggedBus : public AUIOElement {
public:
    LoggedBus(AUBase* unit, EventLog& log, std::string label)
        : AUIOElement(unit), mLog(log), mLabel(std::move(label)) {}
    void AllocateBuffer(UInt32 frames) override {
        mLog.push_back("allocate " + mLabel);
        AUIOElement::AllocateBuffer(frames);
    }
    bool NeedsBufferSpace() const override { return true; }

private:
    EventLog& mLog;
    std::string mLabel;
};

// Logs the lifecycle operations the base drives; Initialize answers initializeStatus.
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
        mLog.push_back("ReallocateBuffers");
        TestUnit::ReallocateBuffers();
    }
    AUElement* CreateElement(AudioUnitScope scope, AudioUnitElement index) override {
        if (scope != kAudioUnitScope_Input && scope != kAudioUnitScope_Output) {
            return TestUnit::CreateElement(scope, index);
        }
        const char* name = scope == kAudioUnitScope_Input ? "in" : "out";
        return new LoggedBus(this, mLog, name + std::to_string(index));
    }

private:
    EventLog& mLog;
};

const EventLog kFullReallocation = {"ReallocateBuffers", "allocate out0", "allocate out1",
                                    "allocate in0", "allocate in1"};

EventLog Then(EventLog first, const EventLog& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TEST(Lifecycle, ConstructionDefaults) {
    auto unit = OpenUnit();
    EXPECT_EQ(unit->GetMaxFramesPerSlice(), 1156u);
    EXPECT_EQ(unit->GetCurrentPreset().presetNumber, -1);
    EXPECT_STREQ(PlatformStringUTF8(unit->GetCurrentPreset().presetName), "Untitled");
    EXPECT_EQ(unit->GetLastRenderedSampleTime(), -1.0);
    EXPECT_EQ(unit->AudioUnitAPIVersion(), 2);
    EXPECT_FALSE(unit->IsInitialized());
    EXPECT_FALSE(unit->HasBegunInitializing());
    EXPECT_NE(unit->Globals(), nullptr);
    EXPECT_TRUE(unit->GetParamEventList().empty());
    EXPECT_GE(unit->GetParamEventList().capacity(), 24u);
    EXPECT_NE(AUBase::sVectorUnitType, kVecUninitialized);
}

TEST(Lifecycle, InitializeThenUninitialize) {
    EventLog log;
    auto unit = OpenUnit<LifecycleUnit>(log);
    EXPECT_EQ(unit->DoInitialize(), noErr);
    EXPECT_EQ(log, Then({"Initialize"}, kFullReallocation));
    EXPECT_TRUE(unit->IsInitialized());
    EXPECT_TRUE(unit->HasBegunInitializing());

    log.clear();
    EXPECT_EQ(unit->DoInitialize(), noErr);
    EXPECT_TRUE(log.empty()) << "a second initialize does nothing";

    unit->DoCleanup();
    EXPECT_EQ(log, EventLog{"Cleanup"});
    EXPECT_FALSE(unit->IsInitialized());
    EXPECT_FALSE(unit->HasBegunInitializing());

    log.clear();
    unit->DoCleanup();
    EXPECT_TRUE(log.empty()) << "cleanup runs only for an initialized unit";
}

TEST(Lifecycle, RefusedInitializeChangesNothing) {
    EventLog log;
    auto unit = OpenUnit<LifecycleUnit>(log);
    unit->initializeStatus = kAudioUnitErr_FormatNotSupported;
    EXPECT_EQ(unit->DoInitialize(), kAudioUnitErr_FormatNotSupported);
    EXPECT_EQ(log, EventLog{"Initialize"});
    EXPECT_FALSE(unit->IsInitialized());
    EXPECT_FALSE(unit->HasBegunInitializing());
}

TEST(Lifecycle, MaxFramesReallocateOnlyOnceBuffersExist) {
    EventLog log;
    auto unit = OpenUnit<LifecycleUnit>(log);
    unit->SetMaxFramesPerSlice(256);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(unit->GetMaxFramesPerSlice(), 256u);

    unit->DoInitialize();
    unit->DoCleanup();
    log.clear();
    unit->SetMaxFramesPerSlice(128);
    EXPECT_EQ(log, kFullReallocation);
}

TEST(Lifecycle, MaxFramesMaySetExactlyWhileUninitialized) {
    auto unit = OpenUnit();
    EXPECT_EQ(unit->CanSetMaxFrames(), noErr);
    unit->DoInitialize();
    EXPECT_EQ(unit->CanSetMaxFrames(), kAudioUnitErr_Initialized);
    unit->DoCleanup();
    EXPECT_EQ(unit->CanSetMaxFrames(), noErr);
}

TEST(Lifecycle, ResetForgetsTheLastRenderedTime) {
    auto unit = OpenUnit();
    unit->SetLastRenderedSampleTime(4096.0);
    EXPECT_EQ(unit->Reset(kAudioUnitScope_Global, 0), noErr);
    EXPECT_EQ(unit->GetLastRenderedSampleTime(), -1.0);
}

TEST(Lifecycle, ClosingUninitializes) {
    EventLog log;
    {
        auto unit = OpenUnit<LifecycleUnit>(log);
        unit->DoInitialize();
        log.clear();
    }
    EXPECT_EQ(log, EventLog{"Cleanup"});
}

TEST(IOElements, OutputBuffersAfterInitialize) {
    auto unit = OpenUnit();
    unit->SetMaxFramesPerSlice(512);
    AUIOElement* output = unit->GetOutput(0);
    EXPECT_EQ(output->IOBuffer().GetByteCapacity(), 0u) << "nothing before initializing";

    ASSERT_EQ(unit->DoInitialize(), noErr);
    EXPECT_EQ(output->IOBuffer().GetFrameCapacity(), 512u);
    EXPECT_EQ(output->IOBuffer().GetByteCapacity(), 4096u);
    const AudioBufferList& list = output->PrepareBuffer(512);
    ASSERT_EQ(list.mNumberBuffers, 2u);
    const auto* first = static_cast<const Byte*>(list.mBuffers[0].mData);
    const auto* second = static_cast<const Byte*>(list.mBuffers[1].mData);
    EXPECT_EQ(second - first, 2048);
    EXPECT_EQ(list.mBuffers[1].mDataByteSize, 2048u);
    EXPECT_EQ(unit->GetInput(0)->IOBuffer().GetByteCapacity(), 0u)
        << "an input fed by nothing keeps no memory";
}

TEST(IOElements, DefaultFormatAndNewFormatAfterInitialize) {
    auto unit = OpenUnit();
    AUIOElement* output = unit->GetOutput(0);
    const CAStreamBasicDescription& format = output->GetStreamFormat();
    EXPECT_EQ(format.mSampleRate, 44100.0);
    EXPECT_EQ(format.mChannelsPerFrame, 2u);
    EXPECT_EQ(format.mFormatFlags, 41u);
    EXPECT_EQ(format.mBytesPerFrame, 4u);

    unit->DoInitialize();
    CAStreamBasicDescription quad = format;
    quad.mChannelsPerFrame = 4;
    EXPECT_EQ(output->SetStreamFormat(quad), noErr);
    EXPECT_EQ(output->IOBuffer().GetStreamCapacity(), 4u) << "reallocated at once";
}

TEST(IOElements, BusThatMustNotAllocateRefusesToPrepare) {
    auto unit = OpenUnit();
    unit->DoInitialize();
    AUIOElement* output = unit->GetOutput(0);
    output->SetWillAllocateBuffer(false);
    EXPECT_EQ(StatusOf([&] { output->PrepareBuffer(16); }), kAudioUnitErr_InvalidPropertyValue);
}

// ---- the logging string ----

OSStatus SilentEntry(ComponentParameters*, void*) {
    return noErr;
}

struct LoggingCase {
    OSType type, subtype, manufacturer;
    const char* codes;
};

TEST(LoggingString, FourCharacterCodes) {
    const LoggingCase cases[] = {
        {0x65666374, 0x716E7A6C, 0x48727764, "'efct' 'qnzl' 'Hrwd'"},
        {0x65666374, 0x716E7A6C, 0x0001FF5C, "'efct' 'qnzl' 0x0001FF5C"},
        {0x615C6263, 0x20202020, 0x7E7E7E7F, "0x615C6263 '    ' 0x7E7E7E7F"},
    };
    for (const LoggingCase& c : cases) {
        const AudioComponentDescription desc{c.type, c.subtype, c.manufacturer, 0, 0};
        AudioComponent component = PlatformRegisterComponent(&desc, SilentEntry, 1);
        AudioComponentInstance instance = nullptr;
        ASSERT_EQ(AudioComponentInstanceNew(component, &instance), noErr);
        {
            auto unit = OpenUnit(instance);
            char pointer[32];
            std::snprintf(pointer, sizeof pointer, "%p", static_cast<void*>(instance));
            const char* text = unit->GetLoggingString();
            EXPECT_EQ(text, "AU (" + std::string(pointer) + "): " + c.codes);
            EXPECT_EQ(unit->GetLoggingString(), text) << "made once";
        }
        AudioComponentInstanceDispose(instance);
        PlatformUnregisterComponent(component);
    }
}

TEST(LoggingString, WithoutAComponentTheCodesAreZero) {
    auto unit = OpenUnit();
    testing::internal::CaptureStderr();
    const std::string text = unit->GetLoggingString();
    const std::string diagnostics = testing::internal::GetCapturedStderr();
    char expected[64];
    std::snprintf(expected, sizeof expected, "AU (%p): 0x00000000 0x00000000 0x00000000",
                  static_cast<void*>(nullptr));
    EXPECT_EQ(text, expected);
    EXPECT_THAT(diagnostics, MatchesRegex("error: failed assertion: comp\n"
                                          "ca_require_noerr: \\[result = -1, -1\\] "
                                          "\\(goto home;\\) ComponentBase:[0-9]+\n"));
}

// The vector-unit answer is cached for the process, so this runs in a fresh one.
TEST(VectorUnitDeathTest, NoVectorIsReportedOnceAndAnswersNone) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            setenv("CA_NoVector", "1", 1);
            testing::internal::CaptureStderr();
            OpenUnit();
            OpenUnit();
            const bool once = testing::internal::GetCapturedStderr() ==
                              "CA_NoVector set; Vector unit optimized routines will be bypassed\n";
            std::exit(once && AUBase::sVectorUnitType == kVecNone ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
