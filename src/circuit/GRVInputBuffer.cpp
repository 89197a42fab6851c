#include "circuit/GRVInputBuffer.h"

GRVInputBuffer::GRVInputBuffer(double sampleRate) : fs(sampleRate)
{
    optimize();
    resetFilters();
}

void GRVInputBuffer::setSampleRate(double sampleRate)
{
    fs = sampleRate;
    optimize();
}

void GRVInputBuffer::optimize()
{
    const double b1Local = 2.0 * fs * C1;
    const double b2Local = 2.0 * fs * C2;
    const double S = G3 * G4 + b2Local * G3 + b2Local * G4;

    baseDivider = 1.0 / (G1 * G2 + b1Local * G2 + b1Local * G1);
    invG1 = 1.0 / G1;
    outputDivider = 1.0 / (b2Local + G4);
    b1G1 = b1Local * G1;
    baseBias = bias * G2 * (G1 + b1Local);
    G1plusG2 = G1 + G2;
    biasG2 = -bias * G2;
    minusS = -S;
    IsB2G4 = Is * (b2Local + G4);
    b2G4 = b2Local * G4;
    minusIsB2G4 = -Is * (b2Local + G4);
    slopeCoeff = -invVt * Is * (b2Local + G4);
    minusS2 = -S;
    b2 = b2Local;
    biasG4 = bias * G4;
    b1 = 2.0 * C1 * fs;
    b2Update = 2.0 * C2 * fs;
}

void GRVInputBuffer::resetFilters()
{
    vM1 = 4.5;
    vE1 = restEmitter;
    x1 = 0.0;
    vO1 = 4.5;
    j1 = 0.0;
    j2 = 0.0;
}

double GRVInputBuffer::process(double x)
{
    // Base: the C1–R1 branch against R2 to the bias, no base current.
    const double vB = (b1G1 * (x - x1 + vM1) + G1 * j1 + baseBias) * baseDivider;
    // M sits above B by the drop across R1.
    const double vM = (vB * G1plusG2 + biasG2) * invG1;

    // Cubic fit of the follower's emitter against its base as the start value.
    double vE = ((-0.001072 * vB + 0.01882) * vB + 0.8821) * vB - 0.3925;

    // Emitter current balance Is·(e − 1) = G3·vE + iC2, with O eliminated and
    // scaled by (b2 + G4).
    int n = 0;
    double step;
    do {
        const double e = std::exp((vB - vE) * invVt);
        const double f = minusS * vE + IsB2G4 * (e - 1.0) - G4 * j2 + b2G4 * (vE1 - vO1 + bias);
        const double fPrime = minusS2 + slopeCoeff * e;
        step = f / fPrime;
        vE -= step;
        ++n;
    } while (std::abs(step) > 1e-6 && n < 100);
    iterations = n;

    const double vO = (b2 * (vE - vE1 + vO1) + j2 + biasG4) * outputDivider;

    j1 = b1 * ((vM - x) - (vM1 - x1)) - j1;
    j2 = b2Update * ((vO - vE) - (vO1 - vE1)) - j2;
    vE1 = vE;
    vM1 = vM;
    x1 = x;
    vO1 = vO;
    return vO;
}
