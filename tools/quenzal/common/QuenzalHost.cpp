#include "HostedUnit.h"

#include <cstring>
#include <filesystem>
#include <unistd.h>

namespace fs = std::filesystem;

namespace quenzal {
namespace {

constexpr const char* kLibraryName = "Harwendel_Quenzal.so";

fs::path ExecutableDirectory() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : self.parent_path();
}

ComponentLocation LocationOfLibrary(const fs::path& library) {
    fs::path registration = library;
    registration.replace_extension(".plist");
    return {library.string(), registration.string()};
}

bool Exists(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

} // namespace

ComponentLocation FindComponent(const std::string& explicitPath) {
    if (!explicitPath.empty()) {
        fs::path path(explicitPath);
        std::error_code error;
        if (fs::is_directory(path, error)) {
            path /= kLibraryName;
        }
        if (!Exists(path)) {
            throw HostError(explicitPath + ": no component library there");
        }
        return LocationOfLibrary(path);
    }
    const fs::path installed =
        ExecutableDirectory() / QUENZAL_INSTALLED_COMPONENT_DIR / kLibraryName;
    if (Exists(installed)) {
        return LocationOfLibrary(installed);
    }
    const fs::path built = fs::path(QUENZAL_BUILD_COMPONENT_DIR) / kLibraryName;
    if (Exists(built)) {
        return LocationOfLibrary(built);
    }
    throw HostError("cannot find the component: looked for " + installed.string() + " and " +
                    built.string() + " (use --component PATH)");
}

AudioComponent RegisterComponent(const ComponentLocation& location) {
    char message[1024] = {};
    AudioComponent component = PlatformRegisterComponentLibrary(
        location.library.c_str(), location.registration.c_str(), message, sizeof message);
    if (component == nullptr) {
        throw HostError(message[0] ? message : location.library + ": cannot load the component");
    }
    return component;
}

void HostedUnit::Check(OSStatus status, const std::string& what) {
    if (status != noErr) {
        throw HostError(what + " failed (status " + std::to_string(status) + ")");
    }
}

HostedUnit::HostedUnit(AudioComponent component) {
    Check(AudioComponentInstanceNew(component, &mUnit), "opening the component");
}

HostedUnit::~HostedUnit() {
    if (mUnit != nullptr) {
        AudioComponentInstanceDispose(mUnit);
    }
}

void HostedUnit::SetStreamFormat(UInt32 channels, Float64 rate) {
    AudioStreamBasicDescription format{};
    format.mSampleRate = rate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags =
        kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    format.mBytesPerPacket = sizeof(Float32);
    format.mFramesPerPacket = 1;
    format.mBytesPerFrame = sizeof(Float32);
    format.mChannelsPerFrame = channels;
    format.mBitsPerChannel = 32;
    for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        Check(AudioUnitSetProperty(mUnit, kAudioUnitProperty_StreamFormat, scope, 0, &format,
                                   sizeof format),
              "setting a " + std::to_string(channels) + "-channel format at " +
                  std::to_string(static_cast<long>(rate)) + " Hz");
    }
    mChannels = channels;
    mInputPointers.assign(channels, nullptr);
    mOutputPointers.assign(channels, nullptr);
    mOutputList.assign(AudioBufferListByteSize(channels), 0);
}

void HostedUnit::SetMaxFramesPerSlice(UInt32 frames) {
    Check(AudioUnitSetProperty(mUnit, kAudioUnitProperty_MaximumFramesPerSlice,
                               kAudioUnitScope_Global, 0, &frames, sizeof frames),
          "setting the block size to " + std::to_string(frames));
}

void HostedUnit::SetParameter(AudioUnitParameterID id, Float32 value) {
    Check(AudioUnitSetParameter(mUnit, id, kAudioUnitScope_Global, 0, value, 0),
          "setting parameter " + std::to_string(id));
}

Float32 HostedUnit::GetParameter(AudioUnitParameterID id) const {
    Float32 value = 0;
    Check(AudioUnitGetParameter(mUnit, id, kAudioUnitScope_Global, 0, &value),
          "reading parameter " + std::to_string(id));
    return value;
}

void HostedUnit::SetBypass(bool bypass) {
    const UInt32 value = bypass ? 1 : 0;
    Check(AudioUnitSetProperty(mUnit, kAudioUnitProperty_BypassEffect, kAudioUnitScope_Global, 0,
                               &value, sizeof value),
          "setting bypass");
}

void HostedUnit::Initialize() {
    Check(AudioUnitInitialize(mUnit), "initializing the unit");
}

void HostedUnit::Reset() {
    Check(AudioUnitReset(mUnit, kAudioUnitScope_Global, 0), "resetting the unit");
    mSampleTime = 0;
}

void HostedUnit::RestoreStateFile(const std::string& path) {
    char message[1024] = {};
    if (PlatformRestoreClassInfoFromFile(mUnit, path.c_str(), message, sizeof message) != noErr) {
        throw HostError(message[0] ? message : path + ": the unit refused the saved state");
    }
}

void HostedUnit::SaveStateFile(const std::string& path) {
    char message[1024] = {};
    if (PlatformSaveClassInfoToFile(mUnit, path.c_str(), message, sizeof message) != noErr) {
        throw HostError(message[0] ? message : path + ": cannot save the state");
    }
}

template <class T> T HostedUnit::GetGlobalProperty(AudioUnitPropertyID id, const char* what) const {
    T value{};
    UInt32 size = sizeof value;
    Check(AudioUnitGetProperty(mUnit, id, kAudioUnitScope_Global, 0, &value, &size), what);
    return value;
}

std::vector<AudioUnitParameterID> HostedUnit::ParameterList() const {
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

AudioUnitParameterInfo HostedUnit::ParameterInfo(AudioUnitParameterID id) const {
    AudioUnitParameterInfo info{};
    UInt32 size = sizeof info;
    Check(AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id,
                               &info, &size),
          "reading the info of parameter " + std::to_string(id));
    if ((info.flags & kAudioUnitParameterFlag_CFNameRelease) && info.cfNameString != nullptr) {
        CFRelease(info.cfNameString);
        info.cfNameString = nullptr;
    }
    return info;
}

std::vector<std::string> HostedUnit::ValueStrings(AudioUnitParameterID id) const {
    CFArrayRef strings = nullptr;
    UInt32 size = sizeof strings;
    if (AudioUnitGetProperty(mUnit, kAudioUnitProperty_ParameterValueStrings,
                             kAudioUnitScope_Global, id, &strings, &size) != noErr ||
        strings == nullptr) {
        return {};
    }
    std::vector<std::string> names;
    for (CFIndex i = 0; i < CFArrayGetCount(strings); ++i) {
        const auto name = static_cast<CFStringRef>(CFArrayGetValueAtIndex(strings, i));
        names.emplace_back(PlatformStringUTF8(name) ? PlatformStringUTF8(name) : "");
    }
    CFRelease(strings);
    return names;
}

Float64 HostedUnit::TailTime() const {
    return GetGlobalProperty<Float64>(kAudioUnitProperty_TailTime, "reading the tail time");
}

Float64 HostedUnit::Latency() const {
    return GetGlobalProperty<Float64>(kAudioUnitProperty_Latency, "reading the latency");
}

void HostedUnit::SetInput(InputFill fill, void* context) {
    mFill = fill;
    mFillContext = context;
    AURenderCallbackStruct callback{&HostedUnit::InputCallback, this};
    Check(AudioUnitSetProperty(mUnit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input,
                               0, &callback, sizeof callback),
          "connecting the input");
}

OSStatus HostedUnit::InputCallback(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*,
                                   UInt32, UInt32 frames, AudioBufferList* ioData) {
    auto* self = static_cast<HostedUnit*>(refCon);
    if (ioData->mNumberBuffers != self->mChannels) {
        return paramErr;
    }
    for (UInt32 c = 0; c < self->mChannels; ++c) {
        self->mInputPointers[c] = static_cast<float*>(ioData->mBuffers[c].mData);
    }
    self->mFill(self->mFillContext, frames, self->mInputPointers.data());
    return noErr;
}

void HostedUnit::Render(UInt32 frames, float* const* channels) {
    auto* list = reinterpret_cast<AudioBufferList*>(mOutputList.data());
    list->mNumberBuffers = mChannels;
    for (UInt32 c = 0; c < mChannels; ++c) {
        list->mBuffers[c] =
            AudioBuffer{1, frames * static_cast<UInt32>(sizeof(float)), channels[c]};
    }
    RenderList(frames, *list);
}

const float* const* HostedUnit::RenderInUnitBuffers(UInt32 frames) {
    // Null data pointers ask the unit for its own buffers instead of a copy into ours; an effect
    // that processes in place hands back its input buffers.
    auto* list = reinterpret_cast<AudioBufferList*>(mOutputList.data());
    list->mNumberBuffers = mChannels;
    for (UInt32 c = 0; c < mChannels; ++c) {
        list->mBuffers[c] = AudioBuffer{1, 0, nullptr};
    }
    RenderList(frames, *list);
    for (UInt32 c = 0; c < mChannels; ++c) {
        mOutputPointers[c] = static_cast<const float*>(list->mBuffers[c].mData);
    }
    return mOutputPointers.data();
}

void HostedUnit::RenderList(UInt32 frames, AudioBufferList& list) {
    AudioTimeStamp timeStamp{};
    timeStamp.mSampleTime = mSampleTime;
    AudioUnitRenderActionFlags flags = 0;
    Check(AudioUnitRender(mUnit, &flags, &timeStamp, 0, frames, &list), "rendering");
    mSampleTime += frames;
}

} // namespace quenzal
