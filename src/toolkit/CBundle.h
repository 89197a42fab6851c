#pragma once
// Where the toolkit finds pictures: the plug-in bundle that the editor base
// locates and stores in gBundleRef.
#include "platform/cf/CFBundle.h"

#include <string>

namespace VSTGUI {

// The process-wide bundle pictures are loaded from; null when unknown. The
// editor base owns the reference.
extern CFBundleRef gBundleRef;

// A bundle for a folder (a new reference), or null when it is not a folder.
CFBundleRef bundleCreate(const std::string& bundleDir);
// <bundle>/Contents/Resources, or empty for a null reference.
std::string bundleResourcesPath(CFBundleRef bundle);

}  // namespace VSTGUI
