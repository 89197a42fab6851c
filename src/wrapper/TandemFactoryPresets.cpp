// Factory presets: the files listed in TNFactoryPresets.txt, or, when the
// list is missing, one file per distinctly named program written first.

#include "wrapper/TandemPresets.h"

#include "wrapper/TandemCF.h"
#include "hosting/TandemException.h"
#include "hosting/TandemLog.h"
#include "wrapper/TandemPresetFiles.h"
#include "hosting/VSTPlugIn.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

const char* const factoryPresetListName = "TNFactoryPresets.txt";
const char* const bankPresetFileName = "FactoryPreset.aupreset";
const char* const presetExtension = ".aupreset";
// The longest list line read; the rest of a longer line is skipped.
constexpr size_t maxListLine = 2047;

} // namespace

// ---- factory presets ----

void TandemPresetStore::loadOrCreateFactoryPresets()
{
    std::string listPath;
    OSStatus status = gravel_files::findItem(resourcesFolder, factoryPresetListName, listPath);
    if (status == fnfErr) {
        // A first construction generates the list and its files; a bundle
        // shipped with them (Gravel is) never writes here.
        // The list is renamed into place last, so another process never
        // reads a list whose files are not written yet. A folder that cannot
        // be written fails on the first preset file already.
        try {
            std::string listText;
            createFactoryPresets(listText);
            replaceFileContents(resourcesFolder, factoryPresetListName, listText);
        } catch (const MacOSException& e) {
            tandemLog("Could not write the factory presets and %s into %s (error %d): that folder is not "
                      "writable; make it writable once, or install the bundle with its factory presets\n",
                      factoryPresetListName, resourcesFolder.c_str(), int(e.getStatus()));
            throw;
        }
        status = gravel_files::findItem(resourcesFolder, factoryPresetListName, listPath);
    }
    if (status != noErr)
        throw MacOSException(status);
    loadFactoryPresets(listPath);
}

void TandemPresetStore::createFactoryPresets(std::string& listText)
{
    if (configuration.presetIsFXB) {
        ScopedCFRef<CFStringRef> name(createPresetString("Default"));
        ScopedCFRef<CFMutableDictionaryRef> preset(createAUPresetOfCurrentBank(name.get()));
        replaceFileContents(resourcesFolder, bankPresetFileName, createPresetXML(preset.get()));
        tandemLog("Converted single fxb factory preset\n");
        listText += bankPresetFileName;
        listText += '\r';
    } else {
        convertLoadedPrograms(resourcesFolder, &listText);
    }
}

void TandemPresetStore::convertLoadedPrograms(const std::string& folder, std::string* listText)
{
    const int remembered = vst.getCurrentProgram();
    try {
        const int programCount = vst.getProgramCount();
        std::string lastName;
        for (int i = 0; i < programCount; ++i) {
            vst.setCurrentProgram(i);
            char text[25] = {};
            vst.getCurrentProgramName(text);
            const std::string name = trimSpaces(text);
            if (name.empty() || (i > 0 && name == lastName))
                continue;
            lastName = name;
            ScopedCFRef<CFStringRef> presetName(createPresetString(name.c_str()));
            ScopedCFRef<CFMutableDictionaryRef> preset(createAUPresetOfCurrentProgram(presetName.get()));
            const std::string fileName = safePresetItemName(name) + presetExtension;
            replaceFileContents(folder, fileName, createPresetXML(preset.get()));
            tandemLog("Converted program: %s\n", fileName.c_str());
            if (listText) {
                *listText += fileName;
                *listText += '\r';
            }
        }
    } catch (...) {
        vst.setCurrentProgram(remembered);
        throw;
    }
    vst.setCurrentProgram(remembered);
}

namespace {

// The array's records are its own: the host may hold the array after the
// unit has closed.
void releaseFactoryPreset(CFAllocatorRef, const void* value)
{
    const AUPreset* preset = static_cast<const AUPreset*>(value);
    if (preset->presetName)
        CFRelease(preset->presetName);
    delete preset;
}

const CFArrayCallBacks factoryPresetCallBacks = {0, nullptr, releaseFactoryPreset, nullptr, nullptr};

} // namespace

void TandemPresetStore::loadFactoryPresets(const std::string& listPath)
{
    int loaded = 0;
    try {
        factoryPresetArray = CFArrayCreateMutable(kCFAllocatorDefault, 0, &factoryPresetCallBacks);
        std::vector<UInt8> list;
        OSStatus status = gravel_files::readFile(listPath, list);
        if (status != noErr)
            throw MacOSException(status);

        size_t position = 0;
        while (position < list.size() && loaded < maxFactoryPresets) {
            size_t end = position;
            while (end < list.size() && list[end] != '\r' && list[end] != '\n')
                ++end;
            std::string line(reinterpret_cast<const char*>(list.data()) + position,
                             std::min(end - position, maxListLine));
            position = end;
            if (position < list.size() && list[position] == '\r')
                ++position;
            if (position < list.size() && list[position] == '\n')
                ++position;

            const size_t first = line.find_first_not_of(' ');
            if (first == std::string::npos || line[first] == ';')
                continue;
            // Trailing spaces belong to the name. Names are taken as the
            // bytes of a file name (UTF-8 on this platform).
            const std::string fileName = line.substr(first);

            std::string path;
            status = gravel_files::findItem(resourcesFolder, fileName, path);
            if (status != noErr)
                throw MacOSException(status);
            std::vector<UInt8> contents;
            status = gravel_files::readFile(path, contents);
            if (status != noErr)
                throw MacOSException(status);
            ScopedCFRef<CFDataRef> xml(CFDataCreate(kCFAllocatorDefault, contents.data(), CFIndex(contents.size())));
            CFStringRef errorText = nullptr;
            ScopedCFRef<CFPropertyListRef> preset(
                CFPropertyListCreateFromXMLData(kCFAllocatorDefault, xml.get(), kCFPropertyListImmutable, &errorText));
            if (!preset.get()) {
                ScopedCFRef<CFStringRef> error(errorText);
                if (!error.get())
                    throw TandemException("Could not create property list from XML data");
                char message[256];
                std::snprintf(message, sizeof message, "Could not create property list from XML data (%s)",
                              cfStringText(error.get()).c_str());
                throw TandemException(message);
            }
            if (CFGetTypeID(preset.get()) != CFDictionaryGetTypeID())
                throw FormatException("Invalid AUPreset format");
            CFDictionaryRef dictionary = static_cast<CFDictionaryRef>(preset.get());
            CFTypeRef data = dictionaryValueOfType(dictionary, "vstdata", CFDataGetTypeID());
            CFTypeRef name = dictionaryValueOfType(dictionary, kAUPresetNameKey, CFStringGetTypeID());

            AUPreset* record = new AUPreset{SInt32(loaded), static_cast<CFStringRef>(CFRetain(name))};
            CFArrayAppendValue(factoryPresetArray, record);
            factoryPresetData[loaded] = static_cast<CFDataRef>(CFRetain(data));
            factoryPresetCount = ++loaded;
        }
        tandemLog("Successfully loaded %d factory presets\n", loaded);
    } catch (const std::exception& e) {
        tandemLog("Failed loading factory presets, caught exception: %s\n", e.what());
    } catch (...) {
        tandemLog("Failed loading factory presets (caught general exception)\n");
    }
}
