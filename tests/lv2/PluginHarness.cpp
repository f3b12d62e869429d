#include "PluginHarness.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace lv2test {

const LV2_Descriptor* PluginDescriptor(unsigned channels, const std::string& bundle) {
    const std::string library = bundle + "/harwendel-quenzal.so";
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto entry =
        handle != nullptr
            ? reinterpret_cast<LV2_Descriptor_Function>(dlsym(handle, "lv2_descriptor"))
            : nullptr;
    if (entry == nullptr) {
        throw std::runtime_error(library + ": cannot load the plug-in library");
    }
    return entry(channels - 1);
}

Channels TestSignal(unsigned channels, size_t frames) {
    Channels signal(channels, std::vector<float>(frames));
    uint32_t noise = 12345;
    for (unsigned c = 0; c < channels; ++c) {
        for (size_t i = 0; i < frames; ++i) {
            noise = noise * 1664525u + 1013904223u;
            const double tone = std::sin(2 * M_PI * 110.0 * (c + 1) * double(i) / kRate);
            signal[c][i] = float(0.5 * tone + 0.2 * (double(noise >> 8) / double(1 << 24) - 0.5));
        }
    }
    return signal;
}

HostFeatures::HostFeatures(int32_t maxBlockLength) : mMaxBlockLength(maxBlockLength) {
    mOptions[0] = {LV2_OPTIONS_INSTANCE,
                   0,
                   Map(this, LV2_BUF_SIZE__maxBlockLength),
                   sizeof mMaxBlockLength,
                   Map(this, LV2_ATOM__Int),
                   &mMaxBlockLength};
}

LV2_URID HostFeatures::Map(LV2_URID_Map_Handle handle, const char* uri) {
    std::vector<std::string>& uris = static_cast<HostFeatures*>(handle)->mUris;
    const auto found = std::find(uris.begin(), uris.end(), uri);
    if (found != uris.end()) {
        return LV2_URID(found - uris.begin() + 1);
    }
    uris.emplace_back(uri);
    return LV2_URID(uris.size());
}

Instance::Instance(unsigned channels, const LV2_Feature* const* features, double rate,
                   const std::string& bundle)
    : mDescriptor(PluginDescriptor(channels, bundle)), mChannels(channels),
      mHandle(mDescriptor->instantiate(mDescriptor, rate, bundle.c_str(), features)) {}

Instance::~Instance() {
    if (mHandle != nullptr) {
        mDescriptor->cleanup(mHandle);
    }
}

void Instance::Connect(size_t blockLength, bool inPlace) {
    mInPlace = inPlace;
    mInputs.assign(mChannels, std::vector<float>(blockLength));
    mOutputs.assign(mChannels, std::vector<float>(blockLength));
    for (uint32_t port = 0; port < mControls.size(); ++port) {
        mDescriptor->connect_port(mHandle, port, &mControls[port]);
    }
    for (unsigned c = 0; c < mChannels; ++c) {
        float* output = inPlace ? mInputs[c].data() : mOutputs[c].data();
        mDescriptor->connect_port(mHandle, 2 + c, mInputs[c].data());
        mDescriptor->connect_port(mHandle, 2 + mChannels + c, output);
    }
    mDescriptor->connect_port(mHandle, 2 + 2 * mChannels, &mEnabled);
}

Channels Instance::Process(const Channels& input, Settings settings, size_t blockLength,
                           bool inPlace) {
    Connect(blockLength, inPlace);
    Set(settings);
    Activate();
    Channels output(mChannels, std::vector<float>(input[0].size()));
    for (size_t done = 0; done < input[0].size(); done += blockLength) {
        const size_t frames = std::min(blockLength, input[0].size() - done);
        for (unsigned c = 0; c < mChannels; ++c) {
            std::copy_n(input[c].begin() + long(done), frames, mInputs[c].begin());
        }
        Run(uint32_t(frames));
        for (unsigned c = 0; c < mChannels; ++c) {
            const std::vector<float>& result = mInPlace ? mInputs[c] : mOutputs[c];
            std::copy_n(result.begin(), frames, output[c].begin() + long(done));
        }
    }
    return output;
}

} // namespace lv2test
