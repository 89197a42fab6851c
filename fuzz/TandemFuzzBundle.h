#pragma once

// What the AudioUnit fuzzers share: a component bundle in a scratch folder
// around the fuzzers' own instrumented copy of the wrapper, wrapping the built
// Gravel.vst (or the effect a fuzzer names first), registered and opened
// through the AudioUnit API as a host opens it.

#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>
#include <CoreFoundation/CoreFoundation.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "../tests/support/ComponentBundle.h"

namespace tandem_fuzz {

namespace fs = std::filesystem;

inline std::string gravelBundle()
{
    const char* path = std::getenv("GRAVEL_BUNDLE");
    return path ? path : GRAVEL_BUNDLE_DIR;
}

// The effect bundle the component wraps; a fuzzer may name another before
// the first unit opens.
inline std::string& wrappedEffect()
{
    static std::string effect = gravelBundle();
    return effect;
}

// The bundle folder, made once per process; its Resources hold the mapping
// the effect ships (if any) and whatever a fuzzer writes there.
inline const std::string& scratchBundle()
{
    static const std::string bundle = [] {
        const std::string effect = wrappedEffect();
        char pattern[] = "/tmp/tandem-preset-fuzz-XXXXXX";
        if (!mkdtemp(pattern)) {
            std::perror("tandem fuzz: scratch folder");
            std::abort();
        }
        const fs::path root = fs::path(pattern) / "Fuzz.component";
        ComponentBundle component{"Fuzz", "Grvl", "Bkfd", "Fuzz: Gravel", 65536};
        component.updateNameOnLoad = true;
        component.canDoMonoIO = true;
        component.write(root, TANDEM_FUZZ_COMPONENT, effect);
        const fs::path contents = root / "Contents";
        const fs::path mapping = fs::path(effect) / "Contents" / "Resources" / "TNParameters.txt";
        if (fs::exists(mapping))
            fs::copy_file(mapping, contents / "Resources" / "TNParameters.txt");
        // The folder goes when the run ends.
        static const std::string folder = pattern;
        std::atexit([] {
            std::error_code error;
            fs::remove_all(folder, error);
        });
        // Neither the component nor the effect (instrumented in fuzz
        // builds too) is unloaded when a unit closes: libFuzzer keeps reading
        // the coverage counters inside them.
        const std::string effectExecutable = fs::path(effect).stem().string() + ".so";
        for (const fs::path& executable : {contents / "x86_64-linux" / "Fuzz.so",
                                           fs::path(effect) / "Contents" / "x86_64-linux" / effectExecutable})
            if (!dlopen(executable.c_str(), RTLD_NOW | RTLD_NODELETE))
                std::abort();
        // Only this bundle: an installed Gravel registers under the same codes.
        setenv("AU_PATH", root.parent_path().c_str(), 1);
        if (GravelRegisterComponentBundle(root.c_str()) != noErr)
            std::abort();
        return root.string();
    }();
    return bundle;
}

inline std::string resources() { return scratchBundle() + "/Contents/Resources"; }

// A new instance of the scratch component; null when it did not open.
inline AudioUnit openUnit(OSStatus* status = nullptr)
{
    scratchBundle();
    const auto code = [](const char* text) {
        return (OSType(UInt8(text[0])) << 24) | (OSType(UInt8(text[1])) << 16) | (OSType(UInt8(text[2])) << 8) |
               OSType(UInt8(text[3]));
    };
    AudioComponentDescription description = {kAudioUnitType_Effect, code("Grvl"), code("Bkfd"), 0, 0};
    AudioComponent component = AudioComponentFindNext(nullptr, &description);
    if (!component)
        std::abort();
    AudioUnit unit = nullptr;
    const OSStatus result = AudioComponentInstanceNew(component, &unit);
    if (status)
        *status = result;
    return result == noErr ? unit : nullptr;
}

}  // namespace tandem_fuzz
