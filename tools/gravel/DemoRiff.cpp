#include "DemoRiff.h"

#include <cmath>
#include <algorithm>
#include <cstdint>
#include <initializer_list>

namespace {

struct Pluck {
    double start;    // seconds
    int note;        // MIDI note number
    double duration; // seconds until the string is damped
    double amplitude;
    bool palmMuted;
};

// One string after Karplus and Strong: a noise burst circulating through a
// delay line whose loop averages neighbouring samples (the string's losses);
// a first-order all-pass makes up the fractional part of the period so that
// high notes stay in tune.
class PluckedString {
public:
    PluckedString(double sampleRate, const Pluck& pluck, uint32_t& seed)
        : releaseAt(static_cast<long>(pluck.duration * sampleRate)),
          sustainGain(pluck.palmMuted ? 0.975 : 0.9985)
    {
        const double frequency = 440.0 * std::pow(2.0, (pluck.note - 69) / 12.0);
        const double period = sampleRate / frequency; // loop delay in samples
        length = static_cast<int>(std::floor(period - 0.5 - 0.1));
        const double fraction = period - 0.5 - length; // left to the all-pass, 0.1 .. 1.1
        allPassCoefficient = (1.0 - fraction) / (1.0 + fraction);
        line.assign(length, 0.0);
        // Excitation: white noise, smoothed (a softer pick for palm mutes),
        // then a comb at an eighth of the string for the pick position.
        double smooth = 0.0;
        const double pick = pluck.palmMuted ? 0.25 : 0.6;
        for (int i = 0; i < length; ++i) {
            seed = seed * 1664525u + 1013904223u;
            const double noise = (seed >> 8) / double(1u << 24) * 2.0 - 1.0;
            smooth += pick * (noise - smooth);
            line[i] = smooth * pluck.amplitude;
        }
        const int combDelay = std::max(1, length / 8);
        for (int i = length - 1; i >= combDelay; --i)
            line[i] -= line[i - combDelay];
    }

    double next()
    {
        const double out = line[position];
        const double gain = age++ < releaseAt ? sustainGain : 0.9;
        const double averaged = gain * 0.5 * (out + previous);
        previous = out;
        const double tuned = allPassCoefficient * averaged + allPassIn - allPassCoefficient * allPassOut;
        allPassIn = averaged;
        allPassOut = tuned;
        line[position] = tuned;
        position = (position + 1) % length;
        return out;
    }

private:
    std::vector<double> line;
    int length = 1;
    int position = 0;
    long age = 0;
    long releaseAt;
    double sustainGain;
    double previous = 0.0;
    double allPassCoefficient = 0.0, allPassIn = 0.0, allPassOut = 0.0;
};

// E minor riff at 120 beats per minute (an eighth note is 0.25 s).
std::vector<Pluck> riff()
{
    std::vector<Pluck> plucks;
    auto chord = [&](double at, std::initializer_list<int> notes, double duration) {
        double strum = 0.0;
        for (int note : notes) {
            plucks.push_back({at + strum, note, duration, 0.55, false});
            strum += 0.012; // a downstroke reaches the strings one after another
        }
    };
    auto mute = [&](double at, int note) { plucks.push_back({at, note, 0.2, 0.7, true}); };
    auto single = [&](double at, int note, double duration) {
        plucks.push_back({at, note, duration, 0.8, false});
    };
    const int E2 = 40, G2 = 43, A2 = 45, B2 = 47, D3 = 50, E3 = 52, G3 = 55, A3 = 57, B3 = 59,
              D4 = 62;
    // Bar 1: E5, two palm-muted E's, G5, A5.
    chord(0.00, {E2, B2, E3}, 0.45);
    mute(0.50, E2);
    mute(0.75, E2);
    chord(1.00, {G2, D3, G3}, 0.45);
    chord(1.50, {A2, E3, A3}, 0.45);
    mute(2.00, E2);
    mute(2.25, E2);
    chord(2.50, {G2, D3, G3}, 0.20);
    chord(2.75, {A2, E3, A3}, 0.20);
    // Bar 2: a single-note run up and back.
    const int run[] = {E3, G3, A3, B3, D4, B3, A3, G3};
    for (int i = 0; i < 8; ++i)
        single(3.0 + 0.25 * i, run[i], 0.24);
    // Bar 3: A5 and a final E5 left ringing.
    chord(5.00, {A2, E3, A3}, 0.45);
    chord(5.50, {E2, B2, E3}, 1.50);
    return plucks;
}

} // namespace

std::vector<float> synthesizeDemoRiff(double sampleRate)
{
    const double seconds = 7.5;
    std::vector<double> mix(static_cast<size_t>(seconds * sampleRate), 0.0);
    uint32_t seed = 0x6A09E667u;
    for (const Pluck& pluck : riff()) {
        PluckedString string(sampleRate, pluck, seed);
        const size_t begin = static_cast<size_t>(pluck.start * sampleRate);
        // A string is audible for its duration plus a short damped release.
        const size_t end = std::min(mix.size(), begin + static_cast<size_t>((pluck.duration + 0.15) * sampleRate));
        for (size_t i = begin; i < end; ++i)
            mix[i] += string.next();
    }
    // A DI signal: no DC, a guitar pickup's gentle top-end roll-off, peaks
    // around -6 dBFS.
    std::vector<float> out(mix.size());
    double dcIn = 0.0, dcOut = 0.0, low = 0.0, peak = 0.0;
    const double dcPole = std::exp(-2.0 * M_PI * 20.0 / sampleRate);
    const double lowPole = std::exp(-2.0 * M_PI * 5000.0 / sampleRate);
    for (size_t i = 0; i < mix.size(); ++i) {
        dcOut = mix[i] - dcIn + dcPole * dcOut;
        dcIn = mix[i];
        low = dcOut + lowPole * (low - dcOut);
        mix[i] = low;
        peak = std::max(peak, std::fabs(low));
    }
    const double gain = peak > 0.0 ? 0.5 / peak : 0.0;
    for (size_t i = 0; i < mix.size(); ++i)
        out[i] = static_cast<float>(mix[i] * gain);
    return out;
}
