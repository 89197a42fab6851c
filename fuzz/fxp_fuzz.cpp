// libFuzzer target: arbitrary bytes as FXP / FXB data for the Gravel effect,
// loaded through the proxy exactly as a host's preset would be. A load either
// succeeds or fails with one of the format's exceptions; it never reads past
// the bytes (ASan) and never leaves a parameter outside 0..1.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>

#include "platform/cf/CoreFoundation.h"
#include "wrapper/TandemException.h"
#include "wrapper/TandemLog.h"
#include "wrapper/VSTPlugIn.h"

namespace {

struct QuietHost : VSTHost {
    void getVendor(VSTPlugIn*, char* text) override { text[0] = '\0'; }
    void getProduct(VSTPlugIn*, char* text) override { text[0] = '\0'; }
    int getVersion(VSTPlugIn*) override { return 1; }
    bool canDo(VSTPlugIn*, const char*) override { return false; }
    VstTimeInfo* getTimeInfo(VSTPlugIn*, int) override { return &timeInfo; }
    void beginEdit(VSTPlugIn*, int) override {}
    void automate(VSTPlugIn*, int, float) override {}
    void endEdit(VSTPlugIn*, int) override {}
    bool isIOPinConnected(VSTPlugIn*, bool, int) override { return true; }
    void idle(VSTPlugIn*) override {}
    void updateDisplay(VSTPlugIn*) override {}
    void resizeWindow(VSTPlugIn*, int, int) override {}
    VstTimeInfo timeInfo{};
};

// One Gravel instance for the whole run, loaded from the built bundle.
VSTPlugIn& gravel()
{
    static QuietHost host;
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
        if (!(v >= 0.0f && v <= 1.0f))
            __builtin_trap();
    }
    return 0;
}
