#pragma once

// Loud test signals and a sweep of the effect's settings, with a fingerprint
// of what the effect makes of them. The fingerprints of the model as it was
// before loud input was made safe are kept in the tests: wherever that model
// gave finite output, the model must still give exactly the same.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "plugin/VST_GRV.h"

namespace loud {

constexpr int kSettingsCount = 96; // 16 switch sets x 3 factors x 2 modes
constexpr int kFrames = 4000;
constexpr int kBlockFrames = 512;

// Setting n: every combination of the four switches, factor and mode, with
// Drive, Tone, Level and Input Level stepping through their range so that
// each value meets many of the others.
inline void applySettings(VST_GRV& effect, int n)
{
    const float steps[3] = {0.0f, 0.5f, 1.0f};
    const float inputLevels[3] = {1.0f, 0.5f, 0.25f};
    const int switches = n / 6;
    effect.setParameter(kAsym, static_cast<float>(switches & 1));
    effect.setParameter(kFat, static_cast<float>((switches >> 1) & 1));
    effect.setParameter(kInBuffer, static_cast<float>((switches >> 2) & 1));
    effect.setParameter(kOutBuffer, static_cast<float>((switches >> 3) & 1));
    effect.setParameter(kOversampling, 0.5f * static_cast<float>((n % 6) / 2));
    effect.setParameter(kPluginMode, static_cast<float>(n % 2));
    effect.setParameter(kDrive, steps[n % 3]);
    effect.setParameter(kTone, steps[(n / 3) % 3]);
    effect.setParameter(kLevel, steps[(n / 9) % 3]);
    effect.setParameter(kInputLevel, inputLevels[(n / 2) % 3]);
}

enum class Shape { Sines, Edges, Step };

// Sines: 110 Hz, then 440 Hz with a 3520 Hz partial. Edges: a square wave,
// then white noise. Step: silence, then a constant. All peak at amplitude.
inline std::vector<float> makeSignal(Shape shape, double amplitude, int frames = kFrames)
{
    std::vector<float> x(static_cast<size_t>(frames));
    uint32_t noise = 12345;
    for (int i = 0; i < frames; ++i) {
        const double t = i / 44100.0;
        const bool firstHalf = i < frames / 2;
        double v = 0.0;
        switch (shape) {
        case Shape::Sines:
            v = firstHalf ? std::sin(2.0 * M_PI * 110.0 * t)
                          : 0.7 * std::sin(2.0 * M_PI * 440.0 * t) +
                                0.3 * std::sin(2.0 * M_PI * 3520.0 * t);
            break;
        case Shape::Edges:
            noise = noise * 1664525u + 1013904223u;
            v = firstHalf ? ((i / 300) % 2 ? 1.0 : -1.0) : (noise >> 8) / 8388608.0 - 1.0;
            break;
        case Shape::Step:
            v = i < 100 ? 0.0 : 1.0;
            break;
        }
        x[static_cast<size_t>(i)] = static_cast<float>(amplitude * v);
    }
    return x;
}

struct Outcome {
    uint64_t fingerprint = 0;  // FNV-1a of both output channels' bits
    int nonFinite = 0;         // output samples that are NaN or infinite
    std::vector<float> output; // left then right
};

// The signal on the left, reversed on the right, in host blocks of 512.
inline Outcome run(VST_GRV& effect, const std::vector<float>& signal)
{
    const size_t frames = signal.size();
    std::vector<float> left = signal, right(signal.rbegin(), signal.rend());
    std::vector<float> outL(frames), outR(frames);
    for (size_t start = 0; start < frames; start += kBlockFrames) {
        const auto n = static_cast<VstInt32>(std::min<size_t>(kBlockFrames, frames - start));
        float* in[2] = {left.data() + start, right.data() + start};
        float* out[2] = {outL.data() + start, outR.data() + start};
        effect.processReplacing(in, out, n);
    }
    Outcome outcome;
    uint64_t hash = 1469598103934665603ull;
    for (size_t i = 0; i < frames; ++i) {
        for (float y : {outL[i], outR[i]}) {
            uint32_t bits;
            std::memcpy(&bits, &y, sizeof bits);
            hash = (hash ^ bits) * 1099511628211ull;
            outcome.nonFinite += std::isfinite(y) ? 0 : 1;
        }
    }
    outcome.fingerprint = hash;
    outcome.output = outL;
    outcome.output.insert(outcome.output.end(), outR.begin(), outR.end());
    return outcome;
}

} // namespace loud
