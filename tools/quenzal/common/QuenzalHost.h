// One instance of a component, hosted the way any host does it: through the platform's host API
// and the component's entry point, never by linking the unit's code.
#pragma once

#include "Platform/Host.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace quenzal {

// A failure the user can act on; the message names the file or the setting and the problem.
class HostError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Where a component lives: its library and the registration file beside it.
struct ComponentLocation {
    std::string library;
    std::string registration;
};

// The component given on the command line, or the one installed beside this executable, or the
// one in the build tree this executable came from.
ComponentLocation FindComponent(const std::string& explicitPath);

// A registered component; registration lasts for the process.
AudioComponent RegisterComponent(const ComponentLocation& location);

class HostedUnit {
public:
    explicit HostedUnit(AudioComponent component);
    ~HostedUnit();
    HostedUnit(const HostedUnit&) = delete;
    HostedUnit& operator=(const HostedUnit&) = delete;

    AudioUnit Get() const { return mUnit; }

    // Input and output buses as deinterleaved 32-bit float at rate.
    void SetStreamFormat(UInt32 channels, Float64 rate);
    void SetMaxFramesPerSlice(UInt32 frames);
    void SetParameter(AudioUnitParameterID id, Float32 value);
    Float32 GetParameter(AudioUnitParameterID id) const;
    void SetBypass(bool bypass);
    void Initialize();
    void Reset();
    void RestoreStateFile(const std::string& path);
    void SaveStateFile(const std::string& path);

    std::vector<AudioUnitParameterID> ParameterList() const;
    AudioUnitParameterInfo ParameterInfo(AudioUnitParameterID id) const;
    // The value names of an indexed parameter, empty when it has none.
    std::vector<std::string> ValueStrings(AudioUnitParameterID id) const;
    Float64 TailTime() const;
    Float64 Latency() const;

    // Feeds the input bus from fill(frames, channelPointers) on every pull.
    using InputFill = void (*)(void* context, UInt32 frames, float* const* channels);
    void SetInput(InputFill fill, void* context);

    // Renders frames into the given channel buffers (each at least frames long).
    void Render(UInt32 frames, float* const* channels);
    // Renders frames where the unit keeps them, copying nothing; the channels' samples stay valid
    // until the next render.
    const float* const* RenderInUnitBuffers(UInt32 frames);

    UInt32 Channels() const { return mChannels; }

    // Throws a HostError naming what was attempted when status is not 0.
    static void Check(OSStatus status, const std::string& what);

private:
    static OSStatus InputCallback(void* refCon, AudioUnitRenderActionFlags* flags,
                                  const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                                  AudioBufferList* ioData);
    template <class T> T GetGlobalProperty(AudioUnitPropertyID id, const char* what) const;
    void RenderList(UInt32 frames, AudioBufferList& list);

    AudioUnit mUnit = nullptr;
    UInt32 mChannels = 0;
    Float64 mSampleTime = 0;
    InputFill mFill = nullptr;
    void* mFillContext = nullptr;
    std::vector<float*> mInputPointers;
    std::vector<const float*> mOutputPointers;
    std::vector<Byte> mOutputList;
};

} // namespace quenzal
