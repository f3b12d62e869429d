// The checks of the set path, each failing in turn in the order they run, with the
// diagnostic line each one writes (or its silence).
#include "PropertyTestKit.h"

namespace {

using propkit::BytesOf;
using testhost::QuenzalUnit;

constexpr const char* kNone = nullptr;
constexpr const char* kSizeIs4 = "inDataSize == sizeof(UInt32)";
constexpr const char* kStringSize = "inDataSize == sizeof(CFStringRef)";
constexpr const char* kGlobalOnly = "inScope == kAudioUnitScope_Global";
constexpr const char* kElementExists = "GetElement(inScope, inElement) != NULL";
constexpr const char* kFormatWritable = "IsStreamFormatWritable(inScope, inElement)";
constexpr const char* kLayoutSize = "inDataSize >= offsetof(AudioChannelLayout, "
                                    "mChannelDescriptions) + layout->mNumberChannelDescriptions "
                                    "* sizeof(AudioChannelDescription)";

struct SetCase {
    const char* name;
    AudioUnitPropertyID id;
    AudioUnitScope scope;
    AudioUnitElement element;
    std::vector<Byte> data;
    bool initialized;
    OSStatus status;
    const char* condition; // kNone: no diagnostic
    const char* label;
};

AudioStreamBasicDescription Canonical(UInt32 channels, Float64 rate = 44100.0) {
    return hosting::CanonicalFormat(channels, rate);
}

AudioStreamBasicDescription SixteenBitInteger() {
    AudioStreamBasicDescription format = Canonical(2);
    format.mFormatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsNonInterleaved;
    format.mBitsPerChannel = 16;
    format.mBytesPerFrame = format.mBytesPerPacket = 2;
    return format;
}

AudioChannelLayout LayoutWithDescriptions(UInt32 count) {
    AudioChannelLayout layout{};
    layout.mNumberChannelDescriptions = count;
    return layout;
}

const AudioUnitExternalBuffer kMisalignedBuffer{reinterpret_cast<Byte*>(uintptr_t{0x1008}), 64};
const AudioUnitExternalBuffer kAlignedBuffer{reinterpret_cast<Byte*>(uintptr_t{0x1000}), 64};
const AUPreset kUserPresetWithoutName{-1, nullptr};
const AUPreset kFactoryPreset{0, nullptr};
const UInt32 kOne = 1;
// One byte short of a pointer-sized value on every target.
const std::vector<Byte> kOneShortOfAReference = BytesOf(kOne, sizeof(void*) - 1);
const CFStringRef kNoName = nullptr;

// clang-format off
const SetCase kSetCases[] = {
    {"ClassInfoShort",          0, 0, 0, kOneShortOfAReference, false, -10851, "inDataSize == sizeof(CFPropertyListRef *)", "InvalidPropertyValue"},
    {"ClassInfoInputScope",     0, 1, 0, BytesOf(kNoName), false, -10866, kGlobalOnly, "InvalidScope"},
    {"ConnectionShort",         1, 1, 0, BytesOf(kOne, sizeof(AudioUnitConnection) - 1), false, -10851, "inDataSize >= sizeof(AudioUnitConnection)", "InvalidPropertyValue"},
    {"SampleRateShort",         2, 2, 0, BytesOf(kOne), false, -10851, "inDataSize == sizeof(Float64)", "InvalidPropertyValue"},
    {"SampleRateNoElement",     2, 2, 1, BytesOf(48000.0), false, -10877, kElementExists, "InvalidElement"},
    {"SampleRateSameInitialized", 2, 2, 0, BytesOf(44100.0), true, 0, kNone, ""},
    {"SampleRateNewInitialized", 2, 2, 0, BytesOf(48000.0), true, -10865, kFormatWritable, "NotWritable"},
    {"FormatShort",             8, 1, 0, BytesOf(Canonical(1), 35), false, -10851, kNone, ""},
    {"FormatWithoutReserved",   8, 1, 0, BytesOf(Canonical(1), 36), false, 0, kNone, ""},
    {"FormatNoElement",         8, 1, 1, BytesOf(Canonical(1)), false, -10877, kElementExists, "InvalidElement"},
    {"FormatNotAccepted",       8, 1, 0, BytesOf(SixteenBitInteger()), false, -10868, "ValidFormat(inScope, inElement, newDesc)", "InvalidFormat"},
    {"FormatSameInitialized",   8, 2, 0, BytesOf(Canonical(2)), true, 0, kNone, ""},
    {"FormatNewInitialized",    8, 2, 0, BytesOf(Canonical(1)), true, -10865, kFormatWritable, "NotWritable"},
    {"ElementCountShort",       11, 1, 0, BytesOf(kOne, 2), false, -10851, kSizeIs4, "InvalidPropertyValue"},
    {"ElementCountFixed",       11, 1, 0, BytesOf(kOne), false, -10865, "BusCountWritable(inScope)", "NotWritable"},
    {"MaxFramesShort",          14, 0, 0, BytesOf(kOne, 2), false, -10851, kSizeIs4, "InvalidPropertyValue"},
    {"MaxFramesInitialized",    14, 0, 0, BytesOf(kOne), true, -10849, kNone, ""},
    {"ExternalBufferShort",     15, 2, 0, BytesOf(kAlignedBuffer, 4), true, -10851, "inDataSize >= sizeof(AudioUnitExternalBuffer)", "InvalidPropertyValue"},
    {"ExternalBufferEarly",     15, 2, 0, BytesOf(kAlignedBuffer), false, -10867, "IsInitialized()", "Uninitialized"},
    {"ExternalBufferMisaligned", 15, 2, 0, BytesOf(kMisalignedBuffer), true, -50, kNone, ""},
    {"ExternalBufferNoBus",     15, 1, 1, BytesOf(kAlignedBuffer), true, -10877, kNone, ""},
    {"LayoutWithoutHeader",     19, 2, 0, BytesOf(kOne, 8), false, -10851, kLayoutSize, "InvalidPropertyValue"},
    {"LayoutShortDescriptions", 19, 2, 0, BytesOf(LayoutWithDescriptions(2), 51), false, -10851, kLayoutSize, "InvalidPropertyValue"},
    {"LayoutHugeCount",         19, 2, 0, BytesOf(LayoutWithDescriptions(0xFFFFFFFF), 12), false, -10851, kLayoutSize, "InvalidPropertyValue"},
    {"LayoutNoTags",            19, 2, 0, BytesOf(LayoutWithDescriptions(2), 52), false, -10879, kNone, ""},
    {"RenderCallbackShort",     23, 1, 0, BytesOf(kOne), false, -10851, "inDataSize >= sizeof(AURenderCallbackStruct)", "InvalidPropertyValue"},
    {"ContextNameShort",        25, 0, 0, kOneShortOfAReference, false, -10851, kStringSize, "InvalidPropertyValue"},
    {"ContextNameOutputScope",  25, 2, 0, BytesOf(kNoName), false, -10866, kGlobalOnly, "InvalidScope"},
    {"HostCallbacksInputScope", 27, 1, 0, BytesOf(kOne), false, -10866, kGlobalOnly, "InvalidScope"},
    {"PresetShort",             28, 0, 0, BytesOf(kOne), false, -10851, "inDataSize == sizeof(AUPreset)", "InvalidPropertyValue"},
    {"UserPresetWithoutName",   28, 0, 0, BytesOf(kUserPresetWithoutName), false, -10851, kNone, ""},
    {"FactoryPreset",           36, 0, 0, BytesOf(kFactoryPreset), false, -10879, kNone, ""},
    {"ElementNameNoElementFirst", 30, 2, 1, BytesOf(kOne), false, -10877, kElementExists, "InvalidElement"},
    {"ElementNameShort",        30, 2, 0, kOneShortOfAReference, false, -10851, kStringSize, "InvalidPropertyValue"},
    {"AllocateGlobalScope",     51, 0, 0, BytesOf(kOne, 2), false, -10866, "(inScope == kAudioUnitScope_Input || inScope == kAudioUnitScope_Output)", "InvalidScope"},
    {"AllocateNoElement",       51, 1, 1, BytesOf(kOne, 2), false, -10877, kElementExists, "InvalidElement"},
    {"AllocateShort",           51, 1, 0, BytesOf(kOne, 2), true, -10851, kSizeIs4, "InvalidPropertyValue"},
    {"AllocateInitialized",     51, 1, 0, BytesOf(kOne), true, -10849, "!IsInitialized()", "Initialized"},
    {"ReadOnlyLatency",         12, 0, 0, BytesOf(0.0), false, -10879, kNone, ""},
};
// clang-format on

class PropertySetChecks : public testing::TestWithParam<SetCase> {};

TEST_P(PropertySetChecks, FailInTheirOrderWithTheirDiagnostic) {
    const SetCase& test = GetParam();
    QuenzalUnit host;
    if (test.initialized) {
        ASSERT_EQ(AudioUnitInitialize(host.Get()), noErr);
    }
    OSStatus status = noErr;
    const std::string diagnostics = propkit::StderrOf([&] {
        status = AudioUnitSetProperty(host.Get(), test.id, test.scope, test.element,
                                      test.data.data(), UInt32(test.data.size()));
    });
    EXPECT_EQ(status, test.status);
    if (test.condition == kNone) {
        EXPECT_EQ(diagnostics, "");
    } else {
        EXPECT_TRUE(propkit::IsRequireLine(diagnostics, test.condition, test.label)) << diagnostics;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryCheck, PropertySetChecks, testing::ValuesIn(kSetCases),
                         [](const testing::TestParamInfo<SetCase>& info) {
                             return std::string(info.param.name);
                         });

} // namespace
