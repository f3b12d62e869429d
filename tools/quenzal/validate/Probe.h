// One instance for one check, driven through the host API only. Its input is a test signal that
// is a pure function of channel and frame, so any output can be held against what went in.
#pragma once

#include "QuenzalHost.h"
#include "ValidationBattery.h"

#include <vector>

namespace quenzal::validation {

// One vector of samples per channel.
using Signal = std::vector<std::vector<float>>;

inline constexpr UInt32 kProbeChannels = 2;
inline constexpr Float64 kProbeRate = 48000;

// Noise within [-0.5, 0.5), different on every channel.
float TestSample(UInt32 channel, UInt64 frame);
Signal TestSignal(UInt32 channels, UInt64 firstFrame, UInt32 frames);

// Caller memory for one render: buffers of frames each, or null pointers (the unit's memory).
class BufferList {
public:
    BufferList(UInt32 buffers, UInt32 frames, bool withMemory = true);
    AudioBufferList* Get() { return reinterpret_cast<AudioBufferList*>(mList.data()); }
    AudioBuffer& Buffer(UInt32 index) { return Get()->mBuffers[index]; }
    Signal& Samples() { return mSamples; }

private:
    std::vector<Byte> mList;
    Signal mSamples;
};

// An instance whose input is the test signal; every render advances the signal with the sample
// time.
class Probe : public Unit {
public:
    explicit Probe(AudioComponent component) : Unit(component) {}

    // Formats on input and output bus 0 and the test signal on the input; stays uninitialized.
    void Configure(UInt32 channels = kProbeChannels, Float64 rate = kProbeRate);
    // Configure, then initialize and reset: ready to render.
    void Prepare(UInt32 channels = kProbeChannels, Float64 rate = kProbeRate);
    // Reset, and the test signal starts again at frame 0.
    void Restart();

    // Renders the next frames into fresh buffers; any status but 0 fails the check.
    Signal RenderSignal(UInt32 frames);
    // The value a parameter reads back; failing to read fails the check.
    Float32 Parameter(AudioUnitParameterID id);

private:
    static void Fill(void* context, UInt32 frames, float* const* channels);

    UInt32 mProbeChannels = kProbeChannels;
    UInt64 mPulled = 0;
};

void ExpectFinite(const Signal& signal, const std::string& what);
// Bit for bit: a NaN equals the same NaN, and -0 differs from +0.
bool SameBits(const Signal& a, const Signal& b);

struct ParameterDescription {
    AudioUnitParameterID id;
    AudioUnitParameterInfo info;
};
// The unit's global parameters as a host sees them; an unreadable list or info fails the check.
std::vector<ParameterDescription> Parameters(const Unit& unit);
bool IsWritable(const ParameterDescription& parameter);

// Reads a fixed-size property; a failure, or an answer of another size, fails the check.
template <class T>
T ReadProperty(const Unit& unit, AudioUnitPropertyID id, AudioUnitScope scope,
               AudioUnitElement element) {
    T value{};
    UInt32 size = 0;
    const std::string what = "reading property " + std::to_string(id);
    ExpectStatus(unit.GetProperty(id, scope, element, value, &size), noErr, what);
    Expect(size == sizeof value, what + " answered " + std::to_string(size) + " bytes, expected " +
                                     std::to_string(sizeof value));
    return value;
}

} // namespace quenzal::validation
