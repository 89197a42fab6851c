// VST preset files (.fxp, .fxb) in the AudioUnit preset folders become
// .aupreset files beside them, once.

#include "wrapper/TandemPresets.h"

#include "wrapper/TandemCF.h"
#include "hosting/TandemException.h"
#include "hosting/TandemLog.h"
#include "wrapper/TandemPresetFiles.h"
#include "hosting/VSTPlugIn.h"

#include <vector>

namespace {
const char* const presetExtension = ".aupreset";
}

// ---- VST preset files in the AudioUnit preset folders ----

void TandemPresetStore::convertVSTPresets()
{
    static const struct {
        short domain;
        const char* name;
    } domains[] = {{kUserDomain, "user domain"}, {kLocalDomain, "local domain"}};
    for (const auto& domain : domains) {
        try {
            convertVSTPresetsInDomain(domain.domain);
        } catch (const std::exception& e) {
            tandemLog("Failed converting presets in %s, caught exception: %s\n", domain.name, e.what());
        } catch (...) {
            tandemLog("Failed converting presets in %s (caught general exception)\n", domain.name);
        }
    }
}

void TandemPresetStore::convertVSTPresetsInDomain(short domain)
{
    std::string folder;
    OSStatus status = gravel_files::findAudioUnitSupportFolder(domain, folder);
    if (status != noErr)
        throw MacOSException(status);

    std::vector<std::string> parts = {"Presets"};
    size_t start = 0;
    while (start <= componentName.size()) {
        size_t end = componentName.find(':', start);
        if (end == std::string::npos)
            end = componentName.size();
        const std::string part = trimSpaces(componentName.substr(start, end - start));
        if (!part.empty())
            parts.push_back(safePresetItemName(part));
        start = end + 1;
    }
    for (const std::string& part : parts) {
        std::string next;
        status = gravel_files::findItem(folder, part, next);
        if (status == fnfErr)
            status = gravel_files::createFolder(folder, part, next);
        if (status != noErr)
            throw MacOSException(status);
        folder = next;
    }

    std::vector<gravel_files::FolderItem> items;
    status = gravel_files::listPlainVisibleFiles(folder, items);
    if (status != noErr)
        throw MacOSException(status);
    for (const gravel_files::FolderItem& item : items) {
        // No Mac type codes on this platform: the extension decides.
        const bool isFXP = item.fileType == 0x41467850 || hasExtension(item, "fxp");
        const bool isFXB = item.fileType == 0x41467842 || hasExtension(item, "fxb");
        if (!(isFXB || (isFXP && !configuration.presetIsFXB)))
            continue;
        tandemLog("Found %s: %s\n", isFXP ? "fxp" : "fxb", item.path.c_str());
        convertVSTPreset(item, isFXB);
    }
}

void TandemPresetStore::convertVSTPreset(const gravel_files::FolderItem& file, bool isBank)
{
    try {
        const std::string folder = file.path.substr(0, file.path.size() - file.name.size() - 1);
        // The name without its extension ("a.fxp" -> "a"; a name without one stays whole).
        std::string baseName =
            file.extension.empty() ? file.name : file.name.substr(0, file.name.size() - file.extension.size() - 1);

        if (isBank && !configuration.presetIsFXB) {
            std::string bankFolder;
            if (gravel_files::createFolder(folder, safePresetItemName(baseName), bankFolder) != noErr)
                return; // made by an earlier construction: converted already
            std::vector<UInt8> contents;
            const OSStatus status = gravel_files::readFile(file.path, contents);
            if (status != noErr)
                throw MacOSException(status);
            vst.loadFXPOrFXB(contents.size(), contents.data());
            convertLoadedPrograms(bankFolder, nullptr);
            tandemLog("Successfully converted fxb to multiple presets\n");
            return;
        }

        // Room for ".aupreset" within the 255 bytes a file name may have.
        if (baseName.size() > 246)
            baseName.resize(246);
        const std::string fileName = safePresetItemName(baseName) + presetExtension;
        std::string existing;
        if (gravel_files::findItem(folder, fileName, existing) != fnfErr)
            return; // made by an earlier construction: converted already
        std::vector<UInt8> contents;
        const OSStatus status = gravel_files::readFile(file.path, contents);
        if (status != noErr)
            throw MacOSException(status);
        ScopedCFRef<CFStringRef> name(createStringFromFileName(baseName));
        ScopedCFRef<CFMutableDictionaryRef> preset(
            createAUPresetWithVSTData(contents.size(), contents.data(), name.get()));
        replaceFileContents(folder, fileName, createPresetXML(preset.get()));
        tandemLog("Successfully converted %s to single preset\n", isBank ? "fxb" : "fxp");
    } catch (const std::exception& e) {
        tandemLog("Failed converting preset, caught exception: %s\n", e.what());
    } catch (...) {
        tandemLog("Failed converting preset (caught general exception)\n");
    }
}

