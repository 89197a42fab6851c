#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "circuit/GRV.h"
#include "circuit/GRVKernels.h"
#include "TestSignals.h"

using namespace testsignals;

namespace {

const float notANumber = std::numeric_limits<float>::quiet_NaN();
const float infinity = std::numeric_limits<float>::infinity();

std::vector<double> silence(int count)
{
    return std::vector<double>(count, 0.0);
}

} // namespace

TEST(GRV, SilenceGivesATinyOffsetThatDecays)
{
    // The first sample is within 2e-6 V. The input buffer's first-sample
    // offset (about 1.5e-6 V) is then amplified by the clipping stage, so the
    // output to silence peaks at about 4e-6 V (3e-5 V at Drive 1) before it
    // decays.
    struct Case {
        int factor;
        float drive;
        double peakBound;
    };
    for (const Case c : {Case{2, 0.0f, 5e-6}, Case{8, 0.0f, 5e-6}, Case{2, 1.0f, 4e-5},
                         Case{8, 1.0f, 4e-5}}) {
        for (float asym : {0.0f, 1.0f}) {
            const double fs = 44100.0 * c.factor;
            GRV model(fs);
            model.setSampleRate(fs);
            model.setParameterDrive(c.drive);
            model.setParameterClippingType(asym);
            const auto out = run(model, silence(static_cast<int>(fs * 0.35)));
            const double peak = maxAbs(out);
            EXPECT_LT(std::fabs(out[0]), 2e-6) << c.factor << "x, drive " << c.drive;
            EXPECT_LT(peak, c.peakBound) << c.factor << "x, drive " << c.drive;
            EXPECT_GT(peak, std::fabs(out[0])) << c.factor << "x, drive " << c.drive;
            const double tail = maxAbs(out, static_cast<size_t>(fs * 0.3));
            EXPECT_LT(tail, 0.05 * peak) << c.factor << "x, drive " << c.drive;
        }
    }
}

TEST(GRV, DriveLawSetsTheGainResistor)
{
    const double table[][2] = {{0.0, 51000.0},   {0.25, 108143.0}, {0.5, 204846.0},
                               {0.75, 403941.0}, {1.0, 1051000.0}};
    GRV model(88200.0);
    EXPECT_EQ(model.getClippingStage().getGainResistor(), 51000.0);
    for (const auto& row : table) {
        model.setParameterDrive(static_cast<float>(row[0]));
        EXPECT_NEAR(model.getClippingStage().getGainResistor(), row[1], 0.5) << row[0];
    }
    model.setParameterDrive(0.0f);
    EXPECT_EQ(model.getClippingStage().getGainResistor(), 51000.0);
    model.setParameterDrive(1.0f);
    EXPECT_EQ(model.getClippingStage().getGainResistor(), 1051000.0);
}

TEST(GRV, SwitchesTurnOnAtOneHalfAndOnNaN)
{
    GRV model(88200.0);
    EXPECT_EQ(model.getClippingStage().getHPFCap(), 4.7e-8);
    EXPECT_EQ(model.getClippingStage().getClippingType(), SymmetricClipping);
    EXPECT_TRUE(model.isInputBufferOn());
    EXPECT_TRUE(model.isOutputBufferOn());

    for (float on : {0.5f, 1.0f, notANumber}) {
        model.setParameterFatMode(0.49f);
        EXPECT_EQ(model.getClippingStage().getHPFCap(), 4.7e-8);
        model.setParameterFatMode(on);
        EXPECT_EQ(model.getClippingStage().getHPFCap(), 9.4e-8) << on;

        model.setParameterClippingType(0.49f);
        EXPECT_EQ(model.getClippingStage().getClippingType(), SymmetricClipping);
        model.setParameterClippingType(on);
        EXPECT_EQ(model.getClippingStage().getClippingType(), AsymmetricClipping) << on;

        model.setParameterInputBuffer(0.49f);
        EXPECT_FALSE(model.isInputBufferOn());
        model.setParameterInputBuffer(on);
        EXPECT_TRUE(model.isInputBufferOn()) << on;

        model.setParameterOutputBuffer(0.49f);
        EXPECT_FALSE(model.isOutputBufferOn());
        model.setParameterOutputBuffer(on);
        EXPECT_TRUE(model.isOutputBufferOn()) << on;
    }
}

TEST(GRV, OutOfRangeSettingsAreClampedAndNaNKeepsThePreviousOne)
{
    GRV model(88200.0);
    model.setParameterDrive(0.5f);
    const double half = model.getClippingStage().getGainResistor();
    model.setParameterDrive(notANumber);
    EXPECT_EQ(model.getClippingStage().getGainResistor(), half);
    model.setParameterDrive(1.5f);
    EXPECT_EQ(model.getClippingStage().getGainResistor(), 1051000.0);
    model.setParameterDrive(infinity);
    EXPECT_EQ(model.getClippingStage().getGainResistor(), 1051000.0);
    model.setParameterDrive(-0.5f);
    EXPECT_EQ(model.getClippingStage().getGainResistor(), 51000.0);
    model.setParameterDrive(-infinity);
    EXPECT_EQ(model.getClippingStage().getGainResistor(), 51000.0);

    const GRVToneLevelCircuit& tone = model.getToneLevel();
    model.setParameterToneLevel(0.25f, 0.75f);
    EXPECT_DOUBLE_EQ(tone.getToneTarget(), 1.0 / 14.0);
    EXPECT_EQ(tone.getLevelTarget(), 0.75);
    model.setParameterToneLevel(notANumber, notANumber);
    EXPECT_DOUBLE_EQ(tone.getToneTarget(), 1.0 / 14.0);
    EXPECT_EQ(tone.getLevelTarget(), 0.75);
    model.setParameterToneLevel(notANumber, 0.5f); // a valid level still lands
    EXPECT_DOUBLE_EQ(tone.getToneTarget(), 1.0 / 14.0);
    EXPECT_EQ(tone.getLevelTarget(), 0.5);
    model.setParameterToneLevel(2.0f, -1.0f);
    EXPECT_EQ(tone.getToneTarget(), 1.0);
    EXPECT_EQ(tone.getLevelTarget(), 0.0);
    model.setParameterToneLevel(-infinity, infinity);
    EXPECT_EQ(tone.getToneTarget(), 0.0);
    EXPECT_EQ(tone.getLevelTarget(), 1.0);

    // Nothing of this reaches the audio as NaN.
    model.setSampleRate(88200.0);
    for (double y : run(model, guitar(88200.0, 0.05)))
        ASSERT_TRUE(std::isfinite(y));
}

TEST(GRV, BuffersOffLeaveClippingAndToneAroundZero)
{
    const double fs = 88200.0;
    const auto in = guitar(fs, 0.1);

    // Both off: the clipping stage then the tone network, no bias anywhere.
    // The stages alone here are built for any processor, so the model runs
    // its baseline pipeline to give their bits.
    GRV model(fs);
    model.useKernels(GRVKernels::Level::Baseline);
    model.setSampleRate(fs);
    model.setParameterDrive(0.5f);
    model.setParameterInputBuffer(0.0f);
    model.setParameterOutputBuffer(0.0f);
    DiodeClippingOpAmpStage clipping(51000.0, 4700.0, 4.7e-8, 5.1e-11, fs);
    clipping.setGainResistor(model.getClippingStage().getGainResistor());
    GRVToneLevelCircuit tone(fs);
    tone.setSampleRate(fs);
    for (double x : in)
        ASSERT_EQ(model.process(x), tone.process(clipping.process(x)));
    GRV quiet(fs);
    quiet.setSampleRate(fs);
    quiet.setParameterInputBuffer(0.0f);
    quiet.setParameterOutputBuffer(0.0f);
    for (double y : run(quiet, silence(1000)))
        ASSERT_EQ(y, 0.0);

    // Output buffer off, input buffer on: the tone stage's output around 0 V.
    GRV direct(fs);
    direct.setSampleRate(fs);
    direct.setParameterOutputBuffer(0.0f);
    const auto out = run(direct, in);
    double sum = 0.0;
    for (double y : out)
        sum += y;
    EXPECT_LT(std::fabs(sum / out.size()), 0.02);
    EXPECT_GT(maxAbs(out), 0.05);
    EXPECT_LT(maxAbs(out), 1.0);
}

TEST(GRV, BufferSwitchFreezesTheStageState)
{
    const double fs = 88200.0;
    const auto in = guitar(fs, 0.05);
    const size_t half = in.size() / 2;
    GRV switched(fs), plain(fs);
    switched.setSampleRate(fs);
    plain.setSampleRate(fs);
    for (size_t n = 0; n < half; ++n)
        ASSERT_EQ(switched.process(in[n]), plain.process(in[n]));

    // Switching off and straight on again changes nothing.
    switched.setParameterInputBuffer(0.0f);
    switched.setParameterInputBuffer(1.0f);
    for (size_t n = half; n < half + 100; ++n)
        ASSERT_EQ(switched.process(in[n]), plain.process(in[n]));

    // While off, the buffer keeps its state; it resumes from there.
    const double emitter = switched.getInputBuffer().emitterVoltage();
    switched.setParameterInputBuffer(0.0f);
    switched.setParameterOutputBuffer(0.0f);
    for (size_t n = half + 100; n < half + 200; ++n)
        switched.process(in[n]);
    EXPECT_EQ(switched.getInputBuffer().emitterVoltage(), emitter);
    switched.setParameterInputBuffer(1.0f);
    switched.setParameterOutputBuffer(1.0f);
    const double resumed = switched.process(in[half + 200]);
    EXPECT_TRUE(std::isfinite(resumed));
    EXPECT_LT(std::fabs(resumed), 1.0);
    EXPECT_NE(switched.getInputBuffer().emitterVoltage(), emitter);
}

TEST(GRV, SampleRateChangeReturnsEveryStageToRest)
{
    const double fs = 176400.0;
    const auto in = guitar(88200.0, 0.1);
    const auto after = guitar(fs, 0.1, 1.5);
    for (int variant = 0; variant < 4; ++variant) {
        const float drive = variant & 1 ? 1.0f : 0.3f;
        const float switches = variant & 2 ? 1.0f : 0.0f;
        auto configure = [&](GRV& m) {
            m.setParameterDrive(drive);
            m.setParameterClippingType(switches);
            m.setParameterFatMode(switches);
        };
        GRV used(88200.0), fresh(fs);
        used.setSampleRate(88200.0);
        configure(used);
        run(used, in);
        used.setSampleRate(fs);
        configure(fresh);
        fresh.setSampleRate(fs);

        // Components and switches survive; the state does not.
        EXPECT_EQ(used.getSampleRate(), fs);
        EXPECT_EQ(used.getClippingStage().getGainResistor(),
                  fresh.getClippingStage().getGainResistor());
        EXPECT_EQ(used.getClippingStage().getHPFCap(), fresh.getClippingStage().getHPFCap());
        EXPECT_EQ(used.getClippingStage().getClippingType(),
                  fresh.getClippingStage().getClippingType());
        EXPECT_EQ(run(used, after), run(fresh, after)) << "variant " << variant;

        // resetFilters does the same at the current rate.
        run(used, in);
        used.resetFilters();
        GRV again(fs);
        configure(again);
        again.setSampleRate(fs);
        EXPECT_EQ(run(used, after), run(again, after)) << "variant " << variant;
    }
}

TEST(GRV, IrregularBlocksGiveTheSameOutputAsOneBlock)
{
    const double fs = 88200.0;
    auto in = guitar(fs, 0.1);
    const int count = static_cast<int>(in.size());
    GRV whole(fs), pieces(fs), bySample(fs);
    for (GRV* m : {&whole, &pieces, &bySample}) {
        m->setSampleRate(fs);
        m->setParameterDrive(0.8f);
        m->setParameterToneLevel(0.3f, 0.9f);
    }
    std::vector<double> one(count), many(count, -1.0), single(count);
    whole.processBlock(in.data(), one.data(), count);
    // A block runs the stages a sample apart; the output must not show it.
    for (int i = 0; i < count; ++i)
        single[i] = bySample.process(in[i]);
    EXPECT_EQ(one, single);

    const int sizes[] = {1, 7, 64, 3, 512, 0, 1000, 2, 127};
    int done = 0, next = 0;
    while (done < count) {
        const int n = std::min(sizes[next++ % 9], count - done);
        pieces.processBlock(in.data() + done, many.data() + done, n);
        done += n;
    }
    EXPECT_EQ(one, many);

    // Empty and negative blocks touch nothing.
    double sentinel[2] = {7.0, 7.0};
    pieces.processBlock(in.data(), sentinel, 0);
    pieces.processBlock(in.data(), sentinel, -5);
    EXPECT_EQ(sentinel[0], 7.0);
    EXPECT_EQ(pieces.process(0.25), whole.process(0.25));
}

TEST(GRV, NaNPropagatesAndResetFiltersClearsItCompletely)
{
    // The processing entry points detect a NaN output and call resetFilters;
    // after that no trace of the NaN (nor of any earlier signal) may remain.
    const double fs = 176400.0;
    const auto in = guitar(fs, 0.05);
    GRV model(fs), fresh(fs);
    for (GRV* m : {&model, &fresh}) {
        m->setSampleRate(fs);
        m->setParameterDrive(0.7f);
        m->setParameterClippingType(1.0f);
    }
    run(model, in);
    EXPECT_TRUE(std::isnan(model.process(std::numeric_limits<double>::quiet_NaN())));
    EXPECT_TRUE(std::isnan(model.process(0.0)));
    model.resetFilters();
    EXPECT_EQ(run(model, in), run(fresh, in));
}

// Far beyond anything a 9 V pedal could be fed, every stage saturates: the
// junctions conduct as hard as a double allows, the op-amp sits at its rail,
// and the channel comes back to ordinary audio with finite state throughout.
TEST(GRV, InputsFarBeyondTheSupplySaturateWithFiniteState)
{
    const double fs = 88200.0;
    const auto in = guitar(fs, 0.02);
    for (float asymmetric : {0.0f, 1.0f}) {
        for (float buffersOn : {0.0f, 1.0f}) {
            SCOPED_TRACE(testing::Message() << asymmetric << " " << buffersOn);
            GRV model(fs);
            model.setParameterClippingType(asymmetric);
            model.setParameterInputBuffer(buffersOn);
            model.setParameterOutputBuffer(buffersOn);
            model.setParameterDrive(1.0f);
            for (double x : {30.0, -30.0, 1e6, -1e30, 6.8e38, -6.8e38, 6.8e38, 0.0}) {
                const double y = model.process(x);
                ASSERT_TRUE(std::isfinite(y)) << x;
                ASSERT_LT(std::abs(y), 20.0) << x;
                ASSERT_TRUE(model.isFinite()) << x;
            }
            for (double x : in)
                ASSERT_TRUE(std::isfinite(model.process(x)));
        }
    }
    GRV poisoned(fs);
    poisoned.process(std::numeric_limits<double>::quiet_NaN());
    EXPECT_FALSE(poisoned.isFinite());
    poisoned.resetFilters();
    EXPECT_TRUE(poisoned.isFinite());
}

TEST(GRV, StereoLanesGiveExactlyWhatEachChannelGivesAlone)
{
    // Solving the pair's Newton iterations in lock step must not change a
    // single bit of either channel, whatever their settings and signals (one
    // lane may converge at once while the other needs many steps).
    struct Settings {
        float drive, asym, fat, tone, level, inBuffer, outBuffer;
    };
    const Settings pairs[][2] = {
        {{0.2f, 0.0f, 0.0f, 0.5f, 0.5f, 1.0f, 1.0f}, {0.9f, 1.0f, 1.0f, 0.8f, 0.9f, 1.0f, 1.0f}},
        {{1.0f, 1.0f, 0.0f, 0.3f, 0.7f, 1.0f, 1.0f}, {1.0f, 0.0f, 0.0f, 0.3f, 0.7f, 1.0f, 1.0f}},
        {{0.5f, 0.0f, 1.0f, 0.5f, 0.5f, 0.0f, 1.0f}, {0.5f, 0.0f, 1.0f, 0.5f, 0.5f, 1.0f, 0.0f}},
    };
    for (int factor : {2, 8}) {
        const double fs = 44100.0 * factor;
        const auto quiet = guitar(fs, 0.03, 0.3);
        auto loud = guitar(fs, 0.03, 4.0);
        for (size_t n = 0; n < loud.size(); n += 700) // hard edges in one lane only
            loud[n] = n % 1400 ? 3.0 : -3.0;
        for (const auto& pair : pairs) {
            GRV laneA(fs), laneB(fs), soloA(fs), soloB(fs);
            GRV* const all[] = {&laneA, &laneB, &soloA, &soloB};
            for (int m = 0; m < 4; ++m) {
                const Settings& s = pair[m % 2];
                all[m]->setSampleRate(fs);
                all[m]->setParameterDrive(s.drive);
                all[m]->setParameterClippingType(s.asym);
                all[m]->setParameterFatMode(s.fat);
                all[m]->setParameterToneLevel(s.tone, s.level);
                all[m]->setParameterInputBuffer(s.inBuffer);
                all[m]->setParameterOutputBuffer(s.outBuffer);
            }
            GRV* const lanes[2] = {&laneA, &laneB};
            for (size_t n = 0; n < quiet.size(); ++n) {
                const double x[2] = {quiet[n], loud[n]};
                double y[2];
                GRV::processLanes(lanes, x, y);
                ASSERT_EQ(y[0], soloA.process(quiet[n])) << factor << "x, n " << n;
                ASSERT_EQ(y[1], soloB.process(loud[n])) << factor << "x, n " << n;
            }
        }
    }
}
