#include "RenderFiles.h"

#include "DemoRiff.h"
#include "EffectLoader.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Where a path leads, through the links among its folders that exist.
fs::path resolvedPath(const std::string& path)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec).lexically_normal();
    const fs::path resolved = fs::weakly_canonical(absolute, ec);
    return ec ? absolute : resolved;
}

std::string defaultOutput(const std::string& input)
{
    const fs::path in(input);
    return (in.parent_path() / (in.stem().string() + "-gravel" + in.extension().string())).string();
}

} // namespace

double pcmScale(int format)
{
    switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8: return 128.0;
    case SF_FORMAT_PCM_16: return 32768.0;
    case SF_FORMAT_PCM_24: return 8388608.0;
    case SF_FORMAT_PCM_32: return 2147483648.0;
    default: return 0.0;
    }
}

std::string soundFileError(SNDFILE* file)
{
    std::string reason = sf_strerror(file);
    while (!reason.empty() && (reason.back() == '.' || reason.back() == ' '))
        reason.pop_back();
    return reason;
}

bool sameFile(const std::string& a, const std::string& b)
{
    std::error_code ec;
    if (fs::exists(a, ec) && fs::exists(b, ec))
        return fs::equivalent(a, b, ec);
    return resolvedPath(a) == resolvedPath(b);
}

void refuseSameFile(const std::string& path, const std::string& other, const char* otherIs,
                    const char* option)
{
    if (!other.empty() && sameFile(path, other))
        throw ToolError(path + " is " + otherIs + "; give " + option + " another name");
}

sf_count_t readRenderInput(SoundFile& in, const std::vector<float>& demoSamples, sf_count_t done,
                           float* interleaved, sf_count_t block)
{
    if (demoSamples.empty())
        return sf_readf_float(in.file, interleaved, block);
    const sf_count_t frames = std::min<sf_count_t>(block, in.info.frames - done);
    if (frames > 0)
        std::copy_n(demoSamples.begin() + done, frames, interleaved);
    return frames;
}

void openRenderInput(const RenderOptions& options, SoundFile& in, std::vector<float>& demoSamples)
{
    if (options.input.empty()) {
        demoSamples = synthesizeDemoRiff(demoSampleRate);
        in.info.samplerate = static_cast<int>(demoSampleRate);
        in.info.channels = 1;
        in.info.frames = static_cast<sf_count_t>(demoSamples.size());
        in.info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
        return;
    }
    std::error_code ec;
    if (!fs::is_regular_file(options.input, ec))
        throw ToolError("cannot read " + options.input + ": no such file; check the path");
    in.file = sf_open(options.input.c_str(), SFM_READ, &in.info);
    if (!in.file)
        throw ToolError("cannot read " + options.input + ": " + soundFileError(nullptr) +
                        "; give an audio file libsndfile reads (WAV, AIFF, FLAC, Ogg ...)");
    if (in.info.channels < 1 || in.info.channels > 2)
        throw ToolError(options.input + " has " + std::to_string(in.info.channels) +
                        " channels; give a mono or stereo file");
}

std::string renderOutputPath(const RenderOptions& options)
{
    const bool demo = options.input.empty();
    const std::string output = !options.output.empty() ? options.output
                               : demo                  ? "gravel-demo.wav"
                                                       : defaultOutput(options.input);
    if (!demo && sameFile(options.input, output))
        throw ToolError(output + " is the input file; give another name with -o");
    std::error_code ec;
    if (fs::is_directory(output, ec))
        throw ToolError(output + " is a folder; give -o a file name");
    return output;
}
