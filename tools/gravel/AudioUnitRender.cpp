// gravel render --au: the same render as through the VST entry, but through
// the bundle's AudioUnit, the way an AudioUnit host drives it: find the
// component, open it, set the stream format to the file's rate and channel
// count, initialize, pull slices with advancing sample times from a render
// callback that feeds the file, close.

#include "Commands.h"

#include "AudioUnitBundle.h"
#include "DemoRiff.h"
#include "EffectLoader.h"
#include "ParameterMatch.h"
#include "RenderFiles.h"
#include "ReplacingFile.h"

#include <AudioUnit/AudioUnit.h>
#include <CoreFoundation/CoreFoundation.h>

#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string statusText(OSStatus status) { return std::to_string(int(status)); }

class OpenedAudioUnit {
public:
    OpenedAudioUnit(const std::string& bundle, bool verbose)
    {
        std::error_code ec;
        if (!fs::is_directory(bundle, ec))
            throw ToolError("no AudioUnit bundle at " + bundle + "; give --plugin a bundle folder such as Gravel.vst");
        const std::string path = fs::absolute(bundle, ec).string();
        AudioComponent component = nullptr;
        try {
            component = findBundleComponent(path, readDeclarations(path), verbose);
        } catch (const AUInfoError& e) {
            throw ToolError(e.message + "; give --plugin a component bundle such as Gravel.vst");
        }
        const OSStatus opened = AudioComponentInstanceNew(component, &unit);
        if (opened != noErr) {
            unit = nullptr;
            throw ToolError("cannot open the AudioUnit of " + bundle + " (status " + statusText(opened) +
                            "); run with --verbose to see its log");
        }
    }
    ~OpenedAudioUnit()
    {
        if (unit) {
            AudioUnitUninitialize(unit);
            AudioComponentInstanceDispose(unit);
        }
    }
    OpenedAudioUnit(const OpenedAudioUnit&) = delete;
    OpenedAudioUnit& operator=(const OpenedAudioUnit&) = delete;

    AudioUnit unit = nullptr;
};

void require(OSStatus status, const std::string& what)
{
    if (status != noErr)
        throw ToolError(what + " (status " + statusText(status) + "); run with --verbose to see the AudioUnit's log");
}

AudioStreamBasicDescription floatFormat(double rate, int channels)
{
    AudioStreamBasicDescription format = {};
    format.mSampleRate = rate;
    format.mFormatID = kAudioFormatLinearPCM;
    format.mFormatFlags = kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;
    format.mBytesPerPacket = format.mBytesPerFrame = 4;
    format.mFramesPerPacket = 1;
    format.mChannelsPerFrame = UInt32(channels);
    format.mBitsPerChannel = 32;
    return format;
}

// The AudioUnit's global parameters: their IDs and names, list order.
struct AudioUnitParameters {
    std::vector<AudioUnitParameterID> ids;
    std::vector<std::string> names;
};

AudioUnitParameters listParameters(AudioUnit unit)
{
    AudioUnitParameters parameters;
    UInt32 size = 0;
    if (AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, &size,
                                 nullptr) != noErr)
        return parameters;
    parameters.ids.resize(size / sizeof(AudioUnitParameterID));
    if (!parameters.ids.empty() &&
        AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0,
                             parameters.ids.data(), &size) != noErr)
        parameters.ids.clear();
    for (AudioUnitParameterID id : parameters.ids) {
        AudioUnitParameterInfo info = {};
        UInt32 infoSize = sizeof info;
        std::string name;
        if (AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id, &info,
                                 &infoSize) == noErr) {
            info.name[sizeof info.name - 1] = '\0';
            name = info.name;
            if (info.cfNameString && (info.flags & kAudioUnitParameterFlag_CFNameRelease))
                CFRelease(info.cfNameString);
        }
        parameters.names.push_back(name);
    }
    return parameters;
}

// Whether a value's name and the text given agree: as names ("stereo" for
// "Stereo"), without spaces ("4 x" for "4x"), or as the number they start
// with ("4" for "4x").
bool sameValueName(const std::string& valueName, const std::string& text)
{
    auto compact = [](std::string name) {
        name = normaliseName(name);
        name.erase(std::remove(name.begin(), name.end(), ' '), name.end());
        return name;
    };
    if (compact(valueName) == compact(text))
        return true;
    char* textEnd = nullptr;
    char* nameEnd = nullptr;
    const double number = std::strtod(text.c_str(), &textEnd);
    const double named = std::strtod(valueName.c_str(), &nameEnd);
    return !text.empty() && *textEnd == '\0' && nameEnd != valueName.c_str() && number == named;
}

// The value whose name the AudioUnit gives as `text` (indexed parameters
// name their values); false when it names none or none fits.
bool valueFromValueStrings(AudioUnit unit, AudioUnitParameterID id, const std::string& text, float& value)
{
    CFArrayRef strings = nullptr;
    UInt32 size = sizeof strings;
    if (AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, id, &strings,
                             &size) != noErr ||
        !strings)
        return false;
    bool found = false;
    for (CFIndex i = 0; i < CFArrayGetCount(strings) && !found; ++i) {
        const void* entry = CFArrayGetValueAtIndex(strings, i);
        if (entry && CFGetTypeID(entry) == CFStringGetTypeID() &&
            sameValueName(textOf(static_cast<CFStringRef>(entry)), text)) {
            AudioUnitParameterInfo info = {};
            UInt32 infoSize = sizeof info;
            AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id, &info,
                                 &infoSize);
            value = info.minValue + float(i);
            found = true;
        }
    }
    CFRelease(strings);
    return found;
}

// "on" and "off" for a parameter the AudioUnit calls boolean.
bool valueFromSwitchWord(AudioUnit unit, AudioUnitParameterID id, const std::string& text, float& value)
{
    AudioUnitParameterInfo info = {};
    UInt32 infoSize = sizeof info;
    if (AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id, &info,
                             &infoSize) != noErr ||
        info.unit != kAudioUnitParameterUnit_Boolean)
        return false;
    const std::string word = normaliseName(text);
    if (word == "on" || word == "yes" || word == "true")
        value = info.maxValue;
    else if (word == "off" || word == "no" || word == "false")
        value = info.minValue;
    else
        return false;
    return true;
}

// NAME=VALUE through AudioUnitSetParameter: NAME as the AudioUnit names its
// parameters; VALUE one of the values the AudioUnit names (an indexed
// parameter's "Stereo", "4x"), on/off for a switch, else a number in the
// parameter's AudioUnit range (drive=7.5 where Drive goes from 0 to 10).
void applySettings(AudioUnit unit, const AudioUnitParameters& parameters,
                   const std::vector<std::pair<std::string, std::string>>& settings)
{
    for (const auto& setting : settings) {
        std::string error;
        const int index = findParameter(parameters.names, setting.first, error);
        if (index < 0)
            throw ToolError(error);
        const AudioUnitParameterID id = parameters.ids[size_t(index)];
        const std::string& text = setting.second;
        char* end = nullptr;
        float value = std::strtof(text.c_str(), &end);
        const bool number = !text.empty() && *end == '\0' && std::isfinite(value);
        if (!valueFromValueStrings(unit, id, text, value) && !valueFromSwitchWord(unit, id, text, value) &&
            !number)
            throw ToolError("with --au, give " + parameters.names[size_t(index)] +
                            " one of its values or a number in its AudioUnit range (see gravel au-info), not '" +
                            text + "'");
        require(AudioUnitSetParameter(unit, id, kAudioUnitScope_Global, 0, value, 0),
                "the AudioUnit refused " + setting.first + "=" + text);
    }
}

// As the VST render does: a stereo file through an effect with a "Plugin
// Mode" parameter switches it to stereo, unless a setting chooses the mode.
// Returns a note for the user when the AudioUnit gives no way to name stereo.
std::string matchModeToChannels(AudioUnit unit, const AudioUnitParameters& parameters,
                                const RenderOptions& options, int channels)
{
    if (channels != 2)
        return {};
    std::string error;
    const int mode = findParameter(parameters.names, "plugin mode", error);
    if (mode < 0)
        return {};
    for (const auto& setting : options.settings)
        if (findParameter(parameters.names, setting.first, error) == mode)
            return {};
    float value = 0.0f;
    if (valueFromValueStrings(unit, parameters.ids[size_t(mode)], "stereo", value)) {
        AudioUnitSetParameter(unit, parameters.ids[size_t(mode)], kAudioUnitScope_Global, 0, value, 0);
        return {};
    }
    const std::string& name = parameters.names[size_t(mode)];
    return "the AudioUnit does not name the values of " + name + ", so it stays as it is; add --set '" + name +
           "=VALUE' to choose stereo";
}

// An .aupreset restored through ClassInfo, as a host opens a document. A
// file that is no preset of this AudioUnit is refused before the AudioUnit
// changes.
void loadAUPreset(AudioUnit unit, const std::string& path)
{
    const std::string failure = "cannot load AudioUnit preset " + path + ": ";
    std::error_code ec;
    if (fs::is_directory(path, ec))
        throw ToolError(failure + "it is a folder; give an .aupreset file");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ToolError(failure + std::strerror(errno) + "; check the path");
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    CFDataRef data = CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bytes.data()),
                                  CFIndex(bytes.size()));
    CFStringRef parseError = nullptr;
    CFPropertyListRef preset =
        CFPropertyListCreateFromXMLData(kCFAllocatorDefault, data, kCFPropertyListImmutable, &parseError);
    CFRelease(data);
    if (!preset) {
        std::string reason = parseError ? textOf(parseError) : "not a property list";
        if (parseError)
            CFRelease(parseError);
        std::replace(reason.begin(), reason.end(), '\n', ' ');
        throw ToolError(failure + reason + "; give an .aupreset saved by an AudioUnit host or --save-aupreset");
    }
    const OSStatus status =
        AudioUnitSetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &preset, sizeof preset);
    CFRelease(preset);
    if (status == kAudioUnitErr_InvalidPropertyValue)
        throw ToolError(failure + "it is not a preset of this AudioUnit, or it is damaged; give an .aupreset saved "
                                  "from this AudioUnit");
    if (status != noErr)
        throw ToolError(failure + "it lacks what a preset holds (status " + statusText(status) +
                        "); give an .aupreset saved from this AudioUnit");
}

// The AudioUnit's state as the XML property list a host writes to .aupreset.
void saveAUPreset(AudioUnit unit, const std::string& path)
{
    CFPropertyListRef preset = nullptr;
    UInt32 size = sizeof preset;
    require(AudioUnitGetProperty(unit, kAudioUnitProperty_ClassInfo, kAudioUnitScope_Global, 0, &preset, &size),
            "the AudioUnit gave no state to save");
    CFDataRef xml = CFPropertyListCreateXMLData(kCFAllocatorDefault, preset);
    CFRelease(preset);
    if (!xml)
        throw ToolError("cannot save AudioUnit preset " + path + ": the AudioUnit's state is no property list");
    ReplacingFile file(path);
    try {
        file.write(CFDataGetBytePtr(xml), size_t(CFDataGetLength(xml)));
        file.commit();
    } catch (...) {
        CFRelease(xml);
        throw;
    }
    CFRelease(xml);
}

// What the render callback hands the AudioUnit: the current block, one
// vector per file channel.
struct Feed {
    std::vector<std::vector<float>> channels;
    static OSStatus render(void* reference, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                           UInt32 frames, AudioBufferList* ioData)
    {
        const Feed& feed = *static_cast<const Feed*>(reference);
        for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b) {
            const std::vector<float>& from = feed.channels[std::min<size_t>(b, feed.channels.size() - 1)];
            std::memcpy(ioData->mBuffers[b].mData, from.data(), frames * sizeof(float));
        }
        return noErr;
    }
};

} // namespace

int runAudioUnitRender(const RenderOptions& options, bool verbose)
{
    try {
        if (!options.preset.empty() || !options.savePreset.empty())
            throw ToolError("--preset and --save-preset work through the VST entry only; leave out --au");
        const bool demo = options.input.empty();
        SoundFile in;
        std::vector<float> demoSamples;
        openRenderInput(options, in, demoSamples);
        const std::string output = renderOutputPath(options);
        if (!options.saveAuPreset.empty()) {
            refuseSameFile(options.saveAuPreset, demo ? "" : options.input, "the input file",
                           "--save-aupreset");
            refuseSameFile(options.saveAuPreset, output, "the output file", "--save-aupreset");
            refuseSameFile(options.saveAuPreset, options.auPreset, "the preset given with --aupreset",
                           "--save-aupreset");
        }
        std::error_code ec;
        if (options.blockSize < 1 || options.blockSize > 65536)
            throw ToolError("--block must be from 1 to 65536");

        const int channels = in.info.channels;
        const double rate = in.info.samplerate;
        const int block = options.blockSize;
        const std::string bundle = chosenPlugin(options.plugin);

        SF_INFO outInfo = in.info;
        outInfo.frames = 0;
        if (!sf_format_check(&outInfo))
            throw ToolError("libsndfile cannot write the format of " + options.input + "; give -o a name ending in .wav");
        ReplacingFile outFile(output);
        SoundFile out;
        out.info = outInfo;
        out.file = sf_open_fd(outFile.descriptor(), SFM_WRITE, &out.info, SF_FALSE);
        if (!out.file)
            throw ToolError("cannot write " + output + ": " + soundFileError(nullptr) + "; check there is room on the disk");
        const double scale = pcmScale(in.info.format);
        if (scale > 0.0) {
            if (in.file)
                sf_command(in.file, SFC_SET_NORM_FLOAT, nullptr, SF_FALSE);
            sf_command(out.file, SFC_SET_NORM_FLOAT, nullptr, SF_FALSE);
        }
        sf_command(out.file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
        const float toEffect = scale > 0.0 && !demo ? float(1.0 / scale) : 1.0f;
        const float toFile = scale > 0.0 ? float(scale) : 1.0f;

        sf_count_t done = 0;
        long long nonFinite = 0;
        std::string note;
        double elapsed = 0.0;
        {
            HiddenStderr hidden(!verbose);
            OpenedAudioUnit opened(bundle, verbose);
            AudioUnit unit = opened.unit;
            const AudioStreamBasicDescription format = floatFormat(rate, channels);
            require(AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &format,
                                         sizeof format),
                    "the AudioUnit takes no " + std::to_string(channels) + "-channel input at " +
                        std::to_string(in.info.samplerate) + " Hz");
            require(AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &format,
                                         sizeof format),
                    "the AudioUnit gives no " + std::to_string(channels) + "-channel output at " +
                        std::to_string(in.info.samplerate) + " Hz");
            const UInt32 maximumFrames = UInt32(block);
            require(AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                                         &maximumFrames, sizeof maximumFrames),
                    "the AudioUnit refused slices of " + std::to_string(block) + " frames");
            Feed feed;
            feed.channels.assign(size_t(channels), std::vector<float>(size_t(block)));
            AURenderCallbackStruct callback = {&Feed::render, &feed};
            require(AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                                         &callback, sizeof callback),
                    "the AudioUnit takes no input callback");
            const AudioUnitParameters parameters = listParameters(unit);
            if (!options.auPreset.empty())
                loadAUPreset(unit, options.auPreset);
            else // a preset chooses the mode itself
                note = matchModeToChannels(unit, parameters, options, channels);
            applySettings(unit, parameters, options.settings);
            if (!options.saveAuPreset.empty())
                saveAUPreset(unit, options.saveAuPreset);
            require(AudioUnitInitialize(unit), "the AudioUnit did not initialize");

            std::vector<std::vector<float>> outBuffers(static_cast<size_t>(channels),
                                                       std::vector<float>(static_cast<size_t>(block)));
            struct {
                UInt32 mNumberBuffers;
                AudioBuffer mBuffers[2];
            } outList;
            std::vector<float> interleaved(size_t(block) * size_t(channels));
            AudioTimeStamp stamp = {};
            stamp.mFlags = kAudioTimeStampSampleTimeValid;
            const auto started = std::chrono::steady_clock::now();
            for (;;) {
                const sf_count_t frames = readRenderInput(in, demoSamples, done, interleaved.data(), block);
                if (frames <= 0)
                    break;
                for (int c = 0; c < channels; ++c)
                    for (sf_count_t i = 0; i < frames; ++i)
                        feed.channels[size_t(c)][size_t(i)] = interleaved[size_t(i * channels + c)] * toEffect;
                outList.mNumberBuffers = UInt32(channels);
                for (int c = 0; c < channels; ++c)
                    outList.mBuffers[c] = {1, UInt32(frames * 4), outBuffers[size_t(c)].data()};
                stamp.mSampleTime = double(done);
                AudioUnitRenderActionFlags flags = 0;
                require(AudioUnitRender(unit, &flags, &stamp, 0, UInt32(frames),
                                        reinterpret_cast<AudioBufferList*>(&outList)),
                        "the AudioUnit failed to render at frame " + std::to_string(done));
                for (int c = 0; c < channels; ++c) {
                    const float* from = static_cast<const float*>(outList.mBuffers[c].mData);
                    for (sf_count_t i = 0; i < frames; ++i) {
                        nonFinite += !std::isfinite(from[i]);
                        interleaved[size_t(i * channels + c)] = from[i] * toFile;
                    }
                }
                if (sf_writef_float(out.file, interleaved.data(), frames) != frames)
                    throw ToolError("cannot write " + output + ": " + soundFileError(out.file) +
                                    "; check there is room on the disk");
                done += frames;
            }
            elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        }

        const int closed = sf_close(out.file);
        out.file = nullptr;
        if (closed != 0)
            throw ToolError("cannot write " + output + ": " + sf_error_number(closed) + "; check there is room on the disk");
        // As through the VST entry: a render with NaN or infinite samples
        // failed, and must not take the place of whatever OUT held.
        if (nonFinite > 0) {
            std::fprintf(stderr,
                         "gravel: the effect output %lld NaN or infinite samples of %lld, so %s was not written; "
                         "try other settings or another effect\n",
                         nonFinite, (long long)(done) * channels, output.c_str());
            return exitFailed;
        }
        outFile.commit();

        if (!note.empty())
            std::fprintf(stderr, "gravel: note: %s\n", note.c_str());
        const double seconds = double(done) / rate;
        std::printf("gravel: wrote %s (%.1f s, %s, %d Hz) through the AudioUnit; %.0fx real time\n",
                    (demo ? fs::absolute(output, ec).string() : output).c_str(), seconds,
                    channels == 1 ? "mono" : "stereo", in.info.samplerate, elapsed > 0.0 ? seconds / elapsed : 0.0);
        return exitOK;
    } catch (const ToolError& e) {
        std::fprintf(stderr, "gravel: %s\n", e.what());
        return exitFailed;
    }
}
