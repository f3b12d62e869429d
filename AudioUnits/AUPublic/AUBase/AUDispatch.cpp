// The selector layer: unpacks the words of each entry call, checks what the host passed, and
// calls the unit. The entry point's trap turns what is thrown below into the call's status.
#include "AUBase.h"
#include "CAHandedOutReferences.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace {

constexpr const char* kSourceFile = "AUDispatch";

// The selectors served at every API version (1-7, 9-11) and from version 2 on (14-18).
constexpr UInt32 kAlwaysServedSelectors = 0xEFE;
constexpr UInt32 kVersion2Selectors = 0x7C000;
constexpr UInt32 kHighestUnitSelector = kAudioUnitRemovePropertyListenerWithUserDataSelect;

// The argument words of one call; word 0 is the host call's last argument.
class ArgumentWords {
public:
    explicit ArgumentWords(const ComponentParameters& params) : mWords(params.params) {}

    UInt32 Number(int index) const { return static_cast<UInt32>(mWords[index]); }
    Float32 Float(int index) const { return ComponentWordToFloat(mWords[index]); }
    template <class T> T* Pointer(int index) const { return reinterpret_cast<T*>(mWords[index]); }
    template <class Proc> Proc Function(int index) const {
        return reinterpret_cast<Proc>(mWords[index]);
    }

private:
    const intptr_t* mWords;
};

OSStatus CanDoUnitSelector(UInt32 selector, const AUBase& unit, bool& answered) {
    answered = false;
    if (selector > kHighestUnitSelector) {
        return 0;
    }
    const UInt32 bit = 1u << selector;
    if ((bit & kAlwaysServedSelectors) != 0) {
        answered = true;
        return 1;
    }
    if ((bit & kVersion2Selectors) != 0) {
        answered = true;
        return unit.AudioUnitAPIVersion() >= 2 ? 1 : 0;
    }
    return 0;
}

OSStatus GetPropertyInfoSelector(AUBase& unit, const ArgumentWords& args) {
    UInt32* outDataSize = args.Pointer<UInt32>(1);
    Boolean* outWritable = args.Pointer<Boolean>(0);
    UInt32 dataSize = 0;
    Boolean writable = false;
    auto report = [&] {
        if (outDataSize != nullptr) {
            *outDataSize = dataSize;
        }
        if (outWritable != nullptr) {
            *outWritable = writable;
        }
    };
    // Reported first as well, so that a failure thrown before the answer leaves 0 and false.
    report();
    const OSStatus result = unit.DispatchGetPropertyInfo(args.Number(4), args.Number(3),
                                                         args.Number(2), dataSize, writable);
    report();
    return result;
}

OSStatus QueryPropertySize(AUBase& unit, AudioUnitPropertyID id, AudioUnitScope scope,
                           AudioUnitElement element, UInt32& ioDataSize) {
    UInt32 dataSize = 0;
    Boolean writable = false;
    ioDataSize = 0;
    const OSStatus result = unit.DispatchGetPropertyInfo(id, scope, element, dataSize, writable);
    ioDataSize = result == noErr ? dataSize : 0;
    return result;
}

// A reference that did not reach the client whole can never be released by it, so the unit
// releases it rather than leak it.
void ReleaseUndeliveredReference(AudioUnitPropertyID id, const std::vector<Byte>& value,
                                 UInt32 deliveredSize) {
    const std::optional<std::size_t> offset =
        CAHandedOutReferences::Offset(id, value.data(), value.size());
    if (!offset || *offset + sizeof(CFTypeRef) > value.size() ||
        *offset + sizeof(CFTypeRef) <= deliveredSize) {
        return;
    }
    CFTypeRef reference = nullptr;
    memcpy(&reference, value.data() + *offset, sizeof reference);
    if (reference != nullptr) {
        CFRelease(reference);
    }
}

// A client buffer shorter than the value receives its first bytes through a whole-size copy, so
// that the property code may always write the full value.
OSStatus GetPropertyIntoShortBuffer(AUBase& unit, AudioUnitPropertyID id, AudioUnitScope scope,
                                    AudioUnitElement element, UInt32 propertySize, void* outData,
                                    UInt32& ioDataSize) {
    const UInt32 clientSize = ioDataSize;
    // Seeded with the caller's bytes, so that a property that leaves fields alone leaves them here.
    std::vector<Byte> whole(propertySize);
    memcpy(whole.data(), outData, clientSize);
    ioDataSize = 0;
    const OSStatus result = unit.DispatchGetProperty(id, scope, element, whole.data());
    if (result == noErr) {
        memcpy(outData, whole.data(), clientSize);
        ioDataSize = clientSize;
        ReleaseUndeliveredReference(id, whole, clientSize);
    }
    return result;
}

OSStatus GetPropertySelector(AUBase& unit, const ArgumentWords& args) {
    const AudioUnitPropertyID id = args.Number(4);
    const AudioUnitScope scope = args.Number(3);
    const AudioUnitElement element = args.Number(2);
    void* outData = args.Pointer<void>(1);
    UInt32* ioDataSize = args.Pointer<UInt32>(0);
    if (ioDataSize == nullptr) {
        CADebugString("AudioUnitGetProperty: null size pointer", kSourceFile, __LINE__);
        return paramErr;
    }
    if (outData == nullptr) {
        return QueryPropertySize(unit, id, scope, element, *ioDataSize);
    }
    if (*ioDataSize == 0) {
        CADebugString("AudioUnitGetProperty: *ioDataSize == 0 on entry", kSourceFile, __LINE__);
        return paramErr;
    }
    UInt32 propertySize = 0;
    Boolean writable = false;
    OSStatus result = unit.DispatchGetPropertyInfo(id, scope, element, propertySize, writable);
    if (result != noErr) {
        return result;
    }
    if (*ioDataSize < propertySize) {
        return GetPropertyIntoShortBuffer(unit, id, scope, element, propertySize, outData,
                                          *ioDataSize);
    }
    // Zero until the value is written, so that a thrown failure does not claim a value.
    *ioDataSize = 0;
    result = unit.DispatchGetProperty(id, scope, element, outData);
    *ioDataSize = result == noErr ? propertySize : 0;
    return result;
}

OSStatus SetPropertySelector(AUBase& unit, const ArgumentWords& args) {
    const AudioUnitPropertyID id = args.Number(4);
    const AudioUnitScope scope = args.Number(3);
    const AudioUnitElement element = args.Number(2);
    const void* inData = args.Pointer<const void>(1);
    const UInt32 inDataSize = args.Number(0);
    if (inData != nullptr && inDataSize != 0) {
        return unit.DispatchSetProperty(id, scope, element, inData, inDataSize);
    }
    if (inData == nullptr && inDataSize == 0) {
        return unit.DispatchRemovePropertyValue(id, scope, element);
    }
    if (inDataSize == 0) {
        CADebugString("AudioUnitSetProperty: inDataSize == 0", kSourceFile, __LINE__);
    } else {
        CADebugString("AudioUnitSetProperty: inData == NULL", kSourceFile, __LINE__);
    }
    return paramErr;
}

OSStatus GetParameterSelector(AUBase& unit, const ArgumentWords& args) {
    AudioUnitParameterValue* outValue = args.Pointer<AudioUnitParameterValue>(0);
    if (outValue == nullptr) {
        return paramErr;
    }
    return unit.GetParameter(args.Number(3), args.Number(2), args.Number(1), *outValue);
}

OSStatus SetParameterSelector(AUBase& unit, const ArgumentWords& args) {
    return unit.SetParameter(args.Number(4), args.Number(3), args.Number(2), args.Float(1),
                             args.Number(0));
}

OSStatus ResetSelector(AUBase& unit, const ArgumentWords& args) {
    unit.SetLastRenderedSampleTime(AUBase::kNoLastRenderedSampleTime);
    return unit.Reset(args.Number(1), args.Number(0));
}

// A null listener would be called on the next announcement.
OSStatus AddPropertyListenerSelector(AUBase& unit, const ArgumentWords& args) {
    const auto proc = args.Function<AudioUnitPropertyListenerProc>(1);
    if (proc == nullptr) {
        return paramErr;
    }
    return unit.AddPropertyListener(args.Number(2), proc, args.Pointer<void>(0));
}

OSStatus RemovePropertyListenerSelector(AUBase& unit, const ArgumentWords& args,
                                        bool matchUserData) {
    const int first = matchUserData ? 2 : 1;
    void* userData = matchUserData ? args.Pointer<void>(0) : nullptr;
    return unit.RemovePropertyListener(args.Number(first),
                                       args.Function<AudioUnitPropertyListenerProc>(first - 1),
                                       userData, matchUserData);
}

// The render selector and the fast render function check their arguments alike.
OSStatus RenderChecked(AUBase& unit, AudioUnitRenderActionFlags* ioActionFlags,
                       const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                       AudioBufferList* ioData) {
    if (timeStamp == nullptr || ioData == nullptr) {
        return paramErr;
    }
    AudioUnitRenderActionFlags noFlags = 0;
    AudioUnitRenderActionFlags& flags = ioActionFlags != nullptr ? *ioActionFlags : noFlags;
    return unit.DoRender(flags, *timeStamp, bus, frames, *ioData);
}

OSStatus RenderSelector(AUBase& unit, const ArgumentWords& args) {
    return RenderChecked(unit, args.Pointer<AudioUnitRenderActionFlags>(4),
                         args.Pointer<const AudioTimeStamp>(3), args.Number(2), args.Number(1),
                         args.Pointer<AudioBufferList>(0));
}

// A null notification would be called by the next render.
OSStatus AddRenderNotifySelector(AUBase& unit, const ArgumentWords& args) {
    const auto proc = args.Function<AURenderCallback>(1);
    if (proc == nullptr) {
        return paramErr;
    }
    return unit.SetRenderNotification(proc, args.Pointer<void>(0));
}

OSStatus RemoveRenderNotifySelector(AUBase& unit, const ArgumentWords& args) {
    return unit.RemoveRenderNotification(args.Function<AURenderCallback>(1), args.Pointer<void>(0));
}

OSStatus ScheduleParametersSelector(AUBase& unit, const ArgumentWords& args) {
    if (unit.AudioUnitAPIVersion() < 2) {
        return badComponentSelector;
    }
    const auto* events = args.Pointer<const AudioUnitParameterEvent>(1);
    const UInt32 count = args.Number(0);
    if (events == nullptr && count != 0) {
        return paramErr;
    }
    return unit.ScheduleParameter(events, count);
}

OSStatus UnitSelector(AUBase& unit, SInt16 selector, const ArgumentWords& args, bool& served) {
    served = true;
    switch (selector) {
    case kAudioUnitInitializeSelect:
        return unit.DoInitialize();
    case kAudioUnitUninitializeSelect:
        unit.DoCleanup();
        return noErr;
    case kAudioUnitGetPropertyInfoSelect:
        return GetPropertyInfoSelector(unit, args);
    case kAudioUnitGetPropertySelect:
        return GetPropertySelector(unit, args);
    case kAudioUnitSetPropertySelect:
        return SetPropertySelector(unit, args);
    case kAudioUnitGetParameterSelect:
        return GetParameterSelector(unit, args);
    case kAudioUnitSetParameterSelect:
        return SetParameterSelector(unit, args);
    case kAudioUnitResetSelect:
        return ResetSelector(unit, args);
    case kAudioUnitAddPropertyListenerSelect:
        return AddPropertyListenerSelector(unit, args);
    case kAudioUnitRemovePropertyListenerSelect:
        return RemovePropertyListenerSelector(unit, args, false);
    case kAudioUnitRemovePropertyListenerWithUserDataSelect:
        return RemovePropertyListenerSelector(unit, args, true);
    case kAudioUnitRenderSelect:
        return RenderSelector(unit, args);
    case kAudioUnitAddRenderNotifySelect:
        return AddRenderNotifySelector(unit, args);
    case kAudioUnitRemoveRenderNotifySelect:
        return RemoveRenderNotifySelector(unit, args);
    case kAudioUnitScheduleParametersSelect:
        return ScheduleParametersSelector(unit, args);
    default:
        served = false;
        return badComponentSelector;
    }
}

} // namespace

OSStatus AUBase::ComponentEntryDispatch(ComponentParameters* params, AUBase* obj) {
    if (params == nullptr || obj == nullptr) {
        return paramErr;
    }
    const ArgumentWords args(*params);
    bool served = false;
    const OSStatus result = params->what == kComponentCanDoSelect
                                ? CanDoUnitSelector(args.Number(0), *obj, served)
                                : UnitSelector(*obj, params->what, args, served);
    return served ? result : ComponentBase::ComponentEntryDispatch(params, obj);
}

OSStatus ComponentBase::ComponentEntryDispatch(ComponentParameters* params, ComponentBase* obj) {
    if (params == nullptr || obj == nullptr) {
        return paramErr;
    }
    switch (params->what) {
    case kComponentCloseSelect: {
        // Deleted even when PreDestructor throws: the host forgets the instance either way.
        std::unique_ptr<ComponentBase> closing(obj);
        closing->PreDestructor();
        return noErr;
    }
    case kComponentCanDoSelect:
        // The component selectors -4 to -1, seen as unsigned words.
        return ArgumentWords(*params).Number(0) + 4 <= 3 ? 1 : 0;
    case kComponentVersionSelect:
        return obj->Version();
    default:
        return badComponentSelector;
    }
}

extern "C" {

OSStatus AudioUnitBaseGetParameter(void* storage, AudioUnitParameterID id, AudioUnitScope scope,
                                   AudioUnitElement element, AudioUnitParameterValue* outValue) {
    return CATrapStatus([&]() -> OSStatus {
        auto* unit = static_cast<AUBase*>(storage);
        if (unit == nullptr || outValue == nullptr) {
            return paramErr;
        }
        return unit->GetParameter(id, scope, element, *outValue);
    });
}

OSStatus AudioUnitBaseSetParameter(void* storage, AudioUnitParameterID id, AudioUnitScope scope,
                                   AudioUnitElement element, AudioUnitParameterValue value,
                                   UInt32 bufferOffsetInFrames) {
    return CATrapStatus([&]() -> OSStatus {
        auto* unit = static_cast<AUBase*>(storage);
        if (unit == nullptr) {
            return paramErr;
        }
        return unit->SetParameter(id, scope, element, value, bufferOffsetInFrames);
    });
}

OSStatus AudioUnitBaseRender(void* storage, AudioUnitRenderActionFlags* ioActionFlags,
                             const AudioTimeStamp* timeStamp, UInt32 bus, UInt32 frames,
                             AudioBufferList* ioData) {
    return CATrapStatus([&]() -> OSStatus {
        // Checked like the other fast functions: a host may call before storage is known.
        auto* unit = static_cast<AUBase*>(storage);
        if (unit == nullptr) {
            return paramErr;
        }
        return RenderChecked(*unit, ioActionFlags, timeStamp, bus, frames, ioData);
    });
}

} // extern "C"
