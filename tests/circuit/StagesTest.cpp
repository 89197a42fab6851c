#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "circuit/DiodeClippingOpAmpStage.h"
#include "circuit/GRVInputBuffer.h"
#include "circuit/GRVOutputBuffer.h"
#include "circuit/GRVToneLevelCircuit.h"
#include "TestSignals.h"

using namespace testsignals;

// ---------------------------------------------------------------- input buffer

TEST(InputBuffer, QuiescentStateIsSelfConsistent)
{
    for (double fs : {44100.0, 88200.0, 352800.0}) {
        GRVInputBuffer buffer(fs);
        EXPECT_NEAR(buffer.process(0.0), 4.5, 2e-6) << fs;
        double y = 0.0;
        for (int n = 0; n < static_cast<int>(fs * 0.5); ++n)
            y = buffer.process(0.0);
        EXPECT_NEAR(y, 4.5, 1e-9) << fs;
        EXPECT_NEAR(buffer.emitterVoltage(), 3.8607, 1e-4) << fs;
    }
}

TEST(InputBuffer, PassesAudioAtAboutNinetyEightPercentAroundTheBias)
{
    // Follower gain R/(R + re) with R = R3 ∥ R4 = 5 kΩ and re = Vt/IE ≈ 67 Ω,
    // times the R1/R2 divider: about 0.985.
    const double fs = 44100.0;
    const int count = static_cast<int>(fs * 0.5);
    GRVInputBuffer buffer(fs);
    const auto out = run(buffer, sine(0.1, 1000.0, fs, count));
    const SineFit fit = fitSine(out, 1000.0, fs, count / 2, count);
    EXPECT_NEAR(fit.amplitude / 0.1, 0.985, 0.002);
    EXPECT_NEAR(fit.offset, 4.5, 1e-5);
}

TEST(InputBuffer, BlocksDC)
{
    const double fs = 44100.0;
    GRVInputBuffer buffer(fs);
    double y = 0.0;
    for (int n = 0; n < static_cast<int>(fs * 0.5); ++n)
        y = buffer.process(1.0);
    EXPECT_NEAR(y, 4.5, 1e-6);
}

TEST(InputBuffer, SampleRateChangeKeepsTheState)
{
    // Push the stage away from rest with a DC step, then change the rate:
    // the next sample continues from where the old rate left off, while a
    // reset stage starts again from rest.
    GRVInputBuffer running(44100.0), reset(44100.0);
    double last = 0.0;
    for (int n = 0; n < 40; ++n) {
        last = running.process(1.0);
        reset.process(1.0);
    }
    ASSERT_GT(std::fabs(last - 4.5), 0.1);
    const double emitter = running.emitterVoltage();
    running.setSampleRate(88200.0);
    EXPECT_EQ(running.emitterVoltage(), emitter);
    reset.setSampleRate(88200.0);
    reset.resetFilters();
    GRVInputBuffer fresh(88200.0);

    const double continued = running.process(1.0);
    EXPECT_NEAR(continued, last, 0.01);
    const double restarted = reset.process(1.0);
    EXPECT_EQ(restarted, fresh.process(1.0));
    EXPECT_GT(std::fabs(restarted - continued), 0.1);
}

// ------------------------------------------------------------- clipping stage

namespace {

DiodeClippingOpAmpStage makeStage(double fs, double gainResistor = 51000.0,
                                  double hpfCap = 4.7e-8)
{
    return DiodeClippingOpAmpStage(gainResistor, 4700.0, hpfCap, 5.1e-11, fs);
}

} // namespace

TEST(ClippingStage, SilenceGivesExactlyZeroAfterOneStep)
{
    auto stage = makeStage(88200.0);
    EXPECT_EQ(stage.process(0.0), 0.0);
    EXPECT_EQ(stage.lastIterations(), 1);

    // The same after a reset from a driven state.
    for (double x : sine(0.3, 1000.0, 88200.0, 500))
        stage.process(x);
    stage.resetFilters();
    EXPECT_EQ(stage.process(0.0), 0.0);
    EXPECT_EQ(stage.lastIterations(), 1);
}

TEST(ClippingStage, SmallSignalGainBetweenTheCorners)
{
    // 1 + Rg/Rh = 11.85 for an ideal stage; the 720 Hz corner of Rh–Ch, the
    // 61 kHz corner of Rg–Cf and the diodes' small-signal conductance bring it
    // to about 11.2 at 5 kHz.
    const double fs = 176400.0;
    const int count = static_cast<int>(fs * 0.05);
    auto stage = makeStage(fs);
    const auto out = run(stage, sine(0.001, 5000.0, fs, count));
    EXPECT_NEAR(fitSine(out, 5000.0, fs, count / 2, count).amplitude / 0.001, 11.2, 0.05);
}

TEST(ClippingStage, FatModeAmplifiesMoreLowEnd)
{
    // 94 nF moves the Rh–Ch corner from about 720 Hz down to about 360 Hz.
    const double fs = 176400.0;
    const int count = static_cast<int>(fs * 0.1);
    const auto in = sine(0.001, 300.0, fs, count);
    auto normal = makeStage(fs, 51000.0, 4.7e-8);
    auto fat = makeStage(fs, 51000.0, 9.4e-8);
    const double gainNormal = fitSine(run(normal, in), 300.0, fs, count / 2, count).amplitude;
    const double gainFat = fitSine(run(fat, in), 300.0, fs, count / 2, count).amplitude;
    EXPECT_GT(gainFat / gainNormal, 1.3);

    // setHPFCap on a running stage gives the same as building it with 94 nF.
    auto switched = makeStage(fs, 51000.0, 4.7e-8);
    switched.setHPFCap(9.4e-8);
    auto built = makeStage(fs, 51000.0, 9.4e-8);
    EXPECT_EQ(run(switched, in), run(built, in));
}

TEST(ClippingStage, DiodesLimitTheOutputSymmetricallyOrTwiceAsFarNegative)
{
    const double fs = 176400.0;
    const int count = static_cast<int>(fs * 0.05);
    const auto in = sine(0.3, 1000.0, fs, count);
    double limits[2][2];
    for (int type = 0; type < 2; ++type) {
        auto stage = makeStage(fs, 1051000.0);
        stage.setClippingType(type ? AsymmetricClipping : SymmetricClipping);
        double high = -10.0, low = 10.0;
        for (int n = 0; n < count; ++n) {
            const double d = stage.process(in[n]) - in[n];
            if (n >= count / 2) {
                high = std::fmax(high, d);
                low = std::fmin(low, d);
            }
        }
        limits[type][0] = high;
        limits[type][1] = low;
    }
    // A 0.3 V input at a gain of about 200 would swing far beyond these.
    EXPECT_GT(limits[0][0], 0.1);
    EXPECT_LT(limits[0][0], 0.5);
    EXPECT_NEAR(-limits[0][1] / limits[0][0], 1.0, 1e-3);
    EXPECT_NEAR(limits[1][0], limits[0][0], 0.01 * limits[0][0]);
    EXPECT_NEAR(-limits[1][1] / limits[1][0], 2.0, 0.05);
}

TEST(ClippingStage, NewtonStepsFallAsTheRateRises)
{
    // A driven 1 kHz sine (Drive 1, 0.5 V): the faster the rate, the closer
    // each sample's start value, the fewer steps.
    double previous = 1e9;
    for (int factor : {2, 4, 8}) {
        const double fs = 44100.0 * factor;
        const int count = static_cast<int>(fs * 0.02);
        auto stage = makeStage(fs, 1051000.0);
        long steps = 0;
        for (double x : sine(0.5, 1000.0, fs, count)) {
            stage.process(x);
            steps += stage.lastIterations();
        }
        const double mean = static_cast<double>(steps) / count;
        EXPECT_LT(mean, previous) << "factor " << factor;
        EXPECT_LE(mean, 4.0) << "factor " << factor;
        EXPECT_GE(mean, 1.0) << "factor " << factor;
        previous = mean;
    }
}

TEST(ClippingStage, ClippingTypeChangeLeavesTheStateAlone)
{
    const double fs = 88200.0;
    const auto in = sine(0.2, 440.0, fs, 2000);
    auto steady = makeStage(fs, 204846.0);
    auto toggled = makeStage(fs, 204846.0);
    auto switched = makeStage(fs, 204846.0);
    double before = 0.0;
    for (int n = 0; n < 2000; ++n) {
        if (n == 1000) {
            toggled.setClippingType(AsymmetricClipping);
            toggled.setClippingType(SymmetricClipping);
            switched.setClippingType(AsymmetricClipping);
        }
        const double y = steady.process(in[n]);
        ASSERT_EQ(toggled.process(in[n]), y) << n;
        const double z = switched.process(in[n]);
        if (n == 999)
            before = z;
        if (n == 1000) { // continues from the driven state: no jump back to 0
            EXPECT_NEAR(z, before, 0.05);
        }
    }
    EXPECT_EQ(switched.getClippingType(), AsymmetricClipping);
}

TEST(ClippingStage, DCSettlesToUnityGain)
{
    // Ch blocks DC in the feedback leg, so a constant comes out unchanged.
    for (double level : {0.1, -0.05}) {
        auto stage = makeStage(176400.0, 1051000.0);
        double y = 0.0;
        for (int n = 0; n < 17640; ++n)
            y = stage.process(level);
        EXPECT_NEAR(y, level, 1e-6) << level;
    }
}

// ------------------------------------------------------------- tone and level

namespace {

// |H(e^jωT)| of the stage's digital filter, from its coefficients.
double digitalMagnitude(const GRVToneLevelCircuit& stage, double frequency, double fs)
{
    const TDFII& f = stage.getFilter();
    const std::complex<double> zInv = std::polar(1.0, -2.0 * pi * frequency / fs);
    std::complex<double> num = 0.0, den = 0.0, power = 1.0;
    for (int i = 0; i <= 4; ++i) {
        num += f.numerator()[i] * power;
        den += f.denominator()[i] * power;
        power *= zInv;
    }
    return std::abs(num / den);
}

// Glide the positions onto their targets (far past the stop threshold), then
// move to the rate under test, which recomputes the filter there.
void settle(GRVToneLevelCircuit& stage, double tone, double level, double fs)
{
    stage.setSampleRate(44100.0);
    stage.setSettings(tone, level);
    for (int n = 0; n < 40000; ++n)
        stage.smoothParameters();
    stage.setSampleRate(fs);
}

} // namespace

TEST(ToneLevel, DigitalResponseAtHighRateMatchesTheAnalogueNetwork)
{
    struct Row {
        double tone, level, response[5];
    };
    const double frequencies[5] = {20.0, 300.0, 1000.0, 3000.0, 10000.0};
    const Row rows[] = {{0.0, 1.0, {0.881, 0.703, 0.326, 0.138, 0.062}},
                        {0.5, 1.0, {0.881, 0.845, 0.589, 0.251, 0.078}},
                        {1.0, 1.0, {0.882, 0.938, 1.049, 0.878, 0.376}},
                        {0.5, 0.5, {0.422, 0.403, 0.281, 0.120, 0.037}}};
    const double fs = 352800.0;
    for (const Row& row : rows) {
        GRVToneLevelCircuit stage(fs);
        settle(stage, row.tone, row.level, fs);
        ASSERT_NEAR(stage.getTone(), row.tone, 1e-9);
        ASSERT_NEAR(stage.getLevel(), row.level, 1e-9);
        for (int i = 0; i < 5; ++i)
            EXPECT_NEAR(digitalMagnitude(stage, frequencies[i], fs), row.response[i], 0.0015)
                << "T " << row.tone << ", L " << row.level << ", " << frequencies[i] << " Hz";
    }

    // The double zero at DC: the plateau is reached over the first tens of Hz.
    GRVToneLevelCircuit stage(fs);
    settle(stage, 0.5, 1.0, fs);
    const double rise[][2] = {{1.0, 0.14}, {5.0, 0.70}, {10.0, 0.84}, {100.0, 0.89}};
    for (const auto& point : rise)
        EXPECT_NEAR(digitalMagnitude(stage, point[0], fs), point[1], 0.006) << point[0] << " Hz";
}

TEST(ToneLevel, FilterRealisesItsResponseOnASine)
{
    const double fs = 352800.0;
    GRVToneLevelCircuit stage(fs);
    stage.setSampleRate(fs); // tone and level at 0.5
    const int count = static_cast<int>(fs * 0.2);
    const auto out = run(stage, sine(1.0, 1000.0, fs, count));
    const SineFit fit = fitSine(out, 1000.0, fs, count / 2, count);
    EXPECT_NEAR(fit.amplitude, digitalMagnitude(stage, 1000.0, fs), 1e-6);
    EXPECT_NEAR(fit.amplitude, 0.281, 0.0015);
}

TEST(ToneLevel, ConstantInputDecaysToZero)
{
    const double fs = 88200.0;
    GRVToneLevelCircuit stage(fs);
    stage.setSampleRate(fs);
    double y = 1.0;
    for (int n = 0; n < static_cast<int>(fs * 2.0); ++n)
        y = stage.process(0.5);
    EXPECT_NEAR(y, 0.0, 1e-6);
}

TEST(ToneLevel, GlideTakes6212StepsAndStopsShortOfTheTarget)
{
    struct Case {
        double levelTarget, finalLevel;
    };
    for (const Case c : {Case{1.0, 0.9990005}, Case{0.0, 0.0009995}}) {
        GRVToneLevelCircuit stage(44100.0); // interval 1: one step per sample
        stage.setSampleRate(44100.0);
        stage.setSettings(0.5, c.levelTarget);
        int steps = 0;
        while (stage.isSmoothing() && steps < 100000) {
            stage.process(0.0);
            ++steps;
        }
        EXPECT_EQ(steps, 6212) << c.levelTarget;
        EXPECT_NEAR(stage.getLevel(), c.finalLevel, 1e-7) << c.levelTarget;
        EXPECT_EQ(stage.getTone(), 0.5);
        EXPECT_EQ(stage.getLevelTarget(), c.levelTarget);
    }
}

TEST(ToneLevel, GlideTakesTheSameTimeAtEveryRate)
{
    for (int factor : {1, 2, 4, 8}) {
        const double fs = 44100.0 * factor;
        GRVToneLevelCircuit stage(fs);
        stage.setSampleRate(fs);
        stage.setSettings(0.5, 1.0);
        int samples = 0;
        while (stage.isSmoothing() && samples < 1000000) {
            stage.process(0.0);
            ++samples;
        }
        // The 6212th step falls on sample (6212 − 1)·interval.
        EXPECT_EQ(samples, 6211 * factor + 1) << fs;
        EXPECT_NEAR(samples / fs, 6212.0 / 44100.0, 1e-3) << fs;
    }
}

TEST(ToneLevel, GlideIntervalFollowsTheModelRate)
{
    const double rates[][2] = {{44100.0, 1}, {88200.0, 2},  {96000.0, 2},
                               {176400.0, 4}, {352800.0, 8}, {48000.0, 1}};
    for (const auto& r : rates) {
        GRVToneLevelCircuit constructed(r[0]);
        EXPECT_EQ(constructed.getInterval(), r[1]) << r[0];
        GRVToneLevelCircuit changed(44100.0);
        changed.setSampleRate(r[0]);
        EXPECT_EQ(changed.getInterval(), r[1]) << r[0];
    }
    // Low rates still glide, one step per sample.
    for (double fs : {22050.0, 11025.0}) {
        GRVToneLevelCircuit stage(fs);
        stage.setSampleRate(fs);
        EXPECT_GE(stage.getInterval(), 1u) << fs;
        stage.setSettings(0.5, 1.0);
        int samples = 0;
        while (stage.isSmoothing() && samples < 100000) {
            stage.process(0.0);
            ++samples;
        }
        EXPECT_FALSE(stage.isSmoothing()) << fs;
        EXPECT_NEAR(stage.getLevel(), 0.9990005, 1e-7) << fs;
    }
}

TEST(ToneLevel, ToneTaperAndRepeatedSettings)
{
    GRVToneLevelCircuit stage(44100.0);
    stage.setSampleRate(44100.0);
    stage.setSettings(0.25, 0.5);
    EXPECT_DOUBLE_EQ(stage.getToneTarget(), 1.0 / 14.0);
    stage.setSettings(0.75, 0.5);
    EXPECT_DOUBLE_EQ(stage.getToneTarget(), 13.0 / 14.0);
    stage.setSettings(0.5, 0.5);
    EXPECT_EQ(stage.getToneTarget(), 0.5);

    // Settings already reached: one step (and coefficient update), then stop.
    stage.process(0.0);
    EXPECT_FALSE(stage.isSmoothing());
    stage.setSettings(0.5, 0.5);
    EXPECT_TRUE(stage.isSmoothing());
    stage.process(0.0);
    EXPECT_FALSE(stage.isSmoothing());
}

TEST(ToneLevel, ResetAndRateChangeKeepTheGlidePositions)
{
    GRVToneLevelCircuit stage(44100.0);
    stage.setSampleRate(44100.0);
    stage.setSettings(1.0, 1.0);
    for (int n = 0; n < 100; ++n)
        stage.process(0.1);
    const double tone = stage.getTone(), level = stage.getLevel();
    stage.resetFilters();
    EXPECT_EQ(stage.getTone(), tone);
    EXPECT_EQ(stage.getLevel(), level);
    EXPECT_TRUE(stage.isSmoothing());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(stage.getFilter().state()[i], 0.0);
    stage.setSampleRate(88200.0);
    EXPECT_EQ(stage.getTone(), tone);
    EXPECT_TRUE(stage.isSmoothing());
}

// ------------------------------------------------------------- output buffer

TEST(OutputBuffer, BiasInputGivesATinyOffsetThatDecays)
{
    const double fs = 44100.0;
    GRVOutputBuffer buffer(fs);
    const double first = buffer.process(4.5);
    EXPECT_LT(first, -1e-6);
    EXPECT_GT(first, -2e-6);
    double previous = first;
    for (int block = 0; block < 44; ++block) {
        double y = 0.0;
        for (int n = 0; n < 1000; ++n)
            y = buffer.process(4.5);
        EXPECT_LE(std::fabs(y), std::fabs(previous)) << block;
        previous = y;
    }
    EXPECT_LT(std::fabs(previous), 1e-9);
}

TEST(OutputBuffer, PassesAudioAtAboutNinetySevenPointSevenPercentAroundZero)
{
    // Follower into Ra ∥ (Rb + Rc) ≈ 5 kΩ with re ≈ 67 Ω, then Rc/(Rb + Rc).
    const double fs = 44100.0;
    const int count = static_cast<int>(fs * 1.0);
    GRVOutputBuffer buffer(fs);
    const auto out = run(buffer, sine(0.5, 1000.0, fs, count, 4.5));
    const SineFit fit = fitSine(out, 1000.0, fs, count / 2, count);
    EXPECT_NEAR(fit.amplitude / 0.5, 0.977, 0.001);
    EXPECT_NEAR(fit.offset, 0.0, 1e-4);
}

TEST(OutputBuffer, BlocksDC)
{
    const double fs = 44100.0;
    GRVOutputBuffer buffer(fs);
    double y = 1.0;
    for (int n = 0; n < static_cast<int>(fs * 2.0); ++n)
        y = buffer.process(5.0);
    EXPECT_NEAR(y, 0.0, 1e-6);
}
