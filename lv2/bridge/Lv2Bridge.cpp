// Any effect for LV2 hosts. The plug-in holds no signal processing of its own: every instance
// opens the bundled component through the platform host API, exactly as any other host would,
// and renders through the unit's fast render function. The unit stays the only place where audio
// is voiced. The build names the component and the plug-ins' URIs:
// AUPUBLIC_LV2_COMPONENT_FILE (the library's file name in the bundle) and AUPUBLIC_LV2_URI_PREFIX.
#include "Lv2PortLayout.h"

#include "Hosting/Component.h"
#include "Hosting/Unit.h"

#include <lv2/atom/atom.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/core/lv2_util.h>
#include <lv2/options/options.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <vector>

namespace aupublic_lv2 {
namespace {

// Used when the host states no maximum block length; longer blocks are split into slices.
constexpr UInt32 kDefaultFramesPerSlice = 4096;
// A host may state an absurd maximum; the unit's buffers need not follow it, run() slices anyway.
constexpr UInt32 kMostFramesPerSlice = 65536;

constexpr const char* kComponentLibrary = AUPUBLIC_LV2_COMPONENT_FILE;
constexpr const char* kMonoURI = AUPUBLIC_LV2_URI_PREFIX ":mono";
constexpr const char* kStereoURI = AUPUBLIC_LV2_URI_PREFIX ":stereo";

// The component travels inside the bundle. It is registered once per process, by whichever
// instance comes first, and forgotten when the host unloads this library.
class BundledComponent {
public:
    // [instantiation thread] The registered component, or null when the bundle's is unusable.
    AudioComponent Get(const char* bundlePath) {
        std::lock_guard lock(mMutex);
        if (mRegistration.Get() == nullptr && bundlePath != nullptr) {
            try {
                mRegistration = hosting::RegisterComponentLibrary(
                    hosting::LocationInFolder(bundlePath, kComponentLibrary));
            } catch (const std::exception& error) {
                std::fprintf(stderr, "%s: %s\n", kComponentLibrary, error.what());
            }
        }
        return mRegistration.Get();
    }

private:
    std::mutex mMutex;
    hosting::Registration mRegistration;
};

BundledComponent gComponent;

UInt32 FramesPerSlice(const LV2_Feature* const* features) {
    const auto* map = static_cast<const LV2_URID_Map*>(lv2_features_data(features, LV2_URID__map));
    const auto* option =
        static_cast<const LV2_Options_Option*>(lv2_features_data(features, LV2_OPTIONS__options));
    if (map == nullptr || option == nullptr) {
        return kDefaultFramesPerSlice;
    }
    const LV2_URID maxBlockLength = map->map(map->handle, LV2_BUF_SIZE__maxBlockLength);
    const LV2_URID atomInt = map->map(map->handle, LV2_ATOM__Int);
    for (; option->key != 0; ++option) {
        if (option->context == LV2_OPTIONS_INSTANCE && option->key == maxBlockLength &&
            option->type == atomInt && option->size == sizeof(int32_t) &&
            option->value != nullptr) {
            const int32_t frames = *static_cast<const int32_t*>(option->value);
            return frames > 0 ? std::min(UInt32(frames), kMostFramesPerSlice)
                              : kDefaultFramesPerSlice;
        }
    }
    return kDefaultFramesPerSlice;
}

// A control port and what the unit last accepted from it.
struct Control {
    AudioUnitParameterID parameter = 0;
    const float* port = nullptr;
    Float32 minimum = 0;
    Float32 maximum = 0;
    bool indexed = false;
    Float32 applied = NAN;

    // Into the unit's range; an indexed parameter takes the nearest index. NaN stays NaN.
    Float32 Constrain(float value) const {
        const Float32 inRange = std::clamp(value, minimum, maximum);
        return indexed ? std::round(inRange) : inRange;
    }
};

// The buffer list of the render call, with room for every channel a plug-in here has.
struct OutputBufferList {
    UInt32 mNumberBuffers;
    AudioBuffer mBuffers[kMostChannels];
};
static_assert(offsetof(OutputBufferList, mBuffers) == offsetof(AudioBufferList, mBuffers));

class Plugin {
public:
    explicit Plugin(UInt32 channels) : mChannels(channels) {}

    // [instantiation thread] Opens, configures and initializes the unit; false when it refuses.
    bool Open(AudioComponent component, double rate, UInt32 framesPerSlice) {
        if (!std::isfinite(rate) || rate <= 0) {
            return false;
        }
        try {
            hosting::Unit& unit = mUnit.emplace(component);
            mFramesPerSlice = framesPerSlice;
            hosting::Check(unit.SetBusFormats(hosting::CanonicalFormat(mChannels, rate)),
                           "setting the formats");
            unit.SetMaxFramesPerSlice(framesPerSlice);
            unit.SetInputCallback(&Plugin::FeedInput, this);
            mLayout = ReadPortLayout(unit, mChannels);
            ReadControlRanges(unit);
            unit.Initialize();
            mFast = unit.FetchFastCalls();
            mLatencyFrames = float(unit.Latency() * rate);
            return Reset();
        } catch (const hosting::HostError&) {
            return false;
        }
    }

    // [instantiation thread] Clears the unit's history; the next run starts at sample time 0.
    bool Reset() {
        mSampleTime = 0;
        try {
            mUnit->Reset();
            return true;
        } catch (const hosting::HostError&) {
            return false;
        }
    }

    // [audio thread] Remembers where a port's data lives.
    void ConnectPort(uint32_t port, void* data) {
        if (port < mLayout.Controls()) {
            mControls[port].port = static_cast<const float*>(data);
        } else if (port < mLayout.Input(mChannels)) {
            mInputs[port - mLayout.Input(0)] = static_cast<const float*>(data);
        } else if (port < mLayout.Output(mChannels)) {
            mOutputs[port - mLayout.Output(0)] = static_cast<float*>(data);
        } else if (mLayout.bypass && port == mLayout.Enabled()) {
            mEnabledPort = static_cast<const float*>(data);
        } else if (mLayout.latency && port == mLayout.Latency()) {
            mLatencyPort = static_cast<float*>(data);
        }
    }

    // Real-time safe: no allocation, no lock, no system call, here or in the unit.
    void Run(uint32_t frames) {
        if (!AudioPortsConnected()) {
            return;
        }
        for (Control& control : mControls) {
            Apply(control);
        }
        ApplyEnabled();
        if (mLatencyPort != nullptr) {
            *mLatencyPort = mLatencyFrames;
        }
        for (UInt32 done = 0; done < frames;) {
            const UInt32 slice = std::min(frames - done, mFramesPerSlice);
            RenderSlice(done, slice);
            done += slice;
        }
    }

private:
    void ReadControlRanges(const hosting::Unit& unit) {
        mControls.resize(mLayout.Controls());
        for (UInt32 i = 0; i < mLayout.Controls(); ++i) {
            const AudioUnitParameterInfo info = unit.ParameterInfo(mLayout.parameters[i]);
            Control& control = mControls[i];
            control.parameter = mLayout.parameters[i];
            control.minimum = info.minValue;
            control.maximum = info.maxValue;
            control.indexed = info.unit == kAudioUnitParameterUnit_Indexed;
        }
    }

    bool AudioPortsConnected() const {
        for (UInt32 c = 0; c < mChannels; ++c) {
            if (mInputs[c] == nullptr || mOutputs[c] == nullptr) {
                return false;
            }
        }
        return true;
    }

    // A port value the unit already has is not sent again; an unconnected or NaN port leaves
    // the parameter as it is.
    void Apply(Control& control) {
        if (control.port == nullptr) {
            return;
        }
        const Float32 value = control.Constrain(*control.port);
        if (std::isnan(value) || value == control.applied) {
            return;
        }
        if (mFast.SetParameter(control.parameter, value) == noErr) {
            control.applied = value;
        }
    }

    // The host's enabled port drives the unit's bypass: zero bypasses, anything else (and an
    // unconnected port) lets the unit voice. The unit takes the property without locking or
    // allocating, and clears its history when it resumes.
    void ApplyEnabled() {
        if (mEnabledPort == nullptr || std::isnan(*mEnabledPort)) {
            return;
        }
        const UInt32 bypass = *mEnabledPort == 0.0f ? 1 : 0;
        if (bypass == mBypassApplied) {
            return;
        }
        if (AudioUnitSetProperty(mUnit->Get(), kAudioUnitProperty_BypassEffect,
                                 kAudioUnitScope_Global, 0, &bypass, sizeof bypass) == noErr) {
            mBypassApplied = bypass;
        }
    }

    void RenderSlice(UInt32 offset, UInt32 frames) {
        mSliceOffset = offset;
        mOutputList.mNumberBuffers = mChannels;
        for (UInt32 c = 0; c < mChannels; ++c) {
            mOutputList.mBuffers[c] =
                AudioBuffer{1, frames * UInt32(sizeof(float)), mOutputs[c] + offset};
        }
        AudioTimeStamp timeStamp{};
        timeStamp.mSampleTime = mSampleTime;
        AudioUnitRenderActionFlags flags = 0;
        if (mFast.Render(flags, timeStamp, frames,
                         reinterpret_cast<AudioBufferList*>(&mOutputList)) != noErr) {
            // Whatever the unit left there is not audio the host should hear.
            for (UInt32 c = 0; c < mChannels; ++c) {
                std::memset(mOutputs[c] + offset, 0, frames * sizeof(float));
            }
        }
        mSampleTime += frames;
    }

    // The unit pulls its input into buffers of its own: it processes in place, and the host's
    // input ports must not be written to. The copy also keeps a host that runs in place (input
    // and output on one buffer) correct.
    static OSStatus FeedInput(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*,
                              UInt32, UInt32 frames, AudioBufferList* ioData) {
        const auto& self = *static_cast<const Plugin*>(refCon);
        if (ioData->mNumberBuffers != self.mChannels) {
            return paramErr;
        }
        for (UInt32 c = 0; c < self.mChannels; ++c) {
            if (ioData->mBuffers[c].mData == nullptr) {
                return paramErr;
            }
            std::memcpy(ioData->mBuffers[c].mData, self.mInputs[c] + self.mSliceOffset,
                        frames * sizeof(float));
        }
        return noErr;
    }

    const UInt32 mChannels;
    std::optional<hosting::Unit> mUnit;
    hosting::FastCalls mFast;
    UInt32 mFramesPerSlice = kDefaultFramesPerSlice;
    Float64 mSampleTime = 0;
    UInt32 mSliceOffset = 0;
    PortLayout mLayout;
    std::vector<Control> mControls;
    const float* mEnabledPort = nullptr;
    UInt32 mBypassApplied = 0;
    float* mLatencyPort = nullptr;
    float mLatencyFrames = 0;
    const float* mInputs[kMostChannels] = {};
    float* mOutputs[kMostChannels] = {};
    OutputBufferList mOutputList{};
};

// [instantiation thread] A configured, initialized instance, or null when the unit refuses.
template <UInt32 Channels>
LV2_Handle Instantiate(const LV2_Descriptor*, double rate, const char* bundlePath,
                       const LV2_Feature* const* features) {
    try {
        const AudioComponent component = gComponent.Get(bundlePath);
        auto* plugin = new (std::nothrow) Plugin(Channels);
        if (component == nullptr || plugin == nullptr ||
            !plugin->Open(component, rate, FramesPerSlice(features))) {
            delete plugin;
            return nullptr;
        }
        return plugin;
    } catch (...) {
        return nullptr;
    }
}

// [audio thread, any state] Remembers where a port's data lives; real-time safe.
void ConnectPort(LV2_Handle instance, uint32_t port, void* data) {
    static_cast<Plugin*>(instance)->ConnectPort(port, data);
}

// [instantiation thread, inactive] Starts from silence, as a freshly instantiated plug-in would.
void Activate(LV2_Handle instance) {
    static_cast<Plugin*>(instance)->Reset();
}

// [audio thread, active] Renders frames; allocates nothing, locks nothing, makes no system call.
void Run(LV2_Handle instance, uint32_t frames) {
    static_cast<Plugin*>(instance)->Run(frames);
}

// [instantiation thread, inactive] Disposes the instance.
void Cleanup(LV2_Handle instance) {
    delete static_cast<Plugin*>(instance);
}

// [any thread] No extensions.
const void* ExtensionData(const char*) {
    return nullptr;
}

const LV2_Descriptor kDescriptors[] = {
    {kMonoURI, Instantiate<1>, ConnectPort, Activate, Run, nullptr, Cleanup, ExtensionData},
    {kStereoURI, Instantiate<2>, ConnectPort, Activate, Run, nullptr, Cleanup, ExtensionData},
};

} // namespace
} // namespace aupublic_lv2

// [any thread] The mono and the stereo plug-in.
extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index < std::size(aupublic_lv2::kDescriptors) ? &aupublic_lv2::kDescriptors[index]
                                                         : nullptr;
}
