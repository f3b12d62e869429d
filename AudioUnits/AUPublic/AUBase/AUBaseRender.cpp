// The render side of the unit core: input connections and callbacks, scheduled parameter events
// and their slicing, the render entry with its checks and render notifications.
#include "AUBase.h"

#include "CAMath.h"

#include <algorithm>

namespace {

constexpr const char* kSourceFile = "AUBase";

// Holds a flag up for its lifetime, however the scope is left.
class RaisedFlag {
public:
    explicit RaisedFlag(bool& flag) : mFlag(flag) { mFlag = true; }
    ~RaisedFlag() { mFlag = false; }
    RaisedFlag(const RaisedFlag&) = delete;
    RaisedFlag& operator=(const RaisedFlag&) = delete;

private:
    bool& mFlag;
};

// ---- scheduled events ----

// Both event kinds keep their start offset at the same place of the record.
SInt32 StartOffset(const AudioUnitParameterEvent& event) {
    return event.eventValues.ramp.startBufferOffset;
}

bool IsRamp(const AudioUnitParameterEvent& event) {
    return event.eventType == kParameterEvent_Ramped;
}

// Summed wide, so that a ramp that ended before the buffer does not wrap round to a huge end.
SInt64 RampEnd(const AudioUnitParameterEvent& event) {
    return SInt64(StartOffset(event)) + SInt64(event.eventValues.ramp.durationInFrames);
}

bool SortParameterEventList(const AudioUnitParameterEvent& a, const AudioUnitParameterEvent& b) {
    return StartOffset(a) < StartOffset(b);
}

// The next slice ends at the first event start or ramp end strictly inside what is left.
SInt64 FindSliceEnd(const ParameterEventList& events, SInt64 sliceStart, SInt64 bufferEnd) {
    SInt64 sliceEnd = bufferEnd;
    for (const AudioUnitParameterEvent& event : events) {
        const SInt64 start = StartOffset(event);
        if (start > sliceStart && start < sliceEnd) {
            return start; // the list is sorted: no later event starts earlier
        }
        if (IsRamp(event) && RampEnd(event) > sliceStart && RampEnd(event) < sliceEnd) {
            sliceEnd = RampEnd(event);
        }
    }
    return sliceEnd;
}

bool AppliesToSlice(const AudioUnitParameterEvent& event, SInt64 sliceStart, SInt64 sliceEnd) {
    if (IsRamp(event)) {
        return StartOffset(event) < sliceEnd && RampEnd(event) > sliceStart;
    }
    // An immediate event's offset counts from the buffer start and is never negative.
    return UInt32(StartOffset(event)) <= sliceStart;
}

// ---- render entry checks ----

OSStatus RefuseRenderCall(const AUBase& unit, UInt32 frames) {
    if (!unit.IsInitialized()) {
        CARequireFailed("IsInitialized()", "Uninitialized", kSourceFile, __LINE__);
        return kAudioUnitErr_Uninitialized;
    }
    if (unit.AudioUnitAPIVersion() < 2) {
        CARequireFailed("mAudioUnitAPIVersion >= 2", "ParamErr", kSourceFile, __LINE__);
        return paramErr;
    }
    if (frames > unit.GetMaxFramesPerSlice()) {
        CARequireFailed("inFramesToProcess <= mMaxFramesPerSlice", "TooManyFrames", kSourceFile,
                        __LINE__);
        return kAudioUnitErr_TooManyFramesToProcess;
    }
    return noErr;
}

// Checks the caller's list against the output format and pins every supplied buffer's size to
// this call, so that nothing downstream reads a larger size.
OSStatus CheckCallerBuffers(const CAStreamBasicDescription& format, UInt32 frames,
                            AudioBufferList& ioData) {
    if (ioData.mNumberBuffers != format.NumberChannelStreams()) {
        CADiagnostic("%s:%d ioData.mNumberBuffers=%u, "
                     "output->GetStreamFormat().NumberChannelStreams()=%u; paramErr\n",
                     kSourceFile, __LINE__, unsigned(ioData.mNumberBuffers),
                     unsigned(format.NumberChannelStreams()));
        return paramErr;
    }
    const UInt32 expected = frames * format.mBytesPerFrame;
    const bool callerSuppliesMemory =
        ioData.mNumberBuffers > 0 && ioData.mBuffers[0].mData != nullptr;
    for (UInt32 i = 0; i < ioData.mNumberBuffers; ++i) {
        AudioBuffer& buffer = ioData.mBuffers[i];
        if (buffer.mData == nullptr) {
            // A list whose first buffer has memory is rendered into directly, through every
            // pointer it holds.
            if (callerSuppliesMemory) {
                CADiagnostic("%s:%d ioData.mBuffers[%u].mData=NULL but ioData.mBuffers[0].mData "
                             "is set; paramErr\n",
                             kSourceFile, __LINE__, unsigned(i));
                return paramErr;
            }
            continue;
        }
        if (buffer.mDataByteSize < expected) {
            CADiagnostic("%s:%d %u frames, %u bytes/frame, expected %u-byte buffer; "
                         "ioData.mBuffers[%u].mDataByteSize=%u; paramErr\n",
                         kSourceFile, __LINE__, unsigned(frames), unsigned(format.mBytesPerFrame),
                         unsigned(expected), unsigned(i), unsigned(buffer.mDataByteSize));
            return paramErr;
        }
        buffer.mDataByteSize = expected;
    }
    return noErr;
}

// Throws the status of an event that could never be installed, and would fail every render that
// kept it (a failed render keeps its events): a scope the unit does not have, or an ID beyond an
// element's indexed parameters. An immediate event needs its element now, since scheduling sets
// its value at once. A ramp for a missing element is skipped at render, and one for an ID not yet
// in an element's map is created or warned about there.
void CheckSchedulable(AUBase& unit, const AudioUnitParameterEvent& event) {
    const bool immediate = event.eventType == kParameterEvent_Immediate;
    if (immediate && event.scope == kAudioUnitScope_Group) {
        return; // answered by SetGroupParameter, whose status scheduling ignores
    }
    const AUScope& scope = unit.GetScope(event.scope);
    const AUElement* element =
        immediate ? scope.SafeGetElement(event.element) : scope.GetElement(event.element);
    if (element != nullptr && !element->CanHoldParameter(event.parameter)) {
        CAThrowStatus(kAudioUnitErr_InvalidParameter);
    }
}

} // namespace

// ---- inputs ----

OSStatus AUBase::SetConnection(const AudioUnitConnection& connection) {
    AUInputElement* input = GetInput(connection.destInputNumber);
    if (connection.sourceAudioUnit != nullptr) {
        // The input takes over the source's format through the same checks as a host setting it.
        CAStreamBasicDescription sourceDesc;
        UInt32 size = sizeof(AudioStreamBasicDescription);
        OSStatus err = AudioUnitGetProperty(connection.sourceAudioUnit,
                                            kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output,
                                            connection.sourceOutputNumber, &sourceDesc, &size);
        if (err != noErr) {
            CARequireNoErrFailed("err = AudioUnitGetProperty( inConnection.sourceAudioUnit, "
                                 "kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, "
                                 "inConnection.sourceOutputNumber, &sourceDesc, &size)",
                                 err, "errexit", kSourceFile, __LINE__);
            return err;
        }
        err = DispatchSetProperty(kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input,
                                  connection.destInputNumber, &sourceDesc,
                                  sizeof(AudioStreamBasicDescription));
        if (err != noErr) {
            CARequireNoErrFailed("err = DispatchSetProperty (kAudioUnitProperty_StreamFormat, "
                                 "kAudioUnitScope_Input, inConnection.destInputNumber, "
                                 "&sourceDesc, sizeof(CAStreamBasicDescription))",
                                 err, "errexit", kSourceFile, __LINE__);
            return err;
        }
    }
    input->SetConnection(connection);
    PropertyChanged(kAudioUnitProperty_MakeConnection, kAudioUnitScope_Input,
                    connection.destInputNumber);
    return noErr;
}

OSStatus AUBase::SetInputCallback(UInt32 propertyID, AudioUnitElement element,
                                  AURenderCallback proc, void* refCon) {
    GetInput(element)->SetInputCallback(proc, refCon);
    PropertyChanged(propertyID, kAudioUnitScope_Input, element);
    return noErr;
}

bool AUBase::HasInput(AudioUnitElement element) {
    const AUElement* input = Inputs().GetElement(element);
    return input != nullptr && static_cast<const AUInputElement*>(input)->IsActive();
}

// ---- scheduled parameter events ----

OSStatus AUBase::ScheduleParameter(const AudioUnitParameterEvent* events, UInt32 numEvents) {
    // All or nothing: every event is checked, and room made for all of them, before any applies.
    for (UInt32 i = 0; i < numEvents; ++i) {
        CheckSchedulable(*this, events[i]);
    }
    mParamList.reserve(mParamList.size() + numEvents);
    for (UInt32 i = 0; i < numEvents; ++i) {
        const AudioUnitParameterEvent& event = events[i];
        if (event.eventType == kParameterEvent_Immediate) {
            SetParameter(event.parameter, event.scope, event.element,
                         event.eventValues.immediate.value,
                         event.eventValues.immediate.bufferOffset);
        }
        mParamList.push_back(event);
    }
    return noErr;
}

OSStatus AUBase::ProcessForScheduledParams(ParameterEventList& eventList, UInt32 frames,
                                           void* userData) {
    std::sort(eventList.begin(), eventList.end(), SortParameterEventList);
    SInt64 sliceStart = 0;
    while (sliceStart < frames) {
        const SInt64 sliceEnd = FindSliceEnd(eventList, sliceStart, frames);
        const UInt32 sliceFrames = UInt32(sliceEnd - sliceStart);
        for (const AudioUnitParameterEvent& event : eventList) {
            if (!AppliesToSlice(event, sliceStart, sliceEnd)) {
                continue;
            }
            if (AUElement* target = GetScope(event.scope).GetElement(event.element)) {
                target->SetScheduledEvent(event.parameter, event, UInt32(sliceStart), sliceFrames);
            }
        }
        const OSStatus result =
            ProcessScheduledSlice(userData, UInt32(sliceStart), sliceFrames, frames);
        if (result != noErr) {
            return result;
        }
        sliceStart = sliceEnd;
    }
    return noErr;
}

OSStatus AUBase::ProcessScheduledSlice(void*, UInt32, UInt32, UInt32) {
    return noErr;
}

// ---- the render entry ----

OSStatus AUBase::DoRender(AudioUnitRenderActionFlags& ioActionFlags,
                          const AudioTimeStamp& timeStamp, UInt32 bus, UInt32 frames,
                          AudioBufferList& ioData) {
    const CADenormalsOff denormalsOff;
    bool rendered = false;
    OSStatus result = noErr;
    OSStatus error = RefuseRenderCall(*this, frames);
    if (error == noErr) {
        error = CATrapStatus([&]() -> OSStatus {
            AUOutputElement* output = GetOutput(bus);
            if (const OSStatus refused =
                    CheckCallerBuffers(output->GetStreamFormat(), frames, ioData)) {
                return refused;
            }
            if (mRecordRenderThread) {
                mRenderThread = pthread_self();
            }
            if (mRenderNotificationsTouched) {
                mRenderNotifications.update();
            }
            CallRenderNotifications(ioActionFlags | kAudioUnitRenderAction_PreRender, timeStamp,
                                    bus, frames, ioData);
            result = DoRenderBus(ioActionFlags, timeStamp, bus, output, frames, ioData);
            const AudioUnitRenderActionFlags failed =
                SetRenderError(result) ? kAudioUnitRenderAction_PostRenderError : 0;
            CallRenderNotifications(ioActionFlags | kAudioUnitRenderAction_PostRender | failed,
                                    timeStamp, bus, frames, ioData);
            // Events apply to the cycle they were scheduled for only.
            mParamList.clear();
            rendered = true;
            return noErr;
        });
    }
    if (rendered) {
        return result;
    }
    CADiagnostic("  from %s, render err: %d\n", GetLoggingString(), int(error));
    SetRenderError(error);
    return error;
}

OSStatus AUBase::DoRenderBus(AudioUnitRenderActionFlags& ioActionFlags,
                             const AudioTimeStamp& timeStamp, UInt32 bus, AUOutputElement* output,
                             UInt32 frames, AudioBufferList& ioData) {
    const bool callerWantsOurMemory = ioData.mBuffers[0].mData == nullptr;
    if (callerWantsOurMemory ||
        (output->WillAllocateBuffer() && Outputs().GetNumberOfElements() > 1)) {
        output->PrepareBuffer(frames);
    } else {
        output->SetBufferList(ioData);
    }
    const OSStatus result = RenderBus(ioActionFlags, timeStamp, bus, frames);
    if (result != noErr) {
        return result;
    }
    if (callerWantsOurMemory) {
        output->CopyBufferListTo(ioData);
    } else {
        output->CopyBufferContentsTo(ioData);
        output->InvalidateBufferList();
    }
    return noErr;
}

OSStatus AUBase::RenderBus(AudioUnitRenderActionFlags& ioActionFlags,
                           const AudioTimeStamp& timeStamp, UInt32, UInt32 frames) {
    // A unit whose input is fed, directly or through others, by its own output is pulled again
    // from inside its render. It hands back what it has, as for a time stamp rendered already:
    // starting over would never end when the time stamp is NaN, which equals no earlier one.
    if (mRenderingBus) {
        return noErr;
    }
    // Another bus may have rendered this time stamp already.
    if (!NeedsToRender(timeStamp.mSampleTime)) {
        return noErr;
    }
    const RaisedFlag rendering(mRenderingBus);
    return Render(ioActionFlags, timeStamp, frames);
}

OSStatus AUBase::Render(AudioUnitRenderActionFlags&, const AudioTimeStamp&, UInt32) {
    return noErr;
}

bool AUBase::NeedsToRender(Float64 sampleTime) {
    const bool needed = fnotequal(sampleTime, GetLastRenderedSampleTime());
    SetLastRenderedSampleTime(sampleTime);
    return needed;
}

bool AUBase::SetRenderError(OSStatus error) {
    // Only the first error since the host last read it is kept.
    OSStatus none = noErr;
    if (error != noErr && mLastRenderErrorCode.compare_exchange_strong(none, error)) {
        PropertyChanged(kAudioUnitProperty_LastRenderError, kAudioUnitScope_Global, 0);
    }
    return error != noErr;
}

void AUBase::SetWantsRenderThreadID(bool flag) {
    if (flag == mRecordRenderThread) {
        return;
    }
    mRecordRenderThread = flag;
    if (!flag) {
        mRenderThread = pthread_t{};
    }
}

// ---- render notifications ----

OSStatus AUBase::SetRenderNotification(AURenderCallback proc, void* userData) {
    if (proc == nullptr) {
        return paramErr;
    }
    mRenderNotificationsTouched = true;
    mRenderNotifications.deferred_add({proc, userData});
    return noErr;
}

OSStatus AUBase::RemoveRenderNotification(AURenderCallback proc, void* userData) {
    mRenderNotifications.deferred_remove({proc, userData});
    return noErr;
}

void AUBase::CallRenderNotifications(AudioUnitRenderActionFlags flags,
                                     const AudioTimeStamp& timeStamp, UInt32 bus, UInt32 frames,
                                     AudioBufferList& ioData) {
    // Every notification sees the one flags word; the caller's flags stay as they are. Until a
    // notification is first added the list is empty.
    for (const RenderCallback& notification : mRenderNotifications) {
        notification.mRenderNotify(notification.mRenderNotifyRefCon, &flags, &timeStamp, bus,
                                   frames, &ioData);
    }
}
