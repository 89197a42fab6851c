// libFuzzer target: arbitrary bytes as "TNParameters.txt" for the Gravel
// effect's parameters, read as the component reads the file users edit.
// Every line is published or logged and skipped; the read never crashes,
// never reads past the bytes (ASan), and everything it publishes is sound:
// terminated names, min below max, the default in range, each parameter at
// most once, value names only for an indexed parameter and as many as its
// range has steps.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/cf/CoreFoundation.h"
#include "hosting/TandemException.h"
#include "hosting/TandemLog.h"
#include "wrapper/TandemParameterMapping.h"
#include "hosting/SilentVSTHost.h"
#include "hosting/VSTPlugIn.h"

namespace {

// Gravel's parameter count, from the built bundle's effect.
int gravelParameterCount()
{
    static const int count = [] {
        setTandemLogSink([](const char*, void*) {}, nullptr);
        const char* path = std::getenv("GRAVEL_BUNDLE");
        if (!path)
            path = GRAVEL_BUNDLE_DIR;
        CFURLRef url = CFURLCreateFromFileSystemRepresentation(
            nullptr, reinterpret_cast<const UInt8*>(path), static_cast<CFIndex>(std::strlen(path)), true);
        CFBundleRef bundle = url ? CFBundleCreate(nullptr, url) : nullptr;
        if (url)
            CFRelease(url);
        if (!bundle) {
            std::fprintf(stderr, "mapping_fuzz: no bundle at %s (set GRAVEL_BUNDLE)\n", path);
            std::abort();
        }
        // Kept for the whole run, so the bundle (and what it loaded) stays loaded.
        static SilentVSTHost host;
        static VSTPlugIn* plugIn = new VSTPlugIn(host, bundle, 44100.0f, 512);
        CFRelease(bundle);
        plugIn->open();
        return plugIn->getParameterCount();
    }();
    return count;
}

[[noreturn]] void fail(const char* what, int parameter)
{
    std::fprintf(stderr, "mapping_fuzz: parameter %d: %s\n", parameter, what);
    __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const int parameterCount = gravelParameterCount();
    int mapped = 0;
    std::vector<unsigned int> list(maxMappedParameters);
    std::vector<AudioUnitParameterInfo> infos(static_cast<size_t>(parameterCount));
    std::vector<CFArrayRef> valueStrings(static_cast<size_t>(parameterCount), nullptr);
    std::memset(infos.data(), 0, infos.size() * sizeof(AudioUnitParameterInfo));
    ParameterMappingTables tables = {parameterCount, &mapped, list.data(), infos.data(), valueStrings.data()};
    try {
        parseParameterMapping(data, size, tables);
    } catch (const TandemException&) {
        // No header line (EOFException): the answer for an empty file.
    }

    if (mapped < 0 || mapped > parameterCount)
        fail("more parameters published than the effect has", mapped);
    std::vector<bool> seen(size_t(parameterCount), false);
    for (int i = 0; i < mapped; ++i) {
        const unsigned int id = list[size_t(i)];
        if (id >= unsigned(parameterCount) || seen[id])
            fail("published twice or out of range", int(id));
        seen[id] = true;
        const AudioUnitParameterInfo& info = infos[id];
        if (!std::memchr(info.name, '\0', sizeof info.name))
            fail("name not terminated", int(id));
        if (!info.cfNameString)
            fail("no name string", int(id));
        if (!(std::isfinite(info.minValue) && std::isfinite(info.maxValue)) || !(info.minValue < info.maxValue))
            fail("empty or non-finite range", int(id));
        const bool indexed = info.unit == kAudioUnitParameterUnit_Indexed;
        if ((valueStrings[id] != nullptr) != indexed)
            fail("value names without an indexed unit, or the reverse", int(id));
        if (indexed && CFArrayGetCount(valueStrings[id]) != CFIndex(info.maxValue) + 1)
            fail("value names and range disagree", int(id));
    }
    for (int id = 0; id < parameterCount; ++id)
        if (!seen[size_t(id)] && (infos[size_t(id)].flags != 0 || valueStrings[size_t(id)]))
            fail("described but not published", id);
    releaseParameterMapping(tables);
    return 0;
}
