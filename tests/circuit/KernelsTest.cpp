#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "circuit/GRV.h"
#include "circuit/GRVKernels.h"
#include "../support/ScopedEnvironment.h"
#include "TestSignals.h"

using namespace testsignals;
using GRVKernels::Level;

namespace {

struct Settings {
    float drive, asym, fat, tone, level, inBuffer, outBuffer;
};

// Across the switches and the pots' ends, for both diode pairs.
const Settings settingsSweep[] = {
    {0.0f, 0.0f, 0.0f, 0.5f, 0.5f, 1.0f, 1.0f}, {1.0f, 0.0f, 1.0f, 0.0f, 1.0f, 1.0f, 1.0f},
    {0.6f, 1.0f, 0.0f, 1.0f, 0.8f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f, 0.3f, 0.7f, 0.0f, 1.0f},
    {0.8f, 0.0f, 0.0f, 0.7f, 0.4f, 1.0f, 0.0f}, {0.4f, 1.0f, 1.0f, 0.5f, 0.5f, 0.0f, 0.0f},
};

void apply(GRV& model, const Settings& s)
{
    model.setParameterDrive(s.drive);
    model.setParameterClippingType(s.asym);
    model.setParameterFatMode(s.fat);
    model.setParameterToneLevel(s.tone, s.level);
    model.setParameterInputBuffer(s.inBuffer);
    model.setParameterOutputBuffer(s.outBuffer);
}

// A loud guitar, then ±3 V squares (hard edges far up the junctions'
// exponentials), then a quiet guitar.
std::vector<double> testSignal(double fs, int phase)
{
    std::vector<double> s = guitar(fs, 0.08, 4.0);
    const int period = 300 + 37 * phase;
    for (int n = 0; n < static_cast<int>(fs * 0.01); ++n)
        s.push_back((n + 17 * phase) % period < period / 2 ? 3.0 : -3.0);
    const std::vector<double> quiet = guitar(fs, 0.01, 0.3);
    s.insert(s.end(), quiet.begin(), quiet.end());
    return s;
}

// Irregular blocks, the same for every level; Drive moves between two of
// them, as a host's automation would.
template <class ProcessBlock>
void inIrregularBlocks(int count, ProcessBlock processBlock)
{
    const int sizes[] = {1, 7, 64, 3, 512, 0, 1000, 2, 127, 33};
    int done = 0, next = 0;
    while (done < count) {
        const int n = std::min(sizes[next++ % 10], count - done);
        processBlock(done, n, done > count / 2);
        done += n;
    }
}

// Index of the first sample whose bits differ, or -1.
long firstDifference(const std::vector<double>& a, const std::vector<double>& b)
{
    for (size_t i = 0; i < a.size(); ++i) {
        uint64_t x, y;
        std::memcpy(&x, &a[i], sizeof x);
        std::memcpy(&y, &b[i], sizeof y);
        if (x != y)
            return static_cast<long>(i);
    }
    return -1;
}

} // namespace

// A fused multiply-add rounds once where the baseline rounds twice: the
// levels part in the last bits, which the tone filter amplifies at high model
// rates, within the bounds the model keeps against its reference.
TEST(Kernels, LevelsAgreeWithinTheModelsTolerance)
{
    if (!GRVKernels::supported(Level::AVX2FMA))
        GTEST_SKIP() << "this processor lacks AVX2 and FMA: only the baseline pipeline runs here";
    for (int factor : {2, 8}) {
        const double fs = 44100.0 * factor;
        const double bound = factor == 2 ? 2e-7 : 2e-5; // V, as against the reference
        const std::vector<double> in = testSignal(fs, factor);
        const int count = static_cast<int>(in.size());
        for (const Settings& s : settingsSweep) {
            std::vector<double> out[2];
            for (Level level : {Level::Baseline, Level::AVX2FMA}) {
                GRV model(fs);
                model.useKernels(level);
                ASSERT_EQ(model.kernelLevel(), level);
                apply(model, s);
                std::vector<double>& y = out[level == Level::AVX2FMA];
                y.assign(count, 0.0);
                inIrregularBlocks(count, [&](int start, int n, bool late) {
                    model.setParameterDrive(late ? 1.0f - s.drive : s.drive);
                    model.processBlock(in.data() + start, y.data() + start, n);
                });
            }
            EXPECT_GT(maxAbs(out[0]), 0.05) << "the model is silent";
            double difference = 0.0;
            for (int i = 0; i < count; ++i)
                difference = std::max(difference, std::fabs(out[0][i] - out[1][i]));
            EXPECT_LE(difference, bound)
                << factor << "x, drive " << s.drive << ", asym " << s.asym << ", fat " << s.fat
                << ", buffers " << s.inBuffer << "/" << s.outBuffer;
        }
    }
}

// On every level a channel sounds the same alone and in a pair, bit for bit,
// whatever the other channel does (the pair and the single channel are
// separate builds of the pipeline).
TEST(Kernels, EveryLevelGivesAPairWhatEachChannelGivesAlone)
{
    const double fs = 88200.0;
    const std::vector<double> inLeft = testSignal(fs, 0), inRight = testSignal(fs, 3);
    const int count = static_cast<int>(inLeft.size());
    const int pairs[][2] = {{0, 1}, {2, 3}, {4, 4}, {0, 2}, {3, 4}, {5, 1}};
    for (Level level : {Level::Baseline, Level::AVX2FMA}) {
        if (!GRVKernels::supported(level))
            continue;
        for (const auto& pair : pairs) {
            GRV left(fs), right(fs), soloLeft(fs), soloRight(fs);
            GRV* const models[2] = {&left, &right};
            GRV* const solos[2] = {&soloLeft, &soloRight};
            for (int k = 0; k < 2; ++k) {
                for (GRV* m : {models[k], solos[k]}) {
                    m->useKernels(level);
                    apply(*m, settingsSweep[pair[k]]);
                }
            }
            std::vector<double> y[2] = {std::vector<double>(count), std::vector<double>(count)};
            std::vector<double> solo[2] = {std::vector<double>(count), std::vector<double>(count)};
            const std::vector<double>* in[2] = {&inLeft, &inRight};
            inIrregularBlocks(count, [&](int start, int n, bool late) {
                left.setParameterDrive(late ? 0.9f : settingsSweep[pair[0]].drive);
                soloLeft.setParameterDrive(late ? 0.9f : settingsSweep[pair[0]].drive);
                const double* const ins[2] = {inLeft.data() + start, inRight.data() + start};
                double* const outs[2] = {y[0].data() + start, y[1].data() + start};
                GRV::processLanesBlock<2>(models, ins, outs, n);
                for (int k = 0; k < 2; ++k)
                    solos[k]->processBlock(in[k]->data() + start, solo[k].data() + start, n);
            });
            for (int k = 0; k < 2; ++k) {
                EXPECT_GT(maxAbs(y[k]), 0.05) << "the model is silent";
                EXPECT_EQ(firstDifference(y[k], solo[k]), -1)
                    << (level == Level::AVX2FMA ? "AVX2/FMA" : "baseline") << ", pair " << pair[0]
                    << "/" << pair[1] << ", channel " << k;
            }
        }
    }
}

TEST(Kernels, EnvironmentCanForceTheBaseline)
{
    const Level fastest = GRVKernels::supported(Level::AVX2FMA) ? Level::AVX2FMA : Level::Baseline;
    {
        ScopedEnvironment environment("GRAVEL_SIMD", "baseline");
        EXPECT_EQ(GRVKernels::preferred(), Level::Baseline);
        EXPECT_EQ(GRV(88200.0).kernelLevel(), Level::Baseline);
    }
    for (const char* value : {static_cast<const char*>(nullptr), "", "avx2"}) {
        ScopedEnvironment environment("GRAVEL_SIMD", value);
        const std::string shown = value ? value : "(unset)";
        EXPECT_EQ(GRVKernels::preferred(), fastest) << shown;
        EXPECT_EQ(GRV(88200.0).kernelLevel(), fastest) << shown;
    }
}

TEST(Kernels, MissingLevelFallsBackToTheBaseline)
{
    EXPECT_EQ(GRVKernels::table(Level::Baseline).level, Level::Baseline);
    if (GRVKernels::supported(Level::AVX2FMA)) {
        EXPECT_EQ(GRVKernels::table(Level::AVX2FMA).level, Level::AVX2FMA);
        GTEST_SKIP() << "this processor has AVX2 and FMA: the fallback is for processors without them";
    }
    EXPECT_EQ(&GRVKernels::table(Level::AVX2FMA), &GRVKernels::table(Level::Baseline));
    const double fs = 88200.0;
    const std::vector<double> in = testSignal(fs, 1);
    GRV asked(fs), baseline(fs);
    asked.useKernels(Level::AVX2FMA);
    baseline.useKernels(Level::Baseline);
    EXPECT_EQ(asked.kernelLevel(), Level::Baseline);
    std::vector<double> out[2] = {std::vector<double>(in.size()), std::vector<double>(in.size())};
    asked.processBlock(in.data(), out[0].data(), static_cast<int>(in.size()));
    baseline.processBlock(in.data(), out[1].data(), static_cast<int>(in.size()));
    EXPECT_EQ(firstDifference(out[0], out[1]), -1);
}
