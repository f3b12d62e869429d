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

// Changes a host makes while audio plays take this long to settle: long enough that no step is
// heard, short enough that the change still follows the hand on the control.
constexpr double kChangeSeconds = 0.02;
// While anything changes, the unit renders in slices this short, so that the mixing buffers stay
// small and fixed; a gliding parameter moves every few frames, in steps too small to hear.
constexpr UInt32 kStepFrames = 32;
constexpr UInt32 kGlideStepFrames = 4;

// A control port, what the current unit holds for it, and where a glide takes it.
struct Control {
    AudioUnitParameterID parameter = 0;
    const float* port = nullptr;
    Float32 minimum = 0;
    Float32 maximum = 0;
    bool indexed = false;
    // The value the current unit holds; NaN until the unit accepted one from the port.
    Float32 applied = NAN;
    // The value the incoming unit of a crossfade holds.
    Float32 incoming = NAN;
    Float32 glideFrom = NAN;
    Float32 glideTo = NAN;
    UInt32 glidePosition = 0;
    UInt32 glideLength = 0;

    // Into the unit's range; an indexed parameter takes the nearest index. NaN stays NaN.
    Float32 Constrain(float value) const {
        const Float32 inRange = std::clamp(value, minimum, maximum);
        return indexed ? std::round(inRange) : inRange;
    }
    bool Gliding() const { return glidePosition < glideLength; }
    // Ends exactly on the target, so that a settled glide leaves the unit as a direct set would.
    Float32 GlideValue() const {
        return glidePosition == glideLength
                   ? glideTo
                   : glideFrom + (glideTo - glideFrom) * (Float32(glidePosition) / glideLength);
    }
};

// The buffer list of the render call, with room for every channel a plug-in here has.
struct OutputBufferList {
    UInt32 mNumberBuffers;
    AudioBuffer mBuffers[kMostChannels];
};
static_assert(offsetof(OutputBufferList, mBuffers) == offsetof(AudioBufferList, mBuffers));

// One open instance of the unit and its real-time entry points.
struct Voice {
    std::optional<hosting::Unit> unit;
    hosting::FastCalls fast;
};

// The channel buffers of one short slice, for the signal a fade mixes in.
using StepBuffers = float[kMostChannels][kStepFrames];

class Plugin {
public:
    explicit Plugin(UInt32 channels) : mChannels(channels) {}

    // [instantiation thread] Opens, configures and initializes both units; false when one refuses.
    bool Open(AudioComponent component, double rate, UInt32 framesPerSlice) {
        if (!std::isfinite(rate) || rate <= 0) {
            return false;
        }
        try {
            mFramesPerSlice = framesPerSlice;
            mChangeFrames = std::max(UInt32(1), UInt32(std::lround(rate * kChangeSeconds)));
            for (Voice& voice : mVoices) {
                OpenVoice(voice, component, rate);
            }
            mLayout = ReadPortLayout(*mVoices[0].unit, mChannels);
            ReadControlRanges(*mVoices[0].unit);
            mLatencyFrames = float(mVoices[0].unit->Latency() * rate);
            return Reset();
        } catch (const hosting::HostError&) {
            return false;
        }
    }

    // [instantiation thread] Clears the unit's history and ends any change under way; the next
    // run takes the ports' values at once and starts at sample time 0.
    bool Reset() {
        if (mCrossfading) {
            FinishCrossfade();
        }
        for (Control& control : mControls) {
            control.glideLength = 0;
            control.glidePosition = 0;
        }
        mSampleTime = 0;
        mTakePortsAtOnce = true;
        try {
            Current().unit->Reset();
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

    // Real-time safe: no allocation, no lock, no system call, here or in the units.
    void Run(uint32_t frames) {
        if (!AudioPortsConnected()) {
            return;
        }
        ReadControls();
        ReadEnabled();
        mTakePortsAtOnce = false;
        if (mLatencyPort != nullptr) {
            *mLatencyPort = mLatencyFrames;
        }
        for (UInt32 done = 0; done < frames;) {
            const UInt32 slice = std::min({frames - done, mFramesPerSlice, SliceWhileChanging()});
            RenderSlice(done, slice);
            done += slice;
        }
    }

private:
    void OpenVoice(Voice& voice, AudioComponent component, double rate) {
        hosting::Unit& unit = voice.unit.emplace(component);
        hosting::Check(unit.SetBusFormats(hosting::CanonicalFormat(mChannels, rate)),
                       "setting the formats");
        unit.SetMaxFramesPerSlice(mFramesPerSlice);
        unit.SetInputCallback(&Plugin::FeedInput, this);
        unit.Initialize();
        voice.fast = unit.FetchFastCalls();
    }

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

    Voice& Current() { return mVoices[mCurrent]; }
    Voice& Incoming() { return mVoices[1 - mCurrent]; }
    UInt32 WetTarget() const { return mEnabled ? mChangeFrames : 0; }
    UInt32 SliceWhileChanging() const {
        if (std::any_of(mControls.begin(), mControls.end(),
                        [](const Control& control) { return control.Gliding(); })) {
            return kGlideStepFrames;
        }
        return mCrossfading || mWetFrames != WetTarget() ? kStepFrames : kMostFramesPerSlice;
    }
    // Fully dry, the unit itself is bypassed: it passes the input through and spends nothing.
    bool UnitBypassed() const { return mBypassApplied != 0; }

    // A port value the unit already has is not sent again; an unconnected or NaN port leaves
    // the parameter as it is. Right after a reset, and while the unit is bypassed, a value is
    // taken at once: there is nothing heard for it to click on.
    void ReadControls() {
        bool indexedChanged = false;
        for (Control& control : mControls) {
            if (!mCrossfading) {
                control.incoming = control.applied;
            }
            const Float32 value = control.port == nullptr ? NAN : control.Constrain(*control.port);
            if (std::isnan(value)) {
                continue;
            }
            if (mTakePortsAtOnce || UnitBypassed()) {
                control.glideLength = 0;
                control.glidePosition = 0;
                control.glideTo = value;
                if (value != control.applied &&
                    Current().fast.SetParameter(control.parameter, value) == noErr) {
                    control.applied = value;
                }
            } else if (control.indexed) {
                // A crossfade under way runs to its end; the newest value starts the next one.
                if (!mCrossfading) {
                    indexedChanged |= value != control.applied;
                    control.incoming = value;
                }
            } else if (value != control.glideTo) {
                control.glideFrom = control.applied;
                control.glideTo = value;
                control.glidePosition = 0;
                control.glideLength = mChangeFrames;
            }
        }
        if (indexedChanged) {
            StartCrossfade();
        }
    }

    // The incoming unit starts from silence rather than from the current one's history: its
    // filters settle within the first milliseconds of the fade-in, while its gain is still low.
    void StartCrossfade() {
        Voice& incoming = Incoming();
        if (AudioUnitReset(incoming.unit->Get(), kAudioUnitScope_Global, 0) != noErr) {
            return;
        }
        for (Control& control : mControls) {
            if (!std::isnan(control.incoming)) {
                incoming.fast.SetParameter(control.parameter, control.incoming);
            }
        }
        mCrossfading = true;
        mCrossfadePosition = 0;
    }

    void FinishCrossfade() {
        mCrossfading = false;
        mCurrent = 1 - mCurrent;
        for (Control& control : mControls) {
            if (control.indexed) {
                control.applied = control.incoming;
            }
        }
    }

    // The host's enabled port: zero bypasses, anything else (and an unconnected port) voices.
    void ReadEnabled() {
        if (mEnabledPort != nullptr && !std::isnan(*mEnabledPort)) {
            mEnabled = *mEnabledPort != 0.0f;
        }
        if (mTakePortsAtOnce) {
            mWetFrames = WetTarget();
            SetUnitBypass(!mEnabled);
        } else if (mWetFrames == 0 && mEnabled) {
            // Leaving the dry side, the unit resumes; it clears its history as it does.
            SetUnitBypass(false);
        }
    }

    void SetUnitBypass(bool bypass) {
        const UInt32 value = bypass ? 1 : 0;
        if (value != mBypassApplied &&
            AudioUnitSetProperty(Current().unit->Get(), kAudioUnitProperty_BypassEffect,
                                 kAudioUnitScope_Global, 0, &value, sizeof value) == noErr) {
            mBypassApplied = value;
        }
    }

    // Each gliding parameter moves to where it stands at the end of this slice, in both units.
    void StepGlides(UInt32 frames) {
        for (Control& control : mControls) {
            if (!control.Gliding()) {
                continue;
            }
            control.glidePosition = std::min(control.glidePosition + frames, control.glideLength);
            control.applied = control.GlideValue();
            Current().fast.SetParameter(control.parameter, control.applied);
            if (mCrossfading) {
                Incoming().fast.SetParameter(control.parameter, control.applied);
            }
        }
    }

    void RenderSlice(UInt32 offset, UInt32 frames) {
        mSliceOffset = offset;
        StepGlides(frames);
        const bool bypassFading = mWetFrames != WetTarget();
        // Before any unit renders: a host running in place loses its input to the first output.
        if (bypassFading) {
            CopyInput(mDry, frames);
        }
        float* outputs[kMostChannels] = {};
        if (mCrossfading) {
            float* incoming[kMostChannels] = {mIncoming[0], mIncoming[1]};
            Render(Incoming(), incoming, frames);
        }
        for (UInt32 c = 0; c < mChannels; ++c) {
            outputs[c] = mOutputs[c] + offset;
        }
        Render(Current(), outputs, frames);
        if (mCrossfading) {
            MixIncoming(outputs, frames);
        }
        if (bypassFading) {
            MixDry(outputs, frames);
        }
        mSampleTime += frames;
    }

    // Linear rather than equal-power: both units hear the same input through similar filters, so
    // their outputs are highly correlated and linear gains that sum to one keep the level steady,
    // where equal-power gains would swell it by up to 3 dB mid-fade.
    void MixIncoming(float* const* outputs, UInt32 frames) {
        for (UInt32 i = 0; i < frames; ++i) {
            mCrossfadePosition = std::min(mCrossfadePosition + 1, mChangeFrames);
            const float in = float(mCrossfadePosition) / float(mChangeFrames);
            for (UInt32 c = 0; c < mChannels; ++c) {
                outputs[c][i] = outputs[c][i] * (1 - in) + mIncoming[c][i] * in;
            }
        }
        if (mCrossfadePosition == mChangeFrames) {
            FinishCrossfade();
        }
    }

    // Linear for the same reason: the dry and the voiced signal are far from independent.
    void MixDry(float* const* outputs, UInt32 frames) {
        const UInt32 target = WetTarget();
        for (UInt32 i = 0; i < frames; ++i) {
            mWetFrames = mWetFrames < target ? mWetFrames + 1 : std::max(target, mWetFrames - 1);
            const float wet = float(mWetFrames) / float(mChangeFrames);
            for (UInt32 c = 0; c < mChannels; ++c) {
                outputs[c][i] = outputs[c][i] * wet + mDry[c][i] * (1 - wet);
            }
        }
        // Fully dry, a crossfade under way has nothing left to be heard.
        if (mWetFrames == 0) {
            if (mCrossfading) {
                FinishCrossfade();
            }
            SetUnitBypass(true);
        }
    }

    void CopyInput(StepBuffers& into, UInt32 frames) const {
        for (UInt32 c = 0; c < mChannels; ++c) {
            std::memcpy(into[c], mInputs[c] + mSliceOffset, frames * sizeof(float));
        }
    }

    void Render(const Voice& voice, float* const* outputs, UInt32 frames) {
        mOutputList.mNumberBuffers = mChannels;
        for (UInt32 c = 0; c < mChannels; ++c) {
            mOutputList.mBuffers[c] = AudioBuffer{1, frames * UInt32(sizeof(float)), outputs[c]};
        }
        AudioTimeStamp timeStamp{};
        timeStamp.mSampleTime = mSampleTime;
        AudioUnitRenderActionFlags flags = 0;
        if (voice.fast.Render(flags, timeStamp, frames,
                              reinterpret_cast<AudioBufferList*>(&mOutputList)) != noErr) {
            // Whatever the unit left there is not audio the host should hear.
            for (UInt32 c = 0; c < mChannels; ++c) {
                std::memset(outputs[c], 0, frames * sizeof(float));
            }
        }
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
    // Two units, so that a change of an indexed parameter can fade from one to the other; only
    // the current one renders outside a crossfade.
    Voice mVoices[2];
    UInt32 mCurrent = 0;
    bool mCrossfading = false;
    UInt32 mCrossfadePosition = 0;
    UInt32 mChangeFrames = 1;
    bool mTakePortsAtOnce = true;
    UInt32 mFramesPerSlice = kDefaultFramesPerSlice;
    Float64 mSampleTime = 0;
    UInt32 mSliceOffset = 0;
    PortLayout mLayout;
    std::vector<Control> mControls;
    const float* mEnabledPort = nullptr;
    bool mEnabled = true;
    // How far the output is voiced rather than dry, in frames of a change: mChangeFrames is fully
    // voiced.
    UInt32 mWetFrames = 0;
    UInt32 mBypassApplied = 0;
    float* mLatencyPort = nullptr;
    float mLatencyFrames = 0;
    const float* mInputs[kMostChannels] = {};
    float* mOutputs[kMostChannels] = {};
    OutputBufferList mOutputList{};
    StepBuffers mIncoming{};
    StepBuffers mDry{};
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
