// The component library as it ships: loaded by its path with the registration file beside it,
// it must be the same effect as the one linked into these tests.
#include "LinkedEffect.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

using testhost::QuenzalUnit;
using testhost::Signal;

namespace {

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

Signal VoiceAnImpulse(AudioComponent component) {
    hosting::Unit host(component);
    EXPECT_EQ(host.SetBusFormats(hosting::CanonicalFormat(1, 48000)), noErr);
    std::vector<Float32> impulse(256, 0.0f);
    impulse[0] = 1.0f;
    testhost::SignalFeed feed{{impulse}};
    feed.Attach(host);
    host.SetParameter(kParam_Loudspeaker, 4);
    EXPECT_EQ(AudioUnitInitialize(host.Get()), noErr);
    EXPECT_EQ(AudioUnitReset(host.Get(), kAudioUnitScope_Global, 0), noErr);
    Signal output;
    EXPECT_EQ(testhost::RenderSignal(host, 256, output), noErr);
    return output;
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

TEST(PackagedLibrary, VoicesLikeTheLinkedEffect) {
    ASSERT_NE(PackagedComponent(), nullptr);
    const Signal packaged = VoiceAnImpulse(PackagedComponent());
    const Signal linked = VoiceAnImpulse(testhost::QuenzalComponent());
    ASSERT_EQ(packaged.size(), 1u);
    ASSERT_EQ(packaged, linked);
    EXPECT_NE(packaged[0][0], 0.0f);
    EXPECT_TRUE(std::isfinite(packaged[0][255]));
}

} // namespace
