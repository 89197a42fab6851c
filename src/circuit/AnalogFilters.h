#pragma once

#include <cmath>

// Single RC sections, each discretised two ways. Component values are stored
// with their reciprocals and every derived coefficient is recomputed by the
// setters, so the per-sample forms are multiply-adds only.

// Capacitor in series, resistor to ground.
class AnalogHPF {
public:
    AnalogHPF(double R, double C, double sampleRate)
        : fs(sampleRate), R(R), G(1.0 / R), C(C)
    {
        updateCoefficient();
    }

    void setResistor(double newR) { R = newR; G = 1.0 / newR; updateCoefficient(); }
    void setCapacitor(double newC) { C = newC; updateCoefficient(); }
    void setResistorAndCapacitor(double newR, double newC)
    {
        R = newR; G = 1.0 / newR; C = newC; updateCoefficient();
    }
    void setSampleRate(double newFs) { fs = newFs; updateCoefficient(); }

    void updateCoefficient()
    {
        k = R * C * fs / (R * C * fs + 1.0);
        c1 = 2.0 * C * fs;
        c2 = R / (2.0 * R * C * fs + 1.0);
    }

    // y[n] = k·(x[n] − x[n−1] + y[n−1])
    double processBackwardEuler(double x)
    {
        const double y = k * (x - previousInput + previousOutput);
        previousInput = x;
        previousOutput = y;
        return y;
    }

    // Companion model of C: y = c2·(c1·(x − x1 + y1) − i1), i = y/R.
    double processTrapezoidal(double x)
    {
        const double y = c2 * (c1 * (x - previousInput + previousOutput) - current);
        previousOutput = y;
        previousInput = x;
        current = y * G;
        return y;
    }

    double process(double x) { return processTrapezoidal(x); }

    void setState(double input, double output)
    {
        previousInput = input;
        previousOutput = output;
    }

    // Current through R at the last sample.
    bool isFinite() const
    {
        return std::isfinite(previousInput) && std::isfinite(previousOutput) &&
               std::isfinite(current);
    }
    double getCurrent() const { return previousOutput * G; }

private:
    double fs;                   // sample rate, Hz
    double k = 0.0;              // R·C·fs / (R·C·fs + 1), backward Euler
    double previousInput = 0.0;  // x[n−1]
    double previousOutput = 0.0; // y[n−1]
    double current = 0.0;        // trapezoidal companion current i[n−1], A
    double R;                    // ohms
    double G;                    // 1/R
    double C;                    // farads
    double c1 = 0.0;             // 2·C·fs
    double c2 = 0.0;             // R / (2·R·C·fs + 1)
};

// Resistor in series, capacitor to ground.
class AnalogLPF {
public:
    AnalogLPF(double R, double C, double sampleRate)
        : fs(sampleRate), R(R), G(1.0 / R), C(C)
    {
        updateCoefficient();
    }

    void setResistor(double newR) { R = newR; G = 1.0 / newR; updateCoefficient(); }
    void setCapacitor(double newC) { C = newC; updateCoefficient(); }
    void setResistorAndCapacitor(double newR, double newC)
    {
        R = newR; G = 1.0 / newR; C = newC; updateCoefficient();
    }
    void setSampleRate(double newFs) { fs = newFs; updateCoefficient(); }

    void updateCoefficient()
    {
        k = 1.0 / (R * C * fs + 1.0);
        c1 = 2.0 * R * C * fs;
        c2 = 1.0 / (2.0 * R * C * fs + 1.0);
    }

    // y[n] = y[n−1] + k·(x[n] − y[n−1])
    double processBackwardEuler(double x)
    {
        const double y = previousOutput + k * (x - previousOutput);
        previousOutput = y;
        return y;
    }

    // y = c2·(c1·y1 + R·i1 + x), i = (x − y)/R.
    double processTrapezoidal(double x)
    {
        const double y = c2 * (c1 * previousOutput + R * current + x);
        previousOutput = y;
        current = (x - y) * G;
        return y;
    }

    double process(double x) { return processTrapezoidal(x); }

private:
    double fs;                   // sample rate, Hz
    double k = 0.0;              // 1 / (R·C·fs + 1), backward Euler
    [[maybe_unused]] double previousInput = 0.0; // unused by the low-pass; kept zero
    double previousOutput = 0.0; // y[n−1]
    double current = 0.0;        // trapezoidal companion current i[n−1], A
    double R;                    // ohms
    double G;                    // 1/R
    double C;                    // farads
    double c1 = 0.0;             // 2·R·C·fs
    double c2 = 0.0;             // 1 / (2·R·C·fs + 1)
};
