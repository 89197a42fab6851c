// Writes the factory presets of every format from the one table in
// engine/GravelFactoryPresets.h, at build time:
//   Gravel.lv2/presets.ttl and manifest.ttl (the manifest's head given),
//   Gravel.vst/Contents/Resources/Presets/NAME.fxp,
//   Gravel.vst/Contents/Resources/TNFactoryPresets.txt and its .aupreset files.
// Each .fxp holds what the effect's own program save writes once the preset
// is set, and the .aupreset files wrap those bytes as the AudioUnit wrapper
// does, so an installed bundle never has to write them itself.
//
// Usage: gravel_presets VST_BUNDLE LV2_BUNDLE MANIFEST_HEAD

#include "engine/GravelFactoryPresets.h"
#include "lv2/GravelPorts.h"
#include "plugin/VST_GRV.h"
#include "wrapper/TandemCF.h"
#include "wrapper/TandemPresetFiles.h"
#include "wrapper/TandemPresets.h"

#include <AudioUnit/AudioUnit.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using gravel::FactoryPreset;

namespace {

std::string readFile(const fs::path& path);

// An unchanged file is left alone, so a build that changes nothing touches
// nothing in the bundles.
void writeFile(const fs::path& path, const std::string& contents)
{
    std::error_code ec;
    if (fs::is_regular_file(path, ec) && readFile(path) == contents)
        return;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
    if (!out.flush())
        throw std::runtime_error("cannot write " + path.string());
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The shortest decimal that reads back as the same float, as a Turtle
// decimal ("5.5", "2.0").
std::string decimal(float value)
{
    char text[32];
    for (int digits = 1; digits <= 9; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, double(value));
        if (std::strtof(text, nullptr) == value)
            break;
    }
    std::string result = text;
    if (result.find_first_of(".e") == std::string::npos)
        result += ".0";
    return result;
}

// "Edge of Breakup" -> "edge-of-breakup": the preset URIs saved sessions hold.
std::string presetURI(const FactoryPreset& preset)
{
    std::string slug;
    for (const char* c = preset.name; *c; ++c)
        slug += *c == ' ' ? '-' : char(std::tolower(static_cast<unsigned char>(*c)));
    return std::string(gravel_lv2::kPluginURI) + "#preset-" + slug;
}

void writeLV2(const fs::path& bundle, const fs::path& manifestHead)
{
    const std::string plugin = std::string("<") + gravel_lv2::kPluginURI + ">";
    std::ostringstream manifest, presets;
    manifest << readFile(manifestHead);
    presets << "@prefix lv2:  <http://lv2plug.in/ns/lv2core#> .\n"
               "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
               "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
               "\n"
               "# Made by the build from engine/GravelFactoryPresets.h.\n";
    for (const FactoryPreset& preset : gravel::kFactoryPresets) {
        const std::string uri = "<" + presetURI(preset) + ">";
        manifest << "\n" << uri << "\n    a pset:Preset ;\n    lv2:appliesTo " << plugin
                 << " ;\n    rdfs:seeAlso <presets.ttl> .\n";
        presets << "\n" << uri << "\n    a pset:Preset ;\n    lv2:appliesTo " << plugin << " ;\n    rdfs:label \""
                << preset.name << "\" ;\n    rdfs:comment \"" << preset.comment << "\" ;\n    lv2:port";
        const char* separator = "\n";
        for (int32_t index = 0; index < kGRVNumParams; ++index) {
            float units = 0.0f;
            if (!gravel::presetValue(preset, index, units))
                continue;
            presets << separator << "        [ lv2:symbol \"" << gravel_lv2::kControlSymbols[index]
                    << "\" ; pset:value " << decimal(units) << " ]";
            separator = " ,\n";
        }
        presets << " .\n";
    }
    writeFile(bundle / "manifest.ttl", manifest.str());
    writeFile(bundle / "presets.ttl", presets.str());
}

void putInt(std::string& out, int32_t value)
{
    const uint32_t u = uint32_t(value);
    for (int shift = 24; shift >= 0; shift -= 8)
        out += char((u >> shift) & 0xff);
}

// The effect's program as an FXP (an FxCk record: big-endian header, the
// program name in 28 bytes, one float per parameter), after the preset is
// set on a fresh effect. `programName` receives the name the effect shows.
std::string presetFXP(const FactoryPreset& preset, std::string& programName)
{
    VST_GRV effect(nullptr);
    for (int32_t index = 0; index < kGRVNumParams; ++index) {
        float units = 0.0f;
        if (gravel::presetValue(preset, index, units))
            effect.setParameter(index, gravel::normalisedFromUnits(index, units));
    }
    char name[25] = {}; // program names hold at most 24 characters
    std::strncpy(name, preset.name, 24);
    effect.setProgramName(name);
    char shown[64] = {};
    effect.getProgramName(shown);
    programName = shown;

    const AEffect* record = effect.getAEffect();
    std::string fxp;
    putInt(fxp, vstFourCC('C', 'c', 'n', 'K'));
    putInt(fxp, 48 + 4 * record->numParams);
    putInt(fxp, vstFourCC('F', 'x', 'C', 'k'));
    putInt(fxp, 1);
    putInt(fxp, record->uniqueID);
    putInt(fxp, record->version);
    putInt(fxp, record->numParams);
    std::string nameField(28, '\0');
    nameField.replace(0, std::min<size_t>(programName.size(), 24), programName, 0, 24);
    fxp += nameField;
    for (int32_t index = 0; index < record->numParams; ++index) {
        const float value = effect.getParameter(index);
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        putInt(fxp, int32_t(bits));
    }
    return fxp;
}

// The bundle's AudioUnit registration, as the component registry reads it.
ComponentDescription componentDescription(const fs::path& infoPlist)
{
    const std::string bytes = readFile(infoPlist);
    ScopedCFRef<CFDataRef> data(
        CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bytes.data()), CFIndex(bytes.size())));
    ScopedCFRef<CFPropertyListRef> info(
        CFPropertyListCreateFromXMLData(kCFAllocatorDefault, data.get(), kCFPropertyListImmutable, nullptr));
    if (!info.get() || CFGetTypeID(info.get()) != CFDictionaryGetTypeID())
        throw std::runtime_error(infoPlist.string() + " is no property list");
    ScopedCFRef<CFStringRef> componentsKey(createPresetString("AudioComponents"));
    const void* components = CFDictionaryGetValue(static_cast<CFDictionaryRef>(info.get()), componentsKey.get());
    if (!components || CFGetTypeID(components) != CFArrayGetTypeID() ||
        CFArrayGetCount(static_cast<CFArrayRef>(components)) < 1)
        throw std::runtime_error(infoPlist.string() + " registers no AudioUnit");
    const void* component = CFArrayGetValueAtIndex(static_cast<CFArrayRef>(components), 0);
    auto code = [&](const char* key) {
        ScopedCFRef<CFStringRef> name(createPresetString(key));
        const void* value = CFDictionaryGetValue(static_cast<CFDictionaryRef>(component), name.get());
        char text[8] = {};
        if (!value || CFGetTypeID(value) != CFStringGetTypeID() ||
            !CFStringGetCString(static_cast<CFStringRef>(value), text, sizeof text, kCFStringEncodingMacRoman) ||
            std::strlen(text) != 4)
            throw std::runtime_error(infoPlist.string() + " gives no four-character " + key);
        return OSType(vstFourCC(text[0], text[1], text[2], text[3]));
    };
    ComponentDescription description = {};
    description.componentType = code("type");
    description.componentSubType = code("subtype");
    description.componentManufacturer = code("manufacturer");
    return description;
}

// The preset dictionary the AudioUnit wrapper makes of a program.
std::string auPresetXML(const ComponentDescription& description, const std::string& name, const std::string& fxp)
{
    ScopedCFRef<CFMutableDictionaryRef> preset(CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    setPresetNumber(preset.get(), kAUPresetVersionKey, 1);
    setPresetNumber(preset.get(), kAUPresetTypeKey, SInt32(description.componentType));
    setPresetNumber(preset.get(), kAUPresetSubtypeKey, SInt32(description.componentSubType));
    setPresetNumber(preset.get(), kAUPresetManufacturerKey, SInt32(description.componentManufacturer));
    ScopedCFRef<CFStringRef> nameKey(createPresetString(kAUPresetNameKey)), nameValue(createPresetString(name.c_str()));
    CFDictionarySetValue(preset.get(), nameKey.get(), nameValue.get());
    ScopedCFRef<CFDataRef> data(
        CFDataCreate(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(fxp.data()), CFIndex(fxp.size())));
    ScopedCFRef<CFStringRef> dataKey(createPresetString(kAUPresetVSTDataKey));
    CFDictionarySetValue(preset.get(), dataKey.get(), data.get());
    return createPresetXML(preset.get());
}

void writeVST(const fs::path& bundle)
{
    const fs::path resources = bundle / "Contents" / "Resources";
    const fs::path fxpFolder = resources / "Presets";
    fs::create_directories(fxpFolder);
    const ComponentDescription description = componentDescription(bundle / "Contents" / "Info.plist");
    // The AudioUnit lists its presets by the names the effect shows: Init
    // stays "Init 1", the first factory preset that saved documents and
    // hosts know.
    std::string list;
    for (const FactoryPreset& preset : gravel::kFactoryPresets) {
        std::string programName;
        const std::string fxp = presetFXP(preset, programName);
        writeFile(fxpFolder / (std::string(preset.name) + ".fxp"), fxp);
        const std::string auFile = safePresetItemName(programName) + ".aupreset";
        writeFile(resources / auFile, auPresetXML(description, programName, fxp));
        list += auFile + '\r';
    }
    // The list last: a component that finds it finds every file it names.
    writeFile(resources / "TNFactoryPresets.txt", list);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: gravel_presets VST_BUNDLE LV2_BUNDLE MANIFEST_HEAD\n");
        return 2;
    }
    try {
        writeVST(argv[1]);
        writeLV2(argv[2], argv[3]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "gravel_presets: %s\n", e.what());
        return 1;
    }
    return 0;
}
