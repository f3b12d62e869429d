#include "Probe.h"

#include <cmath>
#include <cstring>
#include <limits>

namespace quenzal::validation {

float TestSample(UInt32 channel, UInt64 frame) {
    // A 64-bit mix (splitmix) of channel and frame: uncorrelated channels, no state to keep.
    UInt64 x = frame * 0x9E3779B97F4A7C15ull + (UInt64(channel) + 1) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    return static_cast<float>(x >> 40) / static_cast<float>(1 << 24) - 0.5f;
}

Signal TestSignal(UInt32 channels, UInt64 firstFrame, UInt32 frames) {
    Signal signal(channels, std::vector<float>(frames));
    for (UInt32 c = 0; c < channels; ++c) {
        for (UInt32 i = 0; i < frames; ++i) {
            signal[c][i] = TestSample(c, firstFrame + i);
        }
    }
    return signal;
}

BufferList::BufferList(UInt32 buffers, UInt32 frames, bool withMemory)
    : mList(AudioBufferListByteSize(buffers)),
      mSamples(withMemory ? buffers : 0,
               std::vector<float>(frames, std::numeric_limits<float>::quiet_NaN())) {
    Get()->mNumberBuffers = buffers;
    for (UInt32 i = 0; i < buffers; ++i) {
        Buffer(i) = AudioBuffer{1, frames * UInt32(sizeof(float)),
                                withMemory ? mSamples[i].data() : nullptr};
    }
}

void Probe::Configure(UInt32 channels, Float64 rate) {
    mProbeChannels = channels;
    SetStreamFormat(channels, rate);
    SetInput(&Probe::Fill, this);
}

void Probe::Prepare(UInt32 channels, Float64 rate) {
    Configure(channels, rate);
    Initialize();
    Restart();
}

void Probe::Restart() {
    Reset();
    mPulled = 0;
}

void Probe::Fill(void* context, UInt32 frames, float* const* channels) {
    auto* self = static_cast<Probe*>(context);
    for (UInt32 c = 0; c < self->mProbeChannels; ++c) {
        for (UInt32 i = 0; i < frames; ++i) {
            channels[c][i] = TestSample(c, self->mPulled + i);
        }
    }
    self->mPulled += frames;
}

Signal Probe::RenderSignal(UInt32 frames) {
    BufferList list(mProbeChannels, frames);
    ExpectStatus(RenderList(frames, *list.Get()), noErr,
                 "rendering " + std::to_string(frames) + " frames");
    return list.Samples();
}

Float32 Probe::Parameter(AudioUnitParameterID id) {
    Float32 value = 0;
    ExpectStatus(AudioUnitGetParameter(Get(), id, kAudioUnitScope_Global, 0, &value), noErr,
                 "reading parameter " + std::to_string(id));
    return value;
}

void ExpectFinite(const Signal& signal, const std::string& what) {
    for (const auto& channel : signal) {
        for (const float sample : channel) {
            Expect(std::isfinite(sample), what + " holds a non-finite sample");
        }
    }
}

bool SameBits(const Signal& a, const Signal& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t c = 0; c < a.size(); ++c) {
        if (a[c].size() != b[c].size() ||
            std::memcmp(a[c].data(), b[c].data(), a[c].size() * sizeof(float)) != 0) {
            return false;
        }
    }
    return true;
}

std::vector<ParameterDescription> Parameters(const Unit& unit) {
    std::vector<ParameterDescription> parameters;
    for (const AudioUnitParameterID id : unit.ParameterList()) {
        parameters.push_back({id, unit.ParameterInfo(id)});
    }
    return parameters;
}

bool IsWritable(const ParameterDescription& parameter) {
    return (parameter.info.flags & kAudioUnitParameterFlag_IsWritable) != 0;
}

} // namespace quenzal::validation
