// The effect behind the AudioUnit preset tests (see FakeProgramEffect.h).

#include "FakeProgramEffect.h"

#include <algorithm>
#include <cstring>

VST_EXPORT FakePrograms fakeProgramTemplate;
VST_EXPORT FakePrograms* fakeProgramLatest;
FakePrograms fakeProgramTemplate = {1, 0, 0, {"Init"}, {{0.5f, 0.0f}}, {}, 0};
FakePrograms* fakeProgramLatest = nullptr;

namespace {

struct Instance {
    AEffect effect;
    FakePrograms programs;
    audioMasterCallback host;
};

FakePrograms& programsOf(AEffect* e) { return static_cast<Instance*>(e->object)->programs; }

void copyName(char* to, const char* from)
{
    std::strncpy(to, from, 24);
    to[24] = '\0';
}

VstIntPtr dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float)
{
    FakePrograms& p = programsOf(e);
    switch (opcode) {
    case effClose:
        if (fakeProgramLatest == &p)
            fakeProgramLatest = nullptr;
        delete static_cast<Instance*>(e->object);
        return 1;
    case effSetProgram:
        if (value >= 0 && value < p.numPrograms)
            p.current = int(value);
        return 0;
    case effGetProgram:
        return p.current;
    case effSetProgramName:
        ++p.setProgramNameCalls;
        copyName(p.names[p.current], static_cast<const char*>(ptr));
        return 0;
    case effGetProgramName:
        copyName(static_cast<char*>(ptr), p.names[p.current]);
        return 0;
    case effGetProgramNameIndexed:
        if (index < 0 || index >= p.numPrograms)
            return 0;
        copyName(static_cast<char*>(ptr), p.names[index]);
        return 1;
    case effIdle:
        if (p.renameOnIdle[0]) {
            copyName(p.names[p.current], p.renameOnIdle);
            p.renameOnIdle[0] = '\0';
            static_cast<Instance*>(e->object)->host(e, audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f);
        }
        return 0;
    default:
        return 0;
    }
}

void setParameter(AEffect* e, VstInt32 index, float value)
{
    FakePrograms& p = programsOf(e);
    if (index >= 0 && index < fakeProgramParameterCount)
        p.values[p.current][index] = value;
}

float getParameter(AEffect* e, VstInt32 index)
{
    FakePrograms& p = programsOf(e);
    return index >= 0 && index < fakeProgramParameterCount ? p.values[p.current][index] : 0.0f;
}

void processReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 frames)
{
    const FakePrograms& p = programsOf(e);
    const float gain = 0.5f + p.values[p.current][0];
    const float offset = p.values[p.current][1] / 100.0f;
    for (int c = 0; c < e->numOutputs; ++c)
        for (VstInt32 i = 0; i < frames; ++i)
            outputs[c][i] = inputs[c][i] * gain + offset;
}

} // namespace

VST_EXPORT AEffect* VSTPluginMain(audioMasterCallback master)
{
    Instance* instance = new Instance();
    instance->host = master;
    instance->programs = fakeProgramTemplate;
    FakePrograms& p = instance->programs;
    p.numPrograms = std::clamp(p.numPrograms, 1, fakeProgramMaxPrograms);
    fakeProgramLatest = &p;
    AEffect* e = &instance->effect;
    e->magic = kEffectMagic;
    e->dispatcher = dispatcher;
    e->setParameter = setParameter;
    e->getParameter = getParameter;
    e->processReplacing = processReplacing;
    e->numPrograms = p.numPrograms;
    e->numParams = fakeProgramParameterCount;
    e->numInputs = 2;
    e->numOutputs = 2;
    e->flags = effFlagsCanReplacing;
    e->uniqueID = p.uniqueID ? p.uniqueID : vstFourCC('F', 'k', 'P', 'r');
    e->object = instance;
    return e;
}
