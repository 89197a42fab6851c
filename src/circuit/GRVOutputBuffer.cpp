#include "circuit/GRVOutputBuffer.h"

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
    slopeCoeff = -invVt * Is * S;
    bGb = bLocal * Gb;
    GcOverGb = Gc / Gb;
    b = 2.0 * C * fs;
}

void GRVOutputBuffer::resetFilters()
{
    vQ1 = restEmitter;
    vO1 = 0.0;
    iC1 = 0.0;
    vE1 = restEmitter;
    x1 = 4.5;
    last = {};
}

