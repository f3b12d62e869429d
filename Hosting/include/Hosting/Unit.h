// One instance of a component, driven the way any host drives it: through the platform's host
// calls and the component's entry point, never by linking the unit's code. Typed calls throw
// HostError on a refusal; the raw calls hand back the unit's status for hosts that judge it.
#pragma once

#include "Hosting/HostError.h"
#include "Hosting/Owned.h"
#include "Platform/Host.h"

#include <string>
#include <vector>

namespace hosting {

// [any thread] The deinterleaved 32-bit float format every effect bus takes.
AudioStreamBasicDescription CanonicalFormat(UInt32 channels, Float64 rate);

// The unit's render and set-parameter functions called directly, skipping the dispatch: what a
// real-time host uses. Valid while the Unit that fetched them lives.
struct FastCalls {
    void* storage = nullptr;
    AudioUnitRenderProc render = nullptr;
    AudioUnitSetParameterProc setParameter = nullptr;

    // [render thread, initialized] The unit's status, unchanged.
    OSStatus Render(AudioUnitRenderActionFlags& flags, const AudioTimeStamp& timeStamp,
                    UInt32 frames, AudioBufferList* list) const {
        return render(storage, &flags, &timeStamp, 0, frames, list);
    }
    // [render thread] Sets a global parameter now; the unit's status, unchanged.
    OSStatus SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value) const {
        return setParameter(storage, id, kAudioUnitScope_Global, 0, value, 0);
    }
};

class Unit {
public:
    // [control thread] Opens an instance; throws HostError when the component refuses.
    explicit Unit(AudioComponent component);
    // [control thread] Disposes the instance unless Close already did.
    ~Unit();
    // [control thread] Disposes the instance now; the close selector's status. Get() is null after.
    OSStatus Close();
    Unit(const Unit&) = delete;
    Unit& operator=(const Unit&) = delete;

    // [any thread] The instance, owned by this object.
    AudioUnit Get() const { return mUnit; }
    // [any thread] Channels of the format set last through SetStreamFormat or SetBusFormats.
    UInt32 Channels() const { return mChannels; }

    // ---- raw properties: the unit's status, unchanged ----
    // [control thread]
    template <class T>
    OSStatus SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                         const T& value) {
        return AudioUnitSetProperty(mUnit, id, scope, element, &value, sizeof value);
    }
    // [control thread] size, when given, receives the size the unit answered.
    template <class T>
    OSStatus GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                         T& value, UInt32* size = nullptr) const {
        UInt32 answered = sizeof value;
        const OSStatus status = AudioUnitGetProperty(mUnit, id, scope, element, &value, &answered);
        if (size != nullptr) {
            *size = answered;
        }
        return status;
    }
    // [control thread, uninitialized] format on input and output bus 0; the first refusal's
    // status, or 0.
    OSStatus SetBusFormats(const AudioStreamBasicDescription& format);

    // ---- typed calls: throw HostError on a refusal ----
    // [control thread, uninitialized] Input and output bus 0 as deinterleaved float at rate.
    void SetStreamFormat(UInt32 channels, Float64 rate);
    // [control thread] The format of bus 0 of scope.
    AudioStreamBasicDescription StreamFormat(AudioUnitScope scope) const;
    // [control thread, uninitialized]
    void SetMaxFramesPerSlice(UInt32 frames);
    // [control thread]
    UInt32 MaxFramesPerSlice() const;

    // [control thread] The global parameters' IDs.
    std::vector<AudioUnitParameterID> ParameterList() const;
    // [control thread] The info, its name string already released (read ParameterName for it).
    AudioUnitParameterInfo ParameterInfo(AudioUnitParameterID id) const;
    // [control thread] The name a host shows: the name string, or the fixed name field.
    std::string ParameterName(AudioUnitParameterID id) const;
    // [control thread] The value names of an indexed parameter, empty when it has none.
    std::vector<std::string> ValueStrings(AudioUnitParameterID id) const;
    // [control thread]
    Float32 GetParameter(AudioUnitParameterID id) const;
    // [control thread]
    void SetParameter(AudioUnitParameterID id, Float32 value);

    // [control thread]
    bool Bypass() const;
    // [control thread]
    void SetBypass(bool bypass);
    // [control thread]
    bool InPlace() const;
    // [control thread, uninitialized]
    void SetInPlace(bool inPlace);

    // [control thread] The saved state; the caller owns it.
    Owned<CFPropertyListRef> ClassInfo() const;
    // [control thread] Restores a saved state; the unit takes no ownership.
    void SetClassInfo(CFPropertyListRef state);
    // [control thread] Throws HostError carrying the platform's message naming the file.
    void SaveStateFile(const std::string& path) const;
    // [control thread] Throws HostError carrying the platform's message naming the file.
    void RestoreStateFile(const std::string& path);

    // [control thread] Seconds.
    Float64 Latency() const;
    // [control thread] Seconds.
    Float64 TailTime() const;

    // [control thread]
    void Initialize();
    // [control thread]
    void Uninitialize();
    // [control thread] Clears the unit's history; the next render starts at sample time 0.
    void Reset();

    // ---- the input feed ----
    // Fills each channel's frames; channels are the unit's own input buffers.
    using InputFill = void (*)(void* context, UInt32 frames, float* const* channels);
    // [control thread, after SetStreamFormat] Every pull of input bus 0 calls fill(context, ...).
    void SetInput(InputFill fill, void* context);
    // [control thread] Input bus 0 pulls from a host callback of the caller's.
    void SetInputCallback(AURenderCallback callback, void* context);
    // [control thread] Input bus 0 pulls from output sourceBus of source.
    void ConnectInput(AudioUnit source, UInt32 sourceBus);
    // [control thread, initialized] The unit's render and set-parameter functions; throws HostError
    // when it offers none.
    FastCalls FetchFastCalls() const;

    // ---- rendering: each call advances the sample time by frames ----
    // [render thread, initialized] The unit's status, unchanged; flags, when given, receives the
    // flags the unit left.
    OSStatus RenderList(UInt32 frames, AudioBufferList& list,
                        AudioUnitRenderActionFlags* flags = nullptr);
    // [render thread, initialized] Into the caller's channel buffers, each frames long.
    void Render(UInt32 frames, float* const* channels);
    // [render thread, initialized] Where the unit keeps the samples, copying nothing; valid until
    // the next render.
    const float* const* RenderInUnitBuffers(UInt32 frames);

private:
    static OSStatus FeedInput(void* refCon, AudioUnitRenderActionFlags* flags,
                              const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                              AudioBufferList* ioData);
    template <class T> T GlobalProperty(AudioUnitPropertyID id, const char* call) const;
    void UseChannels(UInt32 channels);
    AudioBufferList& OutputList(UInt32 frames, float* const* channels);

    AudioUnit mUnit = nullptr;
    UInt32 mChannels = 0;
    Float64 mSampleTime = 0;
    InputFill mFill = nullptr;
    void* mFillContext = nullptr;
    std::vector<float*> mInputPointers;
    std::vector<const float*> mOutputPointers;
    std::vector<Byte> mOutputList;
};

} // namespace hosting
