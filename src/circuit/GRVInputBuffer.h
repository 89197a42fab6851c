#pragma once

#include <cmath>

#include "circuit/EmitterFollower.h"
#include "circuit/Newton.h"
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

    double process(double x)
    {
        double vM;
        const EmitterFollower::Problem problem = prepare(x, vM);
        Newton::LastIterate<double> solved;
        const double vE = EmitterFollower::solve(problem, solved);
        return finish(x, vM, problem.base, vE, solved);
    }

    // Newton steps taken by the last process call (for tests and benchmarks).
    int lastIterations() const { return last.iterations; }
    double emitterVoltage() const { return vE1; }

    static constexpr double Is = EmitterFollower::Is;
    static constexpr double invVt = EmitterFollower::invVt;
    static constexpr double bias = 4.5;           // supply midpoint, V
    static constexpr double restEmitter = 3.86075; // emitter at rest for a 4.5 V base, V

private:
    // One sample in two halves around the emitter's solve: prepare gives the
    // problem (and node M), finish takes the solution and returns the output.
    inline EmitterFollower::Problem prepare(double x, double& vM) const;
    inline double finish(double x, double vM, double vB, double vE,
                         const Newton::LastIterate<double>& solved);

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
    double slopeCoeff = 0.0;    // −(1/Vt)·Is·(b2 + G4)
    double b2 = 0.0;            // 2·fs·C2
    double biasG4 = 0.0;        // 4.5·G4
    double b1 = 0.0;            // 2·C1·fs, state update of j1
    double b2Update = 0.0;      // 2·C2·fs, state update of j2

    // Newton start from the last solution: the last iterate (with its
    // exponential) and the base voltage it was solved for.
    Newton::LastIterate<double> last;
    double vB1 = 4.5; // base at the previous sample
};

EmitterFollower::Problem GRVInputBuffer::prepare(double x, double& vM) const
{
    // Base: the C1–R1 branch against R2 to the bias, no base current.
    const double vB = (b1G1 * (x - x1 + vM1) + G1 * j1 + baseBias) * baseDivider;
    // M sits above B by the drop across R1.
    vM = (vB * G1plusG2 + biasG2) * invG1;
    // Emitter current balance Is·(e − 1) = G3·vE + iC2, with O eliminated
    // and scaled by (b2 + G4):
    //   f(vE) = −S·vE + Is·(b2 + G4)·(e − 1) − G4·j2 + b2·G4·(vE1 − vO1 + 4.5)
    const double constantPart = -G4 * j2 + b2G4 * (vE1 - vO1 + bias) - IsB2G4;

    // The cubic fit of the follower's emitter against its base is a safe
    // start anywhere; the last solution moved by the linearised change of
    // the residual is usually within a step of the root.
    const double cubic = ((-0.001072 * vB + 0.01882) * vB + 0.8821) * vB - 0.3925;
    return EmitterFollower::startingFromLast({0.0, vB, minusS, IsB2G4, constantPart, slopeCoeff},
                                             cubic, vB1, vE1, last);
}

double GRVInputBuffer::finish(double x, double vM, double vB, double vE,
                              const Newton::LastIterate<double>& solved)
{
    last = solved;
    vB1 = vB;
    const double vO = (b2 * (vE - vE1 + vO1) + j2 + biasG4) * outputDivider;
    j1 = b1 * ((vM - x) - (vM1 - x1)) - j1;
    j2 = b2Update * ((vO - vE) - (vO1 - vE1)) - j2;
    vE1 = vE;
    vM1 = vM;
    x1 = x;
    vO1 = vO;
    return vO;
}
