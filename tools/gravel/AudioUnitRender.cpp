// gravel render --au: the same render as through the VST entry, but through
// the bundle's AudioUnit, the way an AudioUnit host drives it: find the
// component, open it, set the stream format to the file's rate and channel
// count, initialize, pull slices with advancing sample times from a render
// callback that feeds the file, close.

#include "Commands.h"

#include "AudioUnitBundle.h"
#include "EffectLoader.h"
#include "ParameterMatch.h"
#include "RenderSession.h"
#include "ReplacingFile.h"

#include <AudioUnit/AudioUnit.h>
#include <CoreFoundation/CoreFoundation.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
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

// A stereo file switches a "Plugin Mode" parameter to stereo, as through
// the VST entry. Returns a note for the user when the AudioUnit gives no way
// to name stereo.
std::string switchModeToStereo(AudioUnit unit, const AudioUnitParameters& parameters, const RenderOptions& options,
                               int channels)
{
    const int mode = modeParameterToMatch(parameters.names, options, channels);
    if (mode < 0)
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
    // Named after the file, as hosts name the presets they save.
    if (preset && CFGetTypeID(preset) == CFDictionaryGetTypeID()) {
        CFMutableDictionaryRef named =
            CFDictionaryCreateMutableCopy(kCFAllocatorDefault, 0, static_cast<CFDictionaryRef>(preset));
        CFStringRef key = CFStringCreateWithCString(kCFAllocatorDefault, kAUPresetNameKey, kCFStringEncodingUTF8);
        const std::string stem = fs::path(path).stem().string();
        CFStringRef name = CFStringCreateWithCString(kCFAllocatorDefault, stem.c_str(), kCFStringEncodingUTF8);
        if (!name) // not UTF-8: the bytes as Mac Roman, as the AudioUnit reads file names
            name = CFStringCreateWithCString(kCFAllocatorDefault, stem.c_str(), kCFStringEncodingMacRoman);
        CFDictionarySetValue(named, key, name);
        CFRelease(name);
        CFRelease(key);
        CFRelease(preset);
        preset = named;
    }
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
// buffer per file channel (none before the first block: silence).
struct Feed {
    const float* const* channels = nullptr;
    UInt32 channelCount = 0;
    static OSStatus render(void* reference, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32,
                           UInt32 frames, AudioBufferList* ioData)
    {
        const Feed& feed = *static_cast<const Feed*>(reference);
        for (UInt32 b = 0; b < ioData->mNumberBuffers; ++b) {
            if (feed.channels)
                std::memcpy(ioData->mBuffers[b].mData, feed.channels[std::min(b, feed.channelCount - 1)],
                            frames * sizeof(float));
            else
                std::memset(ioData->mBuffers[b].mData, 0, frames * sizeof(float));
        }
        return noErr;
    }
};

// The effect through the bundle's AudioUnit, pulled slice by slice with
// advancing sample times; its own log stays hidden until finish() unless
// --verbose asks for it.
class AudioUnitRenderTarget : public RenderTarget {
public:
    AudioUnitRenderTarget(const RenderOptions& options, bool verbose) : options(options), verbose(verbose) {}

    void prepare(double rate, int channels, int maxBlock) override
    {
        const std::string bundle = chosenPlugin(options.plugin);
        hidden = std::make_unique<HiddenStderr>(!verbose);
        opened = std::make_unique<OpenedAudioUnit>(bundle, verbose);
        AudioUnit unit = opened->unit;
        const AudioStreamBasicDescription format = floatFormat(rate, channels);
        require(AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &format,
                                     sizeof format),
                "the AudioUnit takes no " + std::to_string(channels) + "-channel input at " +
                    std::to_string(int(rate)) + " Hz");
        require(AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Output, 0, &format,
                                     sizeof format),
                "the AudioUnit gives no " + std::to_string(channels) + "-channel output at " +
                    std::to_string(int(rate)) + " Hz");
        const UInt32 maximumFrames = UInt32(maxBlock);
        require(AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0,
                                     &maximumFrames, sizeof maximumFrames),
                "the AudioUnit refused slices of " + std::to_string(maxBlock) + " frames");
        feed.channelCount = UInt32(channels);
        AURenderCallbackStruct callback = {&Feed::render, &feed};
        require(AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0,
                                     &callback, sizeof callback),
                "the AudioUnit takes no input callback");
        const AudioUnitParameters parameters = listParameters(unit);
        if (!options.auPreset.empty())
            loadAUPreset(unit, options.auPreset);
        modeNote = switchModeToStereo(unit, parameters, options, channels);
        applySettings(unit, parameters, options.settings);
        if (!options.saveAuPreset.empty())
            saveAUPreset(unit, options.saveAuPreset);
        require(AudioUnitInitialize(unit), "the AudioUnit did not initialize");
        fileChannels = channels;
        stamp.mFlags = kAudioTimeStampSampleTimeValid;
    }

    void process(const float* const* in, float* const* out, int frames, long long position) override
    {
        feed.channels = in;
        outList.mNumberBuffers = UInt32(fileChannels);
        for (int c = 0; c < fileChannels; ++c)
            outList.mBuffers[c] = {1, UInt32(frames * 4), out[c]};
        stamp.mSampleTime = double(position);
        AudioUnitRenderActionFlags flags = 0;
        const OSStatus status = AudioUnitRender(opened->unit, &flags, &stamp, 0, UInt32(frames),
                                                reinterpret_cast<AudioBufferList*>(&outList));
        feed.channels = nullptr; // the session's buffers are its own between blocks
        if (status != noErr) // the message is made only for a failure: this runs for every block
            require(status, "the AudioUnit failed to render at frame " + std::to_string(position));
        // The AudioUnit may answer with buffers of its own.
        for (int c = 0; c < fileChannels; ++c)
            if (outList.mBuffers[c].mData != out[c])
                std::memcpy(out[c], outList.mBuffers[c].mData, size_t(frames) * sizeof(float));
    }

    void finish() override
    {
        opened.reset();
        hidden.reset();
    }

    std::string note() const override { return modeNote; }
    std::string through() const override { return "the AudioUnit"; }
    // Only the VST render has reported levels so far.
    bool summaryGivesLevels() const override { return false; }

private:
    const RenderOptions& options;
    const bool verbose;
    // Declared before the unit: it is disposed of while its log is still hidden.
    std::unique_ptr<HiddenStderr> hidden;
    std::unique_ptr<OpenedAudioUnit> opened;
    Feed feed;
    struct {
        UInt32 mNumberBuffers;
        AudioBuffer mBuffers[2]; // the session renders mono and stereo files only
    } outList = {};
    AudioTimeStamp stamp = {};
    int fileChannels = 0;
    std::string modeNote;
};

} // namespace

int runAudioUnitRender(const RenderOptions& options, bool verbose)
{
    try {
        if (!options.preset.empty() || !options.savePreset.empty())
            throw ToolError("--preset and --save-preset work through the VST entry only; leave out --au");
        RenderSession session(options);
        if (!options.saveAuPreset.empty()) {
            refuseSameFile(options.saveAuPreset, session.rendersDemo() ? "" : options.input, "the input file",
                           "--save-aupreset");
            refuseSameFile(options.saveAuPreset, session.outputPath(), "the output file", "--save-aupreset");
            refuseSameFile(options.saveAuPreset, options.auPreset, "the preset given with --aupreset",
                           "--save-aupreset");
        }
        AudioUnitRenderTarget target(options, verbose);
        return session.run(target);
    } catch (const ToolError& e) {
        std::fprintf(stderr, "gravel: %s\n", e.what());
        return exitFailed;
    }
}
