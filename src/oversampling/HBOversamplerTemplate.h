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

        scratch = new double[2 * maxFactor * blockFrames];
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
        delete[] scratch;
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

    // The model and every half-band stage hold finite values only.
    bool isFinite() const
    {
        if (!model->isFinite())
            return false;
        for (uint32_t s = 0; s < stages; ++s)
            if (!upsamplers[s]->isFinite() || !downsamplers[s]->isFinite())
                return false;
        return true;
    }

    bool isUsableFactor(unsigned f) const
    {
        return f >= 2 && f <= maxFactor && (f & (f - 1)) == 0;
    }

    // One host sample through the oversampled model; callers pass the current
    // factor and stage 0.
    double processOversampled(double x, unsigned f, unsigned stage)
    {
        HBOversampler* const single[1] = {this};
        const double in[1] = {x};
        double out[1];
        processOversampledLanes(single, in, f, stage, out);
        return out[0];
    }

    // The stereo pair: both channels through their oversamplers, the models'
    // Newton solves in lock step (Model::processLanes). The outputs equal
    // processOversampled's; oversamplers at different factors run one by one.
    static void processOversampledPair(HBOversampler& left, HBOversampler& right, double xLeft,
                                       double xRight, double& yLeft, double& yRight)
    {
        if (left.factor != right.factor) {
            yLeft = left.processOversampled(xLeft, left.factor, 0);
            yRight = right.processOversampled(xRight, right.factor, 0);
            return;
        }
        HBOversampler* const pair[2] = {&left, &right};
        const double in[2] = {xLeft, xRight};
        double out[2];
        processOversampledLanes(pair, in, left.factor, 0, out);
        yLeft = out[0];
        yRight = out[1];
    }

    // Interpolate through stage `stage`, run the next stage (or the model) on
    // both high-rate samples in time order, decimate back.
    template <int Lanes>
    static void processOversampledLanes(HBOversampler* const (&oversamplers)[Lanes],
                                        const double (&x)[Lanes], unsigned f, unsigned stage,
                                        double (&y)[Lanes])
    {
        // The factors in use unroll at compile time, so the whole tree of
        // stages inlines.
        switch (f) {
        case 2: processStages<2>(oversamplers, x, stage, y); return;
        case 4: processStages<4>(oversamplers, x, stage, y); return;
        case 8: processStages<8>(oversamplers, x, stage, y); return;
        default: break;
        }
        double first[Lanes], second[Lanes], y1[Lanes], y2[Lanes];
        upsampleLanes(oversamplers, stage, x, first, second);
        // A factor that is not a power of two, or deeper than the stages
        // built, runs the model at this level rather than recursing past the
        // last stage.
        if (f < 4 || f % 2 != 0 || stage + 1 >= oversamplers[0]->stages) {
            runModels(oversamplers, first, y1);
            runModels(oversamplers, second, y2);
        } else {
            processOversampledLanes(oversamplers, first, f / 2, stage + 1, y1);
            processOversampledLanes(oversamplers, second, f / 2, stage + 1, y2);
        }
        downsampleLanes(oversamplers, stage, y1, y2, y);
    }

    // Host frames processed per chunk by the block operations.
    static constexpr int blockFrames = 32;

    // A block of host samples: each stage interpolates a whole chunk, the
    // model runs over all of its model-rate samples at once
    // (Model::processLanesBlock, which overlaps the model's stages), and the
    // stages decimate back. Every filter and every model stage sees the same
    // samples in the same order as with processOversampled sample by sample,
    // so the output is the same. in and out may be the same buffer.
    void processOversampledBlock(const double* in, double* out, int n)
    {
        HBOversampler* const single[1] = {this};
        const double* const inputs[1] = {in};
        double* const outputs[1] = {out};
        processOversampledBlockLanes(single, inputs, outputs, n);
    }

    // The stereo pair over a block, the models' Newton solves in lock step.
    static void processOversampledPairBlock(HBOversampler& left, HBOversampler& right,
                                            const double* inLeft, const double* inRight,
                                            double* outLeft, double* outRight, int n)
    {
        HBOversampler* const pair[2] = {&left, &right};
        const double* const inputs[2] = {inLeft, inRight};
        double* const outputs[2] = {outLeft, outRight};
        processOversampledBlockLanes(pair, inputs, outputs, n);
    }

    template <int Lanes>
    static void processOversampledBlockLanes(HBOversampler* const (&oversamplers)[Lanes],
                                             const double* const (&in)[Lanes],
                                             double* const (&out)[Lanes], int n)
    {
        const unsigned f = oversamplers[0]->factor;
        bool together = true;
        for (int k = 1; k < Lanes; ++k)
            together = together && oversamplers[k]->factor == f;
        if (!together) {
            for (int k = 0; k < Lanes; ++k)
                oversamplers[k]->processOversampledBlock(in[k], out[k], n);
            return;
        }
        if (!oversamplers[0]->isUsableFactor(f)) {
            // processOversampled knows what to do with a factor no stage
            // count fits.
            for (int k = 0; k < Lanes; ++k)
                for (int i = 0; i < n; ++i)
                    out[k][i] = oversamplers[k]->processOversampled(in[k][i], f, 0);
            return;
        }
        unsigned stagesUsed = 0;
        for (unsigned rate = f; rate > 1; rate /= 2)
            ++stagesUsed;

        for (int start = 0; start < n; start += blockFrames) {
            const int frames = n - start < blockFrames ? n - start : blockFrames;
            double* modelSamples[Lanes];
            if constexpr (Lanes == 2) {
                // The two channels' filters of a stage run in one loop, so
                // that each overlaps the other's wait on its feedback.
                HBOversampler& left = *oversamplers[0];
                HBOversampler& right = *oversamplers[1];
                const double* fromLeft = in[0] + start;
                const double* fromRight = in[1] + start;
                int count = frames;
                for (unsigned s = 0; s < stagesUsed; ++s) {
                    double* toLeft = left.scratchBuffer(s % 2);
                    double* toRight = right.scratchBuffer(s % 2);
                    CHalfBandFilter::upsampleSamplesTogether(*left.upsamplers[s],
                                                             *right.upsamplers[s], fromLeft,
                                                             fromRight, count, toLeft, toRight);
                    fromLeft = toLeft;
                    fromRight = toRight;
                    count *= 2;
                }
                modelSamples[0] = left.scratchBuffer((stagesUsed - 1) % 2);
                modelSamples[1] = right.scratchBuffer((stagesUsed - 1) % 2);
            } else {
                for (int k = 0; k < Lanes; ++k) {
                    HBOversampler& o = *oversamplers[k];
                    const double* from = in[k] + start;
                    int count = frames;
                    for (unsigned s = 0; s < stagesUsed; ++s) {
                        double* to = o.scratchBuffer(s % 2);
                        o.upsamplers[s]->upsampleSamples(from, count, to);
                        from = to;
                        count *= 2;
                    }
                    modelSamples[k] = o.scratchBuffer((stagesUsed - 1) % 2);
                }
            }

            Model* models[Lanes];
            const double* modelIn[Lanes];
            for (int k = 0; k < Lanes; ++k) {
                models[k] = oversamplers[k]->model;
                modelIn[k] = modelSamples[k];
            }
            Model::processLanesBlock(models, modelIn, modelSamples, frames * static_cast<int>(f));

            if constexpr (Lanes == 2) {
                HBOversampler& left = *oversamplers[0];
                HBOversampler& right = *oversamplers[1];
                const double* fromLeft = modelSamples[0];
                const double* fromRight = modelSamples[1];
                int count = frames * static_cast<int>(f);
                for (unsigned s = stagesUsed; s-- > 0;) {
                    double* toLeft = s == 0 ? out[0] + start : left.scratchBuffer((s + 1) % 2);
                    double* toRight = s == 0 ? out[1] + start : right.scratchBuffer((s + 1) % 2);
                    count /= 2;
                    CHalfBandFilter::downsamplePairsTogether(*left.downsamplers[s],
                                                             *right.downsamplers[s], fromLeft,
                                                             fromRight, count, toLeft, toRight);
                    fromLeft = toLeft;
                    fromRight = toRight;
                }
            } else {
                for (int k = 0; k < Lanes; ++k) {
                    HBOversampler& o = *oversamplers[k];
                    const double* from = modelSamples[k];
                    int count = frames * static_cast<int>(f);
                    for (unsigned s = stagesUsed; s-- > 0;) {
                        double* to = s == 0 ? out[k] + start : o.scratchBuffer((s + 1) % 2);
                        count /= 2;
                        o.downsamplers[s]->downsamplePairs(from, count, to);
                        from = to;
                    }
                }
            }
        }
    }

    CHalfBandFilter** upsamplers;   // one per stage, owned
    CHalfBandFilter** downsamplers; // one per stage, owned
    Model* model;                   // not owned
    uint32_t stages;                // 2x stages: log2 of the maximum factor
    uint32_t factor;                // current factor
    uint32_t maxFactor;             // the constructor's maxRate
    double baseRate;                // host sample rate, Hz

private:
    // Two buffers of blockFrames · maxFactor samples each, used in turn by
    // the stages of the block operations.
    double* scratchBuffer(unsigned which) { return scratch + which * maxFactor * blockFrames; }

    double* scratch; // owned

    template <unsigned F, int Lanes>
    static void processStages(HBOversampler* const (&oversamplers)[Lanes],
                              const double (&x)[Lanes], unsigned stage, double (&y)[Lanes])
    {
        double first[Lanes], second[Lanes], y1[Lanes], y2[Lanes];
        upsampleLanes(oversamplers, stage, x, first, second);
        if constexpr (F == 2) {
            runModels(oversamplers, first, y1);
            runModels(oversamplers, second, y2);
        } else {
            processStages<F / 2>(oversamplers, first, stage + 1, y1);
            processStages<F / 2>(oversamplers, second, stage + 1, y2);
        }
        downsampleLanes(oversamplers, stage, y1, y2, y);
    }

    template <int Lanes>
    static void upsampleLanes(HBOversampler* const (&oversamplers)[Lanes], unsigned stage,
                              const double (&x)[Lanes], double (&first)[Lanes],
                              double (&second)[Lanes])
    {
        for (int k = 0; k < Lanes; ++k)
            oversamplers[k]->upsamplers[stage]->upsample(x[k], first[k], second[k]);
    }

    template <int Lanes>
    static void downsampleLanes(HBOversampler* const (&oversamplers)[Lanes], unsigned stage,
                                const double (&y1)[Lanes], const double (&y2)[Lanes],
                                double (&y)[Lanes])
    {
        for (int k = 0; k < Lanes; ++k)
            oversamplers[k]->downsamplers[stage]->downsample(y1[k], y2[k], y[k]);
    }

    // One high-rate sample per lane through the models; several lanes need
    // Model::processLanes, a single one only Model::process.
    template <int Lanes>
    static void runModels(HBOversampler* const (&oversamplers)[Lanes], const double (&x)[Lanes],
                          double (&y)[Lanes])
    {
        if constexpr (Lanes == 1) {
            y[0] = oversamplers[0]->model->process(x[0]);
        } else {
            Model* models[Lanes];
            for (int k = 0; k < Lanes; ++k)
                models[k] = oversamplers[k]->model;
            Model::processLanes(models, x, y);
        }
    }

    static constexpr const char* source = "src/oversampling/HBOversamplerTemplate";
};
