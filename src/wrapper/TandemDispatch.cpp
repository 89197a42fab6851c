// The AudioUnit selectors: each request's parameter block is unpacked and
// answered by the component. Failures are exceptions; calls into the effect
// go through VSTPlugIn, which never lets one of the effect's out.

#include "wrapper/TandemComponent.h"

#include "wrapper/TandemException.h"
#include "wrapper/TandemLog.h"

#include <algorithm>
#include <cmath>

namespace {

bool roundsToInteger(const AudioUnitParameterInfo& info)
{
    return info.unit == kAudioUnitParameterUnit_Indexed || info.unit == kAudioUnitParameterUnit_Boolean;
}

template <typename Block>
const Block& block(const ComponentParameters* params)
{
    return *reinterpret_cast<const Block*>(params);
}

} // namespace

void TandemComponent::checkGlobalScope(AudioUnitScope scope) const
{
    if (scope != kAudioUnitScope_Global)
        throw MacOSException(kAudioUnitErr_InvalidScope);
}

void TandemComponent::checkParameter(AudioUnitParameterID id) const
{
    if (id >= AudioUnitParameterID(parameterCount))
        throw MacOSException(kAudioUnitErr_InvalidParameter);
}

// A parameter the mapping does not publish has no range (its information is
// all zero), so a value for it would reach the effect as NaN; so would a NaN
// from the host. Both are refused; a value outside the published range is
// held at its end, since VST effects are promised 0..1.
float TandemComponent::scaledToVST(AudioUnitParameterID id, AudioUnitParameterValue value) const
{
    const AudioUnitParameterInfo& info = parameterInfos[id];
    if (info.flags == 0 || !(info.minValue < info.maxValue))
        throw MacOSException(kAudioUnitErr_InvalidParameter);
    if (std::isnan(value))
        throw MacOSException(paramErr);
    const float scaled = (value - info.minValue) / (info.maxValue - info.minValue);
    return std::min(std::max(scaled, 0.0f), 1.0f);
}

AudioUnitParameterValue TandemComponent::scaledFromVST(AudioUnitParameterID id, float value) const
{
    const AudioUnitParameterInfo& info = parameterInfos[id];
    const AudioUnitParameterValue scaled = info.minValue + (info.maxValue - info.minValue) * value;
    return roundsToInteger(info) ? std::floor(scaled + 0.5f) : scaled;
}

void TandemComponent::dispatch(ComponentParameters* params)
{
    switch (params->what) {
    case kAudioUnitInitializeSelect:
        tandemLog("AU kAudioUnitInitializeSelect\n");
        if (!vst->isResumed()) {
            vst->resume();
            updateInitialDelayAndTailTimes();
        }
        break;

    case kAudioUnitUninitializeSelect:
        tandemLog("AU kAudioUnitUninitializeSelect\n");
        if (vst->isResumed())
            vst->suspend();
        break;

    case kAudioUnitGetPropertyInfoSelect: {
        const auto& p = block<AudioUnitGetPropertyInfoParams>(params);
        if (p.outDataSize)
            *p.outDataSize = 0;
        if (p.outWritable)
            *p.outWritable = false;
        bool readable = false, writable = false;
        UInt32 minimumSize = 0, size = 0;
        getPropertyInfo(p.inID, p.inScope, p.inElement, readable, writable, minimumSize, size);
        if (p.outDataSize)
            *p.outDataSize = size;
        if (p.outWritable)
            *p.outWritable = writable;
        break;
    }

    case kAudioUnitGetPropertySelect: {
        const auto& p = block<AudioUnitGetPropertyParams>(params);
        if (!p.ioDataSize)
            throw MacOSException(paramErr);
        getProperty(p.ioDataSize, p.outData, p.inElement, p.inScope, p.inID);
        break;
    }

    case kAudioUnitSetPropertySelect: {
        const auto& p = block<AudioUnitSetPropertyParams>(params);
        if (!p.inData && p.inDataSize > 0)
            throw MacOSException(paramErr);
        setProperty(p.inDataSize, p.inData, p.inElement, p.inScope, p.inID);
        break;
    }

    case kAudioUnitGetParameterSelect: {
        const auto& p = block<AudioUnitGetParameterParams>(params);
        checkGlobalScope(p.inScope);
        checkParameter(p.inID);
        if (!p.outValue)
            throw MacOSException(paramErr);
        *p.outValue = scaledFromVST(p.inID, vst->getParameter(int(p.inID)));
        break;
    }

    case kAudioUnitSetParameterSelect: {
        const auto& p = block<AudioUnitSetParameterParams>(params);
        checkGlobalScope(p.inScope);
        checkParameter(p.inID);
        vst->setParameter(int(p.inID), scaledToVST(p.inID, p.inValue));
        break;
    }

    case kAudioUnitResetSelect: {
        const auto& p = block<AudioUnitResetParams>(params);
        tandemLog("AU kAudioUnitResetSelect\n");
        reset(p.inScope);
        break;
    }

    case kAudioUnitAddPropertyListenerSelect: {
        const auto& p = block<AudioUnitPropertyListenerParams>(params);
        tandemLog("AU kAudioUnitAddPropertyListenerSelect\n");
        addPropertyListener(p.inID, p.inProc, p.inProcUserData);
        break;
    }

    case kAudioUnitRenderSelect: {
        const auto& p = block<AudioUnitRenderParams>(params);
        render(p.ioActionFlags, p.inTimeStamp, p.inOutputBusNumber, p.inNumberFrames, p.ioData);
        break;
    }

    case kAudioUnitAddRenderNotifySelect: {
        const auto& p = block<AudioUnitRenderNotifyParams>(params);
        tandemLog("AU kAudioUnitAddRenderNotifySelect\n");
        addRenderNotify(p.inProc, p.inProcUserData);
        break;
    }

    case kAudioUnitRemoveRenderNotifySelect: {
        const auto& p = block<AudioUnitRenderNotifyParams>(params);
        tandemLog("AU kAudioUnitRemoveRenderNotifySelect\n");
        removeRenderNotify(p.inProc, p.inProcUserData);
        break;
    }

    case kAudioUnitScheduleParametersSelect: {
        const auto& p = block<AudioUnitScheduleParametersParams>(params);
        tandemLog("AU kAudioUnitScheduleParametersSelect\n");
        scheduleParameters(p.inParameterEvent, p.inNumParamEvents);
        break;
    }

    case kAudioUnitRemovePropertyListenerWithUserDataSelect: {
        const auto& p = block<AudioUnitPropertyListenerParams>(params);
        tandemLog("AU kAudioUnitRemovePropertyListenerWithUserDataSelect\n");
        removePropertyListener(p.inID, p.inProc, p.inProcUserData);
        break;
    }

    case kMusicDeviceMIDIEventSelect: {
        const auto& p = block<MusicDeviceMIDIEventParams>(params);
        queueMidiEvent(p.inStatus, p.inData1, p.inData2, p.inOffsetSampleFrame);
        break;
    }

    default:
        tandemLog("AU unknown selector: %d\n", int(params->what));
        throw MacOSException(badComponentSelector);
    }
}

void TandemComponent::reset(AudioUnitScope scope)
{
    checkGlobalScope(scope);
    if (vst->isResumed()) {
        vst->suspend();
        vst->resume();
        updateInitialDelayAndTailTimes();
    }
    lastRenderSampleTime = noSampleTime;
}

void TandemComponent::addPropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                          void* reference)
{
    if (propertyListenerCount == maxPropertyListeners)
        throw MacOSException(memFullErr);
    propertyListeners[propertyListenerCount++] = AUPropertyListener{id, proc, reference};
    tandemLog("AU Added listener %p (refcon: %p) on property: %d\n", reinterpret_cast<void*>(proc),
              reference, int(id));
}

void TandemComponent::removePropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                             void* reference)
{
    int kept = 0;
    for (int i = 0; i < propertyListenerCount; ++i) {
        const AUPropertyListener& listener = propertyListeners[i];
        if (listener.id == id && listener.proc == proc && listener.reference == reference)
            tandemLog("AU Removed listener on %d\n", int(id));
        else
            propertyListeners[kept++] = listener;
    }
    propertyListenerCount = kept;
}

void TandemComponent::addRenderNotify(AURenderCallback proc, void* reference)
{
    if (renderNotifyCount == maxRenderNotifies)
        throw MacOSException(memFullErr);
    renderNotifies[renderNotifyCount++] = AURenderCallbackStruct{proc, reference};
}

void TandemComponent::removeRenderNotify(AURenderCallback proc, void* reference)
{
    int kept = 0;
    for (int i = 0; i < renderNotifyCount; ++i)
        if (renderNotifies[i].inputProc != proc || renderNotifies[i].inputProcRefCon != reference)
            renderNotifies[kept++] = renderNotifies[i];
    renderNotifyCount = kept;
}

void TandemComponent::scheduleParameters(const AudioUnitParameterEvent* events, UInt32 count)
{
    if (!events && count > 0)
        throw MacOSException(paramErr);
    for (UInt32 i = 0; i < count; ++i) {
        const AudioUnitParameterEvent& event = events[i];
        checkGlobalScope(event.scope);
        checkParameter(event.parameter);
        if (event.eventType == kParameterEvent_Immediate)
            vst->setParameter(int(event.parameter),
                              scaledToVST(event.parameter, event.eventValues.immediate.value));
    }
}

void TandemComponent::queueMidiEvent(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset)
{
    if (!vst->wantsMidi())
        return;
    if (vstMidiEvents.numEvents == maxMidiEvents)
        throw MacOSException(memFullErr);
    VstMidiEvent* event = reinterpret_cast<VstMidiEvent*>(vstMidiEvents.events[vstMidiEvents.numEvents]);
    event->deltaFrames = VstInt32(offset);
    event->midiData[0] = static_cast<unsigned char>(status);
    event->midiData[1] = static_cast<unsigned char>(data1);
    event->midiData[2] = static_cast<unsigned char>(data2);
    ++vstMidiEvents.numEvents;
}
