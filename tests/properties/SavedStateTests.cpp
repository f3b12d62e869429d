// Saved state a host hands back: what is refused, and what a restore adds.
#include "PropertyTestKit.h"

#include <bit>
#include <string>

namespace {

using propkit::Announcement;
using propkit::Owned;
using propkit::String;
using testhost::QuenzalUnit;

// The parameter blob: big-endian words.
std::vector<Byte> Blob(std::initializer_list<UInt32> words) {
    std::vector<Byte> bytes;
    for (const UInt32 word : words) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(Byte(word >> shift));
        }
    }
    return bytes;
}
UInt32 Bits(Float32 value) {
    return std::bit_cast<UInt32>(value);
}

Owned Save(QuenzalUnit& host) {
    CFPropertyListRef state = nullptr;
    EXPECT_EQ(host.GetProperty(kAudioUnitProperty_ClassInfo, 0, 0, state), noErr);
    return Owned(state);
}
OSStatus Restore(QuenzalUnit& host, CFTypeRef state) {
    return host.SetProperty(kAudioUnitProperty_ClassInfo, 0, 0, state);
}

// What a restore may change, read the way a host reads it.
struct Snapshot {
    Float32 speaker = 0, volume = 0;
    SInt32 presetNumber = 0;
    std::string presetName;
    UInt32 outputs = 0;
    bool operator==(const Snapshot&) const = default;
};
Snapshot Read(QuenzalUnit& host) {
    Snapshot snapshot;
    snapshot.speaker = host.GetParameter(kParam_Loudspeaker);
    snapshot.volume = host.GetParameter(kParam_Volume);
    AUPreset preset{};
    host.GetProperty(kAudioUnitProperty_CurrentPreset, 0, 0, preset);
    snapshot.presetNumber = preset.presetNumber;
    snapshot.presetName = propkit::TextOf(preset.presetName);
    host.GetProperty(kAudioUnitProperty_ElementCount, kAudioUnitScope_Output, 0, snapshot.outputs);
    return snapshot;
}

class SavedState : public testing::Test {
protected:
    void SetUp() override { mLiveAtStart = PlatformLiveObjectCount(); }
    void TearDown() override { EXPECT_EQ(PlatformLiveObjectCount(), mLiveAtStart); }

    // A state that differs from a fresh unit in every part a restore applies.
    Owned ChangedState() {
        QuenzalUnit source;
        source.SetParameter(kParam_Loudspeaker, 4.0f);
        source.SetParameter(kParam_Volume, -2.5f);
        source.SetProperty(kAudioUnitProperty_CurrentPreset, 0, 0,
                           AUPreset{-5, static_cast<CFStringRef>(String("Crunch").get())});
        EXPECT_EQ(source.SetProperty(kAudioUnitProperty_ElementName, kAudioUnitScope_Input, 0,
                                     static_cast<CFStringRef>(String("Amp in").get())),
                  noErr);
        return Save(source);
    }

private:
    long mLiveAtStart = 0;
};

Owned With(Owned state, const char* key, Owned value) {
    CFDictionarySetValue(propkit::Mutable(state), String(key).get(), value.get());
    return state;
}
Owned Without(Owned state, const char* key) {
    CFDictionaryRemoveValue(propkit::Mutable(state), String(key).get());
    return state;
}
Owned WithElementNames(Owned state, const char* scope, Owned names) {
    return With(std::move(state), "element-name", propkit::Dictionary({{scope, names.get()}}));
}
Owned WithElementName(Owned state, const char* scope, const char* index) {
    return WithElementNames(std::move(state), scope,
                            propkit::Dictionary({{index, String("Aux").get()}}));
}
Owned WithBlob(Owned state, std::initializer_list<UInt32> words, std::size_t dropBytes = 0) {
    std::vector<Byte> bytes = Blob(words);
    bytes.resize(bytes.size() - dropBytes);
    return With(std::move(state), "data", propkit::Data(bytes));
}

// Each refused state leaves the unit exactly as it was.
TEST_F(SavedState, RefusedStatesChangeNothing) {
    QuenzalUnit source;
    source.SetParameter(kParam_Volume, 5.0f);
    const auto valid = [&] { return Save(source); };
    using propkit::Number;
    // clang-format off
    std::pair<const char*, Owned> refused[] = {
        {"no dictionary at all",   Owned()},
        {"not a dictionary",       String("state")},
        {"part",                   With(valid(), "part", Number(0))},
        {"version 1",              With(valid(), "version", Number(1))},
        {"version not a number",   With(valid(), "version", String("0"))},
        {"other subtype",          With(valid(), "subtype", Number(7))},
        {"no manufacturer",        Without(valid(), "manufacturer")},
        {"data not data",          With(valid(), "data", String("blob"))},
        {"name not a string",      With(valid(), "name", Number(3))},
        {"quality not a number",   With(valid(), "render-quality", String("max"))},
        {"load not a number",      With(valid(), "cpu-load", propkit::Data({}))},
        {"names not a dictionary", With(valid(), "element-name", String("Aux"))},
        {"scope names not a dictionary", WithElementNames(valid(), "2", String("Aux"))},
        {"element name not text",  WithElementNames(valid(), "2", propkit::Dictionary({{"0", Number(1).get()}}))},
        {"index not decimal",      WithElementName(valid(), "2", "one")},
        {"index signed",           WithElementName(valid(), "2", "+1")},
        {"index beyond memory",    WithElementName(valid(), "2", "4294967295")},
        {"index at the bound",     WithElementName(valid(), "4", "1024")},
        {"global scope grows",     WithElementName(valid(), "0", "1")},
        {"blob truncated",         WithBlob(valid(), {0, 0, 2, 0, Bits(5), 1, 0}, 1)},
        {"blob overlong",          WithBlob(valid(), {0, 0, 1, 0, Bits(5), 2})},
        {"blob header cut",        WithBlob(valid(), {0, 0, 1, 0, Bits(5), 0, 0})},
        {"blob count beyond data", WithBlob(valid(), {0, 0, 0xFFFFFFFF, 0, Bits(5)})},
    };
    // clang-format on
    QuenzalUnit host;
    ASSERT_EQ(host.SetProperty(kAudioUnitProperty_CurrentPreset, 0, 0,
                               AUPreset{-9, static_cast<CFStringRef>(String("Mine").get())}),
              noErr);
    const Snapshot before = Read(host);
    for (const auto& [name, state] : refused) {
        SCOPED_TRACE(name);
        EXPECT_EQ(Restore(host, state.get()), kAudioUnitErr_InvalidPropertyValue);
        EXPECT_EQ(Read(host), before);
    }
}

// Refused with the status the walk meets, before the good group ahead of the bad one applies.
TEST_F(SavedState, ABadScopeOrParameterInTheBlobRefusesTheWholeStateWithItsStatus) {
    const std::pair<UInt32, OSStatus> faults[] = {{7, kAudioUnitErr_InvalidScope},
                                                  {0, kAudioUnitErr_InvalidParameter}};
    for (const auto& [scope, status] : faults) {
        const Owned state = WithBlob(ChangedState(), {0, 0, 1, 1, Bits(2.0f), //
                                                      scope, 0, 1, 9, Bits(5.0f)});
        QuenzalUnit host;
        const Snapshot before = Read(host);
        EXPECT_EQ(Restore(host, state.get()), status);
        EXPECT_EQ(Read(host), before);
    }
}

TEST_F(SavedState, ElementNamesGrowAScopeAndAnnounceItsCount) {
    QuenzalUnit host;
    propkit::AnnouncementLog log(host.Get(), {kAudioUnitProperty_ElementCount});
    ASSERT_EQ(Restore(host, WithElementName(ChangedState(), "2", "4").get()), noErr);
    EXPECT_EQ(Read(host).outputs, 5u);
    EXPECT_EQ(log.Take(), (std::vector<Announcement>{{11, 2, 0}}));
    CFStringRef name = nullptr;
    ASSERT_EQ(host.GetProperty(kAudioUnitProperty_ElementName, 2, 4, name), noErr);
    EXPECT_EQ(propkit::TextOf(name), "Aux");
    CFRelease(name);
    // The name is saved under its scope and index, so a restore finds it again.
    const Owned saved = Save(host);
    const auto lookUp = [](const void* dict, const char* key) {
        return dict == nullptr
                   ? nullptr
                   : CFDictionaryGetValue(static_cast<CFDictionaryRef>(dict), String(key).get());
    };
    const void* savedName = lookUp(lookUp(lookUp(saved.get(), "element-name"), "2"), "4");
    ASSERT_NE(savedName, nullptr);
    EXPECT_EQ(propkit::TextOf(static_cast<CFStringRef>(savedName)), "Aux");

    // The last index saved state may name, and a scope entry without names, which adds nothing.
    ASSERT_EQ(Restore(host, WithElementName(ChangedState(), "4", "1023").get()), noErr);
    UInt32 parts = 0;
    ASSERT_EQ(host.GetProperty(kAudioUnitProperty_ElementCount, 4, 0, parts), noErr);
    EXPECT_EQ(parts, AUBase::kMaxRestoredElements);
    EXPECT_EQ(log.Take(), (std::vector<Announcement>{{11, 4, 0}}));
    ASSERT_EQ(Restore(host, WithElementNames(ChangedState(), "3", propkit::Dictionary()).get()),
              noErr);
    UInt32 groups = 9;
    ASSERT_EQ(host.GetProperty(kAudioUnitProperty_ElementCount, 3, 0, groups), noErr);
    EXPECT_EQ(groups, 0u);
    EXPECT_EQ(log.Take(), std::vector<Announcement>{});
}

} // namespace
