// The plug-ins driven through their descriptor: slicing and block lengths change nothing, port
// values reach the unit within its ranges, a host running in place is served, and failures give
// no instance instead of a crash.
#include "PluginHarness.h"

#include "Platform/Host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <unistd.h>

namespace lv2test {
namespace {

namespace fs = std::filesystem;

constexpr size_t kFrames = 9000;

// Equal when every sample has the same bit pattern, channel by channel.
bool BitIdentical(const Channels& a, const Channels& b) {
    const auto bits = [](const Channels& channels) {
        std::vector<std::vector<uint32_t>> patterns;
        for (const std::vector<float>& channel : channels) {
            patterns.emplace_back(channel.size());
            std::transform(channel.begin(), channel.end(), patterns.back().begin(),
                           [](float sample) { return std::bit_cast<uint32_t>(sample); });
        }
        return patterns;
    };
    return bits(a) == bits(b);
}

// The reference runs whole 4096-frame blocks with the default slice; a stated maximum block
// length of 256 or 1 frame makes the plug-in render every block in many slices. One instance
// serves every block length, so each activation must also start afresh.
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
                EXPECT_TRUE(BitIdentical(instance.Process(input, settings, block), reference))
                    << channels << " channels, " << block << "-frame blocks, maxBlockLength "
                    << maxBlockLength;
            }
        }
    }
}

TEST(Lv2Run, PortValuesAreHeldToTheUnitsRanges) {
    struct Case {
        Settings given;
        Settings meant;
    };
    const Case cases[] = {
        {{9, 20}, {5, 6}},               // above the ranges
        {{0.2f, -99}, {1, -6}},          // below them
        {{2.6f, 1.5f}, {3, 1.5f}},       // a model between two is the nearest one
        {{-INFINITY, INFINITY}, {1, 6}}, // infinities clamp
        {{NAN, NAN}, {1, 0}},            // NaN leaves the unit's defaults
    };
    const Channels input = TestSignal(2, 2048);
    for (const Case& test : cases) {
        EXPECT_TRUE(BitIdentical(Instance(2).Process(input, test.given, 512),
                                 Instance(2).Process(input, test.meant, 512)))
            << "loudspeaker " << test.given.loudspeaker << ", volume " << test.given.volume;
    }
    EXPECT_FALSE(BitIdentical(Instance(2).Process(input, {3, 0}, 512),
                              Instance(2).Process(input, {1, 0}, 512)))
        << "the loudspeaker port does not reach the unit";
}

TEST(Lv2Run, HostRunningInPlaceGetsTheSameOutput) {
    const Channels input = TestSignal(2, kFrames);
    EXPECT_TRUE(BitIdentical(Instance(2).Process(input, {2, 3}, 700, true),
                             Instance(2).Process(input, {2, 3}, 700)));
}

// A copy of the plug-in library in a folder of its own is a fresh load that registers afresh,
// from a bundle that lacks the component or holds a corrupt registration file.
TEST(Lv2Instantiate, BrokenBundlesGiveNoInstance) {
    const fs::path bundle = fs::temp_directory_path() / ("quenzal-lv2-" + std::to_string(getpid()));
    for (const bool withComponent : {false, true}) {
        const fs::path copy = bundle / (withComponent ? "corrupt" : "empty");
        fs::create_directories(copy);
        fs::copy_file(fs::path(kBundle) / "harwendel-quenzal.so", copy / "harwendel-quenzal.so");
        if (withComponent) {
            fs::copy_file(fs::path(kBundle) / "Harwendel_Quenzal.so",
                          copy / "Harwendel_Quenzal.so");
            std::ofstream(copy / "Harwendel_Quenzal.plist") << "<?xml version=\"1.0\"?><plist>";
        }
        EXPECT_FALSE(Instance(1, nullptr, kRate, copy)) << copy;
    }
    fs::remove_all(bundle);
}

TEST(Lv2Instantiate, UnusableSampleRatesGiveNoInstance) {
    for (double rate : {0.0, -44100.0, double(NAN), double(INFINITY)}) {
        EXPECT_FALSE(Instance(2, nullptr, rate)) << rate;
    }
}

TEST(Lv2Instantiate, ManyInstancesLeaveNothingOpen) {
    const long openBefore = PlatformOpenInstanceCount();
    const Channels mono = TestSignal(1, 1000);
    const Channels stereo = TestSignal(2, 1000);
    std::vector<std::unique_ptr<Instance>> instances;
    for (int i = 0; i < 40; ++i) {
        instances.push_back(std::make_unique<Instance>(1 + i % 2));
        ASSERT_TRUE(*instances.back());
        instances.back()->Process(i % 2 ? stereo : mono, {float(1 + i % 5), 0}, 333);
    }
    EXPECT_EQ(PlatformOpenInstanceCount(), openBefore + 40);
    instances.clear();
    EXPECT_EQ(PlatformOpenInstanceCount(), openBefore);
}

} // namespace
} // namespace lv2test
