// libFuzzer target: arbitrary bytes as FXP / FXB data for the Gravel effect,
// loaded through the proxy exactly as a host's preset would be. A load either
// succeeds or fails with one of the format's exceptions; it never reads past
// the bytes (ASan) and never leaves a parameter outside 0..1. The effect then
// plays a short block with whatever program it holds, the same bytes read as
// audio (any float, NaN and infinity included): every output sample must be
// finite.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <cmath>

#include "platform/cf/CoreFoundation.h"
#include "hosting/TandemException.h"
#include "hosting/TandemLog.h"
#include "hosting/SilentVSTHost.h"
#include "hosting/VSTPlugIn.h"

namespace {

constexpr int kBypassParameter = 9; // Gravel's Bypass

// One Gravel instance for the whole run, loaded from the built bundle.
VSTPlugIn& gravel()
{
    static SilentVSTHost host;
    static VSTPlugIn* plugIn = [] {
        setTandemLogSink([](const char*, void*) {}, nullptr);
        const char* path = std::getenv("GRAVEL_BUNDLE");
        if (!path)
            path = GRAVEL_BUNDLE_DIR;
        CFURLRef url = CFURLCreateFromFileSystemRepresentation(
            nullptr, reinterpret_cast<const UInt8*>(path), static_cast<CFIndex>(__builtin_strlen(path)), true);
        CFBundleRef bundle = url ? CFBundleCreate(nullptr, url) : nullptr;
        if (url)
            CFRelease(url);
        if (!bundle) {
            std::fprintf(stderr, "fxp_fuzz: no bundle at %s (set GRAVEL_BUNDLE)\n", path);
            std::abort();
        }
        auto* p = new VSTPlugIn(host, bundle, 44100.0f, 512);
        CFRelease(bundle);
        p->open();
        p->resume();
        return p;
    }();
    return *plugIn;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    VSTPlugIn& plugIn = gravel();
    try {
        plugIn.loadFXPOrFXB(size, data);
    } catch (const TandemException&) {
        // EOFException and FormatException: the answers for bad data.
    }
    for (int i = 0; i < plugIn.getParameterCount(); ++i) {
        const float v = plugIn.getParameter(i);
        if (!(v >= 0.0f && v <= 1.0f)) {
            std::fprintf(stderr, "fxp_fuzz: parameter %d is %g after a load\n", i, v);
            __builtin_trap();
        }
    }

    constexpr int frames = 64;
    float left[frames] = {}, right[frames] = {}, outLeft[frames], outRight[frames];
    const size_t audioBytes = size < sizeof left + sizeof right ? size : sizeof left + sizeof right;
    std::memcpy(left, data, audioBytes < sizeof left ? audioBytes : sizeof left);
    if (audioBytes > sizeof left)
        std::memcpy(right, data + sizeof left, audioBytes - sizeof left);
    float* inputs[2] = {left, right};
    float* outputs[2] = {outLeft, outRight};
    plugIn.processReplacing(inputs, outputs, frames);
    // Bypassed, the effect copies its input, NaN included; otherwise nothing
    // may come out that is not a finite number.
    const bool bypassed = plugIn.getParameter(kBypassParameter) >= 0.5f;
    for (int i = 0; i < frames; ++i) {
        if (bypassed && !(std::isfinite(left[i]) && std::isfinite(right[i])))
            continue;
        if (!std::isfinite(outLeft[i]) || !std::isfinite(outRight[i])) {
            std::fprintf(stderr, "fxp_fuzz: output frame %d is %g, %g\n", i, outLeft[i], outRight[i]);
            for (int p = 0; p < plugIn.getParameterCount(); ++p)
                std::fprintf(stderr, "  parameter %d = %.9g\n", p, plugIn.getParameter(p));
            for (int f = 0; f < frames; ++f)
                std::fprintf(stderr, "  in %d: %.9g %.9g\n", f, left[f], right[f]);
            __builtin_trap();
        }
    }
    return 0;
}
