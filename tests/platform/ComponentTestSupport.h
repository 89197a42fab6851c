// Shared by the registry and listener tests: finding the test components and
// reaching the test functions their bundle exports.
#pragma once

#include <string>

#include <AudioToolbox/AudioToolbox.h>

constexpr OSType fourCC(const char (&code)[5]) {
    return (static_cast<OSType>(static_cast<unsigned char>(code[0])) << 24) |
           (static_cast<OSType>(static_cast<unsigned char>(code[1])) << 16) |
           (static_cast<OSType>(static_cast<unsigned char>(code[2])) << 8) |
           static_cast<OSType>(static_cast<unsigned char>(code[3]));
}

// The test component of that subtype (manufacturer 'Grvl'); B is registered by
// path first, as a host would.
inline Component findComponent(const char (&subtype)[5]) {
    GravelRegisterComponentBundle(REGISTERED_DIR "/ComponentB.bundle");
    ComponentDescription description = {0, fourCC(subtype), fourCC("Grvl"), 0, 0};
    return FindNextComponent(nullptr, &description);
}

// The functions of the bundle that serves an open instance.
struct TestComponentFunctions {
    const unsigned char* (*lastBlock)() = nullptr;
    Handle (*lastStorage)() = nullptr;
    int (*openInstances)() = nullptr;
    void (*failNextOpen)(OSStatus) = nullptr;
    OSStatus (*notify)(const AudioUnitEvent*) = nullptr;
    void (*changeProperty)(AudioUnit, AudioUnitPropertyID, AudioUnitScope, AudioUnitElement) = nullptr;
    int (*propertyListenerCount)(AudioUnit) = nullptr;
    bool valid() const {
        return lastBlock && lastStorage && openInstances && failNextOpen && notify && changeProperty &&
               propertyListenerCount;
    }
};

inline TestComponentFunctions testFunctions(AudioComponentInstance instance) {
    AudioComponent component = AudioComponentInstanceGetComponent(instance);
    AudioComponentDescription description = {};
    AudioComponentGetDescription(component, &description);
    const std::string folder = description.componentSubType == fourCC("tstB")
                                   ? REGISTERED_DIR "/ComponentB.bundle"
                                   : AU_PATH_DIR "/ComponentA.bundle";
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(folder.c_str()),
                                                           static_cast<CFIndex>(folder.size()), true);
    CFBundleRef bundle = CFBundleCreate(nullptr, url);
    CFRelease(url);
    auto function = [bundle](const char* name) {
        CFStringRef cfName = CFStringCreateWithCString(nullptr, name, kCFStringEncodingUTF8);
        void* pointer = CFBundleGetFunctionPointerForName(bundle, cfName);
        CFRelease(cfName);
        return pointer;
    };
    TestComponentFunctions f;
    f.lastBlock = reinterpret_cast<decltype(f.lastBlock)>(function("testComponentLastBlock"));
    f.lastStorage = reinterpret_cast<decltype(f.lastStorage)>(function("testComponentLastStorage"));
    f.openInstances = reinterpret_cast<decltype(f.openInstances)>(function("testComponentOpenInstances"));
    f.failNextOpen = reinterpret_cast<decltype(f.failNextOpen)>(function("testComponentFailNextOpen"));
    f.notify = reinterpret_cast<decltype(f.notify)>(function("testComponentNotify"));
    f.changeProperty = reinterpret_cast<decltype(f.changeProperty)>(function("testComponentChangeProperty"));
    f.propertyListenerCount =
        reinterpret_cast<decltype(f.propertyListenerCount)>(function("testComponentPropertyListenerCount"));
    CFRelease(bundle);  // the registry keeps it, loaded
    return f;
}
