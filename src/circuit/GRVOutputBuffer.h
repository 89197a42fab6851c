#pragma once

#include <cmath>

#include "circuit/Newton.h"
#include "circuit/NewtonStart.h"
#include "utils/MathUtils.h"

// The pedal's output buffer: an emitter follower driven by the biased tone
// stage output, then Rb, the output coupling capacitor and the load.
//
//   x (base) ── transistor ── E ─Ra─ ground
//                             E ─Rb─ Q ─C─ O ─Rc─ ground   (output vO)
//
// C is a trapezoidal companion; vE is solved by Newton's method.
class GRVOutputBuffer {
public:
    explicit GRVOutputBuffer(double sampleRate);
    virtual ~GRVOutputBuffer() = default;

    void setSampleRate(double sampleRate);
    void optimize();
    void resetFilters();
    bool isFinite() const { return MathUtils::allFinite({vQ1, vO1, iC1, vE1, x1}); }

    inline double process(double x);

    // Several buffers one sample each, their Newton solves in lock step.
    template <int Lanes>
    static void processLanes(GRVOutputBuffer* const (&stages)[Lanes], const double (&x)[Lanes],
                             double (&y)[Lanes]);

    int lastIterations() const { return last.iterations; }

    static constexpr double Is = 6.7e-15;          // transistor saturation current, A
    static constexpr double invVt = 38.7596899;    // 1/Vt, per volt
    static constexpr double restEmitter = 3.86075; // emitter at rest for a 4.5 V base, V

private:
    // Components (fixed).
    const double C = 1e-5;      // output coupling capacitor, F
    const double Ra = 10000.0;  // emitter resistor to ground
    const double Rb = 100.0;    // series resistor between emitter and capacitor
    const double Rc = 10000.0;  // load resistor to ground
    const double Ga = 1.0 / Ra;
    const double Gb = 1.0 / Rb;
    const double Gc = 1.0 / Rc;

    // Pre-computed, with b = 2·fs·C, S = Gb·Gc + b·Gc + b·Gb and
    // A = −(Ga·Gb·Gc + b·(Ga·Gc + Ga·Gb + Gb·Gc)).
    double invS = 0.0;        // 1/S
    double A = 0.0;           // the residual's vE term
    double bGbGc = 0.0;       // b·Gb·Gc
    double IsS = 0.0;         // Is·S
    double GbGc = 0.0;        // Gb·Gc
    double minusIsS = 0.0;    // −Is·S
    double slopeCoeff = 0.0;  // −(1/Vt)·Is·S
    double slopeA = 0.0;      // A, the slope's constant term
    double bGb = 0.0;         // b·Gb
    double GcOverGb = 0.0;    // Gc/Gb
    double b = 0.0;           // 2·C·fs, state update of iC1

    double fs;

    // State.
    double vQ1 = restEmitter; // node Q at the previous sample
    double vO1 = 0.0;         // previous output
    double iC1 = 0.0;         // companion current of C, from Q towards O

    // Newton start from the last solution.
    Newton::LastIterate<double> last; // with exp((x − vE)/Vt) at that iterate
    double vE1 = restEmitter;         // emitter solved at the previous sample
    double x1 = 4.5;                  // base at the previous sample
};

template <int Lanes>
void GRVOutputBuffer::processLanes(GRVOutputBuffer* const (&stages)[Lanes],
                                   const double (&x)[Lanes], double (&y)[Lanes])
{
    double constantPart[Lanes], vE[Lanes];
    for (int k = 0; k < Lanes; ++k) {
        const GRVOutputBuffer& s = *stages[k];
        // Emitter current balance Is·(e − 1) = Ga·vE + Gc·vO, with O eliminated
        // and scaled by S:
        //   f(vE) = A·vE + b·Gb·Gc·(vQ1 − vO1) + Is·S·(e − 1) + Gb·Gc·iC1
        constantPart[k] = s.bGbGc * (s.vQ1 - s.vO1) + s.GbGc * s.iC1 - s.IsS;

        // Cubic fit of the follower's emitter against its base, or the last
        // solution moved by the linearised change of the residual.
        const double cubic = ((-0.001114 * x[k] + 0.01836) * x[k] + 0.8893) * x[k] - 0.4114;
        const double expAtLast = s.last.aux * (1.0 + invVt * (x[k] - s.x1 + s.last.step));
        const double residualAtLast = s.A * s.vE1 + s.IsS * expAtLast + constantPart[k];
        vE[k] = NewtonStart::choose(cubic, s.vE1 - residualAtLast * s.last.inverseSlope);
    }

    Newton::LastIterate<double> last[Lanes];
    Newton::solve(vE, last, [&](int k, double& v, double& f, double& fPrime, double& e) {
        const GRVOutputBuffer& s = *stages[k];
        e = Newton::boundedExp((x[k] - v) * invVt);
        f = s.A * v + s.IsS * e + constantPart[k];
        fPrime = s.slopeA + s.slopeCoeff * e;
    });

    for (int k = 0; k < Lanes; ++k) {
        GRVOutputBuffer& s = *stages[k];
        s.last = last[k];
        s.vE1 = vE[k];
        s.x1 = x[k];
        const double vO = (s.bGb * (vE[k] - s.vQ1 + s.vO1) - s.Gb * s.iC1) * s.invS;
        // Rb carries the load current vO·Gc.
        const double vQ = vE[k] - vO * s.GcOverGb;
        s.iC1 = s.b * ((vQ - vO) - (s.vQ1 - s.vO1)) - s.iC1;
        s.vQ1 = vQ;
        s.vO1 = vO;
        y[k] = vO;
    }
}

inline double GRVOutputBuffer::process(double x)
{
    return Newton::processAlone(this, x);
}
