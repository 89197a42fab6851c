// gravel render: the file through the effect's VST entry, as a host drives
// it offline.

#include "Commands.h"

#include "EffectLoader.h"
#include "ParameterMatch.h"
#include "RenderSession.h"
#include "ReplacingFile.h"
#include "hosting/TandemException.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<unsigned char> readPresetFile(const std::string& path)
{
    std::error_code ec;
    if (fs::is_directory(path, ec))
        throw ToolError("cannot read preset " + path + ": it is a folder; give an .fxp or .fxb file");
    if (!fs::exists(path, ec))
        throw ToolError("cannot read preset " + path + ": no such file; check the path");
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw ToolError("cannot read preset " + path + ": " + std::strerror(errno) +
                        "; check the path");
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    const bool failed = std::ferror(file);
    const int error = errno;
    std::fclose(file);
    if (failed)
        throw ToolError("cannot read preset " + path + ": " + std::strerror(error) +
                        "; check the path");
    return bytes;
}

std::string effectName(VSTPlugIn& plugIn)
{
    char name[256] = {};
    plugIn.dispatch(effGetEffectName, 0, 0, name, 0.0f);
    name[sizeof name - 1] = '\0';
    return name[0] ? name : "the effect";
}

void loadPreset(VSTPlugIn& plugIn, const std::string& path)
{
    const std::vector<unsigned char> bytes = readPresetFile(path);
    const AEffect* effect = plugIn.getEffect();
    if (bytes.size() >= 20 && std::equal(bytes.begin(), bytes.begin() + 4, "CcnK")) {
        const int id = int((uint32_t(bytes[16]) << 24) | (uint32_t(bytes[17]) << 16) |
                           (uint32_t(bytes[18]) << 8) | uint32_t(bytes[19]));
        if (id != effect->uniqueID)
            throw ToolError("preset " + path + " belongs to another effect (ID " + uniqueIDText(id) +
                            ", this one is " + uniqueIDText(effect->uniqueID) +
                            "); give a preset saved from " + effectName(plugIn));
    }
    // A preset that fails half way must not leave the effect half changed.
    size_t snapshotSize = 0;
    std::unique_ptr<unsigned char[]> snapshot;
    try {
        snapshot = plugIn.createFXB(snapshotSize);
    } catch (const TandemException&) {
    }
    try {
        if (!plugIn.loadFXPOrFXB(bytes.size(), bytes.data()))
            std::fprintf(stderr, "gravel: warning: preset %s did not load perfectly "
                                 "(run with --verbose to see why)\n",
                         path.c_str());
    } catch (const TandemException& e) {
        if (snapshot) {
            try {
                plugIn.loadFXPOrFXB(snapshotSize, snapshot.get());
            } catch (const TandemException&) {
            }
        }
        throw ToolError("cannot load preset " + path + ": " + e.what() +
                        "; give an .fxp or .fxb file saved from " + effectName(plugIn));
    }
}

void savePreset(VSTPlugIn& plugIn, const std::string& path)
{
    size_t size = 0;
    std::unique_ptr<unsigned char[]> data;
    const bool bank = fs::path(path).extension() == ".fxb";
    try {
        data = bank ? plugIn.createFXB(size) : plugIn.createFXP(size);
    } catch (const TandemException& e) {
        throw ToolError(std::string("cannot save preset: ") + e.what());
    }
    ReplacingFile file(path);
    file.write(data.get(), size);
    file.commit();
}

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
        if (!options.preset.empty())
            loadPreset(plugIn, options.preset);
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
