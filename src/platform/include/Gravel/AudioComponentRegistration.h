// The one call of the host side that macOS does not have: registering a
// component bundle by path, where macOS would find it in the system's
// component folders.
#pragma once

#include "PlatformBase.h"

CF_EXTERN_C_BEGIN

// Reads the bundle folder's Contents/Info.plist and registers every component
// it declares under "AudioComponents" (after the AU_PATH scan, so those come
// first). noErr when at least one component is registered (or the bundle
// already was); otherwise an error, with the reason on stderr: fnfErr (no such
// folder), paramErr (null path, unreadable Info.plist, no valid declaration),
// unresolvedComponentDLLErr (no executable, or the entry is not exported).
CF_EXPORT OSStatus GravelRegisterComponentBundle(const char* bundlePath);

CF_EXTERN_C_END
