#pragma once

#include <cmath>

#include "circuit/Newton.h"
#include "circuit/NewtonStart.h"
#include "utils/MathUtils.h"

// The pedal's input buffer: an emitter follower biased at 4.5 V.
//
//   x ─C1─ M ─R1─ B ──R2── 4.5 V          E ─R3─ ground
//                 │ (base, no current)    E ─C2─ O ─R4─ 4.5 V   (output vO)
//                 └── transistor: iE = Is·(exp((vB − vE)/Vt) − 1)
//
// Both capacitors are trapezoidal companions; vE is solved by Newton's method.
class GRVInputBuffer {
public:
    explicit GRVInputBuffer(double sampleRate);
    virtual ~GRVInputBuffer() = default;

    void setSampleRate(double sampleRate);
    void optimize();
    void resetFilters();
    // The signal state only: the Newton start data is checked where it is used.
    bool isFinite() const { return MathUtils::allFinite({vM1, vE1, x1, vO1, j1, j2}); }

    inline double process(double x);

    // Several buffers (the stereo channels) one sample each, their Newton
    // solves in lock step; each gives exactly what its process would.
    template <int Lanes>
    static void processLanes(GRVInputBuffer* const (&stages)[Lanes], const double (&x)[Lanes],
                             double (&y)[Lanes]);

    // Newton steps taken by the last process call (for tests and benchmarks).
    int lastIterations() const { return last.iterations; }
    double emitterVoltage() const { return vE1; }

    static constexpr double Is = 6.7e-15;         // transistor saturation current, A
    static constexpr double invVt = 38.7596899;   // 1/Vt, per volt
    static constexpr double bias = 4.5;           // supply midpoint, V
    static constexpr double restEmitter = 3.86075; // emitter at rest for a 4.5 V base, V

private:
    // Components (fixed).
    const double C1 = 2.7e-8; // input coupling capacitor, F
    const double C2 = 1e-6;   // output coupling capacitor, F
    const double R1 = 1000.0;   // series resistor before the base
    const double R2 = 510000.0; // base bias resistor to 4.5 V
    const double R3 = 10000.0;  // emitter resistor to ground
    const double R4 = 10000.0;  // output resistor to 4.5 V
    const double G1 = 1.0 / R1;
    const double G2 = 1.0 / R2;
    const double G3 = 1.0 / R3;
    const double G4 = 1.0 / R4;
    double fs;

    // State.
    double vM1 = 4.5;        // node M at the previous sample
    double vE1 = restEmitter; // emitter at the previous sample
    double x1 = 0.0;         // previous input
    double vO1 = 4.5;        // previous output
    double j1 = 0.0;         // companion current of C1, from M towards the input
    double j2 = 0.0;         // companion current of C2, from O towards E

    // Pre-computed, with b1 = 2·fs·C1, b2 = 2·fs·C2, S = G3·G4 + b2·G3 + b2·G4.
    double baseDivider = 0.0;   // 1/(G1·G2 + b1·G2 + b1·G1)
    double invG1 = 0.0;         // 1/G1
    double outputDivider = 0.0; // 1/(b2 + G4)
    double b1G1 = 0.0;          // b1·G1
    double baseBias = 0.0;      // 4.5·G2·(G1 + b1)
    double G1plusG2 = 0.0;      // G1 + G2
    double biasG2 = 0.0;        // −4.5·G2
    double minusS = 0.0;        // −S
    double IsB2G4 = 0.0;        // Is·(b2 + G4)
    double b2G4 = 0.0;          // b2·G4
    double minusIsB2G4 = 0.0;   // −Is·(b2 + G4)
    double slopeCoeff = 0.0;    // −(1/Vt)·Is·(b2 + G4)
    double minusS2 = 0.0;       // −S, the slope's constant term
    double b2 = 0.0;            // 2·fs·C2
    double biasG4 = 0.0;        // 4.5·G4
    double b1 = 0.0;            // 2·C1·fs, state update of j1
    double b2Update = 0.0;      // 2·C2·fs, state update of j2

    // Newton start from the last solution: the last iterate (with its
    // exponential) and the base voltage it was solved for.
    Newton::LastIterate<double> last;
    double vB1 = 4.5; // base at the previous sample
};

template <int Lanes>
void GRVInputBuffer::processLanes(GRVInputBuffer* const (&stages)[Lanes],
                                  const double (&x)[Lanes], double (&y)[Lanes])
{
    double vB[Lanes], vM[Lanes], constantPart[Lanes], vE[Lanes];
    for (int k = 0; k < Lanes; ++k) {
        const GRVInputBuffer& s = *stages[k];
        // Base: the C1–R1 branch against R2 to the bias, no base current.
        vB[k] = (s.b1G1 * (x[k] - s.x1 + s.vM1) + s.G1 * s.j1 + s.baseBias) * s.baseDivider;
        // M sits above B by the drop across R1.
        vM[k] = (vB[k] * s.G1plusG2 + s.biasG2) * s.invG1;
        // Emitter current balance Is·(e − 1) = G3·vE + iC2, with O eliminated
        // and scaled by (b2 + G4):
        //   f(vE) = −S·vE + Is·(b2 + G4)·(e − 1) − G4·j2 + b2·G4·(vE1 − vO1 + 4.5)
        constantPart[k] = -s.G4 * s.j2 + s.b2G4 * (s.vE1 - s.vO1 + bias) - s.IsB2G4;

        // The cubic fit of the follower's emitter against its base is a safe
        // start anywhere; the last solution moved by the linearised change of
        // the residual is usually within a step of the root.
        const double cubic = ((-0.001072 * vB[k] + 0.01882) * vB[k] + 0.8821) * vB[k] - 0.3925;
        const double expAtLast = s.last.aux * (1.0 + invVt * (vB[k] - s.vB1 + s.last.step));
        const double residualAtLast = s.minusS * s.vE1 + s.IsB2G4 * expAtLast + constantPart[k];
        vE[k] = NewtonStart::choose(cubic, s.vE1 - residualAtLast * s.last.inverseSlope);
    }

    Newton::LastIterate<double> last[Lanes];
    Newton::solve(vE, last, [&](int k, double& v, double& f, double& fPrime, double& e) {
        const GRVInputBuffer& s = *stages[k];
        e = Newton::boundedExp((vB[k] - v) * invVt);
        f = s.minusS * v + s.IsB2G4 * e + constantPart[k];
        fPrime = s.minusS2 + s.slopeCoeff * e;
    });

    for (int k = 0; k < Lanes; ++k) {
        GRVInputBuffer& s = *stages[k];
        s.last = last[k];
        s.vB1 = vB[k];
        const double vO = (s.b2 * (vE[k] - s.vE1 + s.vO1) + s.j2 + s.biasG4) * s.outputDivider;
        s.j1 = s.b1 * ((vM[k] - x[k]) - (s.vM1 - s.x1)) - s.j1;
        s.j2 = s.b2Update * ((vO - vE[k]) - (s.vO1 - s.vE1)) - s.j2;
        s.vE1 = vE[k];
        s.vM1 = vM[k];
        s.x1 = x[k];
        s.vO1 = vO;
        y[k] = vO;
    }
}

inline double GRVInputBuffer::process(double x)
{
    return Newton::processAlone(this, x);
}
