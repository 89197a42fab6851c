#include "plugin/VST_GRV.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace {

// Program slot of each parameter index; slot 9 is reserved and never read.
constexpr int kSlotOfIndex[kGRVNumParams] = {10, 0, 1, 2, 3, 4, 5, 6, 7, 8, 11};

constexpr float kSlotDefaults[kGRVNumSlots] = {
    0.0f, // Drive
    0.5f, // Tone
    0.5f, // Level
    0.0f, // Asym.
    0.0f, // Fat
    1.0f, // In Buffer
    1.0f, // Out Buffer
    0.0f, // Plugin Mode
    0.0f, // Bypass
    0.0f, // reserved
    0.5f, // Input Level
    0.0f, // Oversampling
};

constexpr const char* kParameterNames[kGRVNumParams] = {
    "Input Level", "Drive",      "Tone",        "Level",  "Asym.",       "Fat",
    "In Buffer",   "Out Buffer", "Plugin Mode", "Bypass", "Oversampling",
};

constexpr uint32_t kSampleRateBit = 1u << kGRVNumParams;
constexpr uint32_t kAllParameterBits = (1u << kGRVNumParams) - 1;

constexpr const char* kEffectName = "Gravel v1.5.2";
constexpr const char* kVendor = "Brackenfold";
constexpr const char* kProduct = "Gravel Rumbledrift Overdrive v1.5.2";
constexpr VstInt32 kVendorVersion = 1520;
// Host frames handed to the oversamplers at a time (stack buffers, no allocation).
constexpr int kChunkFrames = HBOversampler<GRV>::blockFrames;
// Vendor and product texts are zero-filled over the 64 bytes that hosts
// reserve for them. Filling through byte 64 (65 bytes) would write one byte
// past such a buffer into the host's memory.
constexpr size_t kIdentityFill = 64;

constexpr uint32_t bit(VstInt32 index)
{
    return 1u << index;
}

bool isOn(float v)
{
    return v >= 0.5f;
}

// Flush-to-zero and denormals-are-zero for one process call; the caller's
// floating-point control state comes back when the call returns.
class DenormalGuard {
public:
#if defined(__SSE__) || defined(__x86_64__)
    DenormalGuard() : saved(_mm_getcsr()) { _mm_setcsr(saved | 0x8040u); }
    ~DenormalGuard() { _mm_setcsr(saved); }

private:
    unsigned saved;
#elif defined(__aarch64__)
    // The FZ bit of FPCR flushes both operands and results.
    DenormalGuard()
    {
        __asm__ __volatile__("mrs %0, fpcr" : "=r"(saved));
        __asm__ __volatile__("msr fpcr, %0" ::"r"(saved | (1ull << 24)));
    }
    ~DenormalGuard() { __asm__ __volatile__("msr fpcr, %0" ::"r"(saved)); }

private:
    unsigned long long saved;
#else
    // No flush mode is known for this processor; denormals run slowly but
    // correctly.
#endif
};

} // namespace

VST_GRVProgram::VST_GRVProgram()
{
    for (int slot = 0; slot < kGRVNumSlots; ++slot)
        values[slot].store(kSlotDefaults[slot], std::memory_order_relaxed);
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
    for (int slot = 0; slot < kGRVNumSlots; ++slot)
        values[slot].store(kSlotDefaults[slot], std::memory_order_relaxed);
    inputGain = 1.0;

    modelL = new GRV(44100.0);
    modelR = new GRV(44100.0);
    oversamplerL = new HBOversampler<GRV>(modelL, 8, 12, false, 44100.0);
    oversamplerR = new HBOversampler<GRV>(modelR, 8, 12, false, 44100.0);

    setProgram(0);
    // No audio thread exists yet: the models take the program now.
    applyPendingChanges();

    if (makeEditor)
        setEditor(makeEditor(this));
}

VST_GRV::~VST_GRV()
{
    delete[] programs;
    delete modelL;
    delete modelR;
    delete oversamplerL;
    delete oversamplerR;
    programs = nullptr;
    modelL = modelR = nullptr;
    oversamplerL = oversamplerR = nullptr;
}

// ---- parameters ----

float VST_GRV::slotValue(VstInt32 index) const
{
    return values[kSlotOfIndex[index]].load(std::memory_order_relaxed);
}

unsigned VST_GRV::factorFor(float value)
{
    const double v = value;
    if (v < kLowFactorBelow)
        return 2;
    if (v < kHighFactorFrom)
        return 4;
    return 8;
}

void VST_GRV::setParameter(VstInt32 index, float value)
{
    if (index >= 0 && index < kGRVNumParams) {
        // A NaN from the host changes nothing (the models, the stored value
        // and the display keep the previous setting); values outside 0..1 are
        // clamped as the models would clamp them.
        if (std::isnan(value))
            return;
        value = value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);

        const int slot = kSlotOfIndex[index];
        programs[curProgram].values[slot].store(value, std::memory_order_relaxed);
        values[slot].store(value, std::memory_order_relaxed);

        if (index == kPluginMode)
            setPluginMode(value);
        else if (index == kBypass)
            setPluginBypass(value);
        else
            pending.fetch_or(bit(index), std::memory_order_release);
    }
    if (editor)
        editor->setParameter(index, value);
}

void VST_GRV::setPluginMode(float value)
{
    const uint16_t mode = isOn(value) ? 2 : 1;
    channelMode.store(mode);
    if (processMode.load() != 0)
        processMode.store(mode);
}

void VST_GRV::setPluginBypass(float value)
{
    processMode.store(isOn(value) ? 0 : channelMode.load());
}

float VST_GRV::getParameter(VstInt32 index)
{
    if (index < 0 || index >= kGRVNumParams)
        return 0.0f;
    return slotValue(index);
}

void VST_GRV::getParameterName(VstInt32 index, char* text)
{
    if (index < 0 || index >= kGRVNumParams)
        return;
    std::strcpy(text, kParameterNames[index]);
}

void VST_GRV::getParameterLabel(VstInt32 index, char* text)
{
    if (index < 0 || index >= kGRVNumParams)
        return;
    std::strcpy(text, (index == kInputLevel || index == kOversampling) ? "x" : "");
}

void VST_GRV::getParameterDisplay(VstInt32 index, char* text)
{
    if (index < 0 || index >= kGRVNumParams)
        return;
    const float v = slotValue(index);
    switch (index) {
    case kInputLevel:
        float2string(2.0f * v, text, 4);
        break;
    case kDrive:
    case kTone:
    case kLevel:
        float2string(10.0f * v, text, 4);
        break;
    case kPluginMode:
        std::strcpy(text, isOn(v) ? "Stereo" : "Mono");
        break;
    case kOversampling:
        std::snprintf(text, 2, "%u", factorFor(v));
        break;
    default: // the On/Off switches
        std::strcpy(text, isOn(v) ? "On" : "Off");
        break;
    }
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
    // Rates outside 8 kHz to 768 kHz (NaN included) are ignored: zero or
    // negative ones fill every filter with NaN, and a huge one overflows the
    // tone glide's step counter. Up to 8x that is a 6.1 MHz model, which the
    // circuit still runs at.
    if (!(rate >= kMinSampleRate && rate <= kMaxSampleRate))
        return;
    AudioEffectX::setSampleRate(rate);
    pendingSampleRate.store(rate, std::memory_order_relaxed);
    pending.fetch_or(kSampleRateBit, std::memory_order_release);
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

// Runs on the audio thread at the start of a block (and once in the
// constructor, before any audio thread exists).
void VST_GRV::applyPendingChanges()
{
    const uint32_t changes = pending.exchange(0, std::memory_order_acquire);
    if (changes == 0)
        return;

    HBOversampler<GRV>* const oversamplers[2] = {oversamplerL, oversamplerR};

    if (changes & kSampleRateBit) {
        const double rate = pendingSampleRate.load(std::memory_order_relaxed);
        for (HBOversampler<GRV>* o : oversamplers) {
            o->baseRate = rate;
            o->model->setSampleRate(o->factor * rate);
        }
    }
    if (changes & kAllParameterBits) {
        for (HBOversampler<GRV>* o : oversamplers) {
            GRV* model = o->model;
            if (changes & bit(kDrive))
                model->setParameterDrive(slotValue(kDrive));
            if (changes & (bit(kTone) | bit(kLevel)))
                model->setParameterToneLevel(slotValue(kTone), slotValue(kLevel));
            if (changes & bit(kAsym))
                model->setParameterClippingType(slotValue(kAsym));
            if (changes & bit(kFat))
                model->setParameterFatMode(slotValue(kFat));
            if (changes & bit(kInBuffer))
                model->setParameterInputBuffer(slotValue(kInBuffer));
            if (changes & bit(kOutBuffer))
                model->setParameterOutputBuffer(slotValue(kOutBuffer));
        }
        if (changes & bit(kInputLevel))
            inputGain = 2.0 * static_cast<double>(slotValue(kInputLevel));
        if (changes & bit(kOversampling)) {
            const unsigned f = factorFor(slotValue(kOversampling));
            oversamplerL->setOversamplingFactor(f);
            oversamplerR->setOversamplingFactor(f);
        }
    }
}

void VST_GRV::resetChannels()
{
    for (HBOversampler<GRV>* o : {oversamplerL, oversamplerR}) {
        o->model->resetFilters();
        for (uint32_t s = 0; s < o->stages; ++s) {
            o->upsamplers[s]->reset();
            o->downsamplers[s]->reset();
        }
    }
}

bool VST_GRV::channelsAreFinite() const
{
    return oversamplerL->isFinite() && oversamplerR->isFinite();
}

namespace {

// The loudest a float sample can ask of the models, at the highest gain.
// Doubles beyond it are taken at it: the model stays finite up to here, and a
// 9 V pedal hears nothing louder in them.
constexpr double kLoudestModelInput = 2.0 * static_cast<double>(FLT_MAX);

// One host sample times the input gain, as the models take it. A missing
// channel, NaN or infinity is silence: none of them may reach a model's state.
template <typename Sample>
double modelInput(const Sample* channel, VstInt32 i, double gain)
{
    if (!channel)
        return 0.0;
    const double x = static_cast<double>(channel[i]) * gain;
    if (!std::isfinite(x))
        return 0.0;
    return std::min(std::max(x, -kLoudestModelInput), kLoudestModelInput);
}

template <typename Sample>
void writeOutput(Sample* channel, VstInt32 i, double y)
{
    if (channel)
        channel[i] = static_cast<Sample>(y);
}

} // namespace

template <typename Sample>
void VST_GRV::processBlock(Sample** inputs, Sample** outputs, VstInt32 sampleFrames)
{
    if (sampleFrames <= 0 || !inputs || !outputs)
        return;
    DenormalGuard denormals;
    applyPendingChanges();

    // A host may hand a null channel: a missing input is silence, a missing
    // output is skipped.
    const Sample* in0 = inputs[0];
    const Sample* in1 = inputs[1];
    Sample* out0 = outputs[0];
    Sample* out1 = outputs[1];
    const double gain = inputGain;

    switch (processMode.load(std::memory_order_relaxed)) {
    case 0:
        for (VstInt32 i = 0; i < sampleFrames; ++i) {
            // Both read before either is written: the buffers may be shared.
            const Sample l = in0 ? in0[i] : Sample(0);
            const Sample r = in1 ? in1[i] : Sample(0);
            if (out0)
                out0[i] = l;
            if (out1)
                out1[i] = r;
        }
        break;
    case 1:
        for (VstInt32 start = 0; start < sampleFrames; start += kChunkFrames) {
            const int n = std::min<VstInt32>(kChunkFrames, sampleFrames - start);
            double x[kChunkFrames];
            for (int i = 0; i < n; ++i)
                x[i] = modelInput(in0, start + i, gain);
            oversamplerL->processOversampledBlock(x, x, n);
            for (int i = 0; i < n; ++i) {
                writeOutput(out0, start + i, x[i]);
                writeOutput(out1, start + i, x[i]);
            }
        }
        break;
    default:
        for (VstInt32 start = 0; start < sampleFrames; start += kChunkFrames) {
            const int n = std::min<VstInt32>(kChunkFrames, sampleFrames - start);
            double xl[kChunkFrames], xr[kChunkFrames];
            // The whole chunk is read before any of it is written: the host's
            // buffers may be shared.
            for (int i = 0; i < n; ++i) {
                xl[i] = modelInput(in0, start + i, gain);
                xr[i] = modelInput(in1, start + i, gain);
            }
            // Both channels in lock step, their models' stages overlapping;
            // each comes out as it would sample by sample alone.
            HBOversampler<GRV>::processOversampledPairBlock(*oversamplerL, *oversamplerR, xl, xr, xl,
                                                            xr, n);
            for (int i = 0; i < n; ++i) {
                writeOutput(out0, start + i, xl[i]);
                writeOutput(out1, start + i, xr[i]);
            }
        }
        break;
    }

    // A channel whose state went non-finite starts the next block clean. The
    // state is checked, not the last output: the half-band stages delay the
    // damage, so a block can end on a finite sample with the model already
    // lost.
    if (!channelsAreFinite())
        resetChannels();
}

void VST_GRV::processReplacing(float** inputs, float** outputs, VstInt32 sampleFrames)
{
    processBlock(inputs, outputs, sampleFrames);
}

void VST_GRV::processDoubleReplacing(double** inputs, double** outputs, VstInt32 sampleFrames)
{
    processBlock(inputs, outputs, sampleFrames);
}
