#pragma once

// What the AudioUnit commands of gravel share: the component a bundle
// declares, registered and found as a host finds it, and quiet for the
// component's own log lines.

#include <AudioUnit/AudioUnit.h>

#include <string>

struct AUInfoError {
    std::string message;
};

std::string textOf(CFStringRef string);
std::string fourCCText(OSType code);

// The first component of the bundle's Info.plist ("AudioComponents") and its
// "TNConfig" flags as one line of text.
struct BundleDeclarations {
    AudioComponentDescription description = {0, 0, 0, 0, 0};
    std::string config;
};
BundleDeclarations readDeclarations(const std::string& bundlePath);

// Registers the bundle and finds its component; AUInfoError when either fails.
AudioComponent findBundleComponent(const std::string& bundlePath, const BundleDeclarations& declared, bool verbose);

// The component's own log lines go to the standard error stream; they are
// hidden unless asked for.
class HiddenStderr {
public:
    explicit HiddenStderr(bool hide);
    ~HiddenStderr();
    HiddenStderr(const HiddenStderr&) = delete;
    HiddenStderr& operator=(const HiddenStderr&) = delete;

private:
    int saved = -1;
};
