// gravel render: the file through the effect's VST entry, as a host drives
// it offline.

#include "Commands.h"

#include "EffectLoader.h"
#include "EffectPresets.h"
#include "FactoryPresets.h"
#include "ParameterMatch.h"
#include "RenderSession.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class VSTRenderTarget : public RenderTarget {
public:
    explicit VSTRenderTarget(const RenderOptions& options) : options(options) {}

    void prepare(double rate, int channels, int maxBlock) override
    {
        loaded = std::make_unique<LoadedEffect>(chosenPlugin(options.plugin), static_cast<float>(rate), maxBlock);
        VSTPlugIn& plugIn = loaded->plugIn();
        if (plugIn.getOutputCount() < 1)
            throw ToolError("the effect has no outputs; give --plugin an audio effect");
        plugIn.setSampleRate(static_cast<float>(rate));
        plugIn.setBlockSize(maxBlock);
        VSTParameterAccess parameters(plugIn);
        const std::vector<std::string> defaults = shownValues(parameters);
        if (!options.preset.empty()) {
            if (const gravel::FactoryPreset* factory = findFactoryPreset(options.preset))
                applyFactoryPreset(plugIn, *factory);
            else
                loadPreset(plugIn, options.preset);
        }
        applyRenderSettings(parameters, options, channels);
        changes = describeChanges(parameters, defaults);
        modeNote = channelModeNote(parameters, channels);
        if (!options.savePreset.empty())
            savePreset(plugIn, options.savePreset);

        sampleRate = rate;
        fileChannels = channels;
        inputs = plugIn.getInputCount();
        const int outputs = plugIn.getOutputCount();
        inBuffers.assign(size_t(std::max(inputs, 1)), std::vector<float>(size_t(maxBlock)));
        outBuffers.assign(size_t(outputs), std::vector<float>(size_t(maxBlock)));
        inPointers.clear();
        outPointers.clear();
        for (auto& b : inBuffers)
            inPointers.push_back(b.data());
        for (auto& b : outBuffers)
            outPointers.push_back(b.data());
        plugIn.resume();
    }

    void process(const float* const* in, float* const* out, int frames, long long position) override
    {
        VSTPlugIn& plugIn = loaded->plugIn();
        // Effect input k takes file channel k (a mono file feeds every input);
        // each input has its own copy, for effects that write into theirs.
        for (int k = 0; k < inputs; ++k)
            std::copy_n(in[std::min(k, fileChannels - 1)], frames, inBuffers[size_t(k)].begin());
        loaded->host().setPosition(double(position), sampleRate);
        plugIn.processReplacing(inPointers.data(), outPointers.data(), frames);
        const int outputs = int(outBuffers.size());
        for (int c = 0; c < fileChannels; ++c)
            std::copy_n(outBuffers[size_t(std::min(c, outputs - 1))].begin(), frames, out[c]);
    }

    void finish() override { loaded->plugIn().suspend(); }
    std::string note() const override { return modeNote; }
    std::string settings() const override { return changes; }

private:
    const RenderOptions& options;
    std::string changes, modeNote;
    std::unique_ptr<LoadedEffect> loaded;
    double sampleRate = 0.0;
    int fileChannels = 0;
    int inputs = 0;
    std::vector<std::vector<float>> inBuffers, outBuffers;
    std::vector<float*> inPointers, outPointers;
};

} // namespace

int runRender(const RenderOptions& options)
{
    try {
        RenderSession session(options);
        const std::string& output = session.outputPath();
        refuseSameFile(output, options.preset, "the preset given with --preset", "-o");
        if (!options.savePreset.empty()) {
            refuseSameFile(options.savePreset, session.rendersDemo() ? "" : options.input, "the input file",
                           "--save-preset");
            refuseSameFile(options.savePreset, output, "the output file", "--save-preset");
        }
        // Asked before a preset is saved, not after the render.
        std::error_code ec;
        if (!options.savePreset.empty() && fs::is_directory(options.savePreset, ec))
            throw ToolError(options.savePreset + " is a folder; give --save-preset a file name");
        VSTRenderTarget target(options);
        return session.run(target);
    } catch (const ToolError& e) {
        std::fprintf(stderr, "gravel: %s\n", e.what());
        return exitFailed;
    }
}
