#pragma once

#include "platform/cf/CoreFoundation.h"
#include "hosting/TandemLog.h"
#include "hosting/VSTHost.h"
#include "hosting/VSTPlugIn.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

// A host that records what the effect asked of it.
struct TestHost : VSTHost {
    struct Call {
        std::string what;
        int a;
        float value;
    };
    std::vector<Call> calls;
    VstTimeInfo timeInfo{};
    bool pinConnected = true;

    void getVendor(VSTPlugIn*, char* text) override { std::strcpy(text, "Test Vendor"); }
    void getProduct(VSTPlugIn*, char* text) override { std::strcpy(text, "Test Host"); }
    int getVersion(VSTPlugIn*) override { return 42; }
    bool canDo(VSTPlugIn*, const char* question) override
    {
        return std::strcmp(question, "sizeWindow") == 0;
    }
    VstTimeInfo* getTimeInfo(VSTPlugIn*, int flags) override
    {
        calls.push_back({"getTimeInfo", flags, 0});
        return &timeInfo;
    }
    void beginEdit(VSTPlugIn*, int p) override { calls.push_back({"beginEdit", p, 0}); }
    void automate(VSTPlugIn*, int p, float v) override { calls.push_back({"automate", p, v}); }
    void endEdit(VSTPlugIn*, int p) override { calls.push_back({"endEdit", p, 0}); }
    bool isIOPinConnected(VSTPlugIn*, bool isOutput, int pin) override
    {
        calls.push_back({isOutput ? "pinOut" : "pinIn", pin, 0});
        return pinConnected;
    }
    void idle(VSTPlugIn*) override { calls.push_back({"idle", 0, 0}); }
    void updateDisplay(VSTPlugIn*) override { calls.push_back({"updateDisplay", 0, 0}); }
    void resizeWindow(VSTPlugIn*, int w, int h) override { calls.push_back({"resize", w, float(h)}); }
};

// Collects the hosting layer's log lines, without their "[name](thread) " prefix,
// for as long as it lives.
struct LogCapture {
    std::vector<std::string> lines;
    LogCapture() { setTandemLogSink(&LogCapture::sink, this); }
    ~LogCapture() { setTandemLogSink(nullptr, nullptr); }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    static void sink(const char* line, void* context)
    {
        std::string text(line);
        size_t close = text.find(") ");
        static_cast<LogCapture*>(context)->lines.push_back(
            close == std::string::npos ? text : text.substr(close + 2));
    }
    bool contains(const std::string& line) const
    {
        for (const std::string& l : lines)
            if (l == line)
                return true;
        return false;
    }
};

inline CFBundleRef createBundleAt(const std::string& path)
{
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(path.c_str()),
        static_cast<CFIndex>(path.size()), true);
    if (!url)
        return nullptr;
    CFBundleRef bundle = CFBundleCreate(kCFAllocatorDefault, url);
    CFRelease(url);
    return bundle;
}

// The Gravel bundle stays loaded for the rest of the test process: its
// executable pulls in cairo and pixman, whose one-time global allocations
// would be reported as leaks by LeakSanitizer once they are unloaded.
inline CFBundleRef createGravelBundle()
{
    static CFBundleRef keptLoaded = createBundleAt(GRAVEL_BUNDLE_DIR);
    if (keptLoaded)
        CFRetain(keptLoaded);
    return keptLoaded;
}

inline std::string fakeBundlePath(const char* name)
{
    return std::string(GRAVEL_FAKE_EFFECTS_DIR) + "/" + name + ".vst";
}

// A proxy around one of the fake effects; the bundle reference is the proxy's.
inline std::unique_ptr<VSTPlugIn> makeProxy(VSTHost& host, const char* name,
                                            float sampleRate = 44100.0f, int blockSize = 512)
{
    CFBundleRef bundle = createBundleAt(fakeBundlePath(name));
    std::unique_ptr<VSTPlugIn> plugIn(new VSTPlugIn(host, bundle, sampleRate, blockSize));
    if (bundle)
        CFRelease(bundle);
    return plugIn;
}
