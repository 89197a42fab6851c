#pragma once

// The "TNConfig" flags of a component's bundle: how the wrapper presents its
// effect.

#include <CoreFoundation/CoreFoundation.h>

struct TandemConfiguration {
    bool autoConvertPresets = false; // .fxp/.fxb files in the preset folders become .aupreset files
    bool presetIsFXB = false;        // presets hold the whole bank
    bool updateNameOnLoad = false;   // a restored document renames the program
    bool canDoMonoIO = false;        // mono streams on stereo buses

    // TandemException or FormatException when the dictionary or a flag is missing.
    static TandemConfiguration read(CFBundleRef bundle);
};
