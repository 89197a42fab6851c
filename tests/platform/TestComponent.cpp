// A component bundle for the registry and AudioUnit glue tests. Its entry
// keeps a copy of every parameter block it receives, keeps one parameter
// value per instance, and announces changes like a real component would.
#include <cstring>

#include <AudioToolbox/AudioToolbox.h>

#define TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// What an instance keeps as its storage.
struct TestInstance {
    ComponentInstance self;
    AudioUnitParameterValue value;
};

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
            SetComponentInstanceStorage(self, reinterpret_cast<Handle>(new TestInstance{self, 0}));
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
        default:
            return params->what;  // tells the test which selector arrived
    }
}

TEST_EXPORT const unsigned char* testComponentLastBlock() { return lastBlock; }
TEST_EXPORT Handle testComponentLastStorage() { return lastStorage; }
TEST_EXPORT int testComponentOpenInstances() { return openInstances; }
TEST_EXPORT void testComponentFailNextOpen(OSStatus status) { nextOpenStatus = status; }

// A change announced from inside the bundle, as a component's editor would.
TEST_EXPORT OSStatus testComponentNotify(const AudioUnitEvent* event) {
    return AUEventListenerNotify(nullptr, nullptr, event);
}
