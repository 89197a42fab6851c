#include "circuit/GRVOutputBuffer.h"

#include <cmath>

GRVOutputBuffer::GRVOutputBuffer(double sampleRate) : fs(sampleRate)
{
    optimize();
    resetFilters();
}

void GRVOutputBuffer::setSampleRate(double sampleRate)
{
    fs = sampleRate;
    optimize();
}

void GRVOutputBuffer::optimize()
{
    const double bLocal = 2.0 * fs * C;
    const double S = Gb * Gc + bLocal * Gc + bLocal * Gb;
    const double ALocal = -(Ga * Gb * Gc + bLocal * (Ga * Gc + Ga * Gb + Gb * Gc));

    invS = 1.0 / S;
    A = ALocal;
    bGbGc = bLocal * Gb * Gc;
    IsS = Is * S;
    GbGc = Gb * Gc;
    minusIsS = -Is * S;
    slopeCoeff = -invVt * Is * S;
    slopeA = ALocal;
    bGb = bLocal * Gb;
    GcOverGb = Gc / Gb;
    b = 2.0 * C * fs;
}

void GRVOutputBuffer::resetFilters()
{
    vQ1 = restEmitter;
    vO1 = 0.0;
    iC1 = 0.0;
}

double GRVOutputBuffer::process(double x)
{
    // Cubic fit of the follower's emitter against its base as the start value.
    double vE = ((-0.001114 * x + 0.01836) * x + 0.8893) * x - 0.4114;

    // Emitter current balance Is·(e − 1) = Ga·vE + Gc·vO, with O eliminated and
    // scaled by S.
    int n = 0;
    double step;
    do {
        const double e = std::exp((x - vE) * invVt);
        const double f = A * vE + bGbGc * (vQ1 - vO1) + IsS * (e - 1.0) + GbGc * iC1;
        const double fPrime = slopeA + slopeCoeff * e;
        step = f / fPrime;
        vE -= step;
        ++n;
    } while (std::abs(step) > 1e-6 && n < 100);
    iterations = n;

    const double vO = (bGb * (vE - vQ1 + vO1) - Gb * iC1) * invS;
    // Rb carries the load current vO·Gc.
    const double vQ = vE - vO * GcOverGb;

    iC1 = b * ((vQ - vO) - (vQ1 - vO1)) - iC1;
    vQ1 = vQ;
    vO1 = vO;
    return vO;
}
