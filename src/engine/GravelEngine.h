#pragma once

#include <atomic>
#include <cstdint>

#include "circuit/GRV.h"
#include "engine/GravelParameters.h"
#include "oversampling/HBOversamplerTemplate.h"

// The pedal: two channel models, each run by its own oversampler, driven by
// eleven parameter values normalised to 0..1. A plug-in format maps its own
// controls onto these values and hands its audio buffers to process().
//
// Threads: parameters and the sample rate may be set on any thread while the
// audio thread processes. A setter only records the value (atomics) and marks
// it pending; the next process call applies every pending change to both
// channels before its first sample, so no model setter, rate change or factor
// change ever overlaps the oversamplers' work. getParameter reads the recorded
// value at once.
class GravelEngine {
public:
    // Both channels at 44100 Hz with every parameter at its default.
    GravelEngine();
    ~GravelEngine();

    GravelEngine(const GravelEngine&) = delete;
    GravelEngine& operator=(const GravelEngine&) = delete;

    // Records a value for parameter index. A NaN changes nothing and returns
    // false, as does an index out of range; values outside 0..1 are clamped
    // as the models would clamp them.
    bool setParameter(int32_t index, float value);
    // The recorded value; 0 for an index out of range.
    float getParameter(int32_t index) const;
    static float defaultValue(int32_t index);

    // The channel-mode and bypass logic of Plugin Mode and Bypass without
    // recording the values.
    void setPluginMode(float value);
    void setPluginBypass(float value);

    // Host rates outside kMinSampleRate..kMaxSampleRate (NaN included) are
    // ignored and return false.
    bool setSampleRate(double rate);

    // One block: inputs read, outputs replaced. Any channel may be null (a
    // missing input is silence, a missing output is skipped); outputs may
    // share the inputs' memory. No allocation, no lock.
    void process(const float* in0, const float* in1, float* out0, float* out1, int32_t frames);
    void process(const double* in0, const double* in1, double* out0, double* out1, int32_t frames);

    // Applies what is pending now; only while no audio thread processes.
    void applyPendingChanges();
    // Takes every pending change and returns both channels (models and
    // half-band filters) to the state of a fresh engine at the current
    // settings; only while no audio thread processes. No allocation.
    void reset();

    // How long the circuit rings after its input stops, at the current
    // settings and rate: the frames until its answer to a full-scale impulse
    // stays below kDecayLevel, or -1 when it has not within
    // kDecayLimitSeconds. Runs a copy of the circuit: not on the audio thread.
    int64_t decayFrames() const;
    static constexpr double kDecayLevel = 1e-6; // -120 dBFS
    static constexpr double kDecayLimitSeconds = 30.0;

    // Oversampling factor of a normalised value: 2, 4 or 8.
    static unsigned factorFor(float value);

    // For tests on one thread: what the audio thread currently runs.
    const HBOversampler<GRV>& getOversamplerL() const { return *oversamplerL; }
    const HBOversampler<GRV>& getOversamplerR() const { return *oversamplerR; }
    uint16_t getProcessMode() const { return processMode.load(); }

    static constexpr double kLowFactorBelow = gravel::kLowFactorBelow;
    static constexpr double kHighFactorFrom = gravel::kHighFactorFrom;

    // Host rates the models run at (Hz); others are ignored.
    static constexpr double kMinSampleRate = 8000.0;
    static constexpr double kMaxSampleRate = 768000.0;

private:
    template <typename Sample>
    void processBlock(const Sample* in0, const Sample* in1, Sample* out0, Sample* out1,
                      int32_t frames);
    void resetChannels();
    bool channelsAreFinite() const;

    HBOversampler<GRV>* oversamplerL;
    HBOversampler<GRV>* oversamplerR;
    GRV* modelL;
    GRV* modelR;
    std::atomic<uint16_t> processMode{1}; // 0 bypass, 1 mono, 2 stereo; read once per block
    std::atomic<uint16_t> channelMode{1}; // 1 mono, 2 stereo; restored when bypass goes off
    std::atomic<float> values[kGRVNumParams];
    double inputGain; // 2 × Input Level; owned by the audio thread once processing

    // Hand-over to the audio thread: one bit per parameter index (and one for
    // the sample rate), set after the new value is recorded.
    std::atomic<uint32_t> pending{0};
    std::atomic<double> pendingSampleRate{44100.0};
};
static_assert(std::atomic<float>::is_always_lock_free, "parameter values must be lock-free");
