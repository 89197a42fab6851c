#include "plugin/AudioEffect.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// Copies at most maxLen characters and always stores a zero at text[maxLen].
void copyLimited(char* text, const char* source, VstInt32 maxLen)
{
    if (maxLen < 0)
        return;
    std::strncpy(text, source, static_cast<size_t>(maxLen));
    text[maxLen] = 0;
}

// Appends so that text holds at most maxLen characters in all.
void appendLimited(char* text, const char* source, VstInt32 maxLen)
{
    if (maxLen < 0)
        return;
    const size_t used = std::strlen(text);
    if (used < static_cast<size_t>(maxLen))
        std::strncat(text, source, static_cast<size_t>(maxLen) - used);
    text[maxLen] = 0;
}

// float2string fills this many characters: sign, integer digits, point and
// fraction digits together.
constexpr int kFloatChars = 8;

} // namespace

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : audioMaster(audioMaster), editor(nullptr), sampleRate(44100.0f), blockSize(1024),
      numPrograms(numPrograms), numParams(numParams), curProgram(0)
{
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEffectClass;
    cEffect.process = __processClassDeprecated;
    cEffect.setParameter = setParameterClass;
    cEffect.getParameter = getParameterClass;
    cEffect.numPrograms = numPrograms;
    cEffect.numParams = numParams;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = effFlagsCanReplacing;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = vstFourCC('N', 'o', 'E', 'f');
    cEffect.version = 1;
    cEffect.processReplacing = processClassReplacing;
    cEffect.processDoubleReplacing = processClassDoubleReplacing;
}

AudioEffect::~AudioEffect()
{
    delete editor;
    editor = nullptr;
}

// ---- trampolines ----

VstIntPtr AudioEffect::dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index,
                                           VstIntPtr value, void* ptr, float opt)
{
    AudioEffect* effect = static_cast<AudioEffect*>(e->object);
    if (opcode == effClose) {
        effect->dispatcher(opcode, index, value, ptr, opt);
        delete effect;
        return 1;
    }
    return effect->dispatcher(opcode, index, value, ptr, opt);
}

float AudioEffect::getParameterClass(AEffect* e, VstInt32 index)
{
    return static_cast<AudioEffect*>(e->object)->getParameter(index);
}

void AudioEffect::setParameterClass(AEffect* e, VstInt32 index, float value)
{
    static_cast<AudioEffect*>(e->object)->setParameter(index, value);
}

void AudioEffect::processClassReplacing(AEffect* e, float** inputs, float** outputs,
                                        VstInt32 sampleFrames)
{
    static_cast<AudioEffect*>(e->object)->processReplacing(inputs, outputs, sampleFrames);
}

void AudioEffect::processClassDoubleReplacing(AEffect* e, double** inputs, double** outputs,
                                              VstInt32 sampleFrames)
{
    static_cast<AudioEffect*>(e->object)->processDoubleReplacing(inputs, outputs, sampleFrames);
}

void AudioEffect::__processClassDeprecated(AEffect* e, float** inputs, float** outputs,
                                           VstInt32 sampleFrames)
{
    static_cast<AudioEffect*>(e->object)->__processDeprecated(inputs, outputs, sampleFrames);
}

// ---- dispatcher, opcodes 0 to 24 ----

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt)
{
    // Opcodes that read or write a caller's text or record do nothing without one.
    switch (opcode) {
    case effSetProgramName:
    case effGetProgramName:
    case effGetParamLabel:
    case effGetParamDisplay:
    case effGetParamName:
    case effEditGetRect:
    case effGetChunk:
    case effSetChunk:
        if (!ptr)
            return 0;
        break;
    default:
        break;
    }

    switch (opcode) {
    case effOpen:
        open();
        return 0;
    case effClose:
        close();
        return 0;
    case effSetProgram:
        if (value >= 0 && value < numPrograms)
            setProgram(static_cast<VstInt32>(value));
        return 0;
    case effGetProgram:
        return getProgram();
    case effSetProgramName:
        setProgramName(static_cast<char*>(ptr));
        return 0;
    case effGetProgramName:
        getProgramName(static_cast<char*>(ptr));
        return 0;
    case effGetParamLabel:
        getParameterLabel(index, static_cast<char*>(ptr));
        return 0;
    case effGetParamDisplay:
        getParameterDisplay(index, static_cast<char*>(ptr));
        return 0;
    case effGetParamName:
        getParameterName(index, static_cast<char*>(ptr));
        return 0;
    case effSetSampleRate:
        setSampleRate(opt);
        return 0;
    case effSetBlockSize:
        setBlockSize(static_cast<VstInt32>(value));
        return 0;
    case effMainsChanged:
        if (value == 0)
            suspend();
        else
            resume();
        return 0;
    case effEditGetRect:
        return editor ? (editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0) : 0;
    case effEditOpen:
        return editor ? (editor->open(ptr) ? 1 : 0) : 0;
    case effEditClose:
        if (editor)
            editor->close();
        return 0;
    case effEditIdle:
        if (editor)
            editor->idle();
        return 0;
    case effIdentify:
        return kVstIdentify;
    case effGetChunk:
        return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
        return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default:
        // effGetVu, the editor's draw/mouse/key/top/sleep and every unknown opcode.
        return 0;
    }
}

// ---- host calls ----

void AudioEffect::setParameterAutomated(VstInt32 index, float value)
{
    setParameter(index, value);
    callHost(audioMasterAutomate, index, 0, nullptr, value);
}

VstInt32 AudioEffect::getMasterVersion()
{
    const VstIntPtr version = callHost(audioMasterVersion);
    return version == 0 ? 1 : static_cast<VstInt32>(version);
}

VstInt32 AudioEffect::getCurrentUniqueId()
{
    return static_cast<VstInt32>(callHost(audioMasterCurrentId));
}

void AudioEffect::masterIdle()
{
    callHost(audioMasterIdle);
}

bool AudioEffect::__isInputConnectedDeprecated(VstInt32 input)
{
    return callHost(audioMasterPinConnected, input, 0) == 0;
}

bool AudioEffect::__isOutputConnectedDeprecated(VstInt32 output)
{
    return callHost(audioMasterPinConnected, output, 1) == 0;
}

// ---- text formatting ----

void AudioEffect::float2string(float value, char* text, VstInt32 maxLen)
{
    double v = value;
    if (std::isnan(v)) {
        // No caller here formats NaN; say so rather than print garbage digits.
        copyLimited(text, "NaN", maxLen);
        return;
    }
    const bool negative = v < 0.0;
    if ((negative && -v > 9999999.0) || (!negative && v > 99999999.0)) {
        copyLimited(text, "Huge!", maxLen);
        return;
    }
    if (negative)
        v = -v;

    // Integer part: the optional sign, the digits of floor(|v|), the point.
    // Below the "Huge!" limit it has at most nine digits.
    char integerText[16];
    char* s = integerText + sizeof(integerText) - 1;
    *s = 0;
    *--s = '.';
    double integer = std::floor(v);
    int used = 1;
    do {
        *--s = static_cast<char>('0' + static_cast<int>(std::fmod(integer, 10.0)));
        integer = std::floor(integer / 10.0);
        ++used;
    } while (integer >= 1.0);
    if (negative) {
        *--s = '-';
        ++used;
    }
    copyLimited(text, s, maxLen);

    // Fraction digits fill the eight characters; integers too long for the
    // budget (left open) are printed whole with the point and no fraction.
    const int fractionDigits = kFloatChars - used;
    if (fractionDigits <= 0)
        return;
    char fractionText[kFloatChars + 1];
    char* f = fractionText + fractionDigits;
    *f = 0;
    double mantissa = std::fmod(v, 1.0) * std::pow(10.0, fractionDigits);
    for (int i = 0; i < fractionDigits; ++i) {
        if (mantissa <= 0.0) {
            *--f = '0';
        } else {
            *--f = static_cast<char>('0' + static_cast<int>(std::fmod(mantissa, 10.0)));
            mantissa /= 10.0;
        }
    }
    appendLimited(text, fractionText, maxLen);
}

void AudioEffect::int2string(VstInt32 value, char* text, VstInt32 maxLen)
{
    int64_t magnitude = value;
    // Magnitudes of ten digits (only negative ones get past the first test)
    // do not fit the 10^8..1 digit places either.
    if (value > 99999999 || -magnitude > 999999999) {
        copyLimited(text, "Huge!", maxLen);
        return;
    }
    char digits[16];
    int c = 0;
    if (magnitude < 0) {
        digits[c++] = '-';
        magnitude = -magnitude;
    }
    bool started = false;
    for (int64_t place = 100000000; place >= 1; place /= 10) {
        const int64_t digit = magnitude / place;
        magnitude -= digit * place;
        if (started || digit > 0 || place == 1) {
            digits[c++] = static_cast<char>('0' + digit);
            started = true;
        }
    }
    digits[c] = 0;
    copyLimited(text, digits, maxLen);
}

void AudioEffect::dB2string(float value, char* text, VstInt32 maxLen)
{
    if (value <= 0.0f)
        copyLimited(text, "-oo", maxLen);
    else
        float2string(static_cast<float>(20.0 * std::log10(value)), text, maxLen);
}

void AudioEffect::Hz2string(float samples, char* text, VstInt32 maxLen)
{
    const float rate = getSampleRate();
    if (samples == 0.0f)
        float2string(0.0f, text, maxLen);
    else
        float2string(rate / samples, text, maxLen);
}

void AudioEffect::ms2string(float samples, char* text, VstInt32 maxLen)
{
    float2string(static_cast<float>(samples * 1000.0 / getSampleRate()), text, maxLen);
}
