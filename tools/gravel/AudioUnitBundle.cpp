// The bundle and component lookups of gravel's AudioUnit commands.

#include "AudioUnitBundle.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

std::string textOf(CFStringRef string)
{
    if (!string)
        return "";
    char buffer[1024];
    if (CFStringGetCString(string, buffer, sizeof buffer, kCFStringEncodingUTF8))
        return buffer;
    return CFStringGetCString(string, buffer, sizeof buffer, kCFStringEncodingMacRoman) ? buffer : "?";
}

std::string fourCCText(OSType code)
{
    const char text[5] = {char(code >> 24), char(code >> 16), char(code >> 8), char(code), 0};
    return text;
}

namespace {

OSType fourCCOf(CFTypeRef value)
{
    if (!value || CFGetTypeID(value) != CFStringGetTypeID())
        return 0;
    const std::string text = textOf(static_cast<CFStringRef>(value));
    if (text.size() != 4)
        return 0;
    return (OSType(UInt8(text[0])) << 24) | (OSType(UInt8(text[1])) << 16) | (OSType(UInt8(text[2])) << 8) |
           OSType(UInt8(text[3]));
}

CFDictionaryRef dictionaryAt(CFDictionaryRef dictionary, const char* key)
{
    CFStringRef name = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFTypeRef value = dictionary ? CFDictionaryGetValue(dictionary, name) : nullptr;
    CFRelease(name);
    return value && CFGetTypeID(value) == CFDictionaryGetTypeID() ? static_cast<CFDictionaryRef>(value) : nullptr;
}

CFTypeRef valueAt(CFDictionaryRef dictionary, const char* key)
{
    CFStringRef name = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFTypeRef value = dictionary ? CFDictionaryGetValue(dictionary, name) : nullptr;
    CFRelease(name);
    return value;
}

} // namespace

BundleDeclarations readDeclarations(const std::string& bundlePath)
{
    BundleDeclarations result;
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(bundlePath.data()),
                                                           CFIndex(bundlePath.size()), true);
    CFBundleRef bundle = url ? CFBundleCreate(nullptr, url) : nullptr;
    if (url)
        CFRelease(url);
    if (!bundle)
        throw AUInfoError{bundlePath + " is not a bundle folder; give --plugin the bundle, not its .so"};
    CFDictionaryRef info = CFBundleGetInfoDictionary(bundle);
    CFTypeRef components = valueAt(info, "AudioComponents");
    if (components && CFGetTypeID(components) == CFArrayGetTypeID() &&
        CFArrayGetCount(static_cast<CFArrayRef>(components)) > 0) {
        CFTypeRef first = CFArrayGetValueAtIndex(static_cast<CFArrayRef>(components), 0);
        if (first && CFGetTypeID(first) == CFDictionaryGetTypeID()) {
            CFDictionaryRef component = static_cast<CFDictionaryRef>(first);
            result.description.componentType = fourCCOf(valueAt(component, "type"));
            result.description.componentSubType = fourCCOf(valueAt(component, "subtype"));
            result.description.componentManufacturer = fourCCOf(valueAt(component, "manufacturer"));
        }
    }
    if (CFDictionaryRef config = dictionaryAt(info, "TNConfig")) {
        for (const char* key : {"AutoConvertPresets", "PresetIsFXB", "UpdateNameOnLoad", "CanDoMonoIO"}) {
            CFTypeRef flag = valueAt(config, key);
            const char* shown = !flag                                           ? "missing"
                                : CFGetTypeID(flag) != CFBooleanGetTypeID()      ? "not a boolean"
                                : CFBooleanGetValue(static_cast<CFBooleanRef>(flag)) ? "yes"
                                                                                      : "no";
            result.config += std::string(result.config.empty() ? "" : ", ") + key + " " + shown;
        }
    } else {
        result.config = "missing (the component will not open)";
    }
    CFRelease(bundle);
    if (!result.description.componentType || !result.description.componentSubType ||
        !result.description.componentManufacturer)
        throw AUInfoError{bundlePath + " declares no AudioUnit component in its Info.plist (AudioComponents)"};
    return result;
}

AudioComponent findBundleComponent(const std::string& bundlePath, const BundleDeclarations& declared, bool verbose)
{
    {
        HiddenStderr hidden(!verbose);
        const OSStatus registered = GravelRegisterComponentBundle(bundlePath.c_str());
        if (registered != noErr)
            throw AUInfoError{"could not register " + bundlePath + " as an AudioUnit bundle (error " +
                              std::to_string(registered) + ")"};
    }
    AudioComponent component = AudioComponentFindNext(nullptr, &declared.description);
    if (!component)
        throw AUInfoError{"no AudioUnit " + fourCCText(declared.description.componentType) + " " +
                          fourCCText(declared.description.componentSubType) + " " +
                          fourCCText(declared.description.componentManufacturer) + " is registered from " +
                          bundlePath};
    return component;
}

HiddenStderr::HiddenStderr(bool hide)
{
    if (!hide)
        return;
    std::fflush(stderr);
    saved = dup(2);
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, 2);
        close(null);
    }
}

HiddenStderr::~HiddenStderr()
{
    if (saved >= 0) {
        std::fflush(stderr);
        dup2(saved, 2);
        close(saved);
    }
}
