#pragma once

#include <cmath>
#include <cstdint>

#include "circuit/TDFII.h"

// The passive tone (20 kΩ pot) and level (100 kΩ pot) network after the
// clipping stage, as one fourth-order analogue transfer function turned into a
// digital filter by the bilinear transform. Pot moves glide: every
// interval-th sample the positions move 0.1 % of the way to their targets and
// the coefficients are recomputed.
class GRVToneLevelCircuit {
public:
    explicit GRVToneLevelCircuit(double sampleRate);
    ~GRVToneLevelCircuit();

    GRVToneLevelCircuit(const GRVToneLevelCircuit&) = delete;
    GRVToneLevelCircuit& operator=(const GRVToneLevelCircuit&) = delete;

    // tone must lie in 0..1 (the taper asserts it); level is taken as given.
    void setSettings(double tone, double level);

    double process(double x)
    {
        if (smoothing)
            smoothParameters();
        return filter->process(x);
    }

    void resetFilters();
    bool isFinite() const { return filter->isFinite() && std::isfinite(level) && std::isfinite(tone); }
    void setSampleRate(double sampleRate);
    void smoothParameters();
    void init();

    double getLevel() const { return level; }
    double getTone() const { return tone; }
    double getLevelTarget() const { return levelTarget; }
    double getToneTarget() const { return toneTarget; }
    bool isSmoothing() const { return smoothing; }
    uint32_t getInterval() const { return interval; }
    const TDFII& getFilter() const { return *filter; }

    static constexpr double P = 100000.0; // level pot track, ohms
    static constexpr double Q = 20000.0;  // tone pot track, ohms
    static constexpr double glideThreshold = 0.001; // stop when both are this close
    static constexpr double referenceRate = 44100.0; // one glide step per 1/44100 s
    static constexpr double toneTaper = 6.0;         // scaleToSCurve shape

private:
    static uint32_t intervalFor(double sampleRate);

    double level = 0.5;        // smoothed level position L
    double tone = 0.5;         // smoothed tone position T, after the taper
    double fs;                 // sample rate, Hz
    TDFII* filter;             // order 4, owned
    bool smoothing = false;    // positions still moving towards their targets
    double levelTarget = 0.5;
    double toneTarget = 0.5;   // already tapered
    uint32_t counter = 0;      // samples processed while smoothing; never reset
    uint32_t interval;         // samples between glide steps, at least 1
};
