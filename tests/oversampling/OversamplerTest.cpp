#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "circuit/GRV.h"
#include "oversampling/HBOversamplerTemplate.h"
#include "TestSignals.h"

using namespace testsignals;

namespace {

// Records every sample and rate it is given and passes samples through.
struct CountingModel {
    std::vector<double> seen;
    std::vector<double> rates;
    double process(double x)
    {
        seen.push_back(x);
        return x;
    }
    void setSampleRate(double rate) { rates.push_back(rate); }
};

struct ZeroModel {
    double process(double) { return 0.0; }
    void setSampleRate(double) {}
};

template <class Model>
std::vector<double> render(HBOversampler<Model>& os, const std::vector<double>& in)
{
    std::vector<double> out(in.size());
    for (size_t i = 0; i < in.size(); ++i)
        out[i] = os.processOversampled(in[i], os.factor, 0);
    return out;
}

// Interpolate a whole signal by 2, or decimate it by 2, with a separate
// filter: what each oversampler stage must do to its stream.
std::vector<double> interpolate(const std::vector<double>& x)
{
    CHalfBandFilter f(12, false);
    std::vector<double> y(2 * x.size());
    for (size_t i = 0; i < x.size(); ++i)
        f.upsample(x[i], y[2 * i], y[2 * i + 1]);
    return y;
}

std::vector<double> decimate(const std::vector<double>& x)
{
    CHalfBandFilter f(12, false);
    std::vector<double> y(x.size() / 2);
    for (size_t i = 0; i < y.size(); ++i)
        f.downsample(x[2 * i], x[2 * i + 1], y[i]);
    return y;
}

} // namespace

TEST(Oversampler, StagesFromTheMaximumAndAnUntouchedModel)
{
    const unsigned maxima[][2] = {{2, 1}, {4, 2}, {8, 3}, {16, 4}};
    for (const auto& m : maxima) {
        CountingModel model;
        HBOversampler<CountingModel> os(&model, m[0], 12, false, 48000.0);
        EXPECT_EQ(os.stages, m[1]) << m[0];
        EXPECT_EQ(os.factor, m[0]);
        EXPECT_EQ(os.maxFactor, m[0]);
        EXPECT_EQ(os.baseRate, 48000.0);
        EXPECT_EQ(os.model, &model);
        EXPECT_TRUE(model.seen.empty());
        EXPECT_TRUE(model.rates.empty());
    }
    // A lower factor later still keeps every stage.
    CountingModel model;
    HBOversampler<CountingModel> os(&model, 8, 12, false, 44100.0);
    os.setOversamplingFactor(2);
    EXPECT_EQ(os.stages, 3u);
    for (unsigned s = 0; s < os.stages; ++s) {
        EXPECT_NE(os.upsamplers[s], nullptr);
        EXPECT_NE(os.downsamplers[s], nullptr);
        EXPECT_NE(os.upsamplers[s], os.downsamplers[s]);
    }
}

TEST(Oversampler, ModelRunsFactorTimesPerHostSampleInTimeOrder)
{
    const auto host = sine(0.5, 1000.0, 44100.0, 200);
    for (unsigned factor : {2u, 4u, 8u}) {
        CountingModel model;
        HBOversampler<CountingModel> os(&model, 8, 12, false, 44100.0);
        os.setOversamplingFactor(factor);
        model.rates.clear();
        const auto out = render(os, host);
        ASSERT_EQ(model.seen.size(), host.size() * factor);

        // The model sees the host signal interpolated stage by stage, sample
        // for sample in time order...
        std::vector<double> expected = host;
        for (unsigned f = 1; f < factor; f *= 2)
            expected = interpolate(expected);
        EXPECT_EQ(model.seen, expected) << factor;
        // ...and its output is decimated back through the mirror stages.
        for (unsigned f = 1; f < factor; f *= 2)
            expected = decimate(expected);
        EXPECT_EQ(out, expected) << factor;
        EXPECT_TRUE(model.rates.empty());
    }
}

TEST(Oversampler, PassesAudioBelowTheHostNyquist)
{
    const double fs = 44100.0;
    const int count = 4000;
    for (unsigned factor : {2u, 8u}) {
        for (double f : {100.0, 1000.0, 15000.0}) {
            CountingModel model;
            HBOversampler<CountingModel> os(&model, 8, 12, false, fs);
            os.setOversamplingFactor(factor);
            const auto out = render(os, sine(1.0, f, fs, count));
            EXPECT_NEAR(fitSine(out, f, fs, count / 2, count).amplitude, 1.0, 1e-6)
                << factor << "x, " << f << " Hz";
        }
    }
}

TEST(Oversampler, SameFactorChangesNothing)
{
    const auto in = guitar(44100.0, 0.02);
    CountingModel model, twinModel;
    HBOversampler<CountingModel> os(&model, 8, 12, false, 44100.0), twin(&twinModel, 8, 12, false,
                                                                          44100.0);
    os.setOversamplingFactor(4);
    twin.setOversamplingFactor(4);
    model.rates.clear();
    render(os, in);
    render(twin, in);
    os.setOversamplingFactor(4);
    EXPECT_TRUE(model.rates.empty());
    EXPECT_EQ(os.factor, 4u);
    EXPECT_EQ(render(os, in), render(twin, in));
}

TEST(Oversampler, FactorChangeSetsTheModelRateAndClearsEveryStage)
{
    const auto in = guitar(44100.0, 0.02);
    CountingModel model;
    HBOversampler<CountingModel> os(&model, 8, 12, false, 44100.0);
    render(os, in);
    os.setOversamplingFactor(4);
    EXPECT_EQ(os.factor, 4u);
    ASSERT_EQ(model.rates.size(), 1u);
    EXPECT_EQ(model.rates[0], 4 * 44100.0);

    // Stage 2, unused at 4x, was cleared too: silence in gives exactly zero.
    double a = 1, b = 1, y = 1;
    os.upsamplers[2]->upsample(0.0, a, b);
    os.downsamplers[2]->downsample(0.0, 0.0, y);
    EXPECT_EQ(a, 0.0);
    EXPECT_EQ(b, 0.0);
    EXPECT_EQ(y, 0.0);

    // The first output comes from cleared filters: as from a new oversampler.
    CountingModel freshModel;
    HBOversampler<CountingModel> fresh(&freshModel, 8, 12, false, 44100.0);
    fresh.setOversamplingFactor(4);
    EXPECT_EQ(render(os, in), render(fresh, in));

    // The same with the circuit model: its rate follows and it starts at rest.
    GRV grv(8 * 44100.0), freshGrv(4 * 44100.0);
    grv.setSampleRate(8 * 44100.0);
    freshGrv.setSampleRate(4 * 44100.0);
    HBOversampler<GRV> grvOs(&grv, 8, 12, false, 44100.0), freshGrvOs(&freshGrv, 8, 12, false,
                                                                       44100.0);
    render(grvOs, in);
    grvOs.setOversamplingFactor(4);
    freshGrvOs.setOversamplingFactor(4);
    EXPECT_EQ(grv.getSampleRate(), 4 * 44100.0);
    EXPECT_EQ(render(grvOs, in), render(freshGrvOs, in));
}

TEST(Oversampler, InvalidFactorsLeaveTheFactorAlone)
{
    CountingModel model;
    HBOversampler<CountingModel> os(&model, 8, 12, false, 44100.0);
    os.setOversamplingFactor(4);
    model.rates.clear();
    std::vector<unsigned> invalid = {0, 6};
#ifdef NDEBUG
    // These trip the assertions in debug builds (see the death test).
    invalid.insert(invalid.end(), {3, 16, 5, 1});
#endif
    for (unsigned f : invalid) {
        os.setOversamplingFactor(f);
        EXPECT_EQ(os.factor, 4u) << f;
        EXPECT_TRUE(model.rates.empty()) << f;
    }
    // A larger maximum does not make 6 (or 12) usable.
    CountingModel bigModel;
    HBOversampler<CountingModel> big(&bigModel, 16, 12, false, 44100.0);
    big.setOversamplingFactor(6);
    big.setOversamplingFactor(12);
    EXPECT_EQ(big.factor, 16u);
    EXPECT_TRUE(bigModel.rates.empty());
    // And processing still terminates with the kept factor.
    EXPECT_TRUE(std::isfinite(os.processOversampled(0.5, os.factor, 0)));
    EXPECT_EQ(model.seen.size(), 4u);
}

TEST(Oversampler, SilenceInGivesSilenceOut)
{
    for (unsigned factor : {2u, 4u, 8u}) {
        ZeroModel model;
        HBOversampler<ZeroModel> os(&model, 8, 12, false, 44100.0);
        os.setOversamplingFactor(factor);
        for (double y : render(os, std::vector<double>(2000, 0.0)))
            ASSERT_EQ(y, 0.0) << factor;
        // A signal in, the model silent: still exactly silent out.
        for (double y : render(os, guitar(44100.0, 0.01)))
            ASSERT_EQ(y, 0.0) << factor;
    }
}

TEST(Oversampler, IrregularBlocksGiveTheSameOutputAsOneBlock)
{
    // As the effect will run it: blocks of any size, with the (unchanged)
    // settings re-applied between blocks.
    const auto in = guitar(44100.0, 0.05);
    auto setUp = [](GRV& m) {
        m.setSampleRate(8 * 44100.0);
        m.setParameterDrive(0.6f);
        m.setParameterClippingType(1.0f);
    };
    GRV oneModel(44100.0), blockModel(44100.0);
    setUp(oneModel);
    setUp(blockModel);
    HBOversampler<GRV> one(&oneModel, 8, 12, false, 44100.0), blocks(&blockModel, 8, 12, false,
                                                                     44100.0);
    const auto expected = render(one, in);

    std::vector<double> got;
    const size_t sizes[] = {1, 7, 64, 3, 512, 2, 100};
    size_t done = 0;
    for (int k = 0; done < in.size(); ++k) {
        const size_t n = std::min(sizes[k % 7], in.size() - done);
        blocks.setOversamplingFactor(8);
        blockModel.setParameterDrive(0.6f);
        blockModel.setParameterClippingType(1.0f);
        blockModel.setParameterFatMode(0.0f);
        for (size_t i = done; i < done + n; ++i)
            got.push_back(blocks.processOversampled(in[i], blocks.factor, 0));
        done += n;
    }
    EXPECT_EQ(got, expected);
}

TEST(Oversampler, ResetAfterNaNStartsFromSilence)
{
    // What the processing entry points do after a NaN output: reset the
    // model and every stage's filters, upsampler first.
    const auto in = guitar(44100.0, 0.02);
    GRV model(8 * 44100.0), freshModel(8 * 44100.0);
    model.setSampleRate(8 * 44100.0);
    freshModel.setSampleRate(8 * 44100.0);
    HBOversampler<GRV> os(&model, 8, 12, false, 44100.0), fresh(&freshModel, 8, 12, false,
                                                                44100.0);
    render(os, in);
    EXPECT_TRUE(std::isnan(os.processOversampled(std::numeric_limits<double>::quiet_NaN(), 8, 0)));
    EXPECT_TRUE(std::isnan(os.processOversampled(0.0, 8, 0)));
    model.resetFilters();
    for (unsigned s = 0; s < os.stages; ++s) {
        os.upsamplers[s]->reset();
        os.downsamplers[s]->reset();
    }
    EXPECT_EQ(render(os, in), render(fresh, in));
}

TEST(OversamplerDeathTest, ArgumentChecksReportFunctionSourceLineAndCondition)
{
#ifndef NDEBUG
    CountingModel model;
    EXPECT_DEATH(HBOversampler<CountingModel>(&model, 0, 12, false, 44100.0),
                 "Assertion failed: \\(maxRate>0\\), function HBOversampler, file "
                 "src/oversampling/HBOversamplerTemplate, line 44\\.");
    EXPECT_DEATH(HBOversampler<CountingModel>(&model, 3, 12, false, 44100.0),
                 "Assertion failed: \\(maxRate%2==0\\), function HBOversampler, file "
                 "src/oversampling/HBOversamplerTemplate, line 45\\.");
    EXPECT_DEATH(HBOversampler<CountingModel>(&model, 8, 0, false, 44100.0),
                 "Assertion failed: \\(order>0\\), function HBOversampler, file "
                 "src/oversampling/HBOversamplerTemplate, line 47\\.");
    EXPECT_DEATH(HBOversampler<CountingModel>(&model, 8, 3, false, 44100.0),
                 "Assertion failed: \\(order%2==0\\), function HBOversampler, file "
                 "src/oversampling/HBOversamplerTemplate, line 48\\.");
    EXPECT_DEATH(HBOversampler<CountingModel>(&model, 8, 14, false, 44100.0),
                 "Assertion failed: \\(order<=12\\), function HBOversampler, file "
                 "src/oversampling/HBOversamplerTemplate, line 49\\.");
    HBOversampler<CountingModel> os(&model, 8, 12, false, 44100.0);
    EXPECT_DEATH(os.setOversamplingFactor(16),
                 "Assertion failed: \\(f<=maxFactor\\), function setOversamplingFactor, file "
                 "src/oversampling/HBOversamplerTemplate, line 101\\.");
    EXPECT_DEATH(os.setOversamplingFactor(3),
                 "Assertion failed: \\(f%2==0\\), function setOversamplingFactor, file "
                 "src/oversampling/HBOversamplerTemplate, line 102\\.");
#else
    GTEST_SKIP() << "assertions are compiled out of release builds";
#endif
}
