// Gravel.clap through its clap_entry, from the small host gravel uses,
// against the VST entry of the built Gravel.vst: what a host sees, the
// parameters' texts, automation inside a block, state, lifecycle, and the
// command line's render through it.
#include <gtest/gtest.h>

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cmath>
#include <vector>

#include "AllocationCounter.h"

#include "../integration/GravelTool.h"
#include "ClapHost.h"
#include "EffectLoader.h"
#include "hosting/TandemLog.h"

#include "LockCounter.h"

namespace {

constexpr uint32_t kBlock = 512;

// The VST host layer's log of every call is not what these tests read.
const bool quiet = (setTandemLogSink([](const char*, void*) {}, nullptr), true);

// A guitar-like test signal: decaying partials, the right side softer.
std::vector<float> guitar(size_t frames, int channel)
{
    std::vector<float> x(frames);
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / 44100.0;
        x[i] = float((channel ? 0.3 : 0.5) * std::exp(-3.0 * t) *
                     (std::sin(2 * M_PI * 110.0 * t) + 0.5 * std::sin(2 * M_PI * 330.7 * t)));
    }
    return x;
}

struct Stereo {
    std::vector<float> l, r;
};

// A parameter change at a frame of the render, in CLAP units and the VST's 0..1.
struct Change {
    uint32_t frame;
    clap_id id;
    double clapValue;
    float vstValue;
};

// Stereo blocks of kBlock through the CLAP entry, each change as an event at its frame.
Stereo renderClap(ClapHost& host, size_t frames, const std::vector<Change>& changes)
{
    const std::vector<float> inL = guitar(frames, 0), inR = guitar(frames, 1);
    Stereo out{std::vector<float>(frames), std::vector<float>(frames)};
    for (size_t start = 0; start < frames; start += kBlock) {
        for (const Change& c : changes)
            if (c.frame >= start && c.frame < start + kBlock)
                host.setValue(c.id, c.clapValue, uint32_t(c.frame - start));
        float* in[2] = {const_cast<float*>(&inL[start]), const_cast<float*>(&inR[start])};
        float* o[2] = {&out.l[start], &out.r[start]};
        host.process(in, 2, o, 2, uint32_t(std::min<size_t>(kBlock, frames - start)));
    }
    return out;
}

// The same through the VST entry, its blocks cut where the changes fall.
Stereo renderVST(VSTPlugIn& vst, size_t frames, const std::vector<Change>& changes)
{
    std::vector<float> inL = guitar(frames, 0), inR = guitar(frames, 1);
    Stereo out{std::vector<float>(frames), std::vector<float>(frames)};
    size_t done = 0;
    auto renderUntil = [&](size_t until) {
        while (done < until) {
            const size_t n = std::min<size_t>({until - done, kBlock - done % kBlock});
            float* in[2] = {&inL[done], &inR[done]};
            float* o[2] = {&out.l[done], &out.r[done]};
            vst.processReplacing(in, o, int(n));
            done += n;
        }
    };
    for (const Change& c : changes) {
        renderUntil(c.frame);
        vst.setParameter(int(c.id), c.vstValue);
    }
    renderUntil(frames);
    return out;
}

void expectSame(const Stereo& a, const Stereo& b)
{
    ASSERT_EQ(a.l.size(), b.l.size());
    size_t differing = 0;
    for (size_t i = 0; i < a.l.size(); ++i)
        differing += a.l[i] != b.l[i] || a.r[i] != b.r[i];
    EXPECT_EQ(differing, 0u) << "samples differ";
}

} // namespace

TEST(ClapPlugin, DescribesItselfItsPortsAndItsMonoConfiguration)
{
    ClapHost host(GRAVEL_CLAP);
    const clap_plugin_descriptor_t& d = host.descriptor();
    EXPECT_STREQ(d.id, "com.brackenfold.gravel");
    EXPECT_STREQ(d.name, "Gravel");
    EXPECT_STREQ(d.vendor, "Brackenfold");
    EXPECT_STREQ(d.version, "1.5.2");
    std::vector<std::string> features;
    for (const char* const* f = d.features; *f; ++f)
        features.push_back(*f);
    EXPECT_EQ(features, (std::vector<std::string>{"audio-effect", "distortion", "mono", "stereo"}));
    EXPECT_EQ(host.entry().get_factory("clap.other-factory"), nullptr);

    const auto* ports = host.extension<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS);
    const auto* configs = host.extension<clap_plugin_audio_ports_config_t>(CLAP_EXT_AUDIO_PORTS_CONFIG);
    ASSERT_TRUE(ports && configs);
    for (bool input : {true, false}) {
        ASSERT_EQ(ports->count(host.instance(), input), 1u);
        clap_audio_port_info_t info = {};
        ASSERT_TRUE(ports->get(host.instance(), 0, input, &info));
        EXPECT_EQ(info.channel_count, 2u);
        EXPECT_TRUE(info.flags & CLAP_AUDIO_PORT_IS_MAIN);
        EXPECT_NE(info.in_place_pair, CLAP_INVALID_ID);
    }
    ASSERT_EQ(configs->count(host.instance()), 2u);
    clap_audio_ports_config_t mono = {};
    ASSERT_TRUE(configs->get(host.instance(), 1, &mono));
    EXPECT_EQ(mono.main_input_channel_count, 1u);
    EXPECT_EQ(mono.main_output_channel_count, 2u);
    ASSERT_TRUE(configs->select(host.instance(), mono.id));
    clap_audio_port_info_t in = {};
    ASSERT_TRUE(ports->get(host.instance(), 0, true, &in));
    EXPECT_EQ(in.channel_count, 1u);

    EXPECT_EQ(host.extension<clap_plugin_latency_t>(CLAP_EXT_LATENCY)->get(host.instance()), 0u);
    host.activate(48000.0, kBlock);
    // The coupling filters ring for a fraction of a second, not forever.
    const uint32_t tail = host.extension<clap_plugin_tail_t>(CLAP_EXT_TAIL)->get(host.instance());
    EXPECT_GT(tail, 480u);
    EXPECT_LT(tail, 5u * 48000u);
    EXPECT_FALSE(configs->select(host.instance(), 0)) << "no configuration change while active";
}

TEST(ClapPlugin, ParametersShowThePedalsUnitsAndTextsRoundTrip)
{
    ClapHost host(GRAVEL_CLAP);
    const std::vector<clap_param_info_t> infos = host.parameters();
    ASSERT_EQ(infos.size(), 11u);
    const auto* params = host.extension<clap_plugin_params_t>(CLAP_EXT_PARAMS);
    const double maxima[] = {2, 10, 10, 10, 1, 1, 1, 1, 1, 1, 2};
    for (const clap_param_info_t& p : infos) {
        EXPECT_EQ(p.max_value, maxima[p.id]) << p.name;
        EXPECT_EQ(host.value(p.id), p.default_value) << p.name;
        EXPECT_EQ(bool(p.flags & CLAP_PARAM_IS_STEPPED), p.id >= 4) << p.name;
        EXPECT_EQ(bool(p.flags & CLAP_PARAM_IS_BYPASS), p.id == 9) << p.name;
        const double step = (p.flags & CLAP_PARAM_IS_STEPPED) ? 1.0 : 0.25;
        for (double v = p.min_value; v <= p.max_value; v += step) {
            const std::string text = host.text(p.id, v);
            double back = -1.0;
            ASSERT_TRUE(params->text_to_value(host.instance(), p.id, text.c_str(), &back)) << p.name << " " << text;
            EXPECT_NEAR(back, v, 0.005) << p.name << " " << text;
        }
        double ignored;
        EXPECT_FALSE(params->text_to_value(host.instance(), p.id, "loud", &ignored)) << p.name;
    }
    EXPECT_EQ(host.text(1, 7.5), "7.50");
    EXPECT_EQ(host.text(0, 1.0), "1.00x");
    EXPECT_EQ(host.text(8, 1.0), "Stereo");
    EXPECT_EQ(host.text(10, 2.0), "8x");
    EXPECT_EQ(host.text(5, 1.0), "On");

    // Values from the host land in the engine's terms and read back stepped.
    host.setValue(10, 1.0);
    host.setValue(1, 12.0); // beyond the range: clamped as the models clamp
    host.setValue(2, NAN);  // changes nothing
    EXPECT_EQ(host.value(10), 1.0);
    EXPECT_EQ(host.value(1), 10.0);
    EXPECT_EQ(host.value(2), 5.0);
}

TEST(ClapPlugin, EventsInsideABlockSoundAsBlocksSplitThereThroughTheVSTEntry)
{
    const std::vector<Change> changes = {
        {0, 8, 1.0, 1.0f},    {0, 1, 6.0, 0.6f},    {37, 1, 8.0, 0.8f},  {300, 2, 2.5, 0.25f},
        {301, 5, 1.0, 1.0f},  {700, 10, 1.0, 0.5f}, {1023, 9, 1.0, 1.0f}, {1500, 9, 0.0, 0.0f},
        {1501, 0, 1.5, 0.75f}, {2047, 3, 9.0, 0.9f}};
    for (double rate : {44100.0, 96000.0}) {
        ClapHost clap(GRAVEL_CLAP);
        clap.activate(rate, kBlock);
        LoadedEffect loaded(GRAVEL_BUNDLE_DIR, float(rate), int(kBlock));
        VSTPlugIn& vst = loaded.plugIn();
        vst.setSampleRate(float(rate));
        vst.resume();
        expectSame(renderClap(clap, 4096, changes), renderVST(vst, 4096, changes));
        vst.suspend();
    }
}

TEST(ClapPlugin, StateIsTheVSTProgramAndRestoresIntoAFreshInstance)
{
    const std::vector<Change> settings = {
        {0, 1, 7.5, 0.75f}, {0, 8, 1.0, 1.0f}, {0, 10, 2.0, 1.0f}, {0, 4, 1.0, 1.0f}, {0, 0, 1.5, 0.75f}};
    ClapHost saved(GRAVEL_CLAP);
    for (const Change& c : settings)
        saved.setValue(c.id, c.clapValue);
    // The host's stream takes five bytes at a time.
    const std::vector<unsigned char> state = saved.saveState(5);

    LoadedEffect loaded(GRAVEL_BUNDLE_DIR, 44100.0f, int(kBlock));
    for (const Change& c : settings)
        loaded.plugIn().setParameter(int(c.id), c.vstValue);
    size_t size = 0;
    const std::unique_ptr<unsigned char[]> fxp = loaded.plugIn().createFXP(size);
    EXPECT_EQ(state, std::vector<unsigned char>(fxp.get(), fxp.get() + size)) << "one preset format for both";

    // Seven bytes a read, as from a pipe.
    ClapHost restored(GRAVEL_CLAP);
    ASSERT_TRUE(restored.loadState(state, 7));
    EXPECT_EQ(restored.valueRescans, 1);
    saved.activate(44100.0, kBlock);
    restored.activate(44100.0, kBlock);
    expectSame(renderClap(saved, 2048, {}), renderClap(restored, 2048, {}));

    // Refused, and nothing changes: a truncated state, one of another
    // effect, a damaged value, one byte too many, nothing at all.
    ClapHost other(GRAVEL_CLAP);
    other.setValue(1, 3.0);
    const std::vector<unsigned char> before = other.saveState();
    std::vector<std::vector<unsigned char>> refused(5, state);
    refused[0].resize(state.size() - 1);
    refused[1][19] = 'X';
    refused[2][56] = 0x7f, refused[2][57] = 0xc0; // NaN
    refused[3].push_back(0);
    refused[4].clear();
    for (const auto& bytes : refused) {
        EXPECT_FALSE(other.loadState(bytes));
        EXPECT_EQ(other.saveState(), before);
    }
}

TEST(ClapPlugin, ActivatesAtRatesTheEngineTakesAndResetsToAFreshCircuit)
{
    ClapHost host(GRAVEL_CLAP);
    const clap_plugin_t* p = host.instance();
    EXPECT_FALSE(p->activate(p, 4000.0, 1, kBlock));
    EXPECT_FALSE(p->activate(p, 1.0e7, 1, kBlock));
    EXPECT_FALSE(p->activate(p, NAN, 1, kBlock));
    EXPECT_FALSE(p->start_processing(p)) << "not active";
    host.setValue(1, 9.0);
    for (int cycle = 0; cycle < 3; ++cycle) {
        host.activate(cycle == 1 ? 192000.0 : 44100.0, kBlock);
        EXPECT_FALSE(p->activate(p, 44100.0, 1, kBlock)) << "already active";
        renderClap(host, 1024, {});
        host.deactivate();
    }

    // After reset the circuit sounds as a fresh one at the same settings.
    ClapHost fresh(GRAVEL_CLAP);
    fresh.setValue(1, 9.0);
    fresh.activate(44100.0, kBlock);
    host.activate(44100.0, kBlock);
    renderClap(host, 3000, {});
    p->stop_processing(p);
    p->reset(p);
    p->start_processing(p);
    expectSame(renderClap(host, 2048, {}), renderClap(fresh, 2048, {}));
}

TEST(ClapPlugin, RenderThroughTheClapEntryEqualsTheVSTRender)
{
    ScratchFolder scratch("clap-render");
    for (int channels : {1, 2}) {
        const std::string in = scratch.path("in" + std::to_string(channels) + ".wav");
        ASSERT_TRUE(writeInput(in, 48000, channels, SF_FORMAT_WAV | SF_FORMAT_FLOAT));
        const std::string settings = " --set drive=6 --set tone=3.5 --set oversampling=4 ";
        std::string output;
        ASSERT_EQ(gravel("render '" + in + "' -o '" + scratch.path("vst.wav") + "'" + settings, &output), 0)
            << output;
        ASSERT_EQ(gravel("render --clap '" + in + "' --plugin '" GRAVEL_CLAP "' -o '" + scratch.path("clap.wav") +
                             "'" + settings,
                         &output),
                  0)
            << output;
        EXPECT_NE(output.find("through the CLAP plug-in"), std::string::npos) << output;
        const std::vector<float> vst = readSamples(scratch.path("vst.wav"));
        ASSERT_FALSE(vst.empty());
        EXPECT_EQ(readSamples(scratch.path("clap.wav")), vst) << channels << " channels";
    }
    std::string info;
    ASSERT_EQ(gravel("info --clap", &info), 0) << info;
    EXPECT_NE(info.find("com.brackenfold.gravel"), std::string::npos) << info;
    EXPECT_NE(info.find("Parameters (11)"), std::string::npos) << info;
}

TEST(ClapPlugin, ProcessWithAutomationAllocatesNothingAndTakesNoLock)
{
    ClapHost host(GRAVEL_CLAP);
    host.activate(44100.0, kBlock);
    struct Events {
        clap_event_param_value_t list[16];
        static uint32_t size(const clap_input_events_t*) { return 16; }
        static const clap_event_header_t* get(const clap_input_events_t* in, uint32_t i)
        {
            return &static_cast<Events*>(in->ctx)->list[i].header;
        }
    } events;
    for (uint32_t k = 0; k < 16; ++k) {
        events.list[k] = {};
        events.list[k].header = {sizeof(clap_event_param_value_t), k * 31, CLAP_CORE_EVENT_SPACE_ID,
                                 CLAP_EVENT_PARAM_VALUE, 0};
        events.list[k].param_id = k % 11;
        events.list[k].value = double(k % 2);
    }
    const clap_input_events_t in = {&events, Events::size, Events::get};
    const clap_output_events_t out = {nullptr, [](const clap_output_events_t*, const clap_event_header_t*) {
                                          return true;
                                      }};
    std::vector<float> l = guitar(kBlock, 0), r = guitar(kBlock, 1);
    float* channels[2] = {l.data(), r.data()};
    clap_audio_buffer_t buffer = {channels, nullptr, 2, 0, 0};
    const clap_process_t block = {-1, kBlock, nullptr, &buffer, &buffer, 1, 1, &in, &out};
    const clap_plugin_t* p = host.instance();
    long allocations = 0;
    lock_counter::count = 0;
    lock_counter::writes = 0;
    {
        allocation_counter::Scope scope;
        lock_counter::armed = true;
        for (int i = 0; i < 20; ++i)
            EXPECT_EQ(p->process(p, &block), CLAP_PROCESS_CONTINUE);
        lock_counter::armed = false;
        allocations = scope.allocations();
    }
    EXPECT_EQ(allocations, 0);
    EXPECT_EQ(lock_counter::count.load(), 0);
    EXPECT_EQ(lock_counter::writes.load(), 0);
}
