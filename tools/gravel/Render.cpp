#include "Commands.h"

#include "DemoRiff.h"
#include "EffectLoader.h"
#include "ParameterMatch.h"
#include "RenderFiles.h"
#include "ReplacingFile.h"
#include "wrapper/TandemException.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr double progressAfterSeconds = 5.0;

// Peak and RMS of the finite samples; NaN and infinities are counted apart.
struct Level {
    double peak = 0.0;
    double sumOfSquares = 0.0;
    long long samples = 0;
    long long nonFinite = 0;
    void add(float v)
    {
        ++samples;
        if (!std::isfinite(v)) {
            ++nonFinite;
            return;
        }
        peak = std::max(peak, double(std::fabs(v)));
        sumOfSquares += double(v) * v;
    }
    static std::string dB(double linear)
    {
        if (!(linear > 0.0))
            return "-inf dBFS";
        char text[32];
        std::snprintf(text, sizeof text, "%.1f dBFS", 20.0 * std::log10(linear));
        return text;
    }
    std::string describe() const
    {
        const long long finite = samples - nonFinite;
        const double rms = finite ? std::sqrt(sumOfSquares / double(finite)) : 0.0;
        std::string text = "peak " + dB(peak) + ", RMS " + dB(rms);
        if (nonFinite)
            text += ", " + std::to_string(nonFinite) + " samples NaN or infinite";
        return text;
    }
};

class ProgressBar {
public:
    explicit ProgressBar(bool shown) : shown(shown) {}
    void update(double fraction)
    {
        const int percent = static_cast<int>(fraction * 100.0);
        if (!shown || percent == lastPercent)
            return;
        lastPercent = percent;
        const int width = 40, filled = percent * width / 100;
        std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(),
                     std::string(width - filled, '.').c_str(), percent);
        std::fflush(stderr);
    }
    // Clears the bar's line, so that the summary (or an error) starts clean.
    void finish()
    {
        if (shown && lastPercent >= 0)
            std::fprintf(stderr, "\r\033[K");
        lastPercent = -1;
    }
    ~ProgressBar() { finish(); }

private:
    bool shown;
    int lastPercent = -1;
};

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

// A stereo file through an effect that starts in mono mode would come out as
// its left channel twice, the right one lost. Unless a preset or --set says
// otherwise, switch an effect with a "Plugin Mode" parameter to stereo.
void matchModeToChannels(VSTPlugIn& plugIn, const RenderOptions& options, int channels)
{
    if (channels != 2 || !options.preset.empty())
        return;
    const std::vector<std::string> names = parameterNames(plugIn);
    std::string error;
    const int mode = findParameter(names, "plugin mode", error);
    if (mode < 0)
        return;
    for (const auto& setting : options.settings)
        if (findParameter(names, setting.first, error) == mode)
            return;
    float value = 0.0f;
    if (resolveValue(plugIn, mode, "stereo", value, error))
        plugIn.setParameter(mode, value);
}

} // namespace

int runRender(const RenderOptions& options)
{
    try {
        const bool demo = options.input.empty();
        SoundFile in;
        std::vector<float> demoSamples;
        openRenderInput(options, in, demoSamples);
        const std::string output = renderOutputPath(options);
        refuseSameFile(output, options.preset, "the preset given with --preset", "-o");
        if (!options.savePreset.empty()) {
            refuseSameFile(options.savePreset, demo ? "" : options.input, "the input file",
                           "--save-preset");
            refuseSameFile(options.savePreset, output, "the output file", "--save-preset");
        }
        // Asked before a preset is saved, not after the render.
        std::error_code ec;
        if (!options.savePreset.empty() && fs::is_directory(options.savePreset, ec))
            throw ToolError(options.savePreset + " is a folder; give --save-preset a file name");
        if (options.blockSize < 1 || options.blockSize > 65536)
            throw ToolError("--block must be from 1 to 65536");

        const int channels = in.info.channels;
        const double rate = in.info.samplerate;
        LoadedEffect loaded(chosenPlugin(options.plugin), static_cast<float>(rate), options.blockSize);
        VSTPlugIn& plugIn = loaded.plugIn();
        if (plugIn.getOutputCount() < 1)
            throw ToolError("the effect has no outputs; give --plugin an audio effect");
        plugIn.setSampleRate(static_cast<float>(rate));
        plugIn.setBlockSize(options.blockSize);
        if (!options.preset.empty())
            loadPreset(plugIn, options.preset);
        matchModeToChannels(plugIn, options, channels);
        applySettings(plugIn, options.settings);
        if (!options.savePreset.empty())
            savePreset(plugIn, options.savePreset);

        SF_INFO outInfo = in.info;
        outInfo.frames = 0;
        if (!sf_format_check(&outInfo))
            throw ToolError("libsndfile cannot write the format of " + options.input +
                            "; give -o a name ending in .wav");
        // Closed before outFile, which removes the temporary file unless committed.
        ReplacingFile outFile(output);
        SoundFile out;
        out.info = outInfo;
        out.file = sf_open_fd(outFile.descriptor(), SFM_WRITE, &out.info, SF_FALSE);
        if (!out.file) // the file exists: what fails is writing its header
            throw ToolError("cannot write " + output + ": " + soundFileError(nullptr) +
                            "; check there is room on the disk");
        const double scale = pcmScale(in.info.format);
        if (scale > 0.0) {
            if (in.file)
                sf_command(in.file, SFC_SET_NORM_FLOAT, nullptr, SF_FALSE);
            sf_command(out.file, SFC_SET_NORM_FLOAT, nullptr, SF_FALSE);
        }
        sf_command(out.file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
        // The demo's samples are made here, already in -1..1.
        const float toEffect = scale > 0.0 && !demo ? float(1.0 / scale) : 1.0f;
        const float toFile = scale > 0.0 ? float(scale) : 1.0f;

        const int block = options.blockSize;
        const int inputs = plugIn.getInputCount(), outputs = plugIn.getOutputCount();
        std::vector<std::vector<float>> inBuffers(std::max(inputs, 1), std::vector<float>(block));
        std::vector<std::vector<float>> outBuffers(outputs, std::vector<float>(block));
        std::vector<float*> inPointers, outPointers;
        for (auto& b : inBuffers)
            inPointers.push_back(b.data());
        for (auto& b : outBuffers)
            outPointers.push_back(b.data());
        std::vector<float> interleaved(static_cast<size_t>(block) * channels);

        Level inLevel, outLevel;
        ProgressBar progress(isatty(STDERR_FILENO) &&
                             in.info.frames > progressAfterSeconds * rate);
        const auto started = std::chrono::steady_clock::now();
        plugIn.resume();
        sf_count_t done = 0;
        for (;;) {
            const sf_count_t frames = readRenderInput(in, demoSamples, done, interleaved.data(), block);
            if (frames <= 0)
                break;
            // Effect input k takes file channel k (a mono file feeds every input).
            for (int k = 0; k < inputs; ++k) {
                const int c = std::min(k, channels - 1);
                for (sf_count_t i = 0; i < frames; ++i)
                    inBuffers[k][i] = interleaved[i * channels + c] * toEffect;
            }
            for (sf_count_t i = 0; i < frames * channels; ++i)
                inLevel.add(interleaved[i] * toEffect);
            loaded.host().setPosition(double(done), rate);
            plugIn.processReplacing(inPointers.data(), outPointers.data(), static_cast<int>(frames));
            for (int c = 0; c < channels; ++c) {
                const std::vector<float>& from = outBuffers[std::min(c, outputs - 1)];
                for (sf_count_t i = 0; i < frames; ++i) {
                    outLevel.add(from[i]);
                    interleaved[i * channels + c] = from[i] * toFile;
                }
            }
            if (sf_writef_float(out.file, interleaved.data(), frames) != frames)
                throw ToolError("cannot write " + output + ": " + soundFileError(out.file) +
                                "; check there is room on the disk");
            done += frames;
            if (in.info.frames > 0)
                progress.update(double(done) / double(in.info.frames));
        }
        plugIn.suspend();
        progress.finish();
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

        const int closed = sf_close(out.file);
        out.file = nullptr;
        if (closed != 0)
            throw ToolError("cannot write " + output + ": " + sf_error_number(closed) +
                            "; check there is room on the disk");
        // A render with NaN or infinite samples is a failed render: it must
        // not take the place of whatever OUT held, and no temporary file
        // stays behind.
        if (outLevel.nonFinite > 0) {
            std::fprintf(stderr,
                         "gravel: the effect output %lld NaN or infinite samples of %lld, so %s "
                         "was not written; try other settings or another effect\n",
                         outLevel.nonFinite, outLevel.samples, output.c_str());
            return exitFailed;
        }
        outFile.commit();

        const double seconds = double(done) / rate;
        char summary[512];
        std::snprintf(summary, sizeof summary, "(%.1f s, %s, %d Hz)", seconds,
                      channels == 1 ? "mono" : "stereo", in.info.samplerate);
        char speed[64];
        std::snprintf(speed, sizeof speed, "%.0fx real time", elapsed > 0.0 ? seconds / elapsed : 0.0);
        std::string where = demo ? fs::absolute(output, ec).string() : output;
        std::printf("gravel: wrote %s %s; input %s; output %s; %s\n", where.c_str(), summary,
                    inLevel.describe().c_str(), outLevel.describe().c_str(), speed);
        return exitOK;
    } catch (const ToolError& e) {
        std::fprintf(stderr, "gravel: %s\n", e.what());
        return exitFailed;
    }
}
