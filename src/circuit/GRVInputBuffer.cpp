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
    slopeCoeff = -invVt * Is * (b2Local + G4);
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
    last = {};
    vB1 = 4.5;
}

