#pragma once

#include <cmath>
#include <vector>

// A few seconds of a plucked-string-like DI signal (decaying harmonics, a
// chord and single notes), about 0.3 V peak: what the pedal sees from a guitar.
inline std::vector<double> makeGuitarSignal(double sampleRate, double seconds)
{
    const double notes[][3] = {{82.41, 123.47, 164.81}, {110.0, 164.81, 220.0},
                               {196.0, 0.0, 0.0},       {146.83, 220.0, 293.66}};
    const int count = static_cast<int>(sampleRate * seconds);
    const int noteLength = static_cast<int>(sampleRate * 0.5);
    std::vector<double> signal(count, 0.0);
    const double pi = 3.14159265358979323846;
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
        signal[i] = 0.12 * v;
    }
    return signal;
}
