#include "circuit/TDFII.h"

#include <cmath>

TDFII::TDFII(int order)
    : order(order), a(new double[order + 1]), b(new double[order + 1]),
      z(new double[order + 1])
{
    reset();
}

TDFII::~TDFII()
{
    delete[] a;
    delete[] b;
    delete[] z;
}

bool TDFII::isFinite() const
{
    for (int i = 0; i < order; ++i)
        if (!std::isfinite(z[i]))
            return false;
    return true;
}

void TDFII::setCoefficients(const double* aIn, const double* bIn)
{
    const double a0 = aIn[0];
    for (int i = 0; i <= order; ++i) {
        a[i] = aIn[i] / a0;
        b[i] = bIn[i] / a0;
    }
}

void TDFII::clearHistory()
{
    for (int i = 0; i <= order; ++i)
        z[i] = 0.0;
}

void TDFII::clearCoeffs()
{
    for (int i = 0; i <= order; ++i)
        a[i] = b[i] = 1.0;
}

void TDFII::reset()
{
    clearHistory();
    clearCoeffs();
}
