// Private to the platform library: the records behind Component,
// AudioComponent and ComponentInstance, for the AudioUnit call glue.
#pragma once

#include <string>

#include "AudioUnit/AudioComponent.h"
#include "platform/components/ComponentDeclarations.h"

// One registered component; lives as long as the process.
struct ComponentRecord {
    UInt32 magic;
    gravel_components::ComponentDeclaration declaration;
    std::string bundlePath;
    std::string executablePath;
    ComponentRoutineUPP entry;  // resolved at the first open
};

// One instance; when closed it is marked so and kept (see retire()).
struct ComponentInstanceRecord {
    UInt32 magic;
    ComponentRecord* component;
    ComponentRoutineUPP entry;
    Handle storage;
};

namespace gravel_components {

constexpr UInt32 kComponentMagic = 0x436f6d70;  // 'Comp'
constexpr UInt32 kInstanceMagic = 0x496e7374;   // 'Inst'

// The instance when the pointer is an open one; no lock, no allocation.
inline ComponentInstanceRecord* openInstance(ComponentInstance instance) {
    return instance != nullptr && instance->magic == kInstanceMagic ? instance : nullptr;
}

// Sends the block to the instance's entry with its storage; badComponentInstance
// when the instance is not open.
inline ComponentResult sendRequest(ComponentInstance instance, ComponentParameters* params) {
    ComponentInstanceRecord* record = openInstance(instance);
    return record != nullptr ? record->entry(params, record->storage) : badComponentInstance;
}

}  // namespace gravel_components
