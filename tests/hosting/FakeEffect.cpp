// Built several times, once per entry-point variant (FAKE_ENTRY_*).

#include "FakeEffect.h"

#include <cstdio>
#include <stdexcept>

namespace {

constexpr VstInt32 fakeID = vstFourCC('F', 'a', 'k', 'e');

FakeEffect* self(AEffect* e) { return static_cast<FakeEffect*>(e->object); }

void copyText(void* ptr, const char* text)
{
    if (ptr)
        std::snprintf(static_cast<char*>(ptr), 64, "%s", text);
}

VstIntPtr dispatcher(AEffect* e, VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                     float opt)
{
    FakeEffect* f = self(e);
    if (f->opcodeCount < FakeEffect::maxOpcodes)
        f->opcodes[f->opcodeCount++] = opcode;
    if (opcode == f->throwOnOpcode)
        throw std::runtime_error("fake effect failure");
    switch (opcode) {
    case effClose:
        if (f->beforeDelete)
            f->beforeDelete(f);
        delete f;
        return 1;
    case effSetProgram:
        if (value >= 0 && value < e->numPrograms) {
            if (f->currentProgram >= 0 && f->currentProgram < FakeEffect::maxPrograms)
                std::memcpy(f->programParams[f->currentProgram], f->params, sizeof f->params);
            f->currentProgram = value;
            std::memcpy(f->params, f->programParams[value], sizeof f->params);
        }
        return 0;
    case effGetProgram:
        return f->currentProgram;
    case effSetProgramName:
        std::snprintf(f->lastProgramNameSent, sizeof f->lastProgramNameSent, "%s",
                      static_cast<const char*>(ptr));
        if (f->currentProgram >= 0 && f->currentProgram < FakeEffect::maxPrograms)
            std::snprintf(f->programNames[f->currentProgram], 64, "%s",
                          static_cast<const char*>(ptr));
        return 0;
    case effGetProgramName:
        copyText(ptr, f->currentProgram >= 0 && f->currentProgram < FakeEffect::maxPrograms
                          ? f->programNames[f->currentProgram]
                          : "");
        return 0;
    case effGetProgramNameIndexed:
        if (index != 0)
            return 0; // only the first program has a name of its own
        copyText(ptr, "First");
        return 1;
    case effGetParamName:
        copyText(ptr, fakeParameterName(index));
        return 0;
    case effGetParamLabel:
        copyText(ptr, "dB");
        return 0;
    case effGetParamDisplay:
        if (index >= 0 && index < FakeEffect::maxParams)
            std::snprintf(static_cast<char*>(ptr), 64, "%.2f", f->params[index] * 10.0f);
        return 0;
    case effSetSampleRate:
        f->lastSampleRate = opt;
        return 0;
    case effSetBlockSize:
        f->lastBlockSize = value;
        return 0;
    case effEditGetRect:
        if (f->hasRect) {
            *static_cast<ERect**>(ptr) = &f->rect;
            return 1;
        }
        return 0;
    case effEditOpen:
        return f->editOpenResult;
    case effGetChunk:
        *static_cast<void**>(ptr) = f->nullChunkPointer ? nullptr : f->chunk;
        return f->chunkSize;
    case effSetChunk:
        f->receivedChunkIndex = index;
        f->receivedChunkSize = value;
        if (value > 0 && value <= VstIntPtr(sizeof f->receivedChunk))
            std::memcpy(f->receivedChunk, ptr, static_cast<size_t>(value));
        return f->setChunkResult;
    case effGetEffectName:
        copyText(ptr, "Fake Effect");
        return 1;
    case effGetVendorString:
        copyText(ptr, "Test Bench");
        return 1;
    case effSetBypass:
        return 1;
    case effGetVstVersion:
        return 2400;
    case effVendorSpecific:
        return index;
    default:
        return 0;
    }
}

void setParameter(AEffect* e, VstInt32 index, float value)
{
    FakeEffect* f = self(e);
    ++f->setParameterCalls;
    if (f->throwOnSetParameter)
        throw std::runtime_error("fake effect failure");
    if (index >= 0 && index < FakeEffect::maxParams)
        f->params[index] = value;
}

float getParameter(AEffect* e, VstInt32 index)
{
    FakeEffect* f = self(e);
    if (f->throwOnGetParameter)
        throw std::runtime_error("fake effect failure");
    return index >= 0 && index < FakeEffect::maxParams ? f->params[index] : 0.0f;
}

// Output = input × 2 × Gain on every channel.
void processReplacing(AEffect* e, float** inputs, float** outputs, VstInt32 frames)
{
    const float gain = 2.0f * self(e)->params[0];
    for (int c = 0; c < e->numOutputs; ++c)
        for (VstInt32 i = 0; i < frames; ++i)
            outputs[c][i] = inputs[c < e->numInputs ? c : 0][i] * gain;
}

[[maybe_unused]] AEffect* createFake(audioMasterCallback master, const char* entryName)
{
#ifdef FAKE_BAD_MAGIC
    // A host never closes a record it rejected: nothing to allocate.
    static FakeEffect rejected;
    rejected = FakeEffect();
    FakeEffect* f = &rejected;
#else
    FakeEffect* f = new FakeEffect();
#endif
    f->master = master;
    f->entryName = entryName;
    f->versionAnswer = master(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f);
    AEffect* e = &f->effect;
    e->magic = kEffectMagic;
#ifdef FAKE_BAD_MAGIC
    e->magic = vstFourCC('N', 'o', 'p', 'e');
#endif
    e->dispatcher = dispatcher;
    e->setParameter = setParameter;
    e->getParameter = getParameter;
    e->processReplacing = processReplacing;
    e->numPrograms = 2;
    e->numParams = 3;
    e->numInputs = 2;
    e->numOutputs = 2;
    e->flags = effFlagsCanReplacing;
    e->object = f;
    e->uniqueID = fakeID;
    e->version = 7;
    f->params[0] = 0.5f;
    f->params[1] = 0.25f;
    f->params[2] = 1.0f;
    for (int p = 0; p < FakeEffect::maxPrograms; ++p) {
        std::snprintf(f->programNames[p], 64, "Program %d", p + 1);
        std::memcpy(f->programParams[p], f->params, sizeof f->params);
    }
    f->throwOnOpcode = -1;
    f->setChunkResult = 1;
    f->editOpenResult = 1;
    f->rect = ERect{10, 20, 110, 320};
    // Asked before the host has the record: the host must learn it from here.
    f->currentIdAnswer = master(e, audioMasterCurrentId, 0, 0, nullptr, 0.0f);
    return e;
}

} // namespace

#if defined(FAKE_ENTRY_VSTPLUGINMAIN) || defined(FAKE_ENTRY_BOTH) || defined(FAKE_BAD_MAGIC)
VST_EXPORT AEffect* VSTPluginMain(audioMasterCallback master)
{
    return createFake(master, "VSTPluginMain");
}
#endif

#if defined(FAKE_ENTRY_BOTH)
VST_EXPORT AEffect* main_macho(audioMasterCallback master)
{
    return createFake(master, "main_macho");
}
#endif

#if defined(FAKE_ENTRY_MAIN)
// The legacy Linux entry name; C++ reserves `main`, so the symbol is named directly.
VST_EXPORT AEffect* fakeLegacyMain(audioMasterCallback master) __asm__("main");
AEffect* fakeLegacyMain(audioMasterCallback master) { return createFake(master, "main"); }
#endif

#if defined(FAKE_ENTRY_NONE)
VST_EXPORT int notAnEntry() { return 0; }
#endif
