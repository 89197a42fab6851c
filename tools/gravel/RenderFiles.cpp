#include "RenderFiles.h"

#include "DemoRiff.h"
#include "EffectLoader.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// The formats an output may be written in, by the names and extensions
// users give them.
struct OutputFormat {
    const char* name;
    const char* extensions; // space between them; the first is the one a new name gets
    int major;
    const char* shownAs;
};
constexpr OutputFormat outputFormats[] = {
    {"wav", "wav wave", SF_FORMAT_WAV, "WAV"},
    {"flac", "flac", SF_FORMAT_FLAC, "FLAC"},
    {"aiff", "aiff aif aifc", SF_FORMAT_AIFF, "AIFF"},
    {"ogg", "ogg oga", SF_FORMAT_OGG, "Ogg Vorbis"},
    {"caf", "caf", SF_FORMAT_CAF, "CAF"},
    {"w64", "w64", SF_FORMAT_W64, "Wave64"},
    {"rf64", "rf64", SF_FORMAT_RF64, "RF64"},
};

std::string lowerCase(std::string text)
{
    for (char& c : text)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

const OutputFormat* formatNamed(const std::string& name)
{
    for (const OutputFormat& f : outputFormats)
        if (lowerCase(name) == f.name)
            return &f;
    return nullptr;
}

std::string firstExtension(const OutputFormat& format)
{
    return std::string(format.extensions).substr(0, std::strcspn(format.extensions, " "));
}

const OutputFormat* formatOfExtension(const std::string& path)
{
    std::string extension = lowerCase(fs::path(path).extension().string());
    if (extension.empty())
        return nullptr;
    extension.erase(0, 1);
    for (const OutputFormat& f : outputFormats) {
        std::istringstream words(f.extensions);
        for (std::string word; words >> word;)
            if (word == extension)
                return &f;
    }
    return nullptr;
}

const OutputFormat* formatOfMajor(int major)
{
    for (const OutputFormat& f : outputFormats)
        if (f.major == major)
            return &f;
    return nullptr;
}

// A sound-file extension libsndfile knows (mp3, au, voc ...) that is none
// of the formats above: a name that promises what would not be written.
bool isOtherSoundExtension(const std::string& path)
{
    std::string extension = lowerCase(fs::path(path).extension().string());
    if (extension.size() < 2)
        return false;
    extension.erase(0, 1);
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info);
        if (info.extension && extension == info.extension)
            return true;
    }
    return extension == "mp3" || extension == "opus" || extension == "m4a";
}

// Whether libsndfile read less audio than the header of the data says is
// there: it notes "data : 88200 (should be 56)" and plays what it has.
bool headerPromisesMore(SNDFILE* file)
{
    char log[8192] = {};
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        long long promised = 0, held = 0;
        char chunk[8] = {};
        if (std::sscanf(line.c_str(), "%7s : %lld (should be %lld)", chunk, &promised, &held) == 3 &&
            (std::strcmp(chunk, "data") == 0 || std::strcmp(chunk, "SSND") == 0) && promised > held)
            return true;
    }
    return false;
}

// Where a path leads, through the links among its folders that exist.
fs::path resolvedPath(const std::string& path)
{
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec).lexically_normal();
    const fs::path resolved = fs::weakly_canonical(absolute, ec);
    return ec ? absolute : resolved;
}

std::string defaultOutput(const std::string& input, const std::string& extension)
{
    const fs::path in(input);
    return (in.parent_path() / (in.stem().string() + "-gravel" + extension)).string();
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
    if (in.info.frames <= 0)
        throw ToolError(options.input + " holds no audio; give a file with sound in it");
    if (headerPromisesMore(in.file))
        throw ToolError(options.input + " is cut short: its header promises more audio than the file holds; "
                                        "copy or export the whole file again");
}

int renderOutputFormat(const RenderOptions& options, const SF_INFO& input)
{
    const OutputFormat* asked = nullptr;
    if (!options.format.empty() && !(asked = formatNamed(options.format)))
        throw ToolError("--format " + options.format + " is not a format gravel writes; give wav, flac, aiff, ogg, "
                        "caf, w64 or rf64");
    const bool toStream = options.output == "-";
    const OutputFormat* named = toStream || options.output.empty() ? nullptr : formatOfExtension(options.output);
    if (asked && named && asked != named)
        throw ToolError(options.output + " names " + named->shownAs + " but --format asks for " + asked->shownAs +
                        "; give a name ending in ." + firstExtension(*asked) + " or leave out --format");
    if (!named && !toStream && !options.output.empty() && isOtherSoundExtension(options.output))
        throw ToolError(options.output + " names a format gravel does not write; give a name ending in .wav, "
                        ".flac, .aiff, .ogg, .caf, .w64 or .rf64");
    const OutputFormat* chosen = asked ? asked : named ? named : toStream ? formatNamed("wav") : nullptr;
    const int major = chosen ? chosen->major : (input.format & SF_FORMAT_TYPEMASK);
    const char* shownAs = chosen ? chosen->shownAs : formatOfMajor(major) ? formatOfMajor(major)->shownAs : "IN's format";

    int subtype = input.format & SF_FORMAT_SUBMASK;
    if (!options.bits.empty()) {
        if (options.bits == "16")
            subtype = SF_FORMAT_PCM_16;
        else if (options.bits == "24")
            subtype = SF_FORMAT_PCM_24;
        else if (options.bits == "32f")
            subtype = SF_FORMAT_FLOAT;
        else
            throw ToolError("--bits takes 16, 24 or 32f (32-bit float), not '" + options.bits + "'");
    }
    if (major == SF_FORMAT_OGG) {
        if (!options.bits.empty())
            throw ToolError("Ogg Vorbis has no bit depth; leave out --bits");
        subtype = SF_FORMAT_VORBIS;
    }
    SF_INFO check{};
    check.samplerate = input.samplerate;
    check.channels = input.channels;
    check.format = major | subtype;
    if (sf_format_check(&check))
        return check.format;
    if (!options.bits.empty())
        throw ToolError(std::string(shownAs) + " cannot hold --bits " + options.bits + "; give " +
                        (major == SF_FORMAT_FLAC ? "16 or 24" : "another depth"));
    // IN's sample format does not fit: the nearest that keeps its detail.
    for (int fallback : {SF_FORMAT_PCM_24, SF_FORMAT_PCM_16, SF_FORMAT_FLOAT}) {
        check.format = major | fallback;
        if (sf_format_check(&check))
            return check.format;
    }
    throw ToolError(std::string("libsndfile cannot write ") + shownAs + " at " + std::to_string(input.samplerate) +
                    " Hz with " + std::to_string(input.channels) + " channels; give -o a name ending in .wav");
}

std::string renderOutputPath(const RenderOptions& options)
{
    const bool demo = options.input.empty();
    // A new name says the format written: --format's, else IN's own.
    std::string extension = demo ? ".wav" : fs::path(options.input).extension().string();
    if (const OutputFormat* asked = formatNamed(options.format))
        extension = "." + firstExtension(*asked);
    const std::string output = !options.output.empty() ? options.output
                               : demo                  ? "gravel-demo" + extension
                                                       : defaultOutput(options.input, extension);
    if (!demo && sameFile(options.input, output))
        throw ToolError(output + " is the input file; give another name with -o");
    std::error_code ec;
    if (fs::is_directory(output, ec))
        throw ToolError(output + " is a folder; give -o a file name");
    return output;
}
