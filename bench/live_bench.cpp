// The live process path against the render path, one run, same effect and
// settings: the built Gravel.vst at 8x stereo, 48 kHz, blocks of 64 and 256
// frames. Render copies each block in and calls processReplacing, as
// `gravel render` does; live does what the JACK process callback does with
// JACK's buffers (the copy, the effect, the count of non-finite samples).
// A block with a mapped control change costs what the change costs the
// effect, as it would from a host; BM_LiveProcessPathWithPedal shows it. rt_factor is seconds of audio per
// second of CPU.
#include <benchmark/benchmark.h>

#include "TestSignals.h"
#include "hosting/SilentVSTHost.h"
#include "hosting/TandemLog.h"
#include "hosting/VSTPlugIn.h"
#include "live/LiveProcessor.h"

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr double rate = 48000.0;
enum { kDrive = 1, kPluginMode = 8, kOversampling = 10 };

struct Effect {
    explicit Effect(int frames)
    {
        setTandemLogSink([](const char*, void*) {}, nullptr);
        CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(GRAVEL_BUNDLE_DIR),
                                                               CFIndex(std::strlen(GRAVEL_BUNDLE_DIR)), true);
        CFBundleRef bundle = CFBundleCreate(nullptr, url);
        CFRelease(url);
        plugIn = std::make_unique<VSTPlugIn>(host, bundle, float(rate), frames);
        CFRelease(bundle);
        plugIn->open();
        plugIn->setParameter(kPluginMode, 1.0f);
        plugIn->setParameter(kDrive, 0.75f);
        plugIn->setParameter(kOversampling, 1.0f);
        const std::vector<double> guitar = testsignals::guitar(rate, 2.0);
        for (double x : guitar)
            left.push_back(float(x)), right.push_back(float(0.9 * x));
    }
    SilentVSTHost host;
    std::unique_ptr<VSTPlugIn> plugIn;
    std::vector<float> left, right;
};

void report(benchmark::State& state, int frames)
{
    state.counters["rt_factor"] =
        benchmark::Counter(double(state.iterations()) * frames / rate, benchmark::Counter::kIsRate);
}

void BM_RenderPath(benchmark::State& state)
{
    const int frames = int(state.range(0));
    Effect effect(frames);
    effect.plugIn->setBlockSize(frames);
    effect.plugIn->resume();
    std::vector<float> inL(frames), inR(frames), outL(frames), outR(frames);
    float* ins[2] = {inL.data(), inR.data()};
    float* outs[2] = {outL.data(), outR.data()};
    size_t offset = 0;
    for (auto _ : state) {
        offset = offset + frames > effect.left.size() ? 0 : offset;
        std::memcpy(inL.data(), effect.left.data() + offset, frames * sizeof(float));
        std::memcpy(inR.data(), effect.right.data() + offset, frames * sizeof(float));
        effect.plugIn->processReplacing(ins, outs, frames);
        benchmark::DoNotOptimize(outL.data());
        offset += frames;
    }
    report(state, frames);
}

void livePath(benchmark::State& state, bool pedalMoves)
{
    const int frames = int(state.range(0));
    Effect effect(frames);
    MidiControlMap controls;
    controls.bind(0, 7, kDrive, false);
    LiveProcessor live(*effect.plugIn, controls);
    live.configure(rate, frames);
    std::vector<float> outL(frames), outR(frames);
    float* outs[2] = {outL.data(), outR.data()};
    unsigned char drive[3] = {0xB0, 7, 95};
    size_t offset = 0;
    for (auto _ : state) {
        offset = offset + frames > effect.left.size() ? 0 : offset;
        const float* ins[2] = {effect.left.data() + offset, effect.right.data() + offset};
        if (pedalMoves) {
            drive[2] = drive[2] == 95 ? 96 : 95;
            live.controlChange(drive, 3);
        }
        live.process(ins, outs, frames);
        benchmark::DoNotOptimize(outL.data());
        offset += frames;
    }
    report(state, frames);
}

void BM_LiveProcessPath(benchmark::State& state) { livePath(state, false); }
// An expression pedal moving Drive every block: the worst case.
void BM_LiveProcessPathWithPedal(benchmark::State& state) { livePath(state, true); }

} // namespace

BENCHMARK(BM_RenderPath)->Arg(64)->Arg(256)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LiveProcessPath)->Arg(64)->Arg(256)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LiveProcessPathWithPedal)->Arg(64)->Arg(256)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
