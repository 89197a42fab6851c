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

// The AudioUnit's global parameters as --set reads them: a position is the
// value's place in the parameter's AudioUnit range, and what it shows is the
// name of an indexed value, On or Off for a switch, else the AudioUnit's own
// text for the value.
class AudioUnitParameterAccess : public ParameterAccess {
public:
    explicit AudioUnitParameterAccess(AudioUnit unit) : unit(unit)
    {
        UInt32 size = 0;
        if (AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, &size,
                                     nullptr) != noErr)
            return;
        std::vector<AudioUnitParameterID> ids(size / sizeof(AudioUnitParameterID));
        if (ids.empty() || AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0,
                                                ids.data(), &size) != noErr)
            return;
        for (AudioUnitParameterID id : ids)
            parameters.push_back(describe(id));
    }
    ~AudioUnitParameterAccess() override
    {
        for (const Parameter& p : parameters)
            if (p.valueStrings)
                CFRelease(p.valueStrings);
    }
    AudioUnitParameterAccess(const AudioUnitParameterAccess&) = delete;
    AudioUnitParameterAccess& operator=(const AudioUnitParameterAccess&) = delete;

    int count() override { return int(parameters.size()); }
    std::string name(int index) override { return parameters[size_t(index)].name; }
    float position(int index) override
    {
        const Parameter& p = parameters[size_t(index)];
        AudioUnitParameterValue value = p.info.minValue;
        AudioUnitGetParameter(unit, p.id, kAudioUnitScope_Global, 0, &value);
        const float range = p.info.maxValue - p.info.minValue;
        return range > 0.0f ? (value - p.info.minValue) / range : 0.0f;
    }
    void setPosition(int index, float position) override
    {
        const Parameter& p = parameters[size_t(index)];
        require(AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, valueAt(p, position), 0),
                "the AudioUnit refused a value for " + p.name);
    }
    std::string display(int index, float position) override
    {
        const Parameter& p = parameters[size_t(index)];
        const float value = valueAt(p, position);
        if (p.valueStrings) {
            const CFIndex i = CFIndex(value - p.info.minValue);
            const void* entry = i < CFArrayGetCount(p.valueStrings) ? CFArrayGetValueAtIndex(p.valueStrings, i)
                                                                    : nullptr;
            if (entry && CFGetTypeID(entry) == CFStringGetTypeID())
                return textOf(static_cast<CFStringRef>(entry));
        }
        if (p.info.unit == kAudioUnitParameterUnit_Boolean)
            return value > 0.5f * (p.info.minValue + p.info.maxValue) ? "On" : "Off";
        AudioUnitParameterValue original = value;
        AudioUnitGetParameter(unit, p.id, kAudioUnitScope_Global, 0, &original);
        AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, value, 0);
        AudioUnitParameterStringFromValue request = {p.id, nullptr, nullptr};
        UInt32 size = sizeof request;
        std::string text;
        if (AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterStringFromValue, kAudioUnitScope_Global, p.id,
                                 &request, &size) == noErr &&
            request.outString) {
            text = textOf(request.outString);
            CFRelease(request.outString);
        } else {
            char number[32];
            std::snprintf(number, sizeof number, "%g", double(value));
            text = number;
        }
        AudioUnitSetParameter(unit, p.id, kAudioUnitScope_Global, 0, original, 0);
        return text;
    }

private:
    struct Parameter {
        AudioUnitParameterID id = 0;
        std::string name;
        AudioUnitParameterInfo info = {};
        CFArrayRef valueStrings = nullptr; // indexed parameters name their values
    };

    Parameter describe(AudioUnitParameterID id)
    {
        Parameter p;
        p.id = id;
        UInt32 infoSize = sizeof p.info;
        if (AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id, &p.info,
                                 &infoSize) == noErr) {
            p.info.name[sizeof p.info.name - 1] = '\0';
            p.name = p.info.name;
            if (p.info.cfNameString && (p.info.flags & kAudioUnitParameterFlag_CFNameRelease))
                CFRelease(p.info.cfNameString);
            p.info.cfNameString = nullptr;
        }
        UInt32 size = sizeof p.valueStrings;
        if (AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, id,
                                 &p.valueStrings, &size) != noErr)
            p.valueStrings = nullptr;
        return p;
    }
    static float valueAt(const Parameter& p, float position)
    {
        const float value = p.info.minValue + position * (p.info.maxValue - p.info.minValue);
        // Indexed values are whole numbers: each owns an equal part of the travel.
        if (p.valueStrings || p.info.unit == kAudioUnitParameterUnit_Indexed)
            return std::min(std::floor(value - p.info.minValue + 0.5f) + p.info.minValue, p.info.maxValue);
        return value;
    }

    AudioUnit unit;
    std::vector<Parameter> parameters;
};

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
        AudioUnitParameterAccess parameters(unit);
        const std::vector<std::string> defaults = shownValues(parameters);
        if (!options.auPreset.empty())
            loadAUPreset(unit, options.auPreset);
        applyRenderSettings(parameters, options, channels);
        changes = describeChanges(parameters, defaults);
        modeNote = channelModeNote(parameters, channels);
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
    std::string settings() const override { return changes; }

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
    std::string modeNote, changes;
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
