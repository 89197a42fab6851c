// Gravel.clap against the VST effect in one run, same settings: stereo,
// 512-frame blocks at 44100 Hz, Drive 7.5, gain 2, at 2x, 4x and 8x; then
// the same with 16 Drive automation events in every block (as CLAP events
// at their frames, and as the VST effect's block cut at those frames with a
// setParameter at each cut). The CLAP plug-in is the built Gravel.clap,
// loaded as a host loads it. Compare the rt_factor figures of one case: the
// CLAP plug-in should cost no more.
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <vector>

#include "TestSignals.h"
#include "clap/ClapInterface.h"
#include "plugin/VST_GRV.h"

namespace {

constexpr double hostRate = 44100.0;
constexpr uint32_t blockSize = 512;
constexpr int automationEvents = 16;

struct StereoSignal {
    std::vector<float> left, right;
    StereoSignal()
    {
        for (double x : testsignals::guitar(hostRate, 2.0)) {
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

float oversamplingOf(benchmark::State& state)
{
    return state.range(0) == 2 ? 0.0f : (state.range(0) == 4 ? 0.5f : 1.0f);
}

// Event k of a block: its frame and the Drive it sets (0..1).
uint32_t eventFrame(int k)
{
    return uint32_t(k) * (blockSize / automationEvents) + 5;
}
float eventDrive(int k)
{
    return 0.75f + 0.01f * float(k % 2);
}

void BM_GravelVST(benchmark::State& state)
{
    const bool automated = state.range(1) != 0;
    VST_GRV effect(nullptr);
    AEffect* e = effect.getAEffect();
    e->dispatcher(e, effSetSampleRate, 0, 0, nullptr, static_cast<float>(hostRate));
    e->dispatcher(e, effSetBlockSize, 0, blockSize, nullptr, 0.0f);
    e->dispatcher(e, effMainsChanged, 0, 1, nullptr, 0.0f);
    e->setParameter(e, kPluginMode, 1.0f);
    e->setParameter(e, kInputLevel, 1.0f);
    e->setParameter(e, kDrive, 0.75f);
    e->setParameter(e, kOversampling, oversamplingOf(state));

    StereoSignal signal;
    std::vector<float> outL(blockSize), outR(blockSize);
    size_t offset = 0;
    for (auto _ : state) {
        if (offset + blockSize > signal.left.size())
            offset = 0;
        uint32_t done = 0;
        for (int k = 0; k <= (automated ? automationEvents : 0); ++k) {
            const uint32_t until = automated && k < automationEvents ? eventFrame(k) : blockSize;
            float* ins[2] = {signal.left.data() + offset + done, signal.right.data() + offset + done};
            float* outs[2] = {outL.data() + done, outR.data() + done};
            e->processReplacing(e, ins, outs, VstInt32(until - done));
            done = until;
            if (automated && k < automationEvents)
                e->setParameter(e, kDrive, eventDrive(k));
        }
        benchmark::DoNotOptimize(outL.data());
        benchmark::DoNotOptimize(outR.data());
        offset += blockSize;
    }
    reportRate(state);
}

const clap_plugin_factory_t* clapFactory()
{
    static const clap_plugin_factory_t* factory = [] {
        void* binary = dlopen(GRAVEL_CLAP, RTLD_NOW | RTLD_LOCAL);
        auto* entry = binary ? static_cast<const clap_plugin_entry_t*>(dlsym(binary, "clap_entry")) : nullptr;
        return entry && entry->init(GRAVEL_CLAP)
                   ? static_cast<const clap_plugin_factory_t*>(entry->get_factory(CLAP_PLUGIN_FACTORY_ID))
                   : nullptr;
    }();
    return factory;
}

struct Events {
    std::vector<clap_event_param_value_t> list;
    static uint32_t size(const clap_input_events_t* in) { return uint32_t(static_cast<Events*>(in->ctx)->list.size()); }
    static const clap_event_header_t* get(const clap_input_events_t* in, uint32_t i)
    {
        return &static_cast<Events*>(in->ctx)->list[i].header;
    }
    void add(uint32_t frame, clap_id id, double value)
    {
        clap_event_param_value_t e = {};
        e.header = {sizeof e, frame, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
        e.param_id = id;
        e.note_id = -1;
        e.port_index = e.channel = e.key = -1;
        e.value = value;
        list.push_back(e);
    }
};

void BM_GravelCLAP(benchmark::State& state)
{
    const clap_plugin_factory_t* factory = clapFactory();
    if (!factory) {
        state.SkipWithError("cannot load " GRAVEL_CLAP "; build gravel_clap first");
        return;
    }
    const bool automated = state.range(1) != 0;
    static const clap_host_t host = {CLAP_VERSION_INIT, nullptr, "clap_bench", "", "", "1",
                                     [](const clap_host_t*, const char*) -> const void* { return nullptr; },
                                     [](const clap_host_t*) {}, [](const clap_host_t*) {}, [](const clap_host_t*) {}};
    const clap_plugin_t* p = factory->create_plugin(factory, &host, "com.brackenfold.gravel");
    p->init(p);
    const auto* params = static_cast<const clap_plugin_params_t*>(p->get_extension(p, CLAP_EXT_PARAMS));
    Events settings;
    settings.add(0, kPluginMode, 1.0);
    settings.add(0, kInputLevel, 2.0);
    settings.add(0, kDrive, 7.5);
    settings.add(0, kOversampling, state.range(0) == 2 ? 0.0 : (state.range(0) == 4 ? 1.0 : 2.0));
    const clap_input_events_t settingsIn = {&settings, Events::size, Events::get};
    params->flush(p, &settingsIn, nullptr);
    p->activate(p, hostRate, 1, blockSize);
    p->start_processing(p);

    Events automation;
    for (int k = 0; automated && k < automationEvents; ++k)
        automation.add(eventFrame(k), kDrive, 10.0 * double(eventDrive(k)));
    const clap_input_events_t in = {&automation, Events::size, Events::get};
    const clap_output_events_t out = {nullptr, [](const clap_output_events_t*, const clap_event_header_t*) {
                                          return true;
                                      }};

    StereoSignal signal;
    std::vector<float> outL(blockSize), outR(blockSize);
    float* outs[2] = {outL.data(), outR.data()};
    size_t offset = 0;
    for (auto _ : state) {
        if (offset + blockSize > signal.left.size())
            offset = 0;
        float* ins[2] = {signal.left.data() + offset, signal.right.data() + offset};
        clap_audio_buffer_t input = {ins, nullptr, 2, 0, 0};
        clap_audio_buffer_t output = {outs, nullptr, 2, 0, 0};
        const clap_process_t block = {-1, blockSize, nullptr, &input, &output, 1, 1, &in, &out};
        p->process(p, &block);
        benchmark::DoNotOptimize(outL.data());
        benchmark::DoNotOptimize(outR.data());
        offset += blockSize;
    }
    reportRate(state);
    p->stop_processing(p);
    p->deactivate(p);
    p->destroy(p);
}

// Interleaved by case, so both formats see the machine in the same state.
BENCHMARK(BM_GravelVST)->Args({2, 0})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GravelCLAP)->Args({2, 0})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GravelVST)->Args({4, 0})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GravelCLAP)->Args({4, 0})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GravelVST)->Args({8, 0})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GravelCLAP)->Args({8, 0})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GravelVST)->Args({2, 1})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GravelCLAP)->Args({2, 1})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GravelVST)->Args({8, 1})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GravelCLAP)->Args({8, 1})->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
