#include "DemoRiff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// The lag of the highest normalised autocorrelation within [minLag, maxLag].
double strongestPeriod(const std::vector<float>& x, size_t begin, size_t length, int minLag, int maxLag)
{
    double bestScore = -1.0;
    int bestLag = minLag;
    for (int lag = minLag; lag <= maxLag; ++lag) {
        double sum = 0.0, energyA = 0.0, energyB = 0.0;
        for (size_t i = begin; i < begin + length; ++i) {
            sum += double(x[i]) * x[i + lag];
            energyA += double(x[i]) * x[i];
            energyB += double(x[i + lag]) * x[i + lag];
        }
        const double score = sum / std::sqrt(energyA * energyB + 1e-30);
        if (score > bestScore) {
            bestScore = score;
            bestLag = lag;
        }
    }
    return bestLag;
}

} // namespace

TEST(DemoRiff, AFewSecondsOfAGuitarPartPeakingAtMinusSixDB)
{
    const double rate = 44100.0;
    const std::vector<float> riff = synthesizeDemoRiff(rate);
    ASSERT_EQ(riff.size(), size_t(7.5 * rate));
    float peak = 0.0f;
    for (float v : riff)
        peak = std::max(peak, std::fabs(v));
    EXPECT_NEAR(peak, 0.5f, 1e-6f);
    EXPECT_EQ(riff, synthesizeDemoRiff(rate)) << "the same samples on every run";

    // Something sounds in each of the first seven seconds.
    for (int second = 0; second < 7; ++second) {
        double energy = 0.0;
        for (size_t i = size_t(second * rate); i < size_t((second + 1) * rate); ++i)
            energy += double(riff[i]) * riff[i];
        EXPECT_GT(energy / rate, 1e-4) << "second " << second;
    }
}

TEST(DemoRiff, SingleNotesAreInTune)
{
    // The run in bar 2 starts with E3 (164.81 Hz) at 3.0 s and reaches D4
    // (293.66 Hz) at 4.0 s; each lasts a quarter of a second.
    const double rate = 44100.0;
    const std::vector<float> riff = synthesizeDemoRiff(rate);
    const struct {
        double start, frequency;
    } notes[] = {{3.0, 164.81}, {4.0, 293.66}};
    for (const auto& note : notes) {
        const double period = rate / note.frequency;
        const double found = strongestPeriod(riff, size_t((note.start + 0.05) * rate), 4096,
                                             int(period * 0.8), int(period * 1.2));
        // Whole-sample lags: within one sample of the true period.
        EXPECT_NEAR(found, period, 1.0) << note.frequency << " Hz";
    }
}
