#pragma once

#include <cmath>

// Polyphase IIR half-band low-pass from two branches of first-order all-pass
// sections. At the higher rate
//
//     H(z) = ½·(A(z²) + z⁻¹·B(z²)),   each section (a + z⁻²)/(1 + a·z⁻²),
//
// so at the lower rate each section is (a + z⁻¹)/(1 + a·z⁻¹). The cutoff is a
// quarter of the higher rate (−3 dB there); the stopband depends on the order
// (total sections in both branches) and on the steep or not-steep design.

// One all-pass section.
class CAllPassFilter {
public:
    explicit CAllPassFilter(double coefficient) : a(coefficient) {}

    void reset() { x0 = x1 = x2 = y0 = y1 = y2 = 0.0; }
    bool isFinite() const
    {
        return std::isfinite(x0) && std::isfinite(x1) && std::isfinite(x2) && std::isfinite(y0) &&
               std::isfinite(y1) && std::isfinite(y2);
    }

    // Full-rate form, y[n] = a·(x[n] − y[n−2]) + x[n−2].
    double process(double x)
    {
        x2 = x1;
        x1 = x0;
        x0 = x;
        y2 = y1;
        y1 = y0;
        y0 = a * (x - y2) + x2;
        return y0;
    }

    // Low-rate form: x2 and y2 act as one-sample memories.
    double processOpt(double x)
    {
        const double y = a * (x - y2) + x2;
        y2 = y;
        x2 = x;
        return y;
    }

    // The low-rate form's coefficient and memories, for code that runs
    // sections side by side and keeps their memories in registers.
    double coefficient() const { return a; }
    double lowRateInput() const { return x2; }
    double lowRateOutput() const { return y2; }
    void setLowRateMemories(double input, double output)
    {
        x2 = input;
        y2 = output;
    }

private:
    double a;                          // all-pass coefficient
    double x0 = 0.0, x1 = 0.0, x2 = 0.0; // last three inputs, newest first
    double y0 = 0.0, y1 = 0.0, y2 = 0.0; // last three outputs, newest first
};

// One branch: sections in series.
class CAllPassFilterCascade {
public:
    CAllPassFilterCascade(const double* coefficients, int count);
    ~CAllPassFilterCascade();

    CAllPassFilterCascade(const CAllPassFilterCascade&) = delete;
    CAllPassFilterCascade& operator=(const CAllPassFilterCascade&) = delete;

    double process(double x)
    {
        for (int i = 0; i < count; ++i)
            x = sections[i]->process(x);
        return x;
    }

    double processOpt(double x)
    {
        for (int i = 0; i < count; ++i)
            x = sections[i]->processOpt(x);
        return x;
    }

    void reset();
    bool isFinite() const
    {
        for (int i = 0; i < count; ++i)
            if (!sections[i]->isFinite())
                return false;
        return true;
    }
    int size() const { return count; }
    CAllPassFilter& section(int i) { return *sections[i]; }

private:
    CAllPassFilter** sections; // owned, one per coefficient
    int count;                 // at least 1
};

class CHalfBandFilter {
public:
    // Orders 4 to 12 (even) select a designed set; any other order the
    // order-2 filter.
    CHalfBandFilter(int order, bool steep);
    ~CHalfBandFilter();

    CHalfBandFilter(const CHalfBandFilter&) = delete;
    CHalfBandFilter& operator=(const CHalfBandFilter&) = delete;

    // Interpolate by 2: one low-rate sample in, the even and odd high-rate
    // samples out (zero-stuffing then 2·H(z), so the level is kept).
    void upsample(double x, double& first, double& second)
    {
        first = branchA->processOpt(x);
        second = branchB->processOpt(x);
    }

    // Decimate by 2: H(z), then every second sample.
    void downsample(double first, double second, double& out)
    {
        out = 0.5 * (branchA->processOpt(first) + previousBOutput);
        previousBOutput = branchB->processOpt(second);
    }

    double processDownsampleOpt(double first, double second)
    {
        double out;
        downsample(first, second, out);
        return out;
    }

    double processUpsampleOpt(double x)
    {
        const double a = branchA->processOpt(x);
        previousBOutput = branchB->processOpt(x);
        return a;
    }

    // The full filter at the high rate, one high-rate sample at a time,
    // running the branches at the low rate on alternate samples.
    double processFilterOpt(double x);

    // The full filter at the high rate with full-rate sections.
    double process(double x);
    double processUpsample(double x);

    void upsampleBlock(double* in, double* out, int upsampledSize);
    void downsampleBlock(double* in, double* out, int size);

    // upsample on in[0..count): out receives first, second, first, ...
    // (2·count samples). out must not overlap in.
    void upsampleSamples(const double* in, int count, double* out);
    // downsample on the pairs (in[2i], in[2i + 1]), i < count, into out[i].
    // out may be in.
    void downsamplePairs(const double* in, int count, double* out);

    // upsampleSamples and downsamplePairs on two filters at once (a stereo
    // pair's channels), bit for bit what the two single calls give: one
    // channel's sections wait on their own feedback, so running the two
    // together overlaps that wait. The same rules on overlap as the single
    // forms: outLeft may be inLeft and outRight inRight when decimating.
    static void upsampleSamplesTogether(CHalfBandFilter& left, CHalfBandFilter& right,
                                        const double* inLeft, const double* inRight, int count,
                                        double* outLeft, double* outRight);
    static void downsamplePairsTogether(CHalfBandFilter& left, CHalfBandFilter& right,
                                        const double* inLeft, const double* inRight, int count,
                                        double* outLeft, double* outRight);

    void reset();
    bool isFinite() const
    {
        return std::isfinite(previousBOutput) && branchA->isFinite() && branchB->isFinite();
    }

    int branchASize() const { return branchA->size(); }
    int branchBSize() const { return branchB->size(); }

private:
    // run(leftLanes, rightLanes) on both filters' branches as SSE2 lanes,
    // when their designs allow it; false when they do not.
    template <class Run>
    static bool inLanesTogether(CHalfBandFilter& left, CHalfBandFilter& right, Run&& run);

    double previousBOutput = 0.0;   // branch B's output, one low-rate sample late
    CAllPassFilterCascade* branchA; // owned
    CAllPassFilterCascade* branchB; // owned
    bool switchFilter = false;      // phase of processFilterOpt
};
