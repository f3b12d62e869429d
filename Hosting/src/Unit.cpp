#include "Hosting/Unit.h"

#include "CAStreamBasicDescription.h"

#include <cstring>
#include <utility>

namespace hosting {
namespace {

// Room for any message the platform writes: a path and a sentence.
constexpr size_t kMessageSize = 1024;

template <class Function>
void FetchFast(AudioUnit unit, UInt32 selector, Function& function, const char* call) {
    UInt32 size = sizeof function;
    Check(AudioUnitGetProperty(unit, kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global,
                               selector, &function, &size),
          call);
    if (function == nullptr) {
        throw HostError(call, kAudioUnitErr_InvalidProperty);
    }
}

} // namespace

AudioStreamBasicDescription CanonicalFormat(UInt32 channels, Float64 rate) {
    CAStreamBasicDescription format;
    format.SetAUCanonical(channels, false);
    format.mSampleRate = rate;
    return format;
}

Unit::Unit(AudioComponent component) {
    Check(AudioComponentInstanceNew(component, &mUnit), "opening the component");
}

Unit::~Unit() {
    Close();
}

OSStatus Unit::Close() {
    return mUnit != nullptr ? AudioComponentInstanceDispose(std::exchange(mUnit, nullptr)) : noErr;
}

OSStatus Unit::SetBusFormats(const AudioStreamBasicDescription& format) {
    for (const AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        const OSStatus status = SetProperty(kAudioUnitProperty_StreamFormat, scope, 0, format);
        if (status != noErr) {
            return status;
        }
    }
    UseChannels(format.mChannelsPerFrame);
    return noErr;
}

void Unit::SetStreamFormat(UInt32 channels, Float64 rate) {
    Check(SetBusFormats(CanonicalFormat(channels, rate)),
          "setting a " + std::to_string(channels) + "-channel format at " +
              std::to_string(static_cast<long>(rate)) + " Hz");
}

AudioStreamBasicDescription Unit::StreamFormat(AudioUnitScope scope) const {
    AudioStreamBasicDescription format{};
    Check(GetProperty(kAudioUnitProperty_StreamFormat, scope, 0, format),
          "reading the stream format");
    return format;
}

void Unit::UseChannels(UInt32 channels) {
    mChannels = channels;
    mInputPointers.assign(channels, nullptr);
    mOutputPointers.assign(channels, nullptr);
    mOutputList.assign(AudioBufferListByteSize(channels), 0);
}

void Unit::SetMaxFramesPerSlice(UInt32 frames) {
    Check(SetProperty(kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, frames),
          "setting the block size to " + std::to_string(frames));
}

UInt32 Unit::MaxFramesPerSlice() const {
    return GlobalProperty<UInt32>(kAudioUnitProperty_MaximumFramesPerSlice,
                                  "reading the block size");
}

template <class T> T Unit::GlobalProperty(AudioUnitPropertyID id, const char* call) const {
    T value{};
    Check(GetProperty(id, kAudioUnitScope_Global, 0, value), call);
    return value;
}

std::vector<AudioUnitParameterID> Unit::ParameterList() const {
    UInt32 size = 0;
    Boolean writable = false;
    Check(AudioUnitGetPropertyInfo(mUnit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global,
                                   0, &size, &writable),
          "asking for the parameter list");
    std::vector<AudioUnitParameterID> ids(size / sizeof(AudioUnitParameterID));
    if (!ids.empty()) {
        Check(AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global,
                                   0, ids.data(), &size),
              "reading the parameter list");
    }
    return ids;
}

AudioUnitParameterInfo Unit::ParameterInfo(AudioUnitParameterID id) const {
    AudioUnitParameterInfo info{};
    Check(GetProperty(kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id, info),
          "reading the info of parameter " + std::to_string(id));
    if ((info.flags & kAudioUnitParameterFlag_CFNameRelease) && info.cfNameString != nullptr) {
        CFRelease(info.cfNameString);
    }
    info.cfNameString = nullptr;
    return info;
}

std::string Unit::ParameterName(AudioUnitParameterID id) const {
    AudioUnitParameterInfo info{};
    Check(GetProperty(kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id, info),
          "reading the info of parameter " + std::to_string(id));
    const bool hasString = (info.flags & kAudioUnitParameterFlag_HasCFNameString) != 0;
    const char* text = hasString ? PlatformStringUTF8(info.cfNameString) : nullptr;
    std::string name = text != nullptr ? text : std::string(info.name, strnlen(info.name, 52));
    if ((info.flags & kAudioUnitParameterFlag_CFNameRelease) && info.cfNameString != nullptr) {
        CFRelease(info.cfNameString);
    }
    return name;
}

std::vector<std::string> Unit::ValueStrings(AudioUnitParameterID id) const {
    CFArrayRef strings = nullptr;
    if (GetProperty(kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, id,
                    strings) != noErr ||
        strings == nullptr) {
        return {};
    }
    const Owned<CFArrayRef> owned(strings);
    std::vector<std::string> names;
    for (CFIndex i = 0; i < CFArrayGetCount(strings); ++i) {
        const auto name = static_cast<CFStringRef>(CFArrayGetValueAtIndex(strings, i));
        const char* text = PlatformStringUTF8(name);
        names.emplace_back(text != nullptr ? text : "");
    }
    return names;
}

Float32 Unit::GetParameter(AudioUnitParameterID id) const {
    Float32 value = 0;
    Check(AudioUnitGetParameter(mUnit, id, kAudioUnitScope_Global, 0, &value),
          "reading parameter " + std::to_string(id));
    return value;
}

void Unit::SetParameter(AudioUnitParameterID id, Float32 value) {
    Check(AudioUnitSetParameter(mUnit, id, kAudioUnitScope_Global, 0, value, 0),
          "setting parameter " + std::to_string(id));
}

bool Unit::Bypass() const {
    return GlobalProperty<UInt32>(kAudioUnitProperty_BypassEffect, "reading bypass") != 0;
}

void Unit::SetBypass(bool bypass) {
    const UInt32 value = bypass ? 1 : 0;
    Check(SetProperty(kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0, value),
          "setting bypass");
}

bool Unit::InPlace() const {
    return GlobalProperty<UInt32>(kAudioUnitProperty_InPlaceProcessing,
                                  "reading in-place processing") != 0;
}

void Unit::SetInPlace(bool inPlace) {
    const UInt32 value = inPlace ? 1 : 0;
    Check(SetProperty(kAudioUnitProperty_InPlaceProcessing, kAudioUnitScope_Global, 0, value),
          "setting in-place processing");
}

Owned<CFPropertyListRef> Unit::ClassInfo() const {
    return Owned<CFPropertyListRef>(
        GlobalProperty<CFPropertyListRef>(kAudioUnitProperty_ClassInfo, "reading the saved state"));
}

void Unit::SetClassInfo(CFPropertyListRef state) {
    Check(SetProperty(kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, state),
          "restoring the saved state");
}

void Unit::SaveStateFile(const std::string& path) const {
    char message[kMessageSize] = {};
    const OSStatus status =
        PlatformSaveClassInfoToFile(mUnit, path.c_str(), message, sizeof message);
    if (status != noErr) {
        throw HostError("saving the state", status,
                        message[0] ? message : path + ": cannot save the state");
    }
}

void Unit::RestoreStateFile(const std::string& path) {
    char message[kMessageSize] = {};
    const OSStatus status =
        PlatformRestoreClassInfoFromFile(mUnit, path.c_str(), message, sizeof message);
    if (status != noErr) {
        throw HostError("restoring the state", status,
                        message[0] ? message : path + ": the unit refused the saved state");
    }
}

Float64 Unit::Latency() const {
    return GlobalProperty<Float64>(kAudioUnitProperty_Latency, "reading the latency");
}

Float64 Unit::TailTime() const {
    return GlobalProperty<Float64>(kAudioUnitProperty_TailTime, "reading the tail time");
}

void Unit::Initialize() {
    Check(AudioUnitInitialize(mUnit), "initializing the unit");
}

void Unit::Uninitialize() {
    Check(AudioUnitUninitialize(mUnit), "uninitializing the unit");
}

void Unit::Reset() {
    Check(AudioUnitReset(mUnit, kAudioUnitScope_Global, 0), "resetting the unit");
    mSampleTime = 0;
}

void Unit::SetInput(InputFill fill, void* context) {
    mFill = fill;
    mFillContext = context;
    SetInputCallback(&Unit::FeedInput, this);
}

void Unit::SetInputCallback(AURenderCallback callback, void* context) {
    const AURenderCallbackStruct input{callback, context};
    Check(SetProperty(kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, input),
          "connecting the input");
}

void Unit::ConnectInput(AudioUnit source, UInt32 sourceBus) {
    const AudioUnitConnection connection{source, sourceBus, 0};
    Check(SetProperty(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input, 0, connection),
          "connecting the input");
}

FastCalls Unit::FetchFastCalls() const {
    FastCalls calls;
    calls.storage = GetComponentInstanceStorage(mUnit);
    if (calls.storage == nullptr) {
        throw HostError("fetching the fast calls", paramErr);
    }
    FetchFast(mUnit, kAudioUnitRenderFastSelect, calls.render, "fetching the render function");
    FetchFast(mUnit, kAudioUnitSetParameterFastSelect, calls.setParameter,
              "fetching the set-parameter function");
    return calls;
}

// The input callback only forwards: the unit's input buffers are handed to the fill as they are.
OSStatus Unit::FeedInput(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                         UInt32 frames, AudioBufferList* ioData) {
    auto* self = static_cast<Unit*>(refCon);
    if (ioData->mNumberBuffers != self->mChannels) {
        return paramErr;
    }
    for (UInt32 c = 0; c < self->mChannels; ++c) {
        self->mInputPointers[c] = static_cast<float*>(ioData->mBuffers[c].mData);
    }
    self->mFill(self->mFillContext, frames, self->mInputPointers.data());
    return noErr;
}

OSStatus Unit::RenderList(UInt32 frames, AudioBufferList& list, AudioUnitRenderActionFlags* flags) {
    AudioTimeStamp timeStamp{};
    timeStamp.mSampleTime = mSampleTime;
    mSampleTime += frames;
    AudioUnitRenderActionFlags left = 0;
    const OSStatus status = AudioUnitRender(mUnit, &left, &timeStamp, 0, frames, &list);
    if (flags != nullptr) {
        *flags = left;
    }
    return status;
}

AudioBufferList& Unit::OutputList(UInt32 frames, float* const* channels) {
    auto& list = *reinterpret_cast<AudioBufferList*>(mOutputList.data());
    list.mNumberBuffers = mChannels;
    for (UInt32 c = 0; c < mChannels; ++c) {
        list.mBuffers[c] = channels != nullptr
                               ? AudioBuffer{1, frames * UInt32(sizeof(float)), channels[c]}
                               : AudioBuffer{1, 0, nullptr};
    }
    return list;
}

void Unit::Render(UInt32 frames, float* const* channels) {
    Check(RenderList(frames, OutputList(frames, channels)), "rendering");
}

const float* const* Unit::RenderInUnitBuffers(UInt32 frames) {
    // Null data pointers ask the unit for its own buffers instead of a copy into ours; an effect
    // that processes in place hands back its input buffers.
    AudioBufferList& list = OutputList(frames, nullptr);
    Check(RenderList(frames, list), "rendering");
    for (UInt32 c = 0; c < mChannels; ++c) {
        mOutputPointers[c] = static_cast<const float*>(list.mBuffers[c].mData);
    }
    return mOutputPointers.data();
}

} // namespace hosting
