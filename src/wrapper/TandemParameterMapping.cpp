// The effect's parameters as AudioUnit parameters. Until a mapping file
// describes them, each VST parameter is published under its own index with
// the VST range 0..1, so that AudioUnit values are the effect's own values.

#include "wrapper/TandemComponent.h"

#include <algorithm>
#include <cstring>

void TandemComponent::readOrCreateParameterMapping()
{
    mappedParameterCount = std::min(parameterCount, maxAUParameters);
    for (int i = 0; i < parameterCount; ++i) {
        AudioUnitParameterInfo& info = parameterInfos[i];
        char name[25] = {};
        vst->getParameterName(i, name);
        std::strncpy(info.name, name, sizeof info.name - 1);
        info.unit = kAudioUnitParameterUnit_Generic;
        info.minValue = 0.0f;
        info.maxValue = 1.0f;
        info.defaultValue = vst->getParameter(i);
        info.flags = kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_IsWritable;
        if (i < mappedParameterCount)
            auParameterList[i] = unsigned(i);
    }
}

// Gestures and automation from the effect's editor reach AudioUnit listeners
// once parameters are mapped.
void TandemComponent::beginEdit(VSTPlugIn*, int) {}
void TandemComponent::automate(VSTPlugIn*, int, float) {}
void TandemComponent::endEdit(VSTPlugIn*, int) {}
