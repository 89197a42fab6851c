// Cost of the circuit model and its oversampler on a driven guitar-like
// signal: ns per model sample, ns per host sample at each factor, and the
// real-time factor of a stereo pair in 512-sample blocks at 44100 Hz.
#include <benchmark/benchmark.h>
#include <xmmintrin.h>

#include <memory>
#include <vector>

#include "TestSignals.h"
#include "circuit/GRV.h"
#include "circuit/GRVKernels.h"
#include "oversampling/HBOversamplerTemplate.h"

namespace {

constexpr double hostRate = 44100.0;
constexpr int blockSize = 512;

const std::vector<double>& guitar()
{
    static const std::vector<double> signal = testsignals::guitar(hostRate, 2.0);
    return signal;
}

void configure(GRV& model, double modelRate)
{
    model.setParameterDrive(0.75f);
    model.setParameterToneLevel(0.5f, 0.5f);
    model.setSampleRate(modelRate);
}

// A model behind its oversampler at a factor, on one of the model's
// pipelines (0 baseline, 1 AVX2/FMA; the baseline where the processor lacks
// the instructions).
struct OversampledModel {
    GRV model{hostRate};
    HBOversampler<GRV> oversampler{&model, 8, 12, false, hostRate};

    OversampledModel(unsigned factor, int64_t level)
    {
        model.useKernels(level == 1 ? GRVKernels::Level::AVX2FMA : GRVKernels::Level::Baseline);
        configure(model, hostRate * oversampler.factor);
        oversampler.setOversamplingFactor(factor);
    }
};

void flushDenormals()
{
    _mm_setcsr(_mm_getcsr() | 0x8040); // FTZ | DAZ, as the effect does per block
}

void BM_GRVProcess(benchmark::State& state)
{
    flushDenormals();
    GRV model(hostRate * 2);
    configure(model, hostRate * 2);
    const auto& in = guitar();
    size_t i = 0;
    double sink = 0.0;
    for (auto _ : state) {
        sink += model.process(2.0 * in[i]);
        if (++i == in.size())
            i = 0;
    }
    benchmark::DoNotOptimize(sink);
    // The reported time per iteration is the time per model sample.
}
BENCHMARK(BM_GRVProcess);

void BM_ProcessOversampledMono(benchmark::State& state)
{
    flushDenormals();
    OversampledModel mono(static_cast<unsigned>(state.range(0)), 0);
    HBOversampler<GRV>& oversampler = mono.oversampler;
    const auto& in = guitar();
    size_t i = 0;
    double sink = 0.0;
    for (auto _ : state) {
        sink += oversampler.processOversampled(2.0 * in[i], oversampler.factor, 0);
        if (++i == in.size())
            i = 0;
    }
    benchmark::DoNotOptimize(sink);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ProcessOversampledMono)->Arg(2)->Arg(4)->Arg(8);

// The half-band stages alone, around a model that passes its input through.
struct PassThroughModel {
    double process(double x) { return x; }
    void setSampleRate(double) {}
};

void BM_HalfBandStagesOnly(benchmark::State& state)
{
    const unsigned factor = static_cast<unsigned>(state.range(0));
    PassThroughModel model;
    HBOversampler<PassThroughModel> oversampler(&model, 8, 12, false, hostRate);
    oversampler.setOversamplingFactor(factor);
    const auto& in = guitar();
    size_t i = 0;
    double sink = 0.0;
    for (auto _ : state) {
        sink += oversampler.processOversampled(in[i], oversampler.factor, 0);
        if (++i == in.size())
            i = 0;
    }
    benchmark::DoNotOptimize(sink);
}
BENCHMARK(BM_HalfBandStagesOnly)->Arg(2)->Arg(4)->Arg(8);

// Two channels (two models, two oversamplers) in 512-sample blocks;
// processBlock(left, right, inLeft, inRight, outLeft, outRight, n) runs one.
// Arguments: the factor and the pipeline.
template <class ProcessBlock>
void runStereoPair(benchmark::State& state, ProcessBlock processBlock)
{
    flushDenormals();
    const unsigned factor = static_cast<unsigned>(state.range(0));
    OversampledModel left(factor, state.range(1)), right(factor, state.range(1));
    HBOversampler<GRV>& leftOver = left.oversampler;
    HBOversampler<GRV>& rightOver = right.oversampler;

    const auto& in = guitar();
    std::vector<double> inL(blockSize), inR(blockSize), outL(blockSize), outR(blockSize);
    size_t offset = 0;
    for (auto _ : state) {
        if (offset + blockSize > in.size())
            offset = 0;
        for (int i = 0; i < blockSize; ++i) {
            inL[i] = 2.0 * in[offset + i];
            inR[i] = 1.8 * in[offset + i];
        }
        processBlock(leftOver, rightOver, inL.data(), inR.data(), outL.data(), outR.data(),
                     blockSize);
        benchmark::DoNotOptimize(outL.data());
        benchmark::DoNotOptimize(outR.data());
        offset += blockSize;
    }
    // Seconds of stereo audio rendered per second of CPU time.
    state.counters["rt_factor"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * blockSize / hostRate, benchmark::Counter::kIsRate);
}

// One channel after the other, sample by sample, as a straightforward host
// loop would.
void BM_StereoPairRealtime(benchmark::State& state)
{
    runStereoPair(state, [](HBOversampler<GRV>& l, HBOversampler<GRV>& r, const double* xl,
                            const double* xr, double* yl, double* yr, int n) {
        for (int i = 0; i < n; ++i) {
            yl[i] = l.processOversampled(xl[i], l.factor, 0);
            yr[i] = r.processOversampled(xr[i], r.factor, 0);
        }
    });
}
BENCHMARK(BM_StereoPairRealtime)->ArgsProduct({{2, 4, 8}, {0}})->Unit(benchmark::kMicrosecond);

// Both channels' Newton solves in lock step, sample by sample.
void BM_StereoPairLockstepRealtime(benchmark::State& state)
{
    runStereoPair(state, [](HBOversampler<GRV>& l, HBOversampler<GRV>& r, const double* xl,
                            const double* xr, double* yl, double* yr, int n) {
        for (int i = 0; i < n; ++i)
            HBOversampler<GRV>::processOversampledPair(l, r, xl[i], xr[i], yl[i], yr[i]);
    });
}
BENCHMARK(BM_StereoPairLockstepRealtime)->ArgsProduct({{2, 4, 8}, {0}})->Unit(benchmark::kMicrosecond);

// Whole blocks: each stage over the block, the models' stages overlapping and
// the two channels in lock step, as the effect runs them.
void BM_StereoPairBlockRealtime(benchmark::State& state)
{
    runStereoPair(state, HBOversampler<GRV>::processOversampledPairBlock);
}
// Factor, then pipeline (0 baseline, 1 AVX2/FMA).
BENCHMARK(BM_StereoPairBlockRealtime)
    ->ArgsProduct({{2, 4, 8}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

// One channel in whole blocks.
// One channel through an oversampler in 512-sample blocks of the guitar
// signal times gain, in place.
template <class Model>
void runMonoBlocks(benchmark::State& state, HBOversampler<Model>& oversampler, double gain)
{
    const auto& in = guitar();
    std::vector<double> block(blockSize);
    size_t offset = 0;
    for (auto _ : state) {
        if (offset + blockSize > in.size())
            offset = 0;
        for (int i = 0; i < blockSize; ++i)
            block[i] = gain * in[offset + i];
        oversampler.processOversampledBlock(block.data(), block.data(), blockSize);
        benchmark::DoNotOptimize(block.data());
        offset += blockSize;
    }
}

void BM_ProcessOversampledBlockMono(benchmark::State& state)
{
    flushDenormals();
    OversampledModel mono(static_cast<unsigned>(state.range(0)), state.range(1));
    runMonoBlocks(state, mono.oversampler, 2.0);
    // Per host sample, as BM_ProcessOversampledMono.
    state.SetItemsProcessed(state.iterations() * blockSize);
}
// Factor, then pipeline (0 baseline, 1 AVX2/FMA).
BENCHMARK(BM_ProcessOversampledBlockMono)->ArgsProduct({{2, 4, 8}, {0, 1}});

// The half-band stages alone in whole blocks, as the effect runs them; the
// model passes its input through.
struct PassThroughBlockModel {
    double process(double x) { return x; }
    void setSampleRate(double) {}
    bool isFinite() const { return true; }
    template <int Lanes>
    static void processLanesBlock(PassThroughBlockModel* const (&)[Lanes],
                                  const double* const (&in)[Lanes], double* const (&out)[Lanes],
                                  int n)
    {
        for (int k = 0; k < Lanes; ++k)
            for (int i = 0; i < n; ++i)
                out[k][i] = in[k][i];
    }
};

void BM_HalfBandBlocksOnly(benchmark::State& state)
{
    const unsigned factor = static_cast<unsigned>(state.range(0));
    PassThroughBlockModel model;
    HBOversampler<PassThroughBlockModel> oversampler(&model, 8, 12, false, hostRate);
    oversampler.setOversamplingFactor(factor);
    runMonoBlocks(state, oversampler, 1.0);
    // Seconds per host sample, to set beside BM_HalfBandStagesOnly's time.
    state.counters["per_sample"] =
        benchmark::Counter(static_cast<double>(blockSize),
                           benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_HalfBandBlocksOnly)->Arg(2)->Arg(4)->Arg(8);

} // namespace

BENCHMARK_MAIN();
