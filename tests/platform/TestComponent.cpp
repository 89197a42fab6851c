// A component bundle for the registry and AudioUnit glue tests. Its entry
// keeps a copy of every parameter block it receives, keeps one parameter
// value and the property listeners per instance, and announces changes like a
// real component would.
#include <algorithm>
#include <cstring>
#include <vector>

#include <AudioToolbox/AudioToolbox.h>

#define TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct PropertyListener {
    AudioUnitPropertyID id;
    AudioUnitPropertyListenerProc proc;
    void* userData;
};

// What an instance keeps as its storage.
struct TestInstance {
    ComponentInstance self;
    AudioUnitParameterValue value;
    std::vector<PropertyListener> propertyListeners;
};

// Removes the listeners of that id and procedure (and user data, when it counts).
OSStatus removePropertyListeners(TestInstance* instance, const AudioUnitPropertyListenerParams* p, bool withUserData) {
    auto& list = instance->propertyListeners;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [&](const PropertyListener& l) {
                                  return l.id == p->inID && l.proc == p->inProc &&
                                         (!withUserData || l.userData == p->inProcUserData);
                              }),
               list.end());
    return noErr;
}

unsigned char lastBlock[64];
Handle lastStorage = nullptr;
int openInstances = 0;
OSStatus nextOpenStatus = noErr;

}  // namespace

TEST_EXPORT ComponentResult TestComponentEntry(ComponentParameters* params, Handle storage) {
    std::memcpy(lastBlock, params, sizeof(ComponentParameters::flags) + sizeof(ComponentParameters::paramSize) +
                                       sizeof(ComponentParameters::what) + sizeof(ComponentParameters::padding) +
                                       params->paramSize);
    lastStorage = storage;
    auto* instance = reinterpret_cast<TestInstance*>(storage);
    switch (params->what) {
        case kComponentOpenSelect: {
            if (nextOpenStatus != noErr) {
                const OSStatus status = nextOpenStatus;
                nextOpenStatus = noErr;
                return status;
            }
            auto self = reinterpret_cast<ComponentInstance>(params->params[0]);
            SetComponentInstanceStorage(self, reinterpret_cast<Handle>(new TestInstance{self, 0, {}}));
            ++openInstances;
            return noErr;
        }
        case kComponentCloseSelect:
            delete instance;
            --openInstances;
            return noErr;
        case kComponentCanDoSelect:
            return params->params[0] == kAudioUnitRenderSelect ? 1 : 0;
        case kComponentVersionSelect: {
            // As a component answers it: the version of its own 'thng' resource.
            Handle resource = nullptr;
            if (GetComponentResource(reinterpret_cast<Component>(instance->self), kComponentResourceType,
                                     kComponentResourceID, &resource) != noErr)
                return -1;
            SInt32 version = 0;
            std::memcpy(&version, *resource + 44, sizeof version);
            DisposeHandle(resource);
            return version;
        }
        case kAudioUnitGetParameterSelect:
            *reinterpret_cast<AudioUnitGetParameterParams*>(params)->outValue = instance->value;
            return noErr;
        case kAudioUnitSetParameterSelect: {
            const auto* p = reinterpret_cast<AudioUnitSetParameterParams*>(params);
            instance->value = p->inValue;
            AudioUnitParameter changed = {instance->self, p->inID, p->inScope, p->inElement};
            return AUParameterListenerNotify(nullptr, nullptr, &changed);
        }
        case kAudioUnitAddPropertyListenerSelect: {
            const auto* p = reinterpret_cast<AudioUnitPropertyListenerParams*>(params);
            instance->propertyListeners.push_back({p->inID, p->inProc, p->inProcUserData});
            return noErr;
        }
        case kAudioUnitRemovePropertyListenerSelect:
            return removePropertyListeners(instance, reinterpret_cast<AudioUnitPropertyListenerParams*>(params), false);
        case kAudioUnitRemovePropertyListenerWithUserDataSelect:
            return removePropertyListeners(instance, reinterpret_cast<AudioUnitPropertyListenerParams*>(params), true);
        default:
            return params->what;  // tells the test which selector arrived
    }
}

TEST_EXPORT const unsigned char* testComponentLastBlock() { return lastBlock; }
TEST_EXPORT Handle testComponentLastStorage() { return lastStorage; }
TEST_EXPORT int testComponentOpenInstances() { return openInstances; }
TEST_EXPORT void testComponentFailNextOpen(OSStatus status) { nextOpenStatus = status; }

// A property change announced as the wrapper does: to the property listeners
// of that id, or as an event when the unit has no property listener at all.
TEST_EXPORT void testComponentChangeProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                                             AudioUnitElement element) {
    auto* instance = reinterpret_cast<TestInstance*>(GetComponentInstanceStorage(unit));
    if (instance->propertyListeners.empty()) {
        AudioUnitEvent event = {};
        event.mEventType = kAudioUnitEvent_PropertyChange;
        event.mArgument.mProperty = {unit, id, scope, element};
        AUEventListenerNotify(nullptr, nullptr, &event);
        return;
    }
    for (const PropertyListener& listener : instance->propertyListeners)
        if (listener.id == id) listener.proc(listener.userData, unit, id, scope, element);
}

TEST_EXPORT int testComponentPropertyListenerCount(AudioUnit unit) {
    return static_cast<int>(reinterpret_cast<TestInstance*>(GetComponentInstanceStorage(unit))->propertyListeners.size());
}

// A change announced from inside the bundle, as a component's editor would.
TEST_EXPORT OSStatus testComponentNotify(const AudioUnitEvent* event) {
    return AUEventListenerNotify(nullptr, nullptr, event);
}
