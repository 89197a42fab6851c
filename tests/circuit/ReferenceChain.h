#pragma once

// A second, deliberately plain computation of the pedal's circuit equations,
// written from the circuit description alone: every stage's coefficients,
// start values and Newton loop (step test 1e-6 V, at most 100 steps, last
// iterate kept) exactly as the equations read, nothing hoisted or predicted.
// The production model may be faster; it must not sound different.

#include <cmath>

namespace reference {

constexpr double tolerance = 1e-6;
constexpr int maxIterations = 100;

struct InputBuffer {
    static constexpr double C1 = 2.7e-8, C2 = 1e-6, R1 = 1000.0, R2 = 510000.0, R3 = 10000.0,
                            R4 = 10000.0;
    static constexpr double G1 = 1.0 / R1, G2 = 1.0 / R2, G3 = 1.0 / R3, G4 = 1.0 / R4;
    static constexpr double Is = 6.7e-15, invVt = 38.7596899;

    double fs;
    double vM1, vE1, x1, vO1, j1, j2;
    double c[17]; // coefficients 18..34, in order
    int iterations = 0;

    explicit InputBuffer(double sampleRate) : fs(sampleRate)
    {
        optimize();
        reset();
    }
    void optimize()
    {
        const double b1 = 2.0 * fs * C1, b2 = 2.0 * fs * C2;
        const double S = G3 * G4 + b2 * G3 + b2 * G4;
        const double values[17] = {1.0 / (G1 * G2 + b1 * G2 + b1 * G1),
                                   1.0 / G1,
                                   1.0 / (b2 + G4),
                                   b1 * G1,
                                   4.5 * G2 * (G1 + b1),
                                   G1 + G2,
                                   -4.5 * G2,
                                   -S,
                                   Is * (b2 + G4),
                                   b2 * G4,
                                   -Is * (b2 + G4),
                                   -38.7596899 * Is * (b2 + G4),
                                   -S,
                                   b2,
                                   4.5 * G4,
                                   2.0 * C1 * fs,
                                   2.0 * C2 * fs};
        for (int i = 0; i < 17; ++i)
            c[i] = values[i];
    }
    void setSampleRate(double sampleRate)
    {
        fs = sampleRate;
        optimize();
    }
    void reset()
    {
        vM1 = 4.5;
        vE1 = 3.86075;
        x1 = 0.0;
        vO1 = 4.5;
        j1 = 0.0;
        j2 = 0.0;
    }
    double process(double x)
    {
        const double vB = (c[3] * (x - x1 + vM1) + G1 * j1 + c[4]) * c[0];
        const double vM = (vB * c[5] + c[6]) * c[1];
        double vE = ((-0.001072 * vB + 0.01882) * vB + 0.8821) * vB - 0.3925;
        int n = 0;
        double step;
        do {
            const double e = std::exp((vB - vE) * invVt);
            const double f = c[7] * vE + c[8] * (e - 1.0) - G4 * j2 + c[9] * (vE1 - vO1 + 4.5);
            const double fPrime = c[12] + c[11] * e;
            step = f / fPrime;
            vE = vE - step;
            n = n + 1;
        } while (std::fabs(step) > tolerance && n < maxIterations);
        iterations = n;
        const double vO = (c[13] * (vE - vE1 + vO1) + j2 + c[14]) * c[2];
        j1 = c[15] * ((vM - x) - (vM1 - x1)) - j1;
        j2 = c[16] * ((vO - vE) - (vO1 - vE1)) - j2;
        vE1 = vE;
        vM1 = vM;
        x1 = x;
        vO1 = vO;
        return vO;
    }
};

// Backward-Euler RC high-pass.
struct CouplingHighPass {
    double R = 1000.0, C = 1e-5, fs, k;
    double x1 = 4.5, y1 = 0.0;

    explicit CouplingHighPass(double sampleRate) : fs(sampleRate) { setSampleRate(sampleRate); }
    void setSampleRate(double sampleRate)
    {
        fs = sampleRate;
        k = R * C * fs / (R * C * fs + 1.0);
    }
    void reset()
    {
        x1 = 4.5;
        y1 = 0.0;
    }
    double process(double x)
    {
        const double y = k * (x - x1 + y1);
        x1 = x;
        y1 = y;
        return y;
    }
};

struct ClippingStage {
    static constexpr double Is = 1.084e-8, invVd = 45.7596899, invTwoVd = 22.87984495,
                            K = 4.96035038516e-07;

    double Rg, Gg, Rh, Gh, Ch, Cf, fs;
    double vA = 0, x1 = 0, y1 = 0, iCf = 0, iCh = 0, y2 = 0;
    bool asymmetric = false;
    double p, q, r, s, t;
    int iterations = 0;
    // The equations cap the solve at 100 steps. From a start far up the
    // diodes' exponential (a hard edge) that is not enough to arrive; a larger
    // cap gives the converged root for comparison.
    int limit = maxIterations;

    ClippingStage(double gainResistor, double hpfResistor, double hpfCapacitor,
                  double feedbackCapacitor, double sampleRate)
        : Rg(gainResistor), Gg(1.0 / gainResistor), Rh(hpfResistor), Gh(1.0 / hpfResistor),
          Ch(hpfCapacitor), Cf(feedbackCapacitor), fs(sampleRate)
    {
        optimize();
    }
    void optimize()
    {
        q = 2.0 * fs * Ch;
        p = 1.0 / (q + Gh);
        r = 2.0 * fs * Cf;
        s = r + Gg;
        t = -2.0 * fs * Cf - Gh - Gg;
    }
    void setGainResistor(double R)
    {
        Rg = R;
        Gg = 1.0 / R;
        optimize();
    }
    void setHPFCap(double C)
    {
        Ch = C;
        optimize();
    }
    void setSampleRate(double sampleRate)
    {
        fs = sampleRate;
        optimize();
    }
    void reset() { vA = x1 = y1 = iCf = iCh = y2 = 0.0; }

    static double clamp(double v, double lo, double hi)
    {
        return (std::fabs(v - lo) + lo + hi - std::fabs(v - hi)) / 2.0;
    }

    double process(double x)
    {
        const double vANew = (x * Gh + q * vA + iCh) * p;
        double v = 2.0 * y1 - y2;
        int n = 0;
        double step;
        do {
            v = clamp(v, -4.5, 4.5);
            const double d = v - x;
            double i, g;
            if (asymmetric) {
                const double e = std::exp(invTwoVd * d);
                i = Is * (e * e - 1.0 / e);
                g = K * (e * e + 0.5 / e);
            } else {
                const double e = std::exp(invVd * d);
                i = Is * (e - 1.0 / e);
                g = K * (e + 1.0 / e);
            }
            const double f = i + Gh * vANew + r * (x1 - y1) + s * v + t * x - iCf;
            const double fPrime = g + s;
            step = f / fPrime;
            v = v - step;
            n = n + 1;
        } while (std::fabs(step) > tolerance && n < limit);
        iterations = n;
        const double y = v;
        iCf = 2.0 * Cf * fs * ((y - x) - (y1 - x1)) - iCf;
        iCh = 2.0 * Ch * fs * (vANew - vA) - iCh;
        y2 = y1;
        vA = vANew;
        x1 = x;
        y1 = y;
        return y;
    }
};

struct ToneLevel {
    static constexpr double P = 100000.0, Q = 20000.0;

    double level = 0.5, tone = 0.5, fs;
    bool smoothing = false;
    double levelTarget = 0.5, toneTarget = 0.5;
    unsigned counter = 0, interval;
    double a[5] = {1, 1, 1, 1, 1}, b[5] = {1, 1, 1, 1, 1}, z[5] = {0, 0, 0, 0, 0};

    explicit ToneLevel(double sampleRate) : fs(sampleRate) { interval = intervalFor(fs); }

    static unsigned intervalFor(double sampleRate)
    {
        const double n = std::nearbyint(sampleRate / 44100.0);
        return n < 1.0 ? 1u : static_cast<unsigned>(n);
    }
    static double sCurve(double x, double shape)
    {
        if (x < 0.5)
            return 0.5 * 2.0 * x / ((shape - 1.0) * (-2.0 * x) + shape);
        const double u = 2.0 * x - 1.0;
        return 0.5 * (shape * u / (u * (shape - 1.0) + 1.0) + 1.0);
    }
    void setSettings(double newTone, double newLevel)
    {
        toneTarget = sCurve(newTone, 6.0);
        levelTarget = newLevel;
        smoothing = true;
    }
    void setSampleRate(double sampleRate)
    {
        fs = sampleRate;
        interval = intervalFor(fs);
        reset();
    }
    void reset()
    {
        for (int i = 0; i < 5; ++i) {
            a[i] = b[i] = 1.0;
            z[i] = 0.0;
        }
        init();
    }
    // Products are evaluated left to right as the coefficient table reads,
    // with the powers P², K², K³, K⁴ formed first.
    void init()
    {
        const double T = tone, Tp = 1.0 - tone, L = level, Lp = 1.0 - level;
        const double P2 = P * P;
        const double N2 = 10.2 * P * L;
        const double N3 = P * L * (0.00273768 * T + 0.00049368 * Tp + 2.244e-6 * Q * T * Tp);
        const double D0 = 2.2e8;
        const double D1 = 11494648.0 * T + 11538648.0 * Tp + 242.0 * P * L + 220.0 * P * Lp +
                          48.4 * Q * T * Tp;
        const double D2 = 14063.8256 * T + 16351.8256 * Tp +
                          P * L * (11.3021128 * T + 11.3505128 * Tp) +
                          P * Lp * (11.274648 * T + 11.318648 * Tp) + 2.2e-5 * P2 * L * Lp +
                          Q * T * Tp * (2.52648 + 5.324e-5 * P * L + 4.84e-5 * P * Lp);
        const double D3 =
            2.8977872 * T + 5.1417872 * Tp + P * L * (0.00279485536 * T + 0.00504325536 * Tp) +
            P * Lp * (0.0027891776 * T + 0.0050331776 * Tp) +
            P2 * L * Lp * (5.4648e-9 * T + 9.8648e-9 * Tp) +
            Q * T * Tp *
                (0.00297176 + 2.483888e-6 * P * L + 2.47808e-6 * P * Lp + 4.84e-12 * P2 * L * Lp);
        const double D4 = 1.086096e-4 + 1.0882256e-7 * P * L + 1.086096e-7 * P * Lp +
                          2.1296e-13 * P2 * L * Lp +
                          Q * T * Tp *
                              (4.9368e-7 + 4.94648e-10 * P * L + 4.9368e-10 * P * Lp +
                               9.68e-16 * P2 * L * Lp);
        const double K = 2.0 * fs, K2 = K * K, K3 = K * K * K, K4 = K * K * K * K;
        const double A[5] = {D0 + D1 * K + D2 * K2 + D3 * K3 + D4 * K4,
                             4.0 * D0 + 2.0 * D1 * K - 2.0 * D3 * K3 - 4.0 * D4 * K4,
                             6.0 * D0 - 2.0 * D2 * K2 + 6.0 * D4 * K4,
                             4.0 * D0 - 2.0 * D1 * K + 2.0 * D3 * K3 - 4.0 * D4 * K4,
                             D0 - D1 * K + D2 * K2 - D3 * K3 + D4 * K4};
        const double B[5] = {N2 * K2 + N3 * K3, -2.0 * N3 * K3, -2.0 * N2 * K2, 2.0 * N3 * K3,
                             N2 * K2 - N3 * K3};
        for (int i = 0; i < 5; ++i) {
            a[i] = A[i] / A[0];
            b[i] = B[i] / A[0];
        }
    }
    double filter(double x)
    {
        const double y = b[0] * x + z[0];
        for (int i = 1; i < 4; ++i)
            z[i - 1] = b[i] * x + z[i] - a[i] * y;
        z[3] = b[4] * x - a[4] * y;
        return y;
    }
    // One glide step when due.
    void glide()
    {
        if (smoothing) {
            if (counter % interval == 0) {
                level = 0.001 * levelTarget + 0.999 * level;
                tone = 0.001 * toneTarget + 0.999 * tone;
                if (std::fabs(level - levelTarget) < 0.001 && std::fabs(tone - toneTarget) < 0.001)
                    smoothing = false;
                init();
            }
            counter = counter + 1;
        }
    }
    double process(double x)
    {
        glide();
        return filter(x);
    }
};

struct OutputBuffer {
    static constexpr double C = 1e-5, Ra = 10000.0, Rb = 100.0, Rc = 10000.0;
    static constexpr double Ga = 1.0 / Ra, Gb = 1.0 / Rb, Gc = 1.0 / Rc;
    static constexpr double Is = 6.7e-15;

    double fs;
    double c[11]; // coefficients 8..18, in order
    double vQ1, vO1, iC1;
    int iterations = 0;

    explicit OutputBuffer(double sampleRate) : fs(sampleRate)
    {
        optimize();
        reset();
    }
    void optimize()
    {
        const double b = 2.0 * fs * C;
        const double S = Gb * Gc + b * Gc + b * Gb;
        const double A = -(Ga * Gb * Gc + b * (Ga * Gc + Ga * Gb + Gb * Gc));
        const double values[11] = {1.0 / S, A,  b * Gb * Gc, Is * S,  Gb * Gc,      -Is * S,
                                   -38.7596899 * Is * S,      A,      b * Gb, Gc / Gb, 2.0 * C * fs};
        for (int i = 0; i < 11; ++i)
            c[i] = values[i];
    }
    void setSampleRate(double sampleRate)
    {
        fs = sampleRate;
        optimize();
    }
    void reset()
    {
        vQ1 = 3.86075;
        vO1 = 0.0;
        iC1 = 0.0;
    }
    double process(double x)
    {
        double vE = ((-0.001114 * x + 0.01836) * x + 0.8893) * x - 0.4114;
        int n = 0;
        double step;
        do {
            const double e = std::exp((x - vE) * 38.7596899);
            const double f = c[1] * vE + c[2] * (vQ1 - vO1) + c[3] * (e - 1.0) + c[4] * iC1;
            const double fPrime = c[7] + c[6] * e;
            step = f / fPrime;
            vE = vE - step;
            n = n + 1;
        } while (std::fabs(step) > tolerance && n < maxIterations);
        iterations = n;
        const double vO = (c[8] * (vE - vQ1 + vO1) - Gb * iC1) * c[0];
        const double vQ = vE - vO * c[9];
        iC1 = c[10] * ((vQ - vO) - (vQ1 - vO1)) - iC1;
        vQ1 = vQ;
        vO1 = vO;
        return vO;
    }
};

// The whole channel, with the parameter laws of the pedal's controls.
struct Chain {
    double fs;
    bool inputBufferOn = true, outputBufferOn = true;
    InputBuffer inputBuffer;
    ClippingStage clipping;
    ToneLevel toneLevel;
    OutputBuffer outputBuffer;
    CouplingHighPass coupling;

    explicit Chain(double sampleRate)
        : fs(sampleRate), inputBuffer(sampleRate), clipping(51000.0, 4700.0, 4.7e-8, 5.1e-11, sampleRate),
          toneLevel(sampleRate), outputBuffer(sampleRate), coupling(sampleRate)
    {
    }
    void setSampleRate(double sampleRate)
    {
        fs = sampleRate;
        inputBuffer.setSampleRate(fs);
        clipping.setSampleRate(fs);
        toneLevel.setSampleRate(fs);
        outputBuffer.setSampleRate(fs);
        coupling.setSampleRate(fs);
        inputBuffer.reset();
        clipping.reset();
        toneLevel.reset();
        outputBuffer.reset();
        coupling.reset();
    }
    void setDrive(double d) { clipping.setGainResistor(d / (5.5 - 4.5 * d) * 1000000.0 + 51000.0); }
    void setFat(bool on) { clipping.setHPFCap(on ? 9.4e-8 : 4.7e-8); }
    void setAsymmetric(bool on) { clipping.asymmetric = on; }
    void setToneLevel(double tone, double level) { toneLevel.setSettings(tone, level); }

    double process(double x)
    {
        if (inputBufferOn)
            x = coupling.process(inputBuffer.process(x));
        double y = clipping.process(x);
        y = toneLevel.process(y);
        if (outputBufferOn)
            return outputBuffer.process(y + 4.5);
        return y;
    }
};

} // namespace reference
