// AudioUnit presets: preset dictionaries wrapping the effect's FXP / FXB
// data, the factory presets listed in TNFactoryPresets.txt, the conversion of
// VST preset files into .aupreset files, and the current preset.

#include "wrapper/TandemComponent.h"

#include "platform/files/FileServices.h"
#include "wrapper/TandemCF.h"
#include "wrapper/TandemException.h"
#include "wrapper/TandemLog.h"

#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* const factoryPresetListName = "TNFactoryPresets.txt";
const char* const bankPresetFileName = "FactoryPreset.aupreset";
const char* const presetExtension = ".aupreset";
// The longest list line read; the rest of a longer line is skipped.
constexpr size_t maxListLine = 2047;

CFStringRef createString(const char* text)
{
    CFStringRef string = CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingMacRoman);
    if (!string)
        throw TandemException("Could not create string");
    return string;
}

// A file name (UTF-8) as the string a host shows; bytes that are not UTF-8
// are taken as Mac Roman.
CFStringRef createStringFromFileName(const std::string& name)
{
    CFStringRef string = CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(name.data()),
                                                 CFIndex(name.size()), kCFStringEncodingUTF8, false);
    if (!string)
        string = CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(name.data()),
                                         CFIndex(name.size()), kCFStringEncodingMacRoman, false);
    if (!string)
        throw TandemException("Could not create string");
    return string;
}

void setNumber(CFMutableDictionaryRef dictionary, const char* key, SInt32 value)
{
    ScopedCFRef<CFStringRef> keyString(createString(key));
    ScopedCFRef<CFNumberRef> number(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &value));
    CFDictionarySetValue(dictionary, keyString.get(), number.get());
}

std::string trimSpaces(const std::string& text)
{
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool hasExtension(const gravel_files::FolderItem& item, const char* extension)
{
    return strcasecmp(item.extension.c_str(), extension) == 0;
}

// A preset name as a file or folder name that stays inside its folder: "/"
// and NUL become "-", and a name starting with "." (".", "..", hidden) gets
// the prefix "_".
std::string safePresetItemName(const std::string& name)
{
    std::string safe = name;
    for (char& c : safe)
        if (c == '/' || c == '\0')
            c = '-';
    // "." and ".." name folders, and a leading "." hides the file.
    if (!safe.empty() && safe[0] == '.')
        safe.insert(0, "_");
    return safe;
}

std::string createPresetXML(CFPropertyListRef preset)
{
    ScopedCFRef<CFDataRef> xml(CFPropertyListCreateXMLData(kCFAllocatorDefault, preset));
    if (!xml.get())
        throw TandemException("Could not create XML data from property list");
    return std::string(reinterpret_cast<const char*>(CFDataGetBytePtr(xml.get())), size_t(CFDataGetLength(xml.get())));
}

void replaceFileContents(const std::string& folder, const std::string& name, const std::string& contents)
{
    // Written beside the old file and renamed over it: a write that fails
    // leaves the file that was there as it was.
    if (!gravel_files::isValidItemName(name))
        throw MacOSException(bdNamErr);
    // Hidden, so folder listings pass it over, and short enough for any name.
    const std::string temporaryName = "." + name.substr(0, 200) + "." + std::to_string(getpid()) + ".tmp";
    std::string temporaryPath = folder + "/" + temporaryName;
    gravel_files::deleteItem(temporaryPath); // left by a process that died writing it
    OSStatus status = gravel_files::createFile(folder, temporaryName, temporaryPath);
    if (status != noErr)
        throw MacOSException(status);
    status = gravel_files::writeFile(temporaryPath, contents.data(), contents.size());
    if (status == noErr && std::rename(temporaryPath.c_str(), (folder + "/" + name).c_str()) != 0)
        status = errno == EACCES || errno == EPERM ? permErr : ioErr;
    if (status != noErr) {
        gravel_files::deleteItem(temporaryPath);
        throw MacOSException(status);
    }
}

} // namespace

CFMutableDictionaryRef TandemComponent::createAUPresetWithVSTData(size_t size, const unsigned char* data,
                                                                  CFStringRef name)
{
    ComponentDescription description;
    const OSErr error = GetComponentInfo(reinterpret_cast<Component>(auInstance), &description, nullptr, nullptr,
                                         nullptr);
    if (error != noErr)
        throw MacOSException(error);

    ScopedCFRef<CFMutableDictionaryRef> preset(CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    setNumber(preset.get(), kAUPresetVersionKey, 1);
    setNumber(preset.get(), kAUPresetTypeKey, SInt32(description.componentType));
    setNumber(preset.get(), kAUPresetSubtypeKey, SInt32(description.componentSubType));
    setNumber(preset.get(), kAUPresetManufacturerKey, SInt32(description.componentManufacturer));
    ScopedCFRef<CFStringRef> nameKey(createString(kAUPresetNameKey));
    CFDictionarySetValue(preset.get(), nameKey.get(), name);
    ScopedCFRef<CFMutableDataRef> vstData(CFDataCreateMutable(kCFAllocatorDefault, 0));
    CFDataAppendBytes(vstData.get(), data, CFIndex(size));
    ScopedCFRef<CFStringRef> dataKey(createString("vstdata"));
    CFDictionarySetValue(preset.get(), dataKey.get(), vstData.get());
    return preset.release();
}

CFMutableDictionaryRef TandemComponent::createAUPresetOfCurrentProgram(CFStringRef name)
{
    size_t size = 0;
    std::unique_ptr<unsigned char[]> fxp = vst->createFXP(size);
    return createAUPresetWithVSTData(size, fxp.get(), name);
}

CFMutableDictionaryRef TandemComponent::createAUPresetOfCurrentBank(CFStringRef name)
{
    size_t size = 0;
    std::unique_ptr<unsigned char[]> fxb = vst->createFXB(size);
    return createAUPresetWithVSTData(size, fxb.get(), name);
}

// ---- factory presets ----

void TandemComponent::loadOrCreateFactoryPresets()
{
    std::string listPath;
    OSStatus status = gravel_files::findItem(resourcesFolder, factoryPresetListName, listPath);
    if (status == fnfErr) {
        // A first construction generates the list and its files; a bundle
        // shipped with them (Gravel is) never writes here.
        std::string listText;
        createFactoryPresets(listText);
        // The list is renamed into place last, so another process never
        // reads a list whose files are not written yet.
        try {
            replaceFileContents(resourcesFolder, factoryPresetListName, listText);
        } catch (const MacOSException& e) {
            tandemLog("Could not create %s in %s (error %d): make that folder writable once, or install the "
                      "bundle with its factory presets\n",
                      factoryPresetListName, resourcesFolder.c_str(), int(e.getStatus()));
            throw;
        }
        status = gravel_files::findItem(resourcesFolder, factoryPresetListName, listPath);
    }
    if (status != noErr)
        throw MacOSException(status);
    loadFactoryPresets(listPath);
}

void TandemComponent::createFactoryPresets(std::string& listText)
{
    if (presetIsFXB) {
        ScopedCFRef<CFStringRef> name(createString("Default"));
        ScopedCFRef<CFMutableDictionaryRef> preset(createAUPresetOfCurrentBank(name.get()));
        replaceFileContents(resourcesFolder, bankPresetFileName, createPresetXML(preset.get()));
        tandemLog("Converted single fxb factory preset\n");
        listText += bankPresetFileName;
        listText += '\r';
    } else {
        convertLoadedPrograms(resourcesFolder, &listText);
    }
}

void TandemComponent::convertLoadedPrograms(const std::string& folder, std::string* listText)
{
    const int remembered = vst->getCurrentProgram();
    try {
        const int programCount = vst->getProgramCount();
        std::string lastName;
        for (int i = 0; i < programCount; ++i) {
            vst->setCurrentProgram(i);
            char text[25] = {};
            vst->getCurrentProgramName(text);
            const std::string name = trimSpaces(text);
            if (name.empty() || (i > 0 && name == lastName))
                continue;
            lastName = name;
            ScopedCFRef<CFStringRef> presetName(createString(name.c_str()));
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
        vst->setCurrentProgram(remembered);
        throw;
    }
    vst->setCurrentProgram(remembered);
}

void TandemComponent::loadFactoryPresets(const std::string& listPath)
{
    int loaded = 0;
    try {
        factoryPresetArray = CFArrayCreateMutable(kCFAllocatorDefault, 0, nullptr);
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

            factoryPresets[loaded].presetNumber = loaded;
            factoryPresets[loaded].presetName = static_cast<CFStringRef>(CFRetain(name));
            factoryPresetData[loaded] = static_cast<CFDataRef>(CFRetain(data));
            CFArrayAppendValue(const_cast<CFMutableArrayRef>(factoryPresetArray), &factoryPresets[loaded]);
            ++loaded;
        }
        tandemLog("Successfully loaded %d factory presets\n", loaded);
    } catch (const std::exception& e) {
        tandemLog("Failed loading factory presets, caught exception: %s\n", e.what());
    } catch (...) {
        tandemLog("Failed loading factory presets (caught general exception)\n");
    }
}

// ---- VST preset files in the AudioUnit preset folders ----

void TandemComponent::convertVSTPresets()
{
    const std::string componentName = logName;
    static const struct {
        short domain;
        const char* name;
    } domains[] = {{kUserDomain, "user domain"}, {kLocalDomain, "local domain"}};
    for (const auto& domain : domains) {
        try {
            convertVSTPresetsInDomain(domain.domain, componentName);
        } catch (const std::exception& e) {
            tandemLog("Failed converting presets in %s, caught exception: %s\n", domain.name, e.what());
        } catch (...) {
            tandemLog("Failed converting presets in %s (caught general exception)\n", domain.name);
        }
    }
}

void TandemComponent::convertVSTPresetsInDomain(short domain, const std::string& componentName)
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
        if (!(isFXB || (isFXP && !presetIsFXB)))
            continue;
        tandemLog("Found %s: %s\n", isFXP ? "fxp" : "fxb", item.path.c_str());
        convertVSTPreset(item, isFXB);
    }
}

void TandemComponent::convertVSTPreset(const gravel_files::FolderItem& file, bool isBank)
{
    try {
        const std::string folder = file.path.substr(0, file.path.size() - file.name.size() - 1);
        // The name without its extension ("a.fxp" -> "a"; a name without one stays whole).
        std::string baseName =
            file.extension.empty() ? file.name : file.name.substr(0, file.name.size() - file.extension.size() - 1);

        if (isBank && !presetIsFXB) {
            std::string bankFolder;
            if (gravel_files::createFolder(folder, safePresetItemName(baseName), bankFolder) != noErr)
                return; // made by an earlier construction: converted already
            std::vector<UInt8> contents;
            const OSStatus status = gravel_files::readFile(file.path, contents);
            if (status != noErr)
                throw MacOSException(status);
            vst->loadFXPOrFXB(contents.size(), contents.data());
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

// ---- the current preset ----

bool TandemComponent::updateCurrentAUPreset()
{
    char text[25] = {};
    vst->getCurrentProgramName(text);
    ScopedCFRef<CFStringRef> name(createString(text));
    if (currentAUPreset.presetName &&
        CFStringCompare(name.get(), currentAUPreset.presetName, 0) == kCFCompareEqualTo)
        return false;
    if (currentAUPreset.presetName)
        CFRelease(currentAUPreset.presetName);
    currentAUPreset.presetNumber = -1;
    currentAUPreset.presetName = name.release();
    tandemLog("Updated current preset to user preset named %s\n", text);
    return true;
}

void TandemComponent::updateCurrentVSTProgramName(CFStringRef name)
{
    char text[256] = {};
    if (!CFStringGetCString(name, text, sizeof text, kCFStringEncodingMacRoman)) {
        // Characters Mac Roman lacks become "?": the name still reaches the effect.
        CFIndex used = 0;
        CFStringGetBytes(name, CFRangeMake(0, CFStringGetLength(name)), kCFStringEncodingMacRoman, '?', false,
                         reinterpret_cast<UInt8*>(text), sizeof text - 1, &used);
        text[used] = '\0';
    }
    text[24] = '\0';
    vst->setCurrentProgramName(text);
    tandemLog("Updated current VST program name to %s\n", text);
}

// ---- the preset properties ----

CFPropertyListRef TandemComponent::createClassInfo()
{
    ScopedCFRef<CFMutableDictionaryRef> preset(presetIsFXB ? createAUPresetOfCurrentBank(currentAUPreset.presetName)
                                                           : createAUPresetOfCurrentProgram(currentAUPreset.presetName));
    setNumber(preset.get(), "ProgramNumber", vst->getCurrentProgram());
    return preset.release();
}

namespace {

void requireNumber(CFDictionaryRef dictionary, const char* key, SInt32 expected)
{
    SInt32 value = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(dictionaryValueOfType(dictionary, key, CFNumberGetTypeID())),
                     kCFNumberSInt32Type, &value);
    if (value != expected)
        throw FormatException("Data in dictionary is not of expected value");
}

} // namespace

void TandemComponent::setClassInfo(CFPropertyListRef value)
{
    try {
        if (!value || CFGetTypeID(value) != CFDictionaryGetTypeID())
            throw FormatException("Invalid AUPreset format");
        CFDictionaryRef preset = static_cast<CFDictionaryRef>(value);

        ComponentDescription description;
        const OSErr error = GetComponentInfo(reinterpret_cast<Component>(auInstance), &description, nullptr,
                                             nullptr, nullptr);
        if (error != noErr)
            throw MacOSException(error);
        requireNumber(preset, kAUPresetVersionKey, 1);
        requireNumber(preset, kAUPresetTypeKey, SInt32(description.componentType));
        requireNumber(preset, kAUPresetSubtypeKey, SInt32(description.componentSubType));
        requireNumber(preset, kAUPresetManufacturerKey, SInt32(description.componentManufacturer));

        int program = 0;
        ScopedCFRef<CFStringRef> programKey(createString("ProgramNumber"));
        if (CFDictionaryContainsKey(preset, programKey.get())) {
            SInt32 requested = 0;
            CFNumberGetValue(
                static_cast<CFNumberRef>(dictionaryValueOfType(preset, "ProgramNumber", CFNumberGetTypeID())),
                kCFNumberSInt32Type, &requested);
            tandemLog("Requested program number: %d\n", int(requested));
            if (requested >= 0 && requested < vst->getProgramCount())
                program = requested;
        }
        vst->setCurrentProgram(program);

        CFStringRef name =
            static_cast<CFStringRef>(dictionaryValueOfType(preset, kAUPresetNameKey, CFStringGetTypeID()));
        CFDataRef data = static_cast<CFDataRef>(dictionaryValueOfType(preset, "vstdata", CFDataGetTypeID()));
        if (!vst->loadFXPOrFXB(size_t(CFDataGetLength(data)), CFDataGetBytePtr(data)))
            tandemLog("Warning, FXP / FXB may not have loaded perfectly\n");
        if (updateNameOnLoad)
            updateCurrentVSTProgramName(name);
        updateCurrentAUPreset();
        currentAUPreset.presetNumber = -1;
    } catch (const FormatException& e) {
        tandemLog("Failed reading AUPreset, caught format exception: %s\n", e.what());
        throw MacOSException(kAudioUnitErr_InvalidPropertyValue);
    } catch (const EOFException& e) {
        tandemLog("Failed reading AUPreset, caught end of file exception: %s\n", e.what());
        throw MacOSException(kAudioUnitErr_InvalidPropertyValue);
    }
    propertyChanged(kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0);
    propertyChanged(kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0);
}

UInt32 TandemComponent::getCurrentPreset(UInt32 bufferSize, void* outData, bool retainName)
{
    updateCurrentAUPreset();
    if (bufferSize < sizeof(AUPreset)) {
        std::memcpy(outData, &currentAUPreset.presetNumber, sizeof currentAUPreset.presetNumber);
        return sizeof currentAUPreset.presetNumber;
    }
    if (retainName)
        CFRetain(currentAUPreset.presetName);
    std::memcpy(outData, &currentAUPreset, sizeof currentAUPreset);
    return sizeof currentAUPreset;
}

void TandemComponent::setCurrentPreset(UInt32 dataSize, const void* data)
{
    AUPreset preset = {0, nullptr};
    if (dataSize < sizeof(AUPreset))
        std::memcpy(&preset.presetNumber, data, sizeof preset.presetNumber);
    else
        std::memcpy(&preset, data, sizeof preset);

    if (preset.presetNumber < 0) {
        if (preset.presetName) {
            if (CFGetTypeID(preset.presetName) != CFStringGetTypeID())
                throw MacOSException(kAudioUnitErr_InvalidPropertyValue);
            updateCurrentVSTProgramName(preset.presetName);
        }
        if (!updateCurrentAUPreset() && currentAUPreset.presetNumber == -1)
            return;
        currentAUPreset.presetNumber = -1;
    } else if (factoryPresetArray && preset.presetNumber < CFArrayGetCount(factoryPresetArray)) {
        const int n = preset.presetNumber;
        CFDataRef data = factoryPresetData[n];
        if (!vst->loadFXPOrFXB(size_t(CFDataGetLength(data)), CFDataGetBytePtr(data)))
            tandemLog("Warning, FXP / FXB may not have loaded perfectly\n");
        CFRetain(factoryPresets[n].presetName);
        if (currentAUPreset.presetName)
            CFRelease(currentAUPreset.presetName);
        currentAUPreset = factoryPresets[n];
    } else {
        throw MacOSException(kAudioUnitErr_InvalidPropertyValue);
    }
    propertyChanged(kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0);
    propertyChanged(kAudioUnitProperty_PresentPreset, kAudioUnitScope_Global, 0);
}
