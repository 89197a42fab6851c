// The current preset and the document state (ClassInfo).

#include "wrapper/TandemPresets.h"

#include "wrapper/TandemCF.h"
#include "hosting/TandemException.h"
#include "hosting/TandemLog.h"
#include "wrapper/TandemPresetFiles.h"
#include "hosting/VSTPlugIn.h"

#include <cstring>

// ---- the current preset ----

bool TandemPresetStore::updateCurrentAUPreset()
{
    char text[25] = {};
    vst.getCurrentProgramName(text);
    ScopedCFRef<CFStringRef> name(createPresetString(text));
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

void TandemPresetStore::updateCurrentVSTProgramName(CFStringRef name)
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
    vst.setCurrentProgramName(text);
    tandemLog("Updated current VST program name to %s\n", text);
}

// ---- the preset properties ----

CFPropertyListRef TandemPresetStore::createClassInfo()
{
    ScopedCFRef<CFMutableDictionaryRef> preset(configuration.presetIsFXB ? createAUPresetOfCurrentBank(currentAUPreset.presetName)
                                                           : createAUPresetOfCurrentProgram(currentAUPreset.presetName));
    setPresetNumber(preset.get(), "ProgramNumber", vst.getCurrentProgram());
    return preset.release();
}

namespace {

SInt32 numberValue(CFDictionaryRef dictionary, const char* key)
{
    SInt32 value = 0;
    CFNumberGetValue(static_cast<CFNumberRef>(dictionaryValueOfType(dictionary, key, CFNumberGetTypeID())),
                     kCFNumberSInt32Type, &value);
    return value;
}

void requireNumber(CFDictionaryRef dictionary, const char* key, SInt32 expected)
{
    if (numberValue(dictionary, key) != expected)
        throw FormatException("Data in dictionary is not of expected value");
}

} // namespace

void TandemPresetStore::setClassInfo(CFPropertyListRef value)
{
    try {
        if (!value || CFGetTypeID(value) != CFDictionaryGetTypeID())
            throw FormatException("Invalid AUPreset format");
        CFDictionaryRef preset = static_cast<CFDictionaryRef>(value);

        // Every key is read before the effect is touched: a document that
        // lacks one changes nothing.
        const ComponentDescription description = this->description();
        requireNumber(preset, kAUPresetVersionKey, 1);
        requireNumber(preset, kAUPresetTypeKey, SInt32(description.componentType));
        requireNumber(preset, kAUPresetSubtypeKey, SInt32(description.componentSubType));
        requireNumber(preset, kAUPresetManufacturerKey, SInt32(description.componentManufacturer));
        CFStringRef name =
            static_cast<CFStringRef>(dictionaryValueOfType(preset, kAUPresetNameKey, CFStringGetTypeID()));
        CFDataRef data = static_cast<CFDataRef>(dictionaryValueOfType(preset, "vstdata", CFDataGetTypeID()));
        int program = 0;
        ScopedCFRef<CFStringRef> programKey(createPresetString("ProgramNumber"));
        if (CFDictionaryContainsKey(preset, programKey.get())) {
            const SInt32 requested = numberValue(preset, "ProgramNumber");
            tandemLog("Requested program number: %d\n", int(requested));
            if (requested >= 0 && requested < vst.getProgramCount())
                program = requested;
        }

        vst.setCurrentProgram(program);
        if (!vst.loadFXPOrFXB(size_t(CFDataGetLength(data)), CFDataGetBytePtr(data)))
            tandemLog("Warning, FXP / FXB may not have loaded perfectly\n");
        if (configuration.updateNameOnLoad)
            updateCurrentVSTProgramName(name);
        updateCurrentAUPreset();
        currentAUPreset.presetNumber = -1;
    } catch (const FormatException& e) {
        tandemLog("Failed reading AUPreset, caught format exception: %s\n", e.what());
        throw MacOSException(kAudioUnitErr_InvalidPropertyValue);
    } catch (const EOFException& e) {
        tandemLog("Failed reading AUPreset, caught end of file exception: %s\n", e.what());
        throw MacOSException(kAudioUnitErr_InvalidPropertyValue);
    } catch (const TandemException& e) {
        // A missing key: the document's format is wrong.
        tandemLog("Failed reading AUPreset, caught format exception: %s\n", e.what());
        throw MacOSException(kAudioUnitErr_InvalidPropertyValue);
    }
}

UInt32 TandemPresetStore::getCurrentPreset(UInt32 bufferSize, void* outData, bool retainName)
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

bool TandemPresetStore::setCurrentPreset(UInt32 dataSize, const void* data)
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
            return false;
        currentAUPreset.presetNumber = -1;
    } else if (preset.presetNumber < factoryPresetCount) {
        const int n = preset.presetNumber;
        CFDataRef data = factoryPresetData[n];
        if (!vst.loadFXPOrFXB(size_t(CFDataGetLength(data)), CFDataGetBytePtr(data)))
            tandemLog("Warning, FXP / FXB may not have loaded perfectly\n");
        const AUPreset* factory = static_cast<const AUPreset*>(CFArrayGetValueAtIndex(factoryPresetArray, n));
        CFRetain(factory->presetName);
        if (currentAUPreset.presetName)
            CFRelease(currentAUPreset.presetName);
        currentAUPreset = *factory;
    } else {
        throw MacOSException(kAudioUnitErr_InvalidPropertyValue);
    }
    return true;
}
