// The component entry as a host meets it: the shipped library's registration, the effect base's
// switches, and the error trap's mapping of everything thrown below the entry.
#include "AUEffectBase.h"
#include "LinkedEffect.h"

#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

namespace {

// What an effect registered beside the speaker-model unit throws when it is closed: failures of
// every kind, which that unit never raises.
enum class Failure { None, OutOfMemory, Status, ShortStatus, Other };
Failure gFailureOnClose = Failure::None;
int gThrowingEffectsAlive = 0;

class ThrowingEffect : public AUEffectBase {
public:
    explicit ThrowingEffect(ComponentInstance instance) : AUEffectBase(instance, true) {
        ++gThrowingEffectsAlive;
    }
    ~ThrowingEffect() override { --gThrowingEffectsAlive; }
    void PreDestructor() override {
        AUEffectBase::PreDestructor();
        switch (gFailureOnClose) {
        case Failure::None:
            return;
        case Failure::OutOfMemory:
            throw std::bad_alloc();
        case Failure::Status:
            CAThrowStatus(kAudioUnitErr_FailedInitialization);
        case Failure::ShortStatus:
            throw SInt16(-3);
        case Failure::Other:
            throw std::runtime_error("neither a status nor out of memory");
        }
    }
};

AudioComponent ThrowingEffectComponent() {
    static const AudioComponentDescription description{hosting::FourCharCode("efct"),
                                                       hosting::FourCharCode("thr1"),
                                                       hosting::FourCharCode("Hrwd"), 0, 0};
    static const AudioComponent component = PlatformRegisterComponent(
        &description,
        [](ComponentParameters* params, void* storage) {
            return ComponentEntryPoint<ThrowingEffect>::Dispatch(
                params, static_cast<ThrowingEffect*>(storage));
        },
        1);
    return component;
}

AudioComponent PackagedComponent() {
    static const AudioComponent component = [] {
        const std::string library = QUENZAL_COMPONENT_LIBRARY;
        const std::string registration =
            library.substr(0, library.rfind('/') + 1) + "Harwendel_Quenzal.plist";
        char message[512] = "";
        AudioComponent loaded = nullptr;
        EXPECT_EQ(PlatformRegisterComponentLibrary(library.c_str(), registration.c_str(), &loaded,
                                                   message, sizeof message),
                  noErr)
            << message;
        return loaded;
    }();
    return component;
}

TEST(PackagedLibrary, RegistersUnderItsCodesAndVersion) {
    const AudioComponent component = PackagedComponent();
    ASSERT_NE(component, nullptr);
    AudioComponentDescription description{};
    ASSERT_EQ(AudioComponentGetDescription(component, &description), noErr);
    EXPECT_EQ(std::memcmp(&description, &testhost::kQuenzalDescription, sizeof description), 0);
    EXPECT_EQ(PlatformComponentVersion(component), Harwendel_QuenzalComponent::kVersion);

    hosting::Unit host(component);
    EXPECT_EQ(UInt32(AudioComponentInstanceVersion(host.Get())),
              Harwendel_QuenzalComponent::kVersion);
}

TEST(EffectBase, InPlaceIsOnAndTakesWholeWordsOnly) {
    testhost::QuenzalUnit host;
    const auto set = [&](AudioUnitPropertyID id, UInt32 value) {
        return host.SetProperty(id, kAudioUnitScope_Global, 0, value);
    };
    const auto get = [&](AudioUnitPropertyID id) {
        UInt32 value = 99;
        EXPECT_EQ(host.GetProperty(id, kAudioUnitScope_Global, 0, value), noErr);
        return value;
    };
    EXPECT_EQ(get(kAudioUnitProperty_InPlaceProcessing), 1u);
    ASSERT_EQ(set(kAudioUnitProperty_InPlaceProcessing, 0), noErr);
    EXPECT_EQ(get(kAudioUnitProperty_InPlaceProcessing), 0u);
    ASSERT_EQ(set(kAudioUnitProperty_InPlaceProcessing, 2), noErr);
    EXPECT_EQ(get(kAudioUnitProperty_InPlaceProcessing), 1u);
    ASSERT_EQ(set(kAudioUnitProperty_InPlaceProcessing, 0), noErr);

    // Both are off now; half a word must not switch either on.
    const UInt16 on = 1;
    for (const AudioUnitPropertyID id :
         {kAudioUnitProperty_BypassEffect, kAudioUnitProperty_InPlaceProcessing}) {
        EXPECT_EQ(AudioUnitSetProperty(host.Get(), id, kAudioUnitScope_Global, 0, &on, sizeof on),
                  kAudioUnitErr_InvalidPropertyValue)
            << "property " << id;
        EXPECT_EQ(get(id), 0u) << "property " << id;
    }
}

// What a host tells its user of a refusal: the call, the status and the status's name. The
// format read back before is the one that was set.
TEST(EffectBase, ARefusalNamesTheCallAndTheStatus) {
    testhost::QuenzalUnit host;
    host.SetStreamFormat(2, 48000);
    EXPECT_EQ(host.StreamFormat(kAudioUnitScope_Output).mSampleRate, 48000);
    host.Initialize();
    try {
        host.SetStreamFormat(1, 44100);
        ADD_FAILURE() << "an initialized unit took a new format";
    } catch (const hosting::HostError& e) {
        EXPECT_STREQ(e.what(), "setting a 1-channel format at 44100 Hz failed (status -10865, "
                               "PropertyNotWritable)");
    }
}

// Every kind of failure thrown under the entry becomes a status.
TEST(ErrorTrap, MapsAFailedCloseAndStillDestroysTheUnit) {
    const std::pair<Failure, OSStatus> cases[] = {
        {Failure::OutOfMemory, memFullErr},
        {Failure::Status, kAudioUnitErr_FailedInitialization},
        {Failure::ShortStatus, -3},
        {Failure::Other, -1},
    };
    for (const auto& [failure, status] : cases) {
        const int aliveBefore = gThrowingEffectsAlive;
        AudioComponentInstance instance = nullptr;
        ASSERT_EQ(AudioComponentInstanceNew(ThrowingEffectComponent(), &instance), noErr);
        gFailureOnClose = failure;
        EXPECT_EQ(AudioComponentInstanceDispose(instance), status);
        EXPECT_EQ(gThrowingEffectsAlive, aliveBefore);
    }
    gFailureOnClose = Failure::None;
}

} // namespace
