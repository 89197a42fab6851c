// TandemEntry: the component entry the AudioUnit host calls for every request
// of every instance. It makes and destroys the instances' components, answers
// the component selectors and turns every exception into a status.

#include "wrapper/TandemComponent.h"

#include "hosting/TandemException.h"
#include "hosting/TandemLog.h"

#include <new>

namespace {

bool handlesSelector(long selector)
{
    switch (selector) {
    case kComponentOpenSelect:
    case kComponentCloseSelect:
    case kComponentCanDoSelect:
    case kComponentVersionSelect:
    case kAudioUnitInitializeSelect:
    case kAudioUnitUninitializeSelect:
    case kAudioUnitGetPropertyInfoSelect:
    case kAudioUnitGetPropertySelect:
    case kAudioUnitSetPropertySelect:
    case kAudioUnitGetParameterSelect:
    case kAudioUnitSetParameterSelect:
    case kAudioUnitResetSelect:
    case kAudioUnitAddPropertyListenerSelect:
    case kAudioUnitRenderSelect:
    case kAudioUnitAddRenderNotifySelect:
    case kAudioUnitRemoveRenderNotifySelect:
    case kAudioUnitScheduleParametersSelect:
    case kAudioUnitRemovePropertyListenerSelect:
    case kAudioUnitRemovePropertyListenerWithUserDataSelect:
    case kMusicDeviceMIDIEventSelect:
        return true;
    default:
        return false;
    }
}

long componentVersion(ComponentInstance instance)
{
    Handle resource = nullptr;
    OSErr error = GetComponentResource(reinterpret_cast<Component>(instance), kComponentResourceType,
                                       kComponentResourceID, &resource);
    if (error != noErr)
        throw MacOSException(error);
    const long version = reinterpret_cast<const ExtComponentResource*>(*resource)->componentVersion;
    DisposeHandle(resource);
    return version;
}

ComponentResult handleRequest(ComponentParameters* params, TandemComponent* component)
{
    switch (params->what) {
    case kComponentOpenSelect: {
        tandemLog("AU kComponentOpenSelect\n");
        ComponentInstance instance = reinterpret_cast<ComponentInstanceParams*>(params)->instance;
        TandemComponent* opened = new TandemComponent(instance);
        SetComponentInstanceStorage(instance, reinterpret_cast<Handle>(opened));
        return noErr;
    }
    case kComponentCloseSelect: {
        tandemLog("AU kComponentCloseSelect\n");
        if (component) {
            ComponentInstance instance = reinterpret_cast<ComponentInstanceParams*>(params)->instance;
            delete component;
            SetComponentInstanceStorage(instance, nullptr);
        }
        return noErr;
    }
    case kComponentCanDoSelect: {
        const long selector = reinterpret_cast<ComponentCanDoParams*>(params)->selector;
        tandemLog("AU kComponentCanDoSelect: %ld\n", selector);
        return handlesSelector(selector) ? 1 : 0;
    }
    case kComponentVersionSelect:
        tandemLog("AU kComponentVersionSelect\n");
        if (!component) {
            // The version is read from the instance's component, which only
            // an opened instance knows.
            tandemLog("Tandem component pointer is null (cannot handle selector: %d)\n", int(params->what));
            throw MacOSException(badComponentSelector);
        }
        return ComponentResult(component->componentVersion());
    default:
        if (!component) {
            tandemLog("Tandem component pointer is null (cannot handle selector: %d)\n", int(params->what));
            throw MacOSException(badComponentSelector);
        }
        component->dispatch(params);
        return noErr;
    }
}

} // namespace

long TandemComponent::componentVersion() const { return ::componentVersion(auInstance); }

extern "C" __attribute__((visibility("default"))) ComponentResult TandemEntry(ComponentParameters* params,
                                                                             Handle storage)
{
    TandemComponent* component = reinterpret_cast<TandemComponent*>(storage);
    if (component && params && TandemComponent::isRealtimeSelector(params->what)) {
        // The audio thread: no exception, no lock, no write; its lines are queued.
        RealtimeLogScope realtime;
        const OSStatus status = component->dispatchRealtime(params);
        if (status != noErr)
            tandemLog("Caught Mac OS exception in TandemEntry: %s\n", MacOSException(status).what());
        return status;
    }
    try {
        return handleRequest(params, component);
    } catch (const MacOSException& e) {
        tandemLog("Caught Mac OS exception in TandemEntry: %s\n", e.what());
        return e.getStatus();
    } catch (const EOFException&) {
        tandemLog("Caught end of file exception in TandemEntry\n");
        return eofErr;
    } catch (const std::bad_alloc&) {
        tandemLog("Caught std::bad_alloc in TandemEntry\n");
        return memFullErr;
    } catch (const std::exception& e) {
        tandemLog("Caught exception in TandemEntry: %s\n", e.what());
        return -32767;
    } catch (...) {
        tandemLog("Caught general exception in TandemEntry\n");
        return -32767;
    }
}
