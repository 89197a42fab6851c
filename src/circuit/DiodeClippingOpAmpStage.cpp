#include "circuit/DiodeClippingOpAmpStage.h"

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
    r = 2.0 * fs * Cf;
    s = r + Gg;
    t = -r - Gh - Gg;
}

void DiodeClippingOpAmpStage::resetFilters()
{
    vA = x1 = y1 = iCf = iCh = y2 = 0.0;
    last = {};
}

