// The effect as a host drives it: processReplacing through the AEffect
// record, stereo, 512-frame blocks at 44100 Hz, reported as the real-time
// factor (seconds of stereo audio per second of CPU). Settings match the
// model benchmark's stereo pair (Drive 0.75, gains 2.0 and 1.8), so the two
// rt_factor figures at one factor show what the effect shell costs.
#include <benchmark/benchmark.h>

#include <vector>

#include "TestSignals.h"
#include "plugin/VST_GRV.h"

namespace {

constexpr double hostRate = 44100.0;
constexpr int blockSize = 512;

void BM_EffectProcessReplacingRealtime(benchmark::State& state)
{
    const float oversampling = state.range(0) == 2 ? 0.0f : (state.range(0) == 4 ? 0.5f : 1.0f);
    VST_GRV effect(nullptr);
    AEffect* e = effect.getAEffect();
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, static_cast<float>(hostRate));
    e->dispatcher(e, effSetBlockSize, 0, blockSize, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    e->setParameter(e, kPluginMode, 1.0f);
    e->setParameter(e, kInputLevel, 1.0f); // gain 2.0
    e->setParameter(e, kDrive, 0.75f);
    e->setParameter(e, kOversampling, oversampling);

    const std::vector<double> signal = testsignals::guitar(hostRate, 2.0);
    std::vector<float> left(signal.size()), right(signal.size());
    for (size_t i = 0; i < signal.size(); ++i) {
        left[i] = static_cast<float>(signal[i]);
        right[i] = static_cast<float>(0.9 * signal[i]); // 1.8 after the input gain
    }
    std::vector<float> outL(blockSize), outR(blockSize);
    float* outs[2] = {outL.data(), outR.data()};
    size_t offset = 0;
    for (auto _ : state) {
        if (offset + blockSize > left.size())
            offset = 0;
        float* ins[2] = {left.data() + offset, right.data() + offset};
        e->processReplacing(e, ins, outs, blockSize);
        benchmark::DoNotOptimize(outL.data());
        benchmark::DoNotOptimize(outR.data());
        offset += blockSize;
    }
    state.counters["rt_factor"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * blockSize / hostRate, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_EffectProcessReplacingRealtime)->Arg(2)->Arg(4)->Arg(8)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
