// What a host learns from get-info for every property in every scope (and the first scope that
// does not exist), on elements 0 and 1 of an uninitialized unit with one global, one input and
// one output element.
#include "PropertyTestKit.h"

namespace {

using testhost::QuenzalUnit;

// Per scope 0 to 5, the answers for elements 0 and 1: '.' success, 'S' -10866 (scope),
// 'E' -10877 (element), 'P' -10879 (property not served there).
struct InfoExpectation {
    AudioUnitPropertyID id;
    const char* grid;
    UInt32 size; // where the answer is success
    bool writable;
};

constexpr UInt32 kPerScope = 0; // size depends on the scope; checked by the value tests

// clang-format off
const InfoExpectation kExpectations[] = {
    {kAudioUnitProperty_ClassInfo,                  ".E SS SS SS SS SS", sizeof(CFPropertyListRef),           true},
    {kAudioUnitProperty_MakeConnection,             ".E .E SS SS SS SS", sizeof(AudioUnitConnection),         true},
    {kAudioUnitProperty_SampleRate,                 ".E .E .E EE EE SS", sizeof(Float64),                     true},
    {kAudioUnitProperty_ParameterList,              ".. .. .. .. .. SS", kPerScope,                           false},
    {kAudioUnitProperty_ParameterInfo,              ".. .. .. .. .. ..", sizeof(AudioUnitParameterInfo),      false},
    {kAudioUnitProperty_FastDispatch,               ".. SS SS SS SS SS", sizeof(void*),                       false},
    {kAudioUnitProperty_CPULoad,                    "PP PP PP PP PP PP", 0,                                   false},
    {kAudioUnitProperty_StreamFormat,               ".E .E .E EE EE SS", sizeof(AudioStreamBasicDescription), true},
    {kAudioUnitProperty_ElementCount,               ".. .. .. .. .. ..", sizeof(UInt32),                      false},
    {kAudioUnitProperty_Latency,                    ".E SS SS SS SS SS", sizeof(Float64),                     false},
    {kAudioUnitProperty_SupportedNumChannels,       "PP SS SS SS SS SS", 0,                                   false},
    {kAudioUnitProperty_MaximumFramesPerSlice,      ".E SS SS SS SS SS", sizeof(UInt32),                      true},
    {kAudioUnitProperty_SetExternalBuffer,          "PP PP PP PP PP PP", 0,                                   false},
    {kAudioUnitProperty_ParameterValueStrings,      ".P PP PP PP PP PP", sizeof(CFArrayRef),                  false},
    {kAudioUnitProperty_GetUIComponentList,         "PP SS SS SS SS SS", 0,                                   false},
    {kAudioUnitProperty_AudioChannelLayout,         "EE PE PE EE EE SS", 0,                                   false},
    {kAudioUnitProperty_TailTime,                   ".E SS SS SS SS SS", sizeof(Float64),                     false},
    {kAudioUnitProperty_BypassEffect,               ".. PP PP PP PP PP", sizeof(UInt32),                      true},
    {kAudioUnitProperty_LastRenderError,            ".E SS SS SS SS SS", sizeof(OSStatus),                    false},
    {kAudioUnitProperty_SetRenderCallback,          ".E .E SS SS SS SS", sizeof(AURenderCallbackStruct),      true},
    {kAudioUnitProperty_FactoryPresets,             "PP SS SS SS SS SS", 0,                                   false},
    {kAudioUnitProperty_ContextName,                ".E SS SS SS SS SS", sizeof(CFStringRef),                 true},
    {kAudioUnitProperty_RenderQuality,              "PP PP PP PP PP PP", 0,                                   false},
    {kAudioUnitProperty_HostCallbacks,              ".E SS SS SS SS SS", sizeof(HostCallbackInfo),            true},
    {kAudioUnitProperty_CurrentPreset,              ".E SS SS SS SS SS", sizeof(AUPreset),                    true},
    {kAudioUnitProperty_InPlaceProcessing,          ".. PP PP PP PP PP", sizeof(UInt32),                      true},
    {kAudioUnitProperty_ElementName,                ".E .E .E EE EE SS", sizeof(CFStringRef),                 true},
    {kAudioUnitProperty_SupportedChannelLayoutTags, "EE PE PE EE EE SS", 0,                                   false},
    {kAudioUnitProperty_ParameterClumpName,         ".E .E .E EE EE SS", sizeof(AudioUnitParameterIDName),    false},
    {kAudioUnitProperty_PresentPreset,              ".E SS SS SS SS SS", sizeof(AUPreset),                    true},
    {kAudioUnitProperty_IconLocation,               "PP SS SS SS SS SS", 0,                                   false},
    {kAudioUnitProperty_ShouldAllocateBuffer,       "SS .E .E SS SS SS", sizeof(UInt32),                      true},
    {kAudioUnitProperty_LastRenderedSampleTime,     ".E .E .E EE EE SS", sizeof(Float64),                     false},
};
// clang-format on

OSStatus StatusOfCell(char cell) {
    switch (cell) {
    case 'S':
        return kAudioUnitErr_InvalidScope;
    case 'E':
        return kAudioUnitErr_InvalidElement;
    case 'P':
        return kAudioUnitErr_InvalidProperty;
    default:
        return noErr;
    }
}

class PropertyInfoSweep : public testing::TestWithParam<InfoExpectation> {};

TEST_P(PropertyInfoSweep, MatchesTheTableInEveryScopeAndElement) {
    const InfoExpectation& row = GetParam();
    QuenzalUnit host;
    for (AudioUnitScope scope = 0; scope <= 5; ++scope) {
        for (AudioUnitElement element = 0; element <= 1; ++element) {
            UInt32 size = 0xDEAD;
            Boolean writable = 2;
            const OSStatus status =
                AudioUnitGetPropertyInfo(host.Get(), row.id, scope, element, &size, &writable);
            const char cell = row.grid[scope * 3 + element];
            SCOPED_TRACE("scope " + std::to_string(scope) + " element " + std::to_string(element));
            EXPECT_EQ(status, StatusOfCell(cell));
            if (cell == '.' && row.size != kPerScope) {
                EXPECT_EQ(size, row.size);
                EXPECT_EQ(writable != 0, row.writable);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryProperty, PropertyInfoSweep, testing::ValuesIn(kExpectations),
                         [](const testing::TestParamInfo<InfoExpectation>& info) {
                             return "Property" + std::to_string(info.param.id);
                         });

} // namespace
