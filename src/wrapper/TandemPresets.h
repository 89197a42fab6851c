#pragma once

// TandemPresetStore: the component's presets. Preset dictionaries wrap the
// effect's own FXP (or FXB) data. It owns the factory presets listed in
// "TNFactoryPresets.txt" (TandemFactoryPresets.cpp), converts VST preset
// files in the AudioUnit preset folders (TandemPresetConversion.cpp), and
// keeps the current preset and the document state (TandemClassInfo.cpp).

#include "wrapper/TandemConfiguration.h"

#include <AudioUnit/AudioUnit.h>

#include <cstddef>
#include <string>

class VSTPlugIn;
namespace gravel_files {
struct FolderItem;
}

class TandemPresetStore {
public:
    static constexpr int maxFactoryPresets = 128;

    // `componentName` is the instance's own "Maker: Name", which names its
    // folder under the AudioUnit preset folders.
    TandemPresetStore(ComponentInstance instance, VSTPlugIn& vst, const TandemConfiguration& configuration,
                      const std::string& resourcesFolder, const std::string& componentName);
    ~TandemPresetStore();
    TandemPresetStore(const TandemPresetStore&) = delete;
    TandemPresetStore& operator=(const TandemPresetStore&) = delete;

    void loadOrCreateFactoryPresets();
    void convertVSTPresets();

    // The factory presets as the host receives them: an array of AUPreset
    // records that lives as long as the host holds it, unit closed or not.
    CFArrayRef getFactoryPresets() const { return factoryPresetArray; }
    bool hasFactoryPresets() const { return factoryPresetCount > 0; }

    // The current preset follows the effect's program name; true when it changed.
    bool updateCurrentAUPreset();
    // CurrentPreset / PresentPreset; returns the bytes written.
    UInt32 getCurrentPreset(UInt32 bufferSize, void* outData, bool retainName);
    // False when nothing changed (no notification due).
    bool setCurrentPreset(UInt32 dataSize, const void* data);

    CFPropertyListRef createClassInfo();
    // A document from this component: every key is read and checked before
    // anything changes; kAudioUnitErr_InvalidPropertyValue otherwise.
    void setClassInfo(CFPropertyListRef preset);

private:
    // Preset dictionaries, owned by the caller.
    CFMutableDictionaryRef createAUPresetWithVSTData(size_t size, const unsigned char* data, CFStringRef name);
    CFMutableDictionaryRef createAUPresetOfCurrentProgram(CFStringRef name);
    CFMutableDictionaryRef createAUPresetOfCurrentBank(CFStringRef name);
    ComponentDescription description() const;

    // Appends the name of each preset file written to the list text.
    void createFactoryPresets(std::string& listText);
    void loadFactoryPresets(const std::string& listPath);
    void convertLoadedPrograms(const std::string& folder, std::string* listText);
    void convertVSTPresetsInDomain(short domain);
    void convertVSTPreset(const gravel_files::FolderItem& file, bool isBank);
    void updateCurrentVSTProgramName(CFStringRef name);

    ComponentInstance instance;
    VSTPlugIn& vst;
    const TandemConfiguration configuration;
    const std::string resourcesFolder;
    const std::string componentName;

    AUPreset currentAUPreset = {-1, nullptr};
    int factoryPresetCount = 0;
    CFDataRef factoryPresetData[maxFactoryPresets] = {};
    CFMutableArrayRef factoryPresetArray = nullptr;
};

// A preset name as a file or folder name that stays inside its folder: "/"
// and NUL become "-", and a name starting with "." gets the prefix "_".
std::string safePresetItemName(const std::string& name);
