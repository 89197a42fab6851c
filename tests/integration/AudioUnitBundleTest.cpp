// The built bundle as an AudioUnit host finds it: installed with
// scripts/install.sh, found through AU_PATH, opened as the component that
// wraps its own effect.

#include <AudioToolbox/AudioToolbox.h>
#include <AudioUnit/AudioUnit.h>

#include <gtest/gtest.h>

#include "../support/TemporaryFolder.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

std::string scratchFolder()
{
    std::string pattern = temporaryPattern("gravel-au-install");
    return mkdtemp(pattern.data()) ? pattern : "";
}

} // namespace

TEST(AudioUnitBundle, InstalledBundleIsFoundOpenedAndNamed)
{
    const std::string scratch = scratchFolder();
    ASSERT_FALSE(scratch.empty());
    const std::string command = "HOME='" + scratch + "/home' bash '" GRAVEL_INSTALL_SCRIPT "' --prefix '" + scratch +
                                "/vst' --au-prefix '" + scratch + "/au' --bundle '" GRAVEL_BUNDLE_DIR "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    char target[4096] = {};
    ASSERT_GT(readlink((scratch + "/au/Gravel.vst").c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), scratch + "/vst/Gravel.vst");

    // The registry reads AU_PATH on its first use, which is this one.
    setenv("AU_PATH", (scratch + "/au").c_str(), 1);
    AudioComponentDescription gravel = {kAudioUnitType_Effect, GRAVEL_FOUR_CC('G', 'r', 'v', 'l'),
                                        GRAVEL_FOUR_CC('B', 'k', 'f', 'd'), 0, 0};
    AudioComponent component = AudioComponentFindNext(nullptr, &gravel);
    ASSERT_NE(component, nullptr);
    CFStringRef name = nullptr;
    ASSERT_EQ(AudioComponentCopyName(component, &name), noErr);
    char text[64] = {};
    CFStringGetCString(name, text, sizeof text, kCFStringEncodingUTF8);
    CFRelease(name);
    EXPECT_STREQ(text, "Brackenfold: Gravel");
    UInt32 version = 0;
    ASSERT_EQ(AudioComponentGetVersion(component, &version), noErr);
    EXPECT_EQ(version, 0x00010502u);

    // Its log goes to the standard error stream: read it back from a file.
    const std::string logPath = scratch + "/stderr.txt";
    std::fflush(stderr);
    const int saved = dup(2);
    const int logFile = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(logFile, 0);
    dup2(logFile, 2);
    close(logFile);
    AudioComponentInstance unit = nullptr;
    const OSStatus opened = AudioComponentInstanceNew(component, &unit);
    UInt32 canDoMono = 0;
    if (opened == noErr) {
        AUChannelInfo channels[4];
        UInt32 size = sizeof channels;
        if (AudioUnitGetProperty(unit, kAudioUnitProperty_SupportedNumChannels, kAudioUnitScope_Global, 0, channels,
                                 &size) == noErr)
            canDoMono = size / sizeof(AUChannelInfo);
        EXPECT_EQ(GetComponentVersion(reinterpret_cast<ComponentInstance>(unit)), 0x00010502);
        AudioComponentInstanceDispose(unit);
    }
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    ASSERT_EQ(opened, noErr);

    std::ifstream log(logPath);
    std::string all((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    char prefix[256];
    std::snprintf(prefix, sizeof prefix, "[Brackenfold: Gravel](%p) ", reinterpret_cast<void*>(pthread_self()));
    EXPECT_NE(all.find(std::string(prefix) + "No VST bundle or alias found in resources, assuming fat AU bundle\n"),
              std::string::npos)
        << all;
    EXPECT_NE(all.find(std::string(prefix) + "Found my image (" + scratch + "/vst/Gravel.vst/Contents/x86_64-linux/Gravel.so)"),
              std::string::npos)
        << "the component runs from the installed bundle\n"
        << all;
    EXPECT_EQ(canDoMono, 4u) << "Gravel ships CanDoMonoIO: mono and stereo both ways";

    std::system(("rm -rf '" + scratch + "'").c_str());
}

TEST(AudioUnitBundle, InstallLinksOnlyWhereALinkBelongs)
{
    const std::string scratch = scratchFolder();
    ASSERT_FALSE(scratch.empty());
    auto install = [&](const std::string& prefix, const std::string& auPrefix) {
        const std::string command = "HOME='" + scratch + "/home' bash '" GRAVEL_INSTALL_SCRIPT "' --prefix '" +
                                    prefix + "' --au-prefix '" + auPrefix +
                                    "' --bundle '" GRAVEL_BUNDLE_DIR "' >/dev/null 2>&1";
        return std::system(command.c_str());
    };
    // Installed straight into the AudioUnit folder: the bundle itself is found there.
    EXPECT_EQ(install(scratch + "/au", scratch + "/au"), 0);
    struct stat installed;
    ASSERT_EQ(lstat((scratch + "/au/Gravel.vst").c_str(), &installed), 0);
    EXPECT_TRUE(S_ISDIR(installed.st_mode));

    // A folder of that name that is not a link is the user's: left alone, and the install says so.
    const std::string mine = scratch + "/mine";
    ASSERT_EQ(std::system(("mkdir -p '" + mine + "/Gravel.vst' && echo keep > '" + mine + "/Gravel.vst/file'").c_str()),
              0);
    EXPECT_NE(install(scratch + "/vst", mine), 0);
    std::ifstream kept(mine + "/Gravel.vst/file");
    std::string word;
    kept >> word;
    EXPECT_EQ(word, "keep");

    // An old link is replaced by one to the new install.
    EXPECT_EQ(install(scratch + "/vst2", scratch + "/au3"), 0);
    EXPECT_EQ(install(scratch + "/vst3", scratch + "/au3"), 0);
    char target[4096] = {};
    ASSERT_GT(readlink((scratch + "/au3/Gravel.vst").c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), scratch + "/vst3/Gravel.vst");
    std::system(("rm -rf '" + scratch + "'").c_str());
}
