// Gravel.lv2 against the VST effect in one run, same settings: stereo,
// 512-frame blocks at 44100 Hz, Drive 7.5, gain 2, at 2x, 4x and 8x. The LV2
// plug-in is the built DSP binary, loaded as a host loads it; the effect is
// driven through its AEffect record. Compare the rt_factor figures of one
// factor: the LV2 plug-in should cost no more.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <lv2/core/lv2.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "TestSignals.h"
#include "plugin/VST_GRV.h"

namespace {

constexpr double hostRate = 44100.0;
constexpr int blockSize = 512;

struct StereoSignal {
    std::vector<float> left, right;
    StereoSignal()
    {
        const std::vector<double> signal = testsignals::guitar(hostRate, 2.0);
        for (double x : signal) {
            left.push_back(static_cast<float>(x));
            right.push_back(static_cast<float>(0.9 * x));
        }
    }
};

void reportRate(benchmark::State& state)
{
    state.counters["rt_factor"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * blockSize / hostRate, benchmark::Counter::kIsRate);
}

const LV2_Descriptor* gravelLV2()
{
    static const LV2_Descriptor* descriptor = [] {
        void* binary = dlopen(GRAVEL_LV2_DSP_BINARY, RTLD_NOW | RTLD_LOCAL);
        auto entry = binary ? reinterpret_cast<LV2_Descriptor_Function>(dlsym(binary, "lv2_descriptor"))
                            : nullptr;
        return entry ? entry(0) : nullptr;
    }();
    return descriptor;
}

void BM_GravelVST(benchmark::State& state)
{
    const float oversampling = state.range(0) == 2 ? 0.0f : (state.range(0) == 4 ? 0.5f : 1.0f);
    VST_GRV effect(nullptr);
    AEffect* e = effect.getAEffect();
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, static_cast<float>(hostRate));
    e->dispatcher(e, effSetBlockSize, 0, blockSize, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    e->setParameter(e, kPluginMode, 1.0f);
    e->setParameter(e, kInputLevel, 1.0f);
    e->setParameter(e, kDrive, 0.75f);
    e->setParameter(e, kOversampling, oversampling);

    StereoSignal signal;
    std::vector<float> outL(blockSize), outR(blockSize);
    float* outs[2] = {outL.data(), outR.data()};
    size_t offset = 0;
    for (auto _ : state) {
        if (offset + blockSize > signal.left.size())
            offset = 0;
        float* ins[2] = {signal.left.data() + offset, signal.right.data() + offset};
        e->processReplacing(e, ins, outs, blockSize);
        benchmark::DoNotOptimize(outL.data());
        benchmark::DoNotOptimize(outR.data());
        offset += blockSize;
    }
    reportRate(state);
}

void BM_GravelLV2(benchmark::State& state)
{
    const LV2_Descriptor* d = gravelLV2();
    if (!d) {
        state.SkipWithError("cannot load " GRAVEL_LV2_DSP_BINARY "; build gravel_lv2 first");
        return;
    }
    LV2_Handle plugin = d->instantiate(d, hostRate, "", nullptr);
    // Ports: audio 0..3, then the controls in parameter order, in the units
    // the editor shows.
    float controls[kGRVNumParams] = {2.0f, 7.5f, 5.0f, 5.0f, 0.0f, 0.0f, 1.0f, 1.0f, 1.0f, 1.0f,
                                     static_cast<float>(state.range(0))};
    for (uint32_t i = 0; i < uint32_t(kGRVNumParams); ++i)
        d->connect_port(plugin, 4 + i, &controls[i]);
    if (d->activate)
        d->activate(plugin);

    StereoSignal signal;
    std::vector<float> outL(blockSize), outR(blockSize);
    d->connect_port(plugin, 2, outL.data());
    d->connect_port(plugin, 3, outR.data());
    size_t offset = 0;
    for (auto _ : state) {
        if (offset + blockSize > signal.left.size())
            offset = 0;
        d->connect_port(plugin, 0, signal.left.data() + offset);
        d->connect_port(plugin, 1, signal.right.data() + offset);
        d->run(plugin, blockSize);
        benchmark::DoNotOptimize(outL.data());
        benchmark::DoNotOptimize(outR.data());
        offset += blockSize;
    }
    reportRate(state);
    d->cleanup(plugin);
}

// Interleaved by factor, so both formats see the machine in the same state.
BENCHMARK(BM_GravelVST)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GravelLV2)->Arg(2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GravelVST)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GravelLV2)->Arg(4)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GravelVST)->Arg(8)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GravelLV2)->Arg(8)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
