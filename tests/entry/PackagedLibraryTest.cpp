// The component library as it ships, loaded by its path with the registration file beside it.
#include "LinkedEffect.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

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

} // namespace
