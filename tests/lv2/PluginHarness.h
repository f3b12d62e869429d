// Drives the bundle's plug-ins through their LV2 descriptor, as a host does: the plug-in library
// is loaded from the bundle in the build tree, instantiated with or without the options feature,
// and run over a signal in blocks of a chosen length.
#pragma once

#include <lv2/core/lv2.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace lv2test {

inline constexpr const char* kBundle = LV2_TEST_BUNDLE_DIR;
inline constexpr double kRate = 48000;

using Channels = std::vector<std::vector<float>>;

// The descriptor of the plug-in with this many channels, from the library in bundle.
const LV2_Descriptor* PluginDescriptor(unsigned channels, const std::string& bundle = kBundle);

// A few thousand frames of tones and noise, different in every channel.
Channels TestSignal(unsigned channels, size_t frames);

// A URID map and, when maxBlockLength is given, the options feature that states it.
class HostFeatures {
public:
    explicit HostFeatures(int32_t maxBlockLength);
    HostFeatures(const HostFeatures&) = delete;
    HostFeatures& operator=(const HostFeatures&) = delete;

    const LV2_Feature* const* Get() const { return mFeatures.data(); }

private:
    static LV2_URID Map(LV2_URID_Map_Handle handle, const char* uri);

    std::vector<std::string> mUris;
    int32_t mMaxBlockLength;
    LV2_URID_Map mMap{this, &HostFeatures::Map};
    std::array<LV2_Options_Option, 2> mOptions{};
    LV2_Feature mMapFeature{LV2_URID__map, &mMap};
    LV2_Feature mOptionsFeature{LV2_OPTIONS__options, mOptions.data()};
    std::array<const LV2_Feature*, 3> mFeatures{&mMapFeature, &mOptionsFeature, nullptr};
};

struct Settings {
    float loudspeaker = 1;
    float volume = 0;
};

class Instance {
public:
    Instance(unsigned channels, const LV2_Feature* const* features = nullptr, double rate = kRate,
             const std::string& bundle = kBundle);
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    explicit operator bool() const { return mHandle != nullptr; }

    // Buffers of blockLength frames, connected once; in place, every output is its input's buffer.
    void Connect(size_t blockLength, bool inPlace = false);
    void Set(Settings settings) { mControls = {settings.loudspeaker, settings.volume}; }
    // The enabled port, which drives the unit's bypass.
    void Enable(bool enabled) { mEnabled = enabled ? 1.0f : 0.0f; }
    void Activate() { mDescriptor->activate(mHandle); }
    void Run(uint32_t frames) { mDescriptor->run(mHandle, frames); }

    // Activates, then voices input block by block (the last block may be shorter).
    Channels Process(const Channels& input, Settings settings, size_t blockLength,
                     bool inPlace = false);

private:
    const LV2_Descriptor* mDescriptor;
    unsigned mChannels;
    LV2_Handle mHandle;
    std::array<float, 2> mControls{1, 0};
    float mEnabled = 1;
    Channels mInputs;
    Channels mOutputs;
    bool mInPlace = false;
};

} // namespace lv2test
