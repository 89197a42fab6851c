// The AudioUnit selectors: each request's parameter block is unpacked and
// answered by the component. Failures are exceptions, but for the real-time
// selectors, which answer with a status; calls into the effect go through
// VSTPlugIn, which never lets one of the effect's out.

#include "wrapper/TandemComponent.h"

#include "hosting/TandemException.h"
#include "hosting/TandemLog.h"

#include <algorithm>
#include <exception>

namespace {

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
    if (id >= AudioUnitParameterID(parameters->getParameterCount()))
        throw MacOSException(kAudioUnitErr_InvalidParameter);
}

bool TandemComponent::isRealtimeSelector(SInt16 selector)
{
    return selector == kAudioUnitRenderSelect || selector == kAudioUnitScheduleParametersSelect;
}

OSStatus TandemComponent::dispatchRealtime(ComponentParameters* params) noexcept
{
    if (closing)
        return kAudioUnitErr_Uninitialized;
    switch (params->what) {
    case kAudioUnitRenderSelect: {
        const auto& p = block<AudioUnitRenderParams>(params);
        // Rendering needs the resumed effect and the buffers of this slice size.
        if (!vst->isResumed())
            return kAudioUnitErr_Uninitialized;
        return renderer->render(p.ioActionFlags, p.inTimeStamp, p.inOutputBusNumber, p.inNumberFrames, p.ioData);
    }
    case kAudioUnitScheduleParametersSelect: {
        const auto& p = block<AudioUnitScheduleParametersParams>(params);
        tandemLog("AU kAudioUnitScheduleParametersSelect\n");
        return scheduleParameters(p.inParameterEvent, p.inNumParamEvents);
    }
    default:
        return badComponentSelector;
    }
}

OSStatus TandemComponent::scheduleParameters(const AudioUnitParameterEvent* events, UInt32 count) noexcept
{
    if (!events && count > 0)
        return paramErr;
    for (UInt32 i = 0; i < count; ++i) {
        const AudioUnitParameterEvent& event = events[i];
        if (event.scope != kAudioUnitScope_Global)
            return kAudioUnitErr_InvalidScope;
        if (event.eventType != kParameterEvent_Immediate)
            continue;
        float value = 0.0f;
        const OSStatus status = parameters->scaleToVST(event.parameter, event.eventValues.immediate.value, value);
        if (status != noErr)
            return status;
        vst->setParameter(int(event.parameter), value);
    }
    return noErr;
}

void TandemComponent::initialize()
{
    if (!vst->isResumed()) {
        vst->resume();
        updateInitialDelayAndTailTimes();
    }
}

void TandemComponent::uninitialize()
{
    if (vst->isResumed())
        vst->suspend();
}

void TandemComponent::dispatch(ComponentParameters* params)
{
    if (closing)
        throw MacOSException(kAudioUnitErr_Uninitialized);
    switch (params->what) {
    case kAudioUnitInitializeSelect:
        tandemLog("AU kAudioUnitInitializeSelect\n");
        initialize();
        break;

    case kAudioUnitUninitializeSelect:
        tandemLog("AU kAudioUnitUninitializeSelect\n");
        uninitialize();
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
        *p.outValue = parameters->fromVST(p.inID, vst->getParameter(int(p.inID)));
        break;
    }

    case kAudioUnitSetParameterSelect: {
        const auto& p = block<AudioUnitSetParameterParams>(params);
        checkGlobalScope(p.inScope);
        checkParameter(p.inID);
        vst->setParameter(int(p.inID), parameters->toVST(p.inID, p.inValue));
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
        notifier->addPropertyListener(p.inID, p.inProc, p.inProcUserData);
        break;
    }

    case kAudioUnitRemovePropertyListenerSelect: {
        const auto& p = block<AudioUnitPropertyListenerParams>(params);
        tandemLog("AU kAudioUnitRemovePropertyListenerSelect\n");
        notifier->removePropertyListener(p.inID, p.inProc);
        break;
    }

    case kAudioUnitRemovePropertyListenerWithUserDataSelect: {
        const auto& p = block<AudioUnitPropertyListenerParams>(params);
        tandemLog("AU kAudioUnitRemovePropertyListenerWithUserDataSelect\n");
        notifier->removePropertyListener(p.inID, p.inProc, p.inProcUserData);
        break;
    }

    case kAudioUnitAddRenderNotifySelect: {
        const auto& p = block<AudioUnitRenderNotifyParams>(params);
        tandemLog("AU kAudioUnitAddRenderNotifySelect\n");
        notifier->addRenderNotify(p.inProc, p.inProcUserData);
        break;
    }

    case kAudioUnitRemoveRenderNotifySelect: {
        const auto& p = block<AudioUnitRenderNotifyParams>(params);
        tandemLog("AU kAudioUnitRemoveRenderNotifySelect\n");
        notifier->removeRenderNotify(p.inProc, p.inProcUserData);
        break;
    }

    case kMusicDeviceMIDIEventSelect: {
        const auto& p = block<MusicDeviceMIDIEventParams>(params);
        queueMidiEvent(p.inStatus, p.inData1, p.inData2, p.inOffsetSampleFrame);
        break;
    }

    default:
        if (isRealtimeSelector(params->what)) {
            const OSStatus status = dispatchRealtime(params);
            if (status != noErr)
                throw MacOSException(status);
            break;
        }
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
    renderer->forgetLastSlice();
}

void TandemComponent::queueMidiEvent(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset)
{
    if (!vst->wantsMidi())
        return;
    if (!renderer->queueMidiEvent(status, data1, data2, offset))
        throw MacOSException(memFullErr);
}
