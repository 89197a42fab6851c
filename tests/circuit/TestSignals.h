#pragma once

#include <cmath>
#include <vector>

namespace testsignals {

constexpr double pi = 3.14159265358979323846;

inline std::vector<double> sine(double amplitude, double frequency, double sampleRate, int count,
                                double offset = 0.0)
{
    std::vector<double> s(count);
    for (int n = 0; n < count; ++n)
        s[n] = offset + amplitude * std::sin(2.0 * pi * frequency * n / sampleRate);
    return s;
}

// Least-squares fit of y[n] ≈ A·sin(ωn) + B·cos(ωn) + C over [first, end):
// exact for a steady-state sinusoid whatever the window length.
struct SineFit {
    double amplitude;
    double offset;
};

inline SineFit fitSine(const std::vector<double>& y, double frequency, double sampleRate,
                       int first, int end)
{
    double m[3][4] = {};
    const double w = 2.0 * pi * frequency / sampleRate;
    for (int n = first; n < end; ++n) {
        const double basis[3] = {std::sin(w * n), std::cos(w * n), 1.0};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j)
                m[i][j] += basis[i] * basis[j];
            m[i][3] += basis[i] * y[n];
        }
    }
    // Gauss-Jordan on the 3x3 normal equations (positive definite).
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 3; ++r) {
            if (r == c)
                continue;
            const double factor = m[r][c] / m[c][c];
            for (int k = c; k < 4; ++k)
                m[r][k] -= factor * m[c][k];
        }
    }
    const double a = m[0][3] / m[0][0], b = m[1][3] / m[1][1], c = m[2][3] / m[2][2];
    return {std::hypot(a, b), c};
}

// A plucked-string-like DI signal, about 0.3 V peak: decaying harmonics of a
// few chords and single notes, a new note every quarter second.
inline std::vector<double> guitar(double sampleRate, double seconds, double gain = 1.0)
{
    const double notes[][3] = {{82.41, 123.47, 164.81}, {110.0, 164.81, 220.0},
                               {196.0, 0.0, 0.0},       {146.83, 220.0, 293.66}};
    const int count = static_cast<int>(sampleRate * seconds);
    const int noteLength = static_cast<int>(sampleRate * 0.25);
    std::vector<double> s(count, 0.0);
    for (int i = 0; i < count; ++i) {
        const int note = (i / noteLength) % 4;
        const double t = (i % noteLength) / sampleRate;
        double v = 0.0;
        for (double f : notes[note]) {
            if (f == 0.0)
                continue;
            for (int h = 1; h <= 6; ++h)
                v += std::exp(-t * (3.0 + h)) / h * std::sin(2.0 * pi * f * h * t);
        }
        s[i] = 0.12 * gain * v;
    }
    return s;
}

template <class Stage>
std::vector<double> run(Stage& stage, const std::vector<double>& in)
{
    std::vector<double> out(in.size());
    for (size_t i = 0; i < in.size(); ++i)
        out[i] = stage.process(in[i]);
    return out;
}

inline double maxAbs(const std::vector<double>& v, size_t first = 0, size_t end = 0)
{
    if (end == 0)
        end = v.size();
    double m = 0.0;
    for (size_t i = first; i < end; ++i)
        m = std::fmax(m, std::fabs(v[i]));
    return m;
}

} // namespace testsignals
