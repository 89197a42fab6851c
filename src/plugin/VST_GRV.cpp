#include "plugin/VST_GRV.h"

#include <cstdio>
#include <cstring>

namespace {

// Program slot of each parameter index; slot 9 is reserved and never read.
constexpr int kSlotOfIndex[kGRVNumParams] = {10, 0, 1, 2, 3, 4, 5, 6, 7, 8, 11};

constexpr const char* kEffectName = "Gravel v1.5.2";
constexpr const char* kVendor = "Brackenfold";
constexpr const char* kProduct = "Gravel Rumbledrift Overdrive v1.5.2";
constexpr VstInt32 kVendorVersion = 1520;
// Vendor and product texts are zero-filled over the 64 bytes that hosts
// reserve for them. Filling through byte 64 (65 bytes) would write one byte
// past such a buffer into the host's memory.
constexpr size_t kIdentityFill = 64;

// Copies choice number `which` of "a|b|c" into text.
void copyChoice(const char* choices, int which, char* text)
{
    for (; which > 0 && *choices; ++choices)
        if (*choices == '|')
            --which;
    size_t length = 0;
    while (choices[length] && choices[length] != '|')
        ++length;
    std::memcpy(text, choices, length);
    text[length] = 0;
}

} // namespace

VST_GRVProgram::VST_GRVProgram()
{
    for (int slot = 0; slot < kGRVNumSlots; ++slot)
        values[slot].store(0.0f, std::memory_order_relaxed);
    for (int32_t index = 0; index < kGRVNumParams; ++index)
        values[kSlotOfIndex[index]].store(gravel::defaultValue(index), std::memory_order_relaxed);
    std::memset(name, 0, sizeof(name));
    std::strcpy(name, "Init");
}

VST_GRV::VST_GRV(audioMasterCallback audioMaster, EditorFactory makeEditor)
    : AudioEffectX(audioMaster, kGRVNumPrograms, kGRVNumParams)
{
    setNumInputs(2);
    setNumOutputs(2);
    setUniqueID(vstFourCC('G', 'R', 'V', '7'));
    canProcessReplacing(true);
    canDoubleReplacing(true);

    programs = new VST_GRVProgram[kGRVNumPrograms];

    setProgram(0);
    // No audio thread exists yet: the models take the program now.
    engine.applyPendingChanges();

    if (makeEditor)
        setEditor(makeEditor(this));
}

VST_GRV::~VST_GRV()
{
    delete[] programs;
    programs = nullptr;
}

// ---- parameters ----

void VST_GRV::setParameter(VstInt32 index, float value)
{
    if (index >= 0 && index < kGRVNumParams) {
        // A NaN from the host changes nothing (the models, the stored value
        // and the display keep the previous setting); values outside 0..1 are
        // clamped as the models would clamp them.
        if (!engine.setParameter(index, value))
            return;
        value = engine.getParameter(index);
        programs[curProgram].values[kSlotOfIndex[index]].store(value, std::memory_order_relaxed);
    }
    if (editor)
        editor->setParameter(index, value);
}

void VST_GRV::setPluginMode(float value)
{
    engine.setPluginMode(value);
}

void VST_GRV::setPluginBypass(float value)
{
    engine.setPluginBypass(value);
}

float VST_GRV::getParameter(VstInt32 index)
{
    return engine.getParameter(index);
}

void VST_GRV::getParameterName(VstInt32 index, char* text)
{
    if (index < 0 || index >= kGRVNumParams)
        return;
    std::strcpy(text, gravel::kParameters[index].name);
}

void VST_GRV::getParameterLabel(VstInt32 index, char* text)
{
    if (index < 0 || index >= kGRVNumParams)
        return;
    std::strcpy(text, gravel::kParameters[index].unit);
}

void VST_GRV::getParameterDisplay(VstInt32 index, char* text)
{
    if (index < 0 || index >= kGRVNumParams)
        return;
    const gravel::ParameterInfo& parameter = gravel::kParameters[index];
    const float v = engine.getParameter(index);
    switch (parameter.display) {
    case gravel::Display::Number:
        float2string(parameter.maximum * v, text, 4);
        break;
    case gravel::Display::OnOff:
        std::strcpy(text, v >= 0.5f ? "On" : "Off");
        break;
    case gravel::Display::Choice:
        copyChoice(parameter.choices, gravel::choiceIndex(index, v), text);
        break;
    }
}

// ---- editor ----

void VST_GRV::setParameterFromEditor(int32_t index, float value)
{
    setParameterAutomated(index, value);
}

bool VST_GRV::beginGesture(int32_t index)
{
    return index >= 0 && index < kGRVNumParams && beginEdit(index);
}

bool VST_GRV::endGesture(int32_t index)
{
    return index >= 0 && index < kGRVNumParams && endEdit(index);
}

bool VST_GRV::resizeEditor(int32_t width, int32_t height)
{
    // A host that cannot resize leaves the window as it is; the frame may
    // still take the size.
    char sizeWindowCapability[] = "sizeWindow";
    if (!canHostDo(sizeWindowCapability))
        return true;
    return sizeWindow(width, height);
}

void VST_GRV::editorIdled()
{
    masterIdle();
}

// ---- program ----

void VST_GRV::setProgram(VstInt32 program)
{
    if (program < 0 || program >= numPrograms)
        return;
    // setParameter reads curProgram on whatever thread the host uses; with
    // one program it never changes, so it is never written under a reader.
    if (curProgram != program)
        curProgram = program;
    VST_GRVProgram& p = programs[program];
    // Indices 1 to 9 from slots 0 to 8, then Input Level, then Oversampling.
    for (VstInt32 index = kDrive; index <= kBypass; ++index)
        setParameter(index, p.values[index - 1].load(std::memory_order_relaxed));
    setParameter(kInputLevel, p.values[10].load(std::memory_order_relaxed));
    setParameter(kOversampling, p.values[11].load(std::memory_order_relaxed));
}

void VST_GRV::setProgramName(char* name)
{
    char* target = programs[curProgram].name;
    std::strncpy(target, name, sizeof(programs[curProgram].name) - 1);
    target[sizeof(programs[curProgram].name) - 1] = 0;
}

void VST_GRV::programDisplayName(VstInt32 program, char* name) const
{
    const char* stored = programs[program].name;
    if (std::strcmp(stored, "Init") == 0)
        std::sprintf(name, "%s %d", stored, static_cast<int>(program) + 1);
    else
        std::strcpy(name, stored);
}

void VST_GRV::getProgramName(char* name)
{
    programDisplayName(curProgram, name);
}

// Hosts list the programs by this before loading any of them.
bool VST_GRV::getProgramNameIndexed(VstInt32 /*category*/, VstInt32 index, char* text)
{
    if (index < 0 || index >= numPrograms || !text)
        return false;
    programDisplayName(index, text);
    return true;
}

VstInt32 VST_GRV::getPlugCategory()
{
    return kPlugCategEffect;
}

// ---- rate and identity ----

void VST_GRV::setSampleRate(float rate)
{
    // A rate the engine refuses (outside 8 kHz to 768 kHz, NaN) leaves the
    // effect's rate as it was.
    if (!(rate >= kMinSampleRate && rate <= kMaxSampleRate))
        return;
    AudioEffectX::setSampleRate(rate);
    engine.setSampleRate(rate);
}

bool VST_GRV::getEffectName(char* name)
{
    std::strcpy(name, kEffectName);
    return true;
}

bool VST_GRV::getVendorString(char* text)
{
    std::memset(text, 0, kIdentityFill);
    std::strcpy(text, kVendor);
    return true;
}

bool VST_GRV::getProductString(char* text)
{
    std::memset(text, 0, kIdentityFill);
    std::strcpy(text, kProduct);
    return true;
}

VstInt32 VST_GRV::getVendorVersion()
{
    return kVendorVersion;
}

// ---- audio thread ----

template <typename Sample>
void VST_GRV::processBlock(Sample** inputs, Sample** outputs, VstInt32 sampleFrames)
{
    if (sampleFrames <= 0 || !inputs || !outputs)
        return;
    engine.process(inputs[0], inputs[1], outputs[0], outputs[1], sampleFrames);
}

void VST_GRV::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames)
{
    processBlock(inputs, outputs, sampleFrames);
}

void VST_GRV::processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames)
{
    processBlock(inputs, outputs, sampleFrames);
}
