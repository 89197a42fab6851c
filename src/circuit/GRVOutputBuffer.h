#pragma once

#include <cmath>

#include "circuit/EmitterFollower.h"
#include "circuit/Newton.h"
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

    double process(double x)
    {
        Newton::LastIterate<double> solved;
        const double vE = EmitterFollower::solve(prepare(x), solved);
        return finish(x, vE, solved);
    }

    int lastIterations() const { return last.iterations; }

    static constexpr double Is = EmitterFollower::Is;
    static constexpr double invVt = EmitterFollower::invVt;
    static constexpr double restEmitter = 3.86075; // emitter at rest for a 4.5 V base, V

private:
    // One sample in two halves around the emitter's solve; x is the base
    // voltage.
    inline EmitterFollower::Problem prepare(double x) const;
    inline double finish(double x, double vE, const Newton::LastIterate<double>& solved);

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
    double slopeCoeff = 0.0;  // −(1/Vt)·Is·S
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

EmitterFollower::Problem GRVOutputBuffer::prepare(double x) const
{
    // Emitter current balance Is·(e − 1) = Ga·vE + Gc·vO, with O eliminated
    // and scaled by S:
    //   f(vE) = A·vE + b·Gb·Gc·(vQ1 − vO1) + Is·S·(e − 1) + Gb·Gc·iC1
    const double constantPart = bGbGc * (vQ1 - vO1) + GbGc * iC1 - IsS;

    // Cubic fit of the follower's emitter against its base, or the last
    // solution moved by the linearised change of the residual.
    const double cubic = ((-0.001114 * x + 0.01836) * x + 0.8893) * x - 0.4114;
    return EmitterFollower::startingFromLast({0.0, x, A, IsS, constantPart, slopeCoeff}, cubic,
                                             x1, vE1, last);
}

double GRVOutputBuffer::finish(double x, double vE, const Newton::LastIterate<double>& solved)
{
    last = solved;
    const double vO = (bGb * (vE - vQ1 + vO1) - Gb * iC1) * invS;
    // Rb carries the load current vO·Gc.
    const double vQ = vE - vO * GcOverGb;
    iC1 = b * ((vQ - vO) - (vQ1 - vO1)) - iC1;
    vE1 = vE;
    x1 = x;
    vQ1 = vQ;
    vO1 = vO;
    return vO;
}
