#pragma once

// What the parameter-mapping, value-string and view tests share: component
// bundles built in scratch folders around a fake effect, the text effect's
// record, and readers of the parameter properties.

#include "FakeTextEffect.h"
#include "TandemTestSupport.h"
#include "../support/ComponentBundle.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

inline const std::string scratchName = "Test: Scratch";

inline FakeTextState& fakeText()
{
    static void* handle = dlopen(GRAVEL_FAKE_TEXT_EXECUTABLE, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw std::runtime_error(std::string("cannot load the text effect: ") + dlerror());
    return *static_cast<FakeTextState*>(dlsym(handle, "fakeTextState"));
}

inline FakeTextState& resetFakeText()
{
    FakeTextState& s = fakeText();
    s = FakeTextState{};
    s.tandemExtensions = true;
    s.gestureOnIdleParameter = -1;
    for (float& value : s.parameters)
        value = 0.5f;
    s.textWasTerminated = true;
    return s;
}

inline std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A component bundle around one effect, in a folder of its own that goes
// away with it. Every one registers under a subtype of its own.
class ScratchComponent {
public:
    explicit ScratchComponent(const std::string& effectBundle)
    {
        std::string folder = temporaryPattern("tandem-mapping");
        root = mkdtemp(folder.data());
        static int count = 0; // per test program: each has its own registry
        std::snprintf(subtype, sizeof subtype, "M%03d", ++count % 1000);
        const ComponentBundle component{"Tandem", subtype, "Test", "Test: Scratch"};
        component.write(bundle(), GRAVEL_TANDEM_EXECUTABLE, effectBundle);
    }
    ~ScratchComponent()
    {
        std::error_code error;
        fs::remove_all(root, error);
    }
    ScratchComponent(const ScratchComponent&) = delete;
    ScratchComponent& operator=(const ScratchComponent&) = delete;

    std::string bundle() const { return root + "/Scratch.component"; }
    std::string resources() const { return bundle() + "/Contents/Resources"; }
    std::string mappingPath() const { return resources() + "/TNParameters.txt"; }
    void writeMapping(const std::string& text) const { std::ofstream(mappingPath(), std::ios::binary) << text; }
    std::unique_ptr<OpenedUnit> open() const { return std::make_unique<OpenedUnit>(bundle(), subtype); }

private:
    std::string root;
    char subtype[16];
};

inline std::vector<AudioUnitParameterID> parameterList(AudioUnit unit)
{
    UInt32 size = 0;
    EXPECT_EQ(AudioUnitGetPropertyInfo(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0, &size,
                                       nullptr),
              noErr);
    std::vector<AudioUnitParameterID> ids(size / sizeof(AudioUnitParameterID));
    if (!ids.empty()) {
        EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterList, kAudioUnitScope_Global, 0,
                                       ids.data(), &size),
                  noErr);
    }
    return ids;
}

inline AudioUnitParameterInfo parameterInfo(AudioUnit unit, AudioUnitParameterID id)
{
    AudioUnitParameterInfo info;
    std::memset(&info, 0x55, sizeof info);
    UInt32 size = sizeof info;
    EXPECT_EQ(AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterInfo, kAudioUnitScope_Global, id, &info, &size),
              noErr);
    return info;
}

inline std::string text(CFStringRef string)
{
    if (!string)
        return "(null)";
    char buffer[1024];
    return CFStringGetCString(string, buffer, sizeof buffer, kCFStringEncodingMacRoman) ? buffer : "?";
}

inline std::vector<std::string> valueStrings(AudioUnit unit, AudioUnitParameterID id, OSStatus* status = nullptr)
{
    CFArrayRef names = nullptr;
    UInt32 size = sizeof names;
    const OSStatus result = AudioUnitGetProperty(unit, kAudioUnitProperty_ParameterValueStrings,
                                                 kAudioUnitScope_Global, id, &names, &size);
    if (status)
        *status = result;
    std::vector<std::string> result_;
    if (result == noErr && names) {
        for (CFIndex i = 0; i < CFArrayGetCount(names); ++i)
            result_.push_back(text(static_cast<CFStringRef>(CFArrayGetValueAtIndex(names, i))));
        CFRelease(names);
    }
    return result_;
}

inline AudioUnitParameterValue parameterValue(AudioUnit unit, AudioUnitParameterID id)
{
    AudioUnitParameterValue value = -99;
    EXPECT_EQ(AudioUnitGetParameter(unit, id, kAudioUnitScope_Global, 0, &value), noErr);
    return value;
}

inline const std::string header = "vst param #\tname\tmin\tmax\tdisplay\tunit\tdefault\r";
