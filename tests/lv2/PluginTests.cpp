// The plug-ins driven through their descriptor: slicing and block lengths change nothing, port
// values reach the unit within its ranges, and failures give no instance instead of a crash.
#include "PluginHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace lv2test {
namespace {

namespace fs = std::filesystem;

constexpr size_t kFrames = 9000;

// Equal when every sample has the same bit pattern, channel by channel.
bool BitIdentical(const Channels& a, const Channels& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size() * 4) == 0;
    });
}

// The reference runs whole 4096-frame blocks with the default slice; a stated maximum block
// length of 256 or 1 frame makes the plug-in render every block in many slices. One instance
// serves every block length, so each activation must also start afresh; a host running in
// place gets the same output.
TEST(Lv2Run, BlockLengthAndSlicingLeaveTheOutputUnchanged) {
    const Settings settings{4, -2.5f};
    for (unsigned channels : {1u, 2u}) {
        const Channels input = TestSignal(channels, kFrames);
        const Channels reference = Instance(channels).Process(input, settings, 4096);
        for (int32_t maxBlockLength : {0, 256, 1}) {
            const HostFeatures features(maxBlockLength);
            Instance instance(channels, maxBlockLength > 0 ? features.Get() : nullptr);
            ASSERT_TRUE(instance);
            for (size_t block : {1u, 37u, 512u, 4096u}) {
                EXPECT_TRUE(
                    BitIdentical(instance.Process(input, settings, block, block == 37), reference))
                    << channels << " channels, " << block << "-frame blocks, maxBlockLength "
                    << maxBlockLength;
            }
        }
    }
}

// Out of range, the ports clamp; NaN leaves the unit's defaults.
TEST(Lv2Run, PortValuesAreHeldToTheUnitsRanges) {
    const Channels input = TestSignal(2, 2048);
    for (const auto& [given, meant] : {std::pair<Settings, Settings>{{9, 20}, {5, 6}},
                                       {{2.6f, -INFINITY}, {3, -6}},
                                       {{NAN, NAN}, {1, 0}}}) {
        EXPECT_TRUE(BitIdentical(Instance(2).Process(input, given, 512),
                                 Instance(2).Process(input, meant, 512)))
            << "loudspeaker " << given.loudspeaker << ", volume " << given.volume;
    }
    EXPECT_FALSE(BitIdentical(Instance(2).Process(input, {3, 0}, 512),
                              Instance(2).Process(input, {1, 0}, 512)))
        << "the loudspeaker port does not reach the unit";
}

// A copy of the plug-in library in a folder of its own is a fresh load that registers afresh,
// from a bundle that lacks the component or holds a corrupt registration file. Neither that nor
// an unusable sample rate gives an instance.
TEST(Lv2Instantiate, BrokenBundlesAndUnusableRatesGiveNoInstance) {
    const fs::path bundle = fs::temp_directory_path() / ("quenzal-lv2-" + std::to_string(getpid()));
    for (const bool withComponent : {false, true}) {
        const fs::path copy = bundle / (withComponent ? "corrupt" : "empty");
        fs::create_directories(copy);
        for (const char* library : {"harwendel-quenzal.so", "libharwendel-platform.so"}) {
            fs::copy_file(fs::path(kBundle) / library, copy / library);
        }
        if (withComponent) {
            fs::copy_file(fs::path(kBundle) / "Harwendel_Quenzal.so",
                          copy / "Harwendel_Quenzal.so");
            std::ofstream(copy / "Harwendel_Quenzal.plist") << "<?xml version=\"1.0\"?><plist>";
        }
        EXPECT_FALSE(Instance(1, nullptr, kRate, copy)) << copy;
    }
    fs::remove_all(bundle);
    for (double rate : {0.0, -44100.0, double(NAN), double(INFINITY)}) {
        EXPECT_FALSE(Instance(2, nullptr, rate)) << rate;
    }
}

} // namespace
} // namespace lv2test
