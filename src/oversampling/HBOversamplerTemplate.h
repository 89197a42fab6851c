#pragma once

#include <cstdint>

#include "oversampling/BandLimit.h"
#include "utils/Assert.h"

// Runs a model at 2, 4 or 8 times the host rate between cascades of 2x
// half-band stages: each host sample is interpolated stage by stage, every
// high-rate sample goes through the model in time order, and the results are
// decimated back through the mirror stages. Stage 0 works at the host rate.
//
// Model needs process(double) -> double and setSampleRate(double).
template <class Model>
class HBOversampler {
public:
    HBOversampler(Model* model, unsigned maxRate, unsigned order, bool steep, double sampleRate)
    {
        GRAVEL_ASSERT(maxRate>0, source, 44);
        GRAVEL_ASSERT(maxRate%2==0, source, 45);
        GRAVEL_ASSERT(order>0, source, 47);
        GRAVEL_ASSERT(order%2==0, source, 48);
        GRAVEL_ASSERT(order<=12, source, 49);

        stages = 0;
        for (unsigned rate = maxRate; rate > 1; rate /= 2)
            ++stages;
        this->model = model;
        baseRate = sampleRate;
        factor = maxFactor = maxRate;

        upsamplers = new CHalfBandFilter*[stages];
        downsamplers = new CHalfBandFilter*[stages];
        for (uint32_t s = 0; s < stages; ++s) {
            upsamplers[s] = new CHalfBandFilter(static_cast<int>(order), steep);
            downsamplers[s] = new CHalfBandFilter(static_cast<int>(order), steep);
        }
    }

    virtual ~HBOversampler()
    {
        for (uint32_t s = 0; s < stages; ++s) {
            delete upsamplers[s];
            delete downsamplers[s];
        }
        delete[] upsamplers;
        delete[] downsamplers;
    }

    HBOversampler(const HBOversampler&) = delete;
    HBOversampler& operator=(const HBOversampler&) = delete;

    // A factor change switches the model to the new rate (which resets it) and
    // clears every stage, so the new factor starts from silence.
    void setOversamplingFactor(unsigned f)
    {
        GRAVEL_ASSERT(f<=maxFactor, source, 101);
        GRAVEL_ASSERT(f%2==0, source, 102);
        // processOversampled only terminates for powers of two from 2 up to
        // the stages built; anything else (0, 6, above the maximum) keeps the
        // current factor.
        if (!isUsableFactor(f) || f == factor)
            return;
        factor = f;
        model->setSampleRate(f * baseRate);
        for (uint32_t s = 0; s < stages; ++s) {
            upsamplers[s]->reset();
            downsamplers[s]->reset();
        }
    }

    bool isUsableFactor(unsigned f) const
    {
        return f >= 2 && f <= maxFactor && (f & (f - 1)) == 0;
    }

    // One host sample through the oversampled model; callers pass the current
    // factor and stage 0.
    double processOversampled(double x, unsigned f, unsigned stage)
    {
        double first, second;
        upsamplers[stage]->upsample(x, first, second);
        double y1, y2;
        if (f == 2) {
            y1 = model->process(first);
            y2 = model->process(second);
        } else {
            y1 = processOversampled(first, f / 2, stage + 1);
            y2 = processOversampled(second, f / 2, stage + 1);
        }
        double y;
        downsamplers[stage]->downsample(y1, y2, y);
        return y;
    }

    CHalfBandFilter** upsamplers;   // one per stage, owned
    CHalfBandFilter** downsamplers; // one per stage, owned
    Model* model;                   // not owned
    uint32_t stages;                // 2x stages: log2 of the maximum factor
    uint32_t factor;                // current factor
    uint32_t maxFactor;             // the constructor's maxRate
    double baseRate;                // host sample rate, Hz

private:
    static constexpr const char* source = "src/oversampling/HBOversamplerTemplate";
};
