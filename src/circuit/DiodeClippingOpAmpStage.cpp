#include "circuit/DiodeClippingOpAmpStage.h"

#include <cmath>

#include "utils/MathUtils.h"

DiodeClippingOpAmpStage::DiodeClippingOpAmpStage(double gainResistor, double hpfResistor,
                                                 double hpfCapacitor, double feedbackCapacitor,
                                                 double sampleRate)
    : Rg(gainResistor), Gg(1.0 / gainResistor), Rh(hpfResistor), Gh(1.0 / hpfResistor),
      Ch(hpfCapacitor), Cf(feedbackCapacitor), fs(sampleRate)
{
    optimize();
}

void DiodeClippingOpAmpStage::setGainResistor(double R)
{
    Rg = R;
    Gg = 1.0 / R;
    optimize();
}

void DiodeClippingOpAmpStage::setHPFRes(double R)
{
    Rh = R;
    Gh = 1.0 / R;
    optimize();
}

void DiodeClippingOpAmpStage::setHPFCap(double C)
{
    Ch = C;
    optimize();
}

void DiodeClippingOpAmpStage::setSampleRate(double sampleRate)
{
    fs = sampleRate;
    optimize();
}

void DiodeClippingOpAmpStage::optimize()
{
    q = 2.0 * fs * Ch;
    p = 1.0 / (q + Gh);
    const double r = 2.0 * fs * Cf;
    const double s = r + Gg;
    const double t = -2.0 * fs * Cf - Gh - Gg;
    symmetric = {r, s, t, K, s};
    asymmetric = {r, s, t, K, s};
    rUpdate = 2.0 * Cf * fs;
    qUpdate = 2.0 * Ch * fs;
}

void DiodeClippingOpAmpStage::resetFilters()
{
    vA = x1 = y1 = iCf = iCh = y2 = 0.0;
}

double DiodeClippingOpAmpStage::process(double x)
{
    // Rh–Ch node, trapezoidal: (x − vA)·Gh = current into Ch.
    const double vAPrevious = vA;
    const double vANew = (x * Gh + q * vAPrevious + iCh) * p;

    const NewtonCoefficients& c = clippingType == AsymmetricClipping ? asymmetric : symmetric;

    // Feedback balance at the inverting input:
    //   (y − x)·Gg + iCf(y) + iDiode(y − x) = (x − vA)·Gh
    double v = 2.0 * y1 - y2;
    int n = 0;
    double step;
    do {
        v = MathUtils::Clipping::clipBetween(v, -rail, rail);
        const double d = v - x;
        double i, g;
        if (clippingType == AsymmetricClipping) {
            const double e = std::exp(invTwoVd * d);
            i = Is * (e * e - 1.0 / e);
            g = c.K * (e * e + 0.5 / e);
        } else {
            const double e = std::exp(invVd * d);
            i = Is * (e - 1.0 / e);
            g = c.K * (e + 1.0 / e);
        }
        const double f = i + Gh * vANew + c.r * (x1 - y1) + c.s * v + c.t * x - iCf;
        const double fPrime = g + c.slope;
        step = f / fPrime;
        v -= step;
        ++n;
    } while (std::abs(step) > 1e-6 && n < 100);
    iterations = n;

    const double y = v;
    iCf = rUpdate * ((y - x) - (y1 - x1)) - iCf;
    iCh = qUpdate * (vANew - vAPrevious) - iCh;
    y2 = y1;
    vA = vANew;
    x1 = x;
    y1 = y;
    return y;
}
