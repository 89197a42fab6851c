// libFuzzer target: "TNFactoryPresets.txt" together with the preset files it
// names, read by a component as it opens. The input is the list, then the
// files "1.aupreset", "2.aupreset", ... one after the other, each part
// ending at the separator "%%\n". Whatever the files hold, the component
// opens, offers at most 128 factory presets, each with a name, and every one
// of them can be selected.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "TandemFuzzBundle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    namespace fs = std::filesystem;
    const std::string folder = tandem_fuzz::resources();
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name != "Effect.vst" && name != "TNParameters.txt")
            fs::remove_all(entry.path());
    }
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::string separator = "%%\n";
    std::vector<std::string> parts;
    for (size_t start = 0;;) {
        const size_t end = input.find(separator, start);
        parts.push_back(input.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos || parts.size() > 140)
            break;
        start = end + separator.size();
    }
    std::ofstream(folder + "/TNFactoryPresets.txt", std::ios::binary) << parts[0];
    for (size_t i = 1; i < parts.size(); ++i)
        std::ofstream(folder + "/" + std::to_string(i) + ".aupreset", std::ios::binary) << parts[i];

    OSStatus status = noErr;
    AudioUnit unit = tandem_fuzz::openUnit(&status);
    if (!unit)
        __builtin_trap(); // a bad list must never stop the component from opening

    CFArrayRef presets = nullptr;
    UInt32 presetsSize = sizeof presets;
    if (AudioUnitGetProperty(unit, kAudioUnitProperty_FactoryPresets, kAudioUnitScope_Global, 0, &presets,
                             &presetsSize) == noErr) {
        const CFIndex count = CFArrayGetCount(presets);
        if (count < 1 || count > 128)
            __builtin_trap();
        for (CFIndex i = 0; i < count; ++i) {
            const AUPreset* preset = static_cast<const AUPreset*>(CFArrayGetValueAtIndex(presets, i));
            if (preset->presetNumber != i || !preset->presetName ||
                CFGetTypeID(preset->presetName) != CFStringGetTypeID())
                __builtin_trap();
            AUPreset select = {SInt32(i), nullptr};
            // Data that is no FXP of this effect is refused, never half read.
            const OSStatus selected = AudioUnitSetProperty(unit, kAudioUnitProperty_PresentPreset,
                                                           kAudioUnitScope_Global, 0, &select, sizeof select);
            if (selected == noErr) {
                AUPreset current = {-2, nullptr};
                UInt32 currentSize = sizeof current;
                if (AudioUnitGetProperty(unit, kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0, &current,
                                         &currentSize) != noErr ||
                    !current.presetName)
                    __builtin_trap();
            }
        }
        CFRelease(presets);
    }
    AudioComponentInstanceDispose(unit);
    return 0;
}
