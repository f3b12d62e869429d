// Drives one instance of the effect through its entry point with a sequence of calls decoded from
// the input: every selector with words built as a host would build them (and unknown selectors
// with any words), properties with data of any length, parameters, scheduled events, formats,
// initialization and renders with any buffer list. A second instance serves as a connection's
// source. Pointer words always point at memory of the size their selector implies, and object
// references are real objects or null: anything else is a host bug that no unit can survive.
// Every value the unit hands back with a reference is released as a host would; at the end both
// instances are closed and no property-list object may remain.
#include "CAHandedOutReferences.h"
#include "ClassInfoMaker.h"

#include "Hosting/Unit.h"
#include "Platform/Host.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace {

using fuzzsupport::LiveObjectCheck;
using fuzzsupport::ObjectPool;

constexpr int kMaxCalls = 48;
constexpr UInt32 kMaxChannels = 64;
constexpr UInt32 kMaxFramesPerSlice = 8192;
constexpr UInt32 kMaxBuffers = 70;
constexpr UInt32 kMaxBufferBytes = 1 << 16;
constexpr UInt32 kMaxExternalBytes = 1 << 18;
constexpr UInt32 kMaxEvents = 40;
constexpr UInt32 kMaxPropertyBytes = 200;
constexpr UInt32 kHighestPropertyID = 60;

// Memory lent to the units: it stays valid until both are closed, as a host keeps memory it
// registered with a unit.
class Arena {
public:
    // Zeroed, and aligned as operator new aligns, which covers every sample type.
    Byte* Allocate(std::size_t size) {
        const std::size_t blocks = size / sizeof(std::max_align_t) + 1;
        return reinterpret_cast<Byte*>(mBlocks.emplace_back(new std::max_align_t[blocks]()).get());
    }

private:
    std::vector<std::unique_ptr<std::max_align_t[]>> mBlocks;
};

// The input callback: fills the buffers the unit lends, or supplies its own.
OSStatus FeedInput(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                   UInt32 frames, AudioBufferList* ioData) {
    auto& arena = *static_cast<Arena*>(refCon);
    for (UInt32 i = 0; i < ioData->mNumberBuffers; ++i) {
        AudioBuffer& buffer = ioData->mBuffers[i];
        if (buffer.mData == nullptr) {
            buffer.mDataByteSize = frames * buffer.mNumberChannels * UInt32(sizeof(Float32));
            buffer.mData = arena.Allocate(buffer.mDataByteSize);
        }
        std::fill_n(static_cast<Float32*>(buffer.mData), buffer.mDataByteSize / sizeof(Float32),
                    0.25f);
    }
    return noErr;
}

// Removes itself while the unit walks its listeners.
void SelfRemovingListener(void*, AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope,
                          AudioUnitElement) {
    AudioUnitRemovePropertyListener(unit, id, &SelfRemovingListener);
}

// Asks the unit about the property it is announcing, from inside the announcement.
void QueryingListener(void*, AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                      AudioUnitElement element) {
    UInt32 size = 0;
    Boolean writable = false;
    AudioUnitGetPropertyInfo(unit, id, scope, element, &size, &writable);
}

constexpr AudioUnitPropertyListenerProc kListeners[] = {&SelfRemovingListener, &QueryingListener};

OSStatus RenderNotification(void*, AudioUnitRenderActionFlags* ioActionFlags,
                            const AudioTimeStamp* timeStamp, UInt32, UInt32,
                            AudioBufferList* ioData) {
    *ioActionFlags |= kAudioUnitRenderAction_OutputIsSilence;
    return timeStamp->mSampleTime > 0 && ioData->mNumberBuffers > 0 ? noErr : paramErr;
}

// ---- reading the values the unit hands out ----

// Releases the reference a successful get handed over, as a host does once it is done.
void ReleaseHandedOut(AudioUnitPropertyID id, const Byte* value, UInt32 size) {
    const std::optional<std::size_t> offset = CAHandedOutReferences::Offset(id, value, size);
    if (!offset || *offset + sizeof(CFTypeRef) > size) {
        return;
    }
    CFTypeRef object = nullptr;
    std::memcpy(&object, value + *offset, sizeof object);
    if (object != nullptr) {
        CFRelease(object);
    }
}

template <class T> void Put(std::vector<Byte>& bytes, std::size_t offset, const T& value) {
    if (offset < bytes.size()) {
        std::memcpy(bytes.data() + offset, &value, std::min(sizeof value, bytes.size() - offset));
    }
}

// Words in call order; the block holds them last argument first.
OSStatus CallSelector(AudioUnit unit, SInt16 selector, std::vector<intptr_t> words) {
    std::reverse(words.begin(), words.end());
    return PlatformCallSelector(unit, selector, words.data(), static_cast<UInt32>(words.size()));
}

template <class T> intptr_t Word(T* pointer) {
    return reinterpret_cast<intptr_t>(pointer);
}

class Session {
public:
    explicit Session(FuzzedDataProvider& in) : mIn(in) {
        AudioComponentInstanceNew(fuzzsupport::QuenzalComponent(), &mUnits[0]);
    }
    ~Session() {
        for (AudioUnit unit : mUnits) {
            if (unit != nullptr) {
                AudioComponentInstanceDispose(unit);
            }
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void Run() {
        for (int call = 0; call < kMaxCalls && mIn.remaining_bytes() > 0; ++call) {
            if (!Step()) {
                return;
            }
        }
    }

private:
    // One call; false once the instance was closed. Listed twice: the calls hosts make most.
    bool Step() {
        using Call = void (Session::*)();
        static constexpr Call kCalls[] = {
            &Session::Initialize,       &Session::Uninitialize,       &Session::GetPropertyInfo,
            &Session::GetProperty,      &Session::GetProperty,        &Session::SetProperty,
            &Session::SetProperty,      &Session::SetProperty,        &Session::SetFormat,
            &Session::GetParameter,     &Session::SetParameter,       &Session::Reset,
            &Session::PropertyListener, &Session::RenderNotify,       &Session::Render,
            &Session::Render,           &Session::ScheduleParameters, &Session::OtherSelector,
            &Session::ChangeTarget};
        const std::size_t pick = mIn.ConsumeIntegralInRange<std::size_t>(0, std::size(kCalls));
        if (pick == std::size(kCalls)) {
            // The close selector ends the input: a host makes no call on a closed instance.
            CallSelector(mUnits[0], kComponentCloseSelect, {});
            return false;
        }
        (this->*kCalls[pick])();
        return true;
    }

    void Initialize() { CallSelector(Target(), kAudioUnitInitializeSelect, {}); }
    void Uninitialize() { CallSelector(Target(), kAudioUnitUninitializeSelect, {}); }
    void Reset() { CallSelector(Target(), kAudioUnitResetSelect, {Number(6), Number(3)}); }
    void ChangeTarget() { mTarget = mIn.ConsumeBool() ? 1 : 0; }

    // ---- choosing words ----

    // The second instance opens when first named.
    AudioUnit Unit(int index) {
        if (mUnits[index] == nullptr) {
            AudioComponentInstanceNew(fuzzsupport::QuenzalComponent(), &mUnits[index]);
        }
        return mUnits[index];
    }

    AudioUnit Target() { return Unit(mTarget); }

    intptr_t Number(UInt32 smallLimit) {
        return static_cast<intptr_t>(fuzzsupport::SmallOrAny(mIn, smallLimit));
    }

    AudioUnitPropertyID PropertyID() {
        const UInt32 id = mIn.ConsumeIntegralInRange<UInt32>(0, kHighestPropertyID + 1);
        return id > kHighestPropertyID
                   ? AudioUnitPropertyID{kAudioUnitProperty_LastRenderedSampleTime}
                   : id;
    }

    template <class T> T* Scratch() {
        return mIn.ConsumeIntegralInRange(0, 5) == 0
                   ? nullptr
                   : reinterpret_cast<T*>(mArena.Allocate(sizeof(T)));
    }

    Float64 SampleRate() {
        return mIn.ConsumeBool() ? mIn.ConsumeFloatingPoint<Float64>()
                                 : mIn.PickValueInArray({0.0, 8000.0, 44100.0, 192000.0, 1e300,
                                                         double{NAN}, double{INFINITY}});
    }

    Float32 AnyFloat() {
        return mIn.ConsumeBool() ? mIn.ConsumeFloatingPoint<Float32>()
                                 : mIn.PickValueInArray({0.0f, 1.0f, 3.0f, -6.0f, 6.0f, NAN,
                                                         INFINITY, 1e-40f, -1e30f});
    }

    CFTypeRef AnyObject() {
        return mIn.ConsumeBool() ? fuzzsupport::MakeAnyObject(mPool, mIn, 2)
                                 : fuzzsupport::MakeClassInfo(mPool, mIn);
    }

    AudioUnit AnySource() {
        switch (mIn.ConsumeIntegralInRange(0, 2)) {
        case 0:
            return nullptr;
        case 1:
            return Target();
        default:
            return Unit(1 - mTarget);
        }
    }

    // ---- properties ----

    void GetPropertyInfo() {
        CallSelector(Target(), kAudioUnitGetPropertyInfoSelect,
                     {intptr_t(PropertyID()), Number(6), Number(3), Word(Scratch<UInt32>()),
                      Word(Scratch<Boolean>())});
    }

    UInt32 ClientSize(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element) {
        UInt32 size = 0;
        Boolean writable = false;
        AudioUnitGetPropertyInfo(Target(), id, scope, element, &size, &writable);
        return mIn.ConsumeBool() ? std::min(size, kMaxPropertyBytes * 4)
                                 : mIn.ConsumeIntegralInRange<UInt32>(0, kMaxPropertyBytes);
    }

    void GetProperty() {
        const AudioUnitPropertyID id = PropertyID();
        const auto scope = static_cast<AudioUnitScope>(Number(6));
        const auto element = static_cast<AudioUnitElement>(Number(3));
        UInt32 clientSize = ClientSize(id, scope, element);
        std::vector<Byte> value(clientSize);
        // With no data pointer the call is a size query, which hands nothing out.
        Byte* data = mIn.ConsumeIntegralInRange(0, 7) != 0 ? value.data() : nullptr;
        const bool withSize = mIn.ConsumeIntegralInRange(0, 7) != 0;
        const OSStatus status = CallSelector(Target(), kAudioUnitGetPropertySelect,
                                             {intptr_t(id), intptr_t(scope), intptr_t(element),
                                              Word(data), Word(withSize ? &clientSize : nullptr)});
        if (status == noErr && data != nullptr && withSize) {
            ReleaseHandedOut(id, value.data(), clientSize);
        }
    }

    std::vector<Byte> PropertyValue(AudioUnitPropertyID id, UInt32 size) {
        std::vector<Byte> value = mIn.ConsumeBytes<Byte>(size);
        value.resize(size);
        switch (id) {
        case kAudioUnitProperty_ClassInfo:
        case kAudioUnitProperty_ContextName:
        case kAudioUnitProperty_ElementName:
            Put(value, 0, AnyObject());
            break;
        case kAudioUnitProperty_CurrentPreset:
        case kAudioUnitProperty_PresentPreset:
            Put(value, offsetof(AUPreset, presetName), AnyObject());
            break;
        case kAudioUnitProperty_MakeConnection:
            Put(value, offsetof(AudioUnitConnection, sourceAudioUnit), AnySource());
            break;
        case kAudioUnitProperty_SetRenderCallback:
            Put(value, offsetof(AURenderCallbackStruct, inputProc),
                mIn.ConsumeIntegralInRange(0, 4) == 0 ? AURenderCallback{} : &FeedInput);
            Put(value, offsetof(AURenderCallbackStruct, inputProcRefCon), &mArena);
            break;
        case kAudioUnitProperty_SetExternalBuffer:
            PutExternalBuffer(value);
            break;
        case kAudioUnitProperty_MaximumFramesPerSlice:
            Put(value, 0, mIn.ConsumeIntegralInRange<UInt32>(0, kMaxFramesPerSlice));
            break;
        case kAudioUnitProperty_SampleRate:
            Put(value, 0, SampleRate());
            break;
        case kAudioUnitProperty_StreamFormat:
            Put(value, offsetof(AudioStreamBasicDescription, mChannelsPerFrame),
                mIn.ConsumeIntegralInRange<UInt32>(0, kMaxChannels));
            break;
        default:
            break;
        }
        return value;
    }

    // Host memory of the size the record names, on a 16-byte boundary or deliberately off it.
    void PutExternalBuffer(std::vector<Byte>& value) {
        const UInt32 bytes = mIn.ConsumeIntegralInRange<UInt32>(0, kMaxExternalBytes);
        const UInt32 misalignment = mIn.ConsumeIntegralInRange(0, 3) == 0 ? 4 : 0;
        Byte* memory = mIn.ConsumeIntegralInRange(0, 7) == 0
                           ? nullptr
                           : mArena.Allocate(bytes + misalignment) + misalignment;
        Put(value, offsetof(AudioUnitExternalBuffer, buffer), memory);
        Put(value, offsetof(AudioUnitExternalBuffer, size), bytes);
    }

    void SetProperty() {
        const AudioUnitPropertyID id = PropertyID();
        const auto scope = static_cast<AudioUnitScope>(Number(6));
        const auto element = static_cast<AudioUnitElement>(Number(3));
        const UInt32 size = mIn.ConsumeIntegralInRange<UInt32>(0, kMaxPropertyBytes);
        std::vector<Byte> value = PropertyValue(id, size);
        // Data without size, size without data and neither (the remove call) all come up.
        const bool withData = mIn.ConsumeIntegralInRange(0, 7) != 0;
        CallSelector(Target(), kAudioUnitSetPropertySelect,
                     {intptr_t(id), intptr_t(scope), intptr_t(element),
                      Word(withData ? value.data() : nullptr), intptr_t(size)});
    }

    // A whole stream format with a chosen channel count and rate, mostly the accepted kind.
    void SetFormat() {
        CAStreamBasicDescription format = hosting::CanonicalFormat(
            mIn.ConsumeIntegralInRange<UInt32>(0, kMaxChannels), SampleRate());
        if (mIn.ConsumeIntegralInRange(0, 3) == 0) {
            format.mFormatFlags ^= mIn.ConsumeIntegral<UInt32>();
        }
        const AudioStreamBasicDescription record = format;
        AudioUnitSetProperty(Target(), kAudioUnitProperty_StreamFormat,
                             static_cast<AudioUnitScope>(Number(3)),
                             static_cast<AudioUnitElement>(Number(2)), &record, sizeof record);
    }

    // ---- parameters and events ----

    void GetParameter() {
        CallSelector(Target(), kAudioUnitGetParameterSelect,
                     {Number(3), Number(6), Number(3), Word(Scratch<AudioUnitParameterValue>())});
    }

    void SetParameter() {
        CallSelector(
            Target(), kAudioUnitSetParameterSelect,
            {Number(3), Number(6), Number(3), ComponentWordFromFloat(AnyFloat()), Number(4096)});
    }

    AudioUnitParameterEvent Event() {
        AudioUnitParameterEvent event{};
        event.scope = static_cast<AudioUnitScope>(Number(6));
        event.element = static_cast<AudioUnitElement>(Number(3));
        event.parameter = static_cast<AudioUnitParameterID>(Number(3));
        event.eventType = static_cast<AUParameterEventType>(Number(3));
        auto& ramp = event.eventValues.ramp;
        ramp.startBufferOffset = mIn.ConsumeBool() ? mIn.ConsumeIntegralInRange(-600, 1300)
                                                   : mIn.ConsumeIntegral<SInt32>();
        ramp.durationInFrames = static_cast<UInt32>(Number(1300));
        ramp.startValue = AnyFloat();
        ramp.endValue = AnyFloat();
        return event;
    }

    void ScheduleParameters() {
        std::vector<AudioUnitParameterEvent> events(
            mIn.ConsumeIntegralInRange<UInt32>(0, kMaxEvents));
        for (AudioUnitParameterEvent& event : events) {
            event = Event();
        }
        const bool withEvents = mIn.ConsumeIntegralInRange(0, 7) != 0;
        const UInt32 count = withEvents ? UInt32(events.size()) : static_cast<UInt32>(Number(4));
        CallSelector(Target(), kAudioUnitScheduleParametersSelect,
                     {Word(withEvents ? events.data() : nullptr), intptr_t(count)});
    }

    // ---- listeners and notifications ----

    AudioUnitPropertyListenerProc Listener() {
        return mIn.ConsumeIntegralInRange(0, 7) == 0 ? nullptr : mIn.PickValueInArray(kListeners);
    }

    void PropertyListener() {
        const intptr_t id = Number(60);
        switch (mIn.ConsumeIntegralInRange(0, 2)) {
        case 0:
            CallSelector(Target(), kAudioUnitAddPropertyListenerSelect,
                         {id, Word(Listener()), Number(3)});
            break;
        case 1:
            CallSelector(Target(), kAudioUnitRemovePropertyListenerSelect, {id, Word(Listener())});
            break;
        default:
            CallSelector(Target(), kAudioUnitRemovePropertyListenerWithUserDataSelect,
                         {id, Word(Listener()), Number(3)});
            break;
        }
    }

    void RenderNotify() {
        const AURenderCallback proc =
            mIn.ConsumeIntegralInRange(0, 7) == 0 ? nullptr : &RenderNotification;
        const SInt16 selector = mIn.ConsumeBool() ? kAudioUnitAddRenderNotifySelect
                                                  : kAudioUnitRemoveRenderNotifySelect;
        CallSelector(Target(), selector, {Word(proc), Number(3)});
    }

    // ---- rendering ----

    UInt32 Frames() {
        return mIn.ConsumeBool() ? mIn.ConsumeIntegralInRange<UInt32>(0, 1200)
                                 : mIn.ConsumeIntegralInRange<UInt32>(0, kMaxFramesPerSlice + 1);
    }

    // Mostly one mono buffer per output channel of the exact size; now and then any count, any
    // size, any channel count, or no memory.
    AudioBufferList* BufferList(UInt32 frames) {
        AudioStreamBasicDescription format{};
        UInt32 size = sizeof format;
        AudioUnitGetProperty(Target(), kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0,
                             &format, &size);
        const bool interleaved = (format.mFormatFlags & kAudioFormatFlagIsNonInterleaved) == 0;
        const UInt32 count = mIn.ConsumeIntegralInRange(0, 5) == 0
                                 ? mIn.ConsumeIntegralInRange<UInt32>(0, kMaxBuffers)
                             : interleaved ? 1
                                           : std::min(format.mChannelsPerFrame, kMaxBuffers);
        auto* list =
            reinterpret_cast<AudioBufferList*>(mArena.Allocate(AudioBufferListByteSize(count)));
        list->mNumberBuffers = count;
        for (UInt32 i = 0; i < count; ++i) {
            AudioBuffer& buffer = list->mBuffers[i];
            buffer.mNumberChannels = mIn.ConsumeIntegralInRange(0, 7) == 0
                                         ? mIn.ConsumeIntegralInRange<UInt32>(0, 3)
                                         : 1;
            buffer.mDataByteSize = mIn.ConsumeIntegralInRange(0, 3) == 0
                                       ? mIn.ConsumeIntegralInRange<UInt32>(0, kMaxBufferBytes)
                                       : frames * UInt32(sizeof(Float32));
            buffer.mData = mIn.ConsumeBool() ? mArena.Allocate(buffer.mDataByteSize) : nullptr;
        }
        return list;
    }

    AudioTimeStamp TimeStamp() {
        AudioTimeStamp timeStamp{};
        timeStamp.mSampleTime = mIn.ConsumeIntegralInRange(0, 5) == 0
                                    ? mIn.PickValueInArray({-1.0, double{NAN}, mLastSampleTime})
                                    : mLastSampleTime + 1024;
        mLastSampleTime = timeStamp.mSampleTime;
        return timeStamp;
    }

    // The pointers a render hands back must hold the bytes they claim.
    static void TouchOutput(const AudioBufferList& list) {
        volatile Byte sink = 0;
        for (UInt32 i = 0; i < list.mNumberBuffers; ++i) {
            const auto* bytes = static_cast<const Byte*>(list.mBuffers[i].mData);
            for (UInt32 k = 0; bytes != nullptr && k < list.mBuffers[i].mDataByteSize; k += 64) {
                sink = sink + bytes[k];
            }
        }
    }

    void Render() {
        const UInt32 frames = Frames();
        AudioBufferList* list = BufferList(frames);
        AudioTimeStamp timeStamp = TimeStamp();
        AudioUnitRenderActionFlags flags = mIn.ConsumeBool() ? 0 : mIn.ConsumeIntegral<UInt32>();
        const bool withList = mIn.ConsumeIntegralInRange(0, 15) != 0;
        const OSStatus status =
            CallSelector(Target(), kAudioUnitRenderSelect,
                         {Word(mIn.ConsumeIntegralInRange(0, 5) == 0 ? nullptr : &flags),
                          Word(mIn.ConsumeIntegralInRange(0, 15) == 0 ? nullptr : &timeStamp),
                          Number(2), intptr_t(frames), Word(withList ? list : nullptr)});
        if (status == noErr && withList) {
            TouchOutput(*list);
        }
    }

    // The component selectors, and the ones nobody serves with any words.
    void OtherSelector() {
        const SInt16 selector =
            mIn.PickValueInArray<SInt16>({kComponentCanDoSelect, kComponentVersionSelect,
                                          kComponentOpenSelect, 0, 8, 12, 13, 19, -5});
        if (selector == kComponentOpenSelect) {
            // An open whose handle is no live instance: the unit made for it must be destroyed.
            CallSelector(Target(), selector,
                         {Word(mIn.ConsumeBool() ? nullptr : mArena.Allocate(64))});
            return;
        }
        std::vector<intptr_t> words(mIn.ConsumeIntegralInRange(0, 8));
        for (intptr_t& word : words) {
            word = Number(100);
        }
        CallSelector(Target(), selector, words);
    }

    FuzzedDataProvider& mIn;
    ObjectPool mPool;
    Arena mArena;
    AudioUnit mUnits[2] = {nullptr, nullptr};
    int mTarget = 0;
    Float64 mLastSampleTime = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const LiveObjectCheck live;
    Session(in).Run();
    return 0;
}
