// Another maker's VST 2.4 effect (LSP's stereo compressor, Debian's
// lsp-plugins-vst) wrapped as an AudioUnit: the component around it renders
// exactly what the effect renders when driven directly.

#include "TandemDirectRender.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

namespace {

constexpr VstInt32 tandemHello = vstFourCC('s', 'H', 'i', '!');

} // namespace

TEST(TandemThirdParty, WrappedEffectRendersWhatItRendersDirectly)
{
    if (access(GRAVEL_LSP_COMPRESSOR, R_OK) != 0)
        GTEST_SKIP() << GRAVEL_LSP_COMPRESSOR << " is not installed (lsp-plugins-vst)";
    // Kept loaded for the rest of the process, with the library that holds
    // LSP's code (the plug-in file only loads it): their one-time global
    // allocations would be reported as leaks once they are unloaded.
    static void* keptLoaded = dlopen(GRAVEL_LSP_COMPRESSOR, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(keptLoaded, nullptr);
    static const bool coreKeptLoaded = [] {
        const std::filesystem::path folder = std::filesystem::path(GRAVEL_LSP_COMPRESSOR).parent_path();
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error))
            if (entry.path().filename().string().rfind("lsp-plugins-vst2-", 0) == 0)
                return dlopen(entry.path().c_str(), RTLD_NOW | RTLD_LOCAL) != nullptr;
        return false;
    }();
    (void)coreKeptLoaded;
    StderrCapture log;
    OpenedUnit opened(componentPath("LSPCompressor"), "LSPc");
    ASSERT_EQ(opened.status, noErr) << log.text();
    AudioUnit unit = opened.unit;
    // The resource's chain of links ends on the package's bare .so.
    EXPECT_TRUE(log.contains(logLine("Test: LSPCompressor", "Resolved alias to " GRAVEL_LSP_COMPRESSOR)))
        << log.text();
    EXPECT_TRUE(log.contains(logLine("Test: LSPCompressor", "VST has 2 inputs and 2 outputs configured into 1 input "
                                                            "buses and 1 output buses (SupportedNumChannels supported)")))
        << log.text();

    UInt32 frames = 1024;
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_MaximumFramesPerSlice, kAudioUnitScope_Global, 0, &frames,
                                   sizeof frames),
              noErr);
    const AudioStreamBasicDescription format = floatFormat(48000, 2);
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_StreamFormat, kAudioUnitScope_Input, 0, &format,
                                   sizeof format),
              noErr);
    AURenderCallbackStruct callback = {riffSource, nullptr};
    ASSERT_EQ(AudioUnitSetProperty(unit, kAudioUnitProperty_SetRenderCallback, kAudioUnitScope_Input, 0, &callback,
                                   sizeof callback),
              noErr);
    ASSERT_EQ(AudioUnitInitialize(unit), noErr);
    const std::vector<float> viaAudioUnit = renderRiffThroughAudioUnit(unit);
    ASSERT_FALSE(viaAudioUnit.empty());

    // The same requests the component makes of its effect, in its order.
    SilentVSTHost host;
    CFBundleRef bundle = createBundleForFolder(GRAVEL_LSP_BUNDLE);
    ASSERT_NE(bundle, nullptr);
    VSTPlugIn direct(host, bundle, 44100.0f, 4096);
    CFRelease(bundle);
    direct.open();
    direct.dispatch(effVendorSpecific, tandemHello, 0, nullptr, 0.0f);
    direct.getTailSize();
    direct.setBypass(false);
    direct.setBlockSize(1024);
    direct.setSampleRate(48000.0f);
    const std::vector<float> viaVST = renderRiffThroughVST(direct);

    ASSERT_EQ(viaAudioUnit.size(), viaVST.size());
    size_t differing = 0;
    for (size_t i = 0; i < viaVST.size(); ++i)
        differing += viaAudioUnit[i] != viaVST[i];
    EXPECT_EQ(differing, 0u) << "of " << viaVST.size() << " samples";
    double energy = 0;
    for (float x : viaAudioUnit)
        energy += double(x) * x;
    EXPECT_GT(energy, 1.0);
}
