// gravel render --clap and gravel info --clap: the effect through a CLAP
// plug-in's entry, driven by the small host in ClapHost, as a CLAP host
// renders offline: a mono file through the plug-in's mono-input
// configuration, a stereo file through its stereo one.

#include "Commands.h"

#include "ClapHost.h"
#include "ParameterMatch.h"
#include "RenderSession.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

class ClapRenderTarget : public RenderTarget {
public:
    explicit ClapRenderTarget(const RenderOptions& options) : options(options) {}

    void prepare(double rate, int channels, int maxBlock) override
    {
        host = std::make_unique<ClapHost>(chosenClapPlugin(options.plugin));
        ClapParameterAccess parameters(*host);
        const std::vector<std::string> defaults = shownValues(parameters);
        applyRenderSettings(parameters, options, channels);
        changes = describeChanges(parameters, defaults);
        modeNote = channelModeNote(parameters, channels);
        fileChannels = channels;
        host->activate(rate, uint32_t(maxBlock), channels == 1 ? 1 : 0);
        for (auto& b : outBuffers)
            b.assign(size_t(maxBlock), 0.0f);
    }

    void process(const float* const* in, float* const* out, int frames, long long) override
    {
        float* outPointers[2] = {outBuffers[0].data(), outBuffers[1].data()};
        host->process(const_cast<float* const*>(in), uint32_t(fileChannels), outPointers, 2, uint32_t(frames));
        for (int c = 0; c < fileChannels; ++c)
            std::copy_n(outBuffers[size_t(c)].begin(), frames, out[c]);
    }

    void finish() override { host->deactivate(); }
    std::string through() const override { return "the CLAP plug-in"; }
    std::string note() const override { return modeNote; }
    std::string settings() const override { return changes; }

private:
    const RenderOptions& options;
    std::unique_ptr<ClapHost> host;
    std::string changes, modeNote;
    int fileChannels = 0;
    std::vector<float> outBuffers[2];
};

const char* flagText(uint32_t flags)
{
    static std::string text;
    text.clear();
    const std::pair<uint32_t, const char*> names[] = {{CLAP_PARAM_IS_STEPPED, "stepped"},
                                                       {CLAP_PARAM_IS_ENUM, "enum"},
                                                       {CLAP_PARAM_IS_BYPASS, "bypass"},
                                                       {CLAP_PARAM_IS_AUTOMATABLE, "automatable"}};
    for (const auto& n : names)
        if (flags & n.first)
            text += (text.empty() ? "" : ",") + std::string(n.second);
    return text.c_str();
}

} // namespace

int runClapRender(const RenderOptions& options)
{
    try {
        if (!options.preset.empty() || !options.savePreset.empty())
            throw ToolError("--preset and --save-preset work through the VST entry only; leave out --clap");
        RenderSession session(options);
        ClapRenderTarget target(options);
        return session.run(target);
    } catch (const ToolError& e) {
        std::fprintf(stderr, "gravel: %s\n", e.what());
        return exitFailed;
    }
}

int runClapInfo(const std::string& plugin)
{
    try {
        const std::string path = chosenClapPlugin(plugin);
        ClapHost host(path);
        const clap_plugin_descriptor_t& d = host.descriptor();
        std::printf("%s\n  id       %s\n  vendor   %s\n  version  %s\n  features", d.name, d.id, d.vendor,
                    d.version);
        for (const char* const* f = d.features; f && *f; ++f)
            std::printf(" %s", *f);
        std::printf("\n  file     %s\n", std::filesystem::absolute(path).string().c_str());

        if (const auto* configs = host.extension<clap_plugin_audio_ports_config_t>(CLAP_EXT_AUDIO_PORTS_CONFIG)) {
            std::printf("Audio configurations (%u):\n", configs->count(host.instance()));
            for (uint32_t i = 0; i < configs->count(host.instance()); ++i) {
                clap_audio_ports_config_t c = {};
                if (configs->get(host.instance(), i, &c))
                    std::printf("  %3u  %-24s %u in, %u out\n", c.id, c.name, c.main_input_channel_count,
                                c.main_output_channel_count);
            }
        }
        if (const auto* ports = host.extension<clap_plugin_audio_ports_t>(CLAP_EXT_AUDIO_PORTS)) {
            std::printf("Audio ports:\n");
            for (bool input : {true, false})
                for (uint32_t i = 0; i < ports->count(host.instance(), input); ++i) {
                    clap_audio_port_info_t p = {};
                    if (ports->get(host.instance(), i, input, &p))
                        std::printf("  %-6s %-10s %u channels (%s)%s\n", input ? "in" : "out", p.name,
                                    p.channel_count, p.port_type ? p.port_type : "",
                                    p.in_place_pair != CLAP_INVALID_ID ? ", in place" : "");
                }
        }
        const std::vector<clap_param_info_t> infos = host.parameters();
        std::printf("Parameters (%zu):\n", infos.size());
        for (const clap_param_info_t& p : infos)
            std::printf("  %3u  %-14s %-11s %8s  (%s to %s) %s\n", p.id, p.name, p.module,
                        host.text(p.id, host.value(p.id)).c_str(), host.text(p.id, p.min_value).c_str(),
                        host.text(p.id, p.max_value).c_str(), flagText(p.flags));
        const auto* latency = host.extension<clap_plugin_latency_t>(CLAP_EXT_LATENCY);
        const auto* tail = host.extension<clap_plugin_tail_t>(CLAP_EXT_TAIL);
        if (latency && tail) {
            host.activate(44100.0, 512);
            const uint32_t frames = tail->get(host.instance());
            std::printf("Latency %u samples; tail at 44100 Hz: %s\n", latency->get(host.instance()),
                        frames == uint32_t(INT32_MAX) ? "infinite"
                                                      : (std::to_string(frames) + " samples").c_str());
            host.deactivate();
        }
        std::printf("Extensions:");
        for (const char* id : {CLAP_EXT_AUDIO_PORTS, CLAP_EXT_AUDIO_PORTS_CONFIG, CLAP_EXT_PARAMS, CLAP_EXT_STATE,
                               CLAP_EXT_LATENCY, CLAP_EXT_TAIL, CLAP_EXT_GUI, CLAP_EXT_TIMER_SUPPORT,
                               CLAP_EXT_POSIX_FD_SUPPORT})
            if (host.instance()->get_extension(host.instance(), id))
                std::printf(" %s", id);
        std::printf("\n");
        return exitOK;
    } catch (const ToolError& e) {
        std::fprintf(stderr, "gravel: %s\n", e.what());
        return exitFailed;
    }
}
