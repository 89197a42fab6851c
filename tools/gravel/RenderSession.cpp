#include "RenderSession.h"

#include "EffectLoader.h"
#include "ParameterMatch.h"
#include "ReplacingFile.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
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

// Drawn on the terminal that stderr was when the render began, so that an
// entry that hides the effect's log (the AudioUnit's) still shows it.
class ProgressBar {
public:
    ProgressBar() : terminal(dup(STDERR_FILENO)) {}
    ~ProgressBar()
    {
        finish();
        if (terminal >= 0)
            close(terminal);
    }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void show(bool wanted) { shown = wanted && terminal >= 0 && isatty(terminal); }
    void update(double fraction)
    {
        const int percent = static_cast<int>(fraction * 100.0);
        if (!shown || percent == lastPercent)
            return;
        lastPercent = percent;
        const int width = 40, filled = percent * width / 100;
        dprintf(terminal, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(),
                std::string(width - filled, '.').c_str(), percent);
    }
    // Clears the bar's line, so that the summary (or an error) starts clean.
    void finish()
    {
        if (shown && lastPercent >= 0)
            dprintf(terminal, "\r\033[K");
        lastPercent = -1;
    }

private:
    int terminal;
    bool shown = false;
    int lastPercent = -1;
};

// Buffers of one block, one per channel, and the pointers a target takes.
struct ChannelBuffers {
    ChannelBuffers(int channels, int frames)
        : samples(size_t(channels), std::vector<float>(size_t(frames)))
    {
        for (auto& channel : samples)
            pointers.push_back(channel.data());
    }
    std::vector<std::vector<float>> samples;
    std::vector<float*> pointers;
};

[[noreturn]] void failWriting(const std::string& output, const std::string& reason)
{
    throw ToolError("cannot write " + output + ": " + reason + "; check there is room on the disk");
}

} // namespace

RenderSession::RenderSession(const RenderOptions& options) : options(options)
{
    openRenderInput(options, in, demoSamples);
    output = renderOutputPath(options);
}

int RenderSession::run(RenderTarget& target)
{
    if (options.blockSize < 1 || options.blockSize > 65536)
        throw ToolError("--block must be from 1 to 65536");
    const int channels = in.info.channels;
    const double rate = in.info.samplerate;
    const int block = options.blockSize;

    SF_INFO outInfo = in.info;
    outInfo.frames = 0;
    outInfo.format = renderOutputFormat(options, in.info);
    // Closed before outFile, which removes the temporary file unless committed.
    ReplacingFile outFile(output);
    SoundFile out;
    out.info = outInfo;
    out.file = sf_open_fd(outFile.descriptor(), SFM_WRITE, &out.info, SF_FALSE);
    if (!out.file) // the file exists: what fails is writing its header
        failWriting(output, soundFileError(nullptr));
    const double inScale = rendersDemo() ? 0.0 : pcmScale(in.info.format);
    const double outScale = pcmScale(outInfo.format);
    if (inScale > 0.0)
        sf_command(in.file, SFC_SET_NORM_FLOAT, nullptr, SF_FALSE);
    if (outScale > 0.0)
        sf_command(out.file, SFC_SET_NORM_FLOAT, nullptr, SF_FALSE);
    sf_command(out.file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    // The demo's samples are made here, already in -1..1.
    const float toEffect = inScale > 0.0 ? float(1.0 / inScale) : 1.0f;
    const float toFile = outScale > 0.0 ? float(outScale) : 1.0f;

    ProgressBar progress;
    target.prepare(rate, channels, block);

    ChannelBuffers toTarget(channels, block), fromTarget(channels, block);
    std::vector<float> interleaved(size_t(block) * size_t(channels));
    Level inLevel, outLevel;
    progress.show(in.info.frames > progressAfterSeconds * rate);
    const auto started = std::chrono::steady_clock::now();
    sf_count_t done = 0;
    for (;;) {
        const sf_count_t frames = readRenderInput(in, demoSamples, done, interleaved.data(), block);
        if (frames <= 0)
            break;
        for (sf_count_t i = 0; i < frames * channels; ++i)
            inLevel.add(interleaved[size_t(i)] * toEffect);
        for (int c = 0; c < channels; ++c)
            for (sf_count_t i = 0; i < frames; ++i)
                toTarget.samples[size_t(c)][size_t(i)] = interleaved[size_t(i * channels + c)] * toEffect;
        target.process(toTarget.pointers.data(), fromTarget.pointers.data(), int(frames), done);
        for (int c = 0; c < channels; ++c) {
            const std::vector<float>& from = fromTarget.samples[size_t(c)];
            for (sf_count_t i = 0; i < frames; ++i) {
                outLevel.add(from[size_t(i)]);
                interleaved[size_t(i * channels + c)] = from[size_t(i)] * toFile;
            }
        }
        if (sf_writef_float(out.file, interleaved.data(), frames) != frames)
            failWriting(output, soundFileError(out.file));
        done += frames;
        if (in.info.frames > 0)
            progress.update(double(done) / double(in.info.frames));
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    progress.finish();
    target.finish();
    // The file ended before the frames its header counts: a damaged copy,
    // whose render would pass for the whole piece.
    if (!rendersDemo() && done < in.info.frames)
        throw ToolError(options.input + " is cut short: it ends after " + std::to_string(done) + " of the " +
                        std::to_string(in.info.frames) + " frames its header promises; copy or export the whole "
                        "file again");

    const int closed = sf_close(out.file);
    out.file = nullptr;
    if (closed != 0)
        failWriting(output, sf_error_number(closed));
    // A render with NaN or infinite samples is a failed render: it must not
    // take the place of whatever OUT held, and no temporary file stays behind.
    if (outLevel.nonFinite > 0) {
        std::fprintf(stderr,
                     "gravel: the effect output %lld NaN or infinite samples of %lld, so %s "
                     "was not written; try other settings or another effect\n",
                     outLevel.nonFinite, outLevel.samples, output.c_str());
        return exitFailed;
    }
    outFile.commit();

    const std::string note = target.note();
    if (!note.empty())
        std::fprintf(stderr, "gravel: note: %s\n", note.c_str());
    const double seconds = double(done) / rate;
    char summary[512];
    std::snprintf(summary, sizeof summary, "(%.1f s, %s, %d Hz)", seconds, channels == 1 ? "mono" : "stereo",
                  in.info.samplerate);
    char speed[64];
    std::snprintf(speed, sizeof speed, "%.0fx real time", elapsed > 0.0 ? seconds / elapsed : 0.0);
    std::error_code ec;
    const bool toStandardOutput = output == "-";
    std::string line = "gravel: wrote " +
                       (toStandardOutput ? std::string("the standard output")
                        : rendersDemo()  ? fs::absolute(output, ec).string()
                                         : output) +
                       " " + summary;
    if (!target.through().empty())
        line += " through " + target.through();
    if (!target.settings().empty())
        line += " with " + target.settings();
    line += "; input " + inLevel.describe() + "; output " + outLevel.describe();
    // The audio itself may be going down standard output.
    std::fprintf(toStandardOutput ? stderr : stdout, "%s; %s\n", line.c_str(), speed);
    return exitOK;
}

void applyRenderSettings(ParameterAccess& parameters, const RenderOptions& options, int channels)
{
    const std::vector<std::string> names = parameterNames(parameters);
    std::string error;
    const int mode = findParameter(names, "plugin mode", error);
    bool modeChosen = mode < 0 || channels != 2 || !options.preset.empty() || !options.auPreset.empty();
    for (const auto& setting : options.settings)
        modeChosen = modeChosen || findParameter(names, setting.first, error) == mode;
    float stereo = 0.0f;
    if (!modeChosen && resolveValue(parameters, mode, "stereo", stereo, error))
        parameters.setPosition(mode, stereo);
    applySettings(parameters, options.settings);
}

std::string channelModeNote(ParameterAccess& parameters, int channels)
{
    std::string error;
    const int mode = findParameter(parameterNames(parameters), "plugin mode", error);
    if (mode < 0)
        return {};
    const std::string shown = normaliseName(parameters.display(mode, parameters.position(mode)));
    if (channels == 2 && shown == "mono")
        return "the effect plays in Mono mode, so the file's right channel is not used (nor mixed in); "
               "add --set mode=stereo to play both";
    if (channels == 1 && shown == "stereo")
        return "the file is mono, so in Stereo mode the effect plays its one channel on both sides";
    return {};
}
