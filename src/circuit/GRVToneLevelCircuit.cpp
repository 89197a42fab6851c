#include "circuit/GRVToneLevelCircuit.h"

#include <cmath>

#include "utils/MathUtils.h"

GRVToneLevelCircuit::GRVToneLevelCircuit(double sampleRate)
    : fs(sampleRate), filter(new TDFII(4)), interval(intervalFor(sampleRate))
{
}

GRVToneLevelCircuit::~GRVToneLevelCircuit()
{
    delete filter;
}

// The nearest integer to fs/44100, ties to even. It would be 0 at model rates
// of 22050 Hz and below, where no glide step would ever run (and the modulo
// would divide by zero); one step per sample is the closest sensible glide.
uint32_t GRVToneLevelCircuit::intervalFor(double sampleRate)
{
    const double nearest = std::nearbyint(sampleRate / referenceRate);
    return nearest >= 1.0 ? static_cast<uint32_t>(nearest) : 1u;
}

void GRVToneLevelCircuit::setSettings(double newTone, double newLevel)
{
    toneTarget = MathUtils::Curves::scaleToSCurve(newTone, toneTaper);
    levelTarget = newLevel;
    smoothing = true;
}

void GRVToneLevelCircuit::smoothParameters()
{
    if (counter % interval == 0) {
        level = 0.001 * levelTarget + 0.999 * level;
        tone = 0.001 * toneTarget + 0.999 * tone;
        if (std::abs(level - levelTarget) < glideThreshold &&
            std::abs(tone - toneTarget) < glideThreshold)
            smoothing = false;
        init();
    }
    ++counter;
}

void GRVToneLevelCircuit::resetFilters()
{
    filter->reset();
    init();
}

void GRVToneLevelCircuit::setSampleRate(double sampleRate)
{
    fs = sampleRate;
    interval = intervalFor(sampleRate);
    filter->reset();
    init();
}

void GRVToneLevelCircuit::init()
{
    // Evaluated term by term as the network's coefficients read: at high
    // model rates the filter's poles sit so close to z = 1 that a one-ulp
    // change in a coefficient is audible as a DC offset, so the products are
    // not regrouped.
    const double T = tone, Tp = 1.0 - tone;
    const double L = level, Lp = 1.0 - level;
    const double P2 = P * P;

    // H(s) = (N3·s³ + N2·s²) / (D4·s⁴ + D3·s³ + D2·s² + D1·s + D0)
    const double N2 = 10.2 * P * L;
    const double N3 = P * L * (0.00273768 * T + 0.00049368 * Tp + 2.244e-6 * Q * T * Tp);
    const double D0 = 2.2e8;
    const double D1 = 11494648.0 * T + 11538648.0 * Tp + 242.0 * P * L + 220.0 * P * Lp +
                      48.4 * Q * T * Tp;
    const double D2 = 14063.8256 * T + 16351.8256 * Tp + P * L * (11.3021128 * T + 11.3505128 * Tp) +
                      P * Lp * (11.274648 * T + 11.318648 * Tp) + 2.2e-5 * P2 * L * Lp +
                      Q * T * Tp * (2.52648 + 5.324e-5 * P * L + 4.84e-5 * P * Lp);
    const double D3 = 2.8977872 * T + 5.1417872 * Tp +
                      P * L * (0.00279485536 * T + 0.00504325536 * Tp) +
                      P * Lp * (0.0027891776 * T + 0.0050331776 * Tp) +
                      P2 * L * Lp * (5.4648e-9 * T + 9.8648e-9 * Tp) +
                      Q * T * Tp *
                          (0.00297176 + 2.483888e-6 * P * L + 2.47808e-6 * P * Lp +
                           4.84e-12 * P2 * L * Lp);
    const double D4 = 1.086096e-4 + 1.0882256e-7 * P * L + 1.086096e-7 * P * Lp +
                      2.1296e-13 * P2 * L * Lp +
                      Q * T * Tp *
                          (4.9368e-7 + 4.94648e-10 * P * L + 4.9368e-10 * P * Lp +
                           9.68e-16 * P2 * L * Lp);

    // Bilinear transform, s = K·(1 − z⁻¹)/(1 + z⁻¹), K = 2·fs, no pre-warping.
    const double K = 2.0 * fs;
    const double K2 = K * K, K3 = K2 * K, K4 = K3 * K;
    const double a[5] = {
        D0 + D1 * K + D2 * K2 + D3 * K3 + D4 * K4,
        4.0 * D0 + 2.0 * D1 * K - 2.0 * D3 * K3 - 4.0 * D4 * K4,
        6.0 * D0 - 2.0 * D2 * K2 + 6.0 * D4 * K4,
        4.0 * D0 - 2.0 * D1 * K + 2.0 * D3 * K3 - 4.0 * D4 * K4,
        D0 - D1 * K + D2 * K2 - D3 * K3 + D4 * K4,
    };
    const double b[5] = {
        N2 * K2 + N3 * K3,
        -2.0 * N3 * K3,
        -2.0 * N2 * K2,
        2.0 * N3 * K3,
        N2 * K2 - N3 * K3,
    };
    filter->setCoefficients(a, b);
}
