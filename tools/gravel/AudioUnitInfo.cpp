// gravel au-info: the bundle as an AudioUnit host sees it. Everything but
// the bundle's registration and its "TNConfig" flags is read through the
// AudioUnit API of an opened instance.

#include "AudioUnitBundle.h"
#include "Commands.h"
#include "EffectLoader.h"

#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>


#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const auInfoHelp =
    "Usage: gravel au-info [--plugin PATH] [-v]\n"
    "\n"
    "Opens the bundle's AudioUnit (TandemEntry) as a host does and shows what\n"
    "a host sees: the component's description, name and version, the TNConfig\n"
    "flags, buses and channel configurations, latency and tail, and every\n"
    "published parameter (ID, name, unit, range, default, current value and\n"
    "value strings).\n"
    "\n"
    "  --plugin PATH   the bundle folder (default: the Gravel.vst built beside gravel)\n"
    "  -v, --verbose   show the component's own log lines\n";

template <typename Value>
bool property(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element, Value& value)
{
    UInt32 size = sizeof value;
    return AudioUnitGetProperty(unit, id, scope, element, &value, &size) == noErr;
}

std::string unitText(const AudioUnitParameterInfo& info)
{
    switch (info.unit) {
    case kAudioUnitParameterUnit_Indexed: return "indexed";
    case kAudioUnitParameterUnit_Boolean: return "on/off";
    case kAudioUnitParameterUnit_CustomUnit: return info.unitName ? textOf(info.unitName) : "custom";
    case kAudioUnitParameterUnit_Generic: return "-";
    default: return "unit " + std::to_string(info.unit);
    }
}

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

void printParameters(AudioUnit unit)
{
    UInt32 size = 0;
    if (AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, &size,
                                 nullptr) != noErr)
        size = 0;
    std::vector<AudioUnitParameterID> ids(size / sizeof(AudioUnitParameterID));
    if (!ids.empty() && AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0,
                                             ids.data(), &size) != noErr)
        ids.clear();
    std::printf("parameters: %zu published\n", ids.size());
    for (AudioUnitParameterID id : ids) {
        AudioUnitParameterInfo info;
        std::memset(&info, 0, sizeof info);
        if (!property(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id, info)) {
            std::printf("  %3u  (no information)\n", unsigned(id));
            continue;
        }
        const std::string name = (info.flags & kAudioUnitParameterFlag_HasCFNameString) && info.cfNameString
                                     ? textOf(info.cfNameString)
                                     : std::string(info.name, strnlen(info.name, sizeof info.name));
        AudioUnitParameterValue value = 0;
        const bool hasValue = AudioUnitGetParameter(unit, id, kAudioUnitScope_Global, 0, &value) == noErr;
        std::printf("  %3u  %-14s unit %-8s range %s..%s  default %s  value %s", unsigned(id), name.c_str(),
                    unitText(info).c_str(), number(info.minValue).c_str(), number(info.maxValue).c_str(),
                    number(info.defaultValue).c_str(), hasValue ? number(value).c_str() : "?");
        CFArrayRef names = nullptr;
        if (property(unit, kAudioUnitProperty_ParameterValueStrings, kAudioUnitScope_Global, id, names) && names) {
            std::string list;
            for (CFIndex i = 0; i < CFArrayGetCount(names); ++i)
                list += std::string(i ? "|" : "") +
                        textOf(static_cast<CFStringRef>(CFArrayGetValueAtIndex(names, i)));
            CFRelease(names);
            std::printf("  values %s", list.c_str());
        } else if (info.flags & kAudioUnitParameterFlag_ValuesHaveStrings) {
            AudioUnitParameterStringFromValue request = {id, hasValue ? &value : nullptr, nullptr};
            if (property(unit, kAudioUnitProperty_ParameterStringFromValue, kAudioUnitScope_Global, 0, request) &&
                request.outString) {
                std::printf("  shown \"%s\"", textOf(request.outString).c_str());
                CFRelease(request.outString);
            }
        }
        if (info.flags & kAudioUnitParameterFlag_IsGlobalMeta)
            std::printf("  (meta)");
        std::printf("\n");
    }
}

// The factory presets (number and name) and the current preset.
void printPresets(AudioUnit unit)
{
    CFArrayRef presets = nullptr;
    if (property(unit, kAudioUnitProperty_FactoryPresets, kAudioUnitScope_Global, 0, presets) && presets) {
        const CFIndex count = CFArrayGetCount(presets);
        std::printf("factory presets: %ld\n", long(count));
        for (CFIndex i = 0; i < count; ++i) {
            const AUPreset* preset = static_cast<const AUPreset*>(CFArrayGetValueAtIndex(presets, i));
            std::printf("  %3d  %s\n", int(preset->presetNumber), textOf(preset->presetName).c_str());
        }
        CFRelease(presets);
    } else {
        std::printf("factory presets: none\n");
    }
    AUPreset current = {};
    if (property(unit, kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0, current) && current.presetName) {
        std::printf("current preset: %s (%s)\n", textOf(current.presetName).c_str(),
                    current.presetNumber < 0 ? "user preset" : ("factory preset " +
                                                                 std::to_string(current.presetNumber)).c_str());
        CFRelease(current.presetName);
    }
}

void printUnit(AudioUnit unit)
{
    for (AudioUnitScope scope : {kAudioUnitScope_Input, kAudioUnitScope_Output}) {
        const bool input = scope == kAudioUnitScope_Input;
        UInt32 count = 0;
        property(unit, kAudioUnitProperty_ElementCount, scope, 0, count);
        std::printf("%s buses: %u", input ? "input" : "output", unsigned(count));
        for (UInt32 bus = 0; bus < count; ++bus) {
            AudioStreamBasicDescription format;
            std::memset(&format, 0, sizeof format);
            property(unit, kAudioUnitProperty_StreamFormat, scope, bus, format);
            CFStringRef name = nullptr;
            std::string label;
            if (property(unit, kAudioUnitProperty_ElementName, scope, bus, name) && name) {
                label = " \"" + textOf(name) + "\"";
                CFRelease(name);
            }
            std::printf("%sbus %u%s: %u channels at %s Hz", bus ? ", " : " (", unsigned(bus), label.c_str(),
                        unsigned(format.mChannelsPerFrame), number(format.mSampleRate).c_str());
        }
        std::printf("%s\n", count ? ")" : "");
    }

    UInt32 size = 0;
    std::printf("channel configurations:");
    if (AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 0, &size,
                                 nullptr) == noErr &&
        size > 0) {
        std::vector<AUChannelInfo> channels(size / sizeof(AUChannelInfo));
        if (AudioUnitGetProperty(unit, kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 0,
                                 channels.data(), &size) == noErr)
            for (const AUChannelInfo& c : channels)
                std::printf(" %d in/%d out", c.inChannels, c.outChannels);
    } else {
        std::printf(" not offered (the buses differ in width)");
    }
    std::printf("\n");

    Float64 latency = 0, tail = 0;
    const bool hasLatency = property(unit, kAudioUnitProperty_Latency, kAudioUnitScope_Global, 0, latency);
    const bool hasTail = property(unit, kAudioUnitProperty_TailTime, kAudioUnitScope_Global, 0, tail);
    std::printf("latency: %s, tail: %s\n", hasLatency ? (number(latency) + " s").c_str() : "not reported",
                hasTail ? (number(tail) + " s").c_str() : "not reported");
    printParameters(unit);
    printPresets(unit);
}

int showAudioUnit(const std::string& bundlePath, bool verbose)
{
    const BundleDeclarations declared = readDeclarations(bundlePath);
    AudioUnit unit = nullptr;
    AudioComponent component = findBundleComponent(bundlePath, declared, verbose);
    const std::string identity = fourCCText(declared.description.componentType) + " " +
                                 fourCCText(declared.description.componentSubType) + " " +
                                 fourCCText(declared.description.componentManufacturer);

    CFStringRef name = nullptr;
    AudioComponentCopyName(component, &name);
    UInt32 version = 0;
    AudioComponentGetVersion(component, &version);
    std::printf("AudioUnit: %s\n", textOf(name).c_str());
    if (name)
        CFRelease(name);
    std::printf("component: %s, version %u.%u.%u (0x%x)\n", identity.c_str(), unsigned(version >> 16),
                unsigned((version >> 8) & 0xff), unsigned(version & 0xff), unsigned(version));
    std::printf("bundle: %s\n", bundlePath.c_str());
    std::printf("TNConfig: %s\n", declared.config.c_str());

    OSStatus opened;
    {
        HiddenStderr hidden(!verbose);
        opened = AudioComponentInstanceNew(component, &unit);
    }
    if (opened != noErr)
        throw AUInfoError{"the AudioUnit did not open (error " + std::to_string(opened) +
                          "); run 'gravel au-info -v' to see why"};
    {
        HiddenStderr hidden(!verbose);
        // The host's view: fflush so the lines appear in order when not hidden.
        std::fflush(stdout);
        printUnit(unit);
        std::fflush(stdout);
        AudioComponentInstanceDispose(unit);
    }
    return exitOK;
}

} // namespace

int runAudioUnitInfo(int argc, char** argv)
{
    std::string plugin;
    bool verbose = false;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(auInfoHelp, stdout);
            return exitOK;
        } else if (arg == "-v" || arg == "--verbose") {
            verbose = true;
        } else if (arg == "--plugin" && i + 1 < argc) {
            plugin = argv[++i];
        } else if (arg.compare(0, 9, "--plugin=") == 0) {
            plugin = arg.substr(9);
        } else {
            std::fprintf(stderr, "gravel: %s; see 'gravel au-info --help'\n",
                         arg == "--plugin" ? "--plugin needs a value" : ("unknown option '" + arg + "'").c_str());
            return exitUsage;
        }
    }
    try {
        const std::string bundle = fs::absolute(fs::path(chosenPlugin(plugin))).lexically_normal().string();
        return showAudioUnit(bundle, verbose);
    } catch (const AUInfoError& e) {
        std::fprintf(stderr, "gravel: %s\n", e.message.c_str());
        return exitFailed;
    } catch (const ToolError& e) {
        std::fprintf(stderr, "gravel: %s\n", e.what());
        return exitFailed;
    }
}
