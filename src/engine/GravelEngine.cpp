#include "engine/GravelEngine.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace {

constexpr uint32_t kSampleRateBit = 1u << kGRVNumParams;
constexpr uint32_t kAllParameterBits = (1u << kGRVNumParams) - 1;

// Host frames handed to the oversamplers at a time (stack buffers, no allocation).
constexpr int kChunkFrames = HBOversampler<GRV>::blockFrames;

constexpr uint32_t bit(int32_t index)
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

// The loudest a float sample can ask of the models, at the highest gain.
// Doubles beyond it are taken at it: the model stays finite up to here, and a
// 9 V pedal hears nothing louder in them.
constexpr double kLoudestModelInput = 2.0 * static_cast<double>(FLT_MAX);

// One host sample times the input gain, as the models take it. A missing
// channel, NaN or infinity is silence: none of them may reach a model's state.
template <typename Sample>
double modelInput(const Sample* channel, int32_t i, double gain)
{
    if (!channel)
        return 0.0;
    const double x = static_cast<double>(channel[i]) * gain;
    if (!std::isfinite(x))
        return 0.0;
    return std::min(std::max(x, -kLoudestModelInput), kLoudestModelInput);
}

template <typename Sample>
void writeOutput(Sample* channel, int32_t i, double y)
{
    if (channel)
        channel[i] = static_cast<Sample>(y);
}

} // namespace

GravelEngine::GravelEngine()
{
    for (int32_t index = 0; index < kGRVNumParams; ++index)
        values[index].store(defaultValue(index), std::memory_order_relaxed);
    inputGain = 1.0;

    modelL = new GRV(44100.0);
    modelR = new GRV(44100.0);
    oversamplerL = new HBOversampler<GRV>(modelL, 8, 12, false, 44100.0);
    oversamplerR = new HBOversampler<GRV>(modelR, 8, 12, false, 44100.0);

    // Switches before bypass, so that bypass off restores the channel mode.
    for (int32_t index = kDrive; index <= kBypass; ++index)
        setParameter(index, defaultValue(index));
    setParameter(kInputLevel, defaultValue(kInputLevel));
    setParameter(kOversampling, defaultValue(kOversampling));
    // No audio thread exists yet: the models take the defaults now.
    applyPendingChanges();
}

GravelEngine::~GravelEngine()
{
    // An oversampler does not own its model.
    delete modelL;
    delete modelR;
    delete oversamplerL;
    delete oversamplerR;
}

// ---- parameters ----

float GravelEngine::defaultValue(int32_t index)
{
    return gravel::defaultValue(index);
}

unsigned GravelEngine::factorFor(float value)
{
    return gravel::oversamplingFactorFor(value);
}

bool GravelEngine::setParameter(int32_t index, float value)
{
    // A NaN changes nothing: the models and the recorded value keep the
    // previous setting.
    if (index < 0 || index >= kGRVNumParams || std::isnan(value))
        return false;
    value = value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
    values[index].store(value, std::memory_order_relaxed);

    if (index == kPluginMode)
        setPluginMode(value);
    else if (index == kBypass)
        setPluginBypass(value);
    else
        pending.fetch_or(bit(index), std::memory_order_release);
    return true;
}

float GravelEngine::getParameter(int32_t index) const
{
    if (index < 0 || index >= kGRVNumParams)
        return 0.0f;
    return values[index].load(std::memory_order_relaxed);
}

void GravelEngine::setPluginMode(float value)
{
    const uint16_t mode = isOn(value) ? 2 : 1;
    channelMode.store(mode);
    if (processMode.load() != 0)
        processMode.store(mode);
}

void GravelEngine::setPluginBypass(float value)
{
    processMode.store(isOn(value) ? 0 : channelMode.load());
}

bool GravelEngine::setSampleRate(double rate)
{
    // Zero or negative rates fill every filter with NaN, and a huge one
    // overflows the tone glide's step counter. Up to 8x the highest is a
    // 6.1 MHz model, which the circuit still runs at.
    if (!(rate >= kMinSampleRate && rate <= kMaxSampleRate))
        return false;
    pendingSampleRate.store(rate, std::memory_order_relaxed);
    pending.fetch_or(kSampleRateBit, std::memory_order_release);
    return true;
}

// ---- audio thread ----

// Runs on the audio thread at the start of a block (and before any audio
// thread exists).
void GravelEngine::applyPendingChanges()
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
                model->setParameterDrive(getParameter(kDrive));
            if (changes & (bit(kTone) | bit(kLevel)))
                model->setParameterToneLevel(getParameter(kTone), getParameter(kLevel));
            if (changes & bit(kAsym))
                model->setParameterClippingType(getParameter(kAsym));
            if (changes & bit(kFat))
                model->setParameterFatMode(getParameter(kFat));
            if (changes & bit(kInBuffer))
                model->setParameterInputBuffer(getParameter(kInBuffer));
            if (changes & bit(kOutBuffer))
                model->setParameterOutputBuffer(getParameter(kOutBuffer));
        }
        if (changes & bit(kInputLevel))
            inputGain = 2.0 * static_cast<double>(getParameter(kInputLevel));
        if (changes & bit(kOversampling)) {
            const unsigned f = factorFor(getParameter(kOversampling));
            oversamplerL->setOversamplingFactor(f);
            oversamplerR->setOversamplingFactor(f);
        }
    }
}

void GravelEngine::reset()
{
    applyPendingChanges();
    resetChannels();
}

void GravelEngine::resetChannels()
{
    for (HBOversampler<GRV>* o : {oversamplerL, oversamplerR}) {
        o->model->resetFilters();
        for (uint32_t s = 0; s < o->stages; ++s) {
            o->upsamplers[s]->reset();
            o->downsamplers[s]->reset();
        }
    }
}

int64_t GravelEngine::decayFrames() const
{
    GravelEngine probe;
    for (int32_t index = kDrive; index <= kBypass; ++index)
        probe.setParameter(index, getParameter(index));
    probe.setParameter(kInputLevel, getParameter(kInputLevel));
    probe.setParameter(kOversampling, getParameter(kOversampling));
    const double rate = pendingSampleRate.load(std::memory_order_relaxed);
    probe.setSampleRate(rate);
    probe.reset();

    // Quiet for this long counts as decayed: longer than any zero crossing
    // of the coupling filters' slow ring.
    const int64_t quietFrames = int64_t(0.1 * rate);
    const int64_t limit = int64_t(kDecayLimitSeconds * rate);
    int64_t lastLoud = 0;
    float left[kChunkFrames], right[kChunkFrames];
    for (int64_t start = 0; start < limit && start - lastLoud < quietFrames; start += kChunkFrames) {
        std::fill(left, left + kChunkFrames, 0.0f);
        std::fill(right, right + kChunkFrames, 0.0f);
        if (start == 0)
            left[0] = right[0] = 1.0f;
        probe.process(left, right, left, right, kChunkFrames);
        for (int i = 0; i < kChunkFrames; ++i)
            if (std::fabs(left[i]) >= kDecayLevel || std::fabs(right[i]) >= kDecayLevel)
                lastLoud = start + i + 1;
    }
    return lastLoud + quietFrames >= limit ? -1 : lastLoud;
}

bool GravelEngine::channelsAreFinite() const
{
    return oversamplerL->isFinite() && oversamplerR->isFinite();
}

template <typename Sample>
void GravelEngine::processBlock(const Sample* in0, const Sample* in1, Sample* out0, Sample* out1,
                                int32_t frames)
{
    if (frames <= 0)
        return;
    DenormalGuard denormals;
    applyPendingChanges();

    const double gain = inputGain;

    switch (processMode.load(std::memory_order_relaxed)) {
    case 0:
        for (int32_t i = 0; i < frames; ++i) {
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
        for (int32_t start = 0; start < frames; start += kChunkFrames) {
            const int n = std::min<int32_t>(kChunkFrames, frames - start);
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
        for (int32_t start = 0; start < frames; start += kChunkFrames) {
            const int n = std::min<int32_t>(kChunkFrames, frames - start);
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

void GravelEngine::process(const float* in0, const float* in1, float* out0, float* out1,
                           int32_t frames)
{
    processBlock(in0, in1, out0, out1, frames);
}

void GravelEngine::process(const double* in0, const double* in1, double* out0, double* out1,
                           int32_t frames)
{
    processBlock(in0, in1, out0, out1, frames);
}
