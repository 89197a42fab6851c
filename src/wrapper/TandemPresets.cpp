// The preset store's core: its lifetime and the preset dictionaries around
// the effect's FXP / FXB data.

#include "wrapper/TandemPresets.h"

#include "wrapper/TandemCF.h"
#include "hosting/TandemException.h"
#include "hosting/TandemLog.h"
#include "wrapper/TandemPresetFiles.h"
#include "hosting/VSTPlugIn.h"

#include <memory>

TandemPresetStore::TandemPresetStore(ComponentInstance instance, VSTPlugIn& vst,
                                     const TandemConfiguration& configuration, const std::string& resourcesFolder,
                                     const std::string& componentName)
    : instance(instance), vst(vst), configuration(configuration), resourcesFolder(resourcesFolder),
      componentName(componentName)
{
    currentAUPreset.presetName = createPresetString("Untitled");
}

TandemPresetStore::~TandemPresetStore()
{
    for (CFDataRef& data : factoryPresetData) {
        if (data)
            CFRelease(data);
        data = nullptr;
    }
    // The host may still hold the array: its records go with its last release.
    if (factoryPresetArray)
        CFRelease(factoryPresetArray);
    if (currentAUPreset.presetName)
        CFRelease(currentAUPreset.presetName);
}

ComponentDescription TandemPresetStore::description() const
{
    ComponentDescription description;
    const OSErr error = GetComponentInfo(reinterpret_cast<Component>(instance), &description, nullptr, nullptr,
                                         nullptr);
    if (error != noErr)
        throw MacOSException(error);
    return description;
}

CFMutableDictionaryRef TandemPresetStore::createAUPresetWithVSTData(size_t size, const unsigned char* data,
                                                                  CFStringRef name)
{
    const ComponentDescription description = this->description();

    ScopedCFRef<CFMutableDictionaryRef> preset(CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks));
    setPresetNumber(preset.get(), kAUPresetVersionKey, 1);
    setPresetNumber(preset.get(), kAUPresetTypeKey, SInt32(description.componentType));
    setPresetNumber(preset.get(), kAUPresetSubtypeKey, SInt32(description.componentSubType));
    setPresetNumber(preset.get(), kAUPresetManufacturerKey, SInt32(description.componentManufacturer));
    ScopedCFRef<CFStringRef> nameKey(createPresetString(kAUPresetNameKey));
    CFDictionarySetValue(preset.get(), nameKey.get(), name);
    ScopedCFRef<CFMutableDataRef> vstData(CFDataCreateMutable(kCFAllocatorDefault, 0));
    CFDataAppendBytes(vstData.get(), data, CFIndex(size));
    ScopedCFRef<CFStringRef> dataKey(createPresetString("vstdata"));
    CFDictionarySetValue(preset.get(), dataKey.get(), vstData.get());
    return preset.release();
}

CFMutableDictionaryRef TandemPresetStore::createAUPresetOfCurrentProgram(CFStringRef name)
{
    size_t size = 0;
    std::unique_ptr<unsigned char[]> fxp = vst.createFXP(size);
    return createAUPresetWithVSTData(size, fxp.get(), name);
}

CFMutableDictionaryRef TandemPresetStore::createAUPresetOfCurrentBank(CFStringRef name)
{
    size_t size = 0;
    std::unique_ptr<unsigned char[]> fxb = vst.createFXB(size);
    return createAUPresetWithVSTData(size, fxb.get(), name);
}

