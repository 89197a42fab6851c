#pragma once
// Where the toolkit finds pictures: the plug-in bundle that the editor base
// locates and stores in gBundleRef.
#include <string>

namespace VSTGUI {

// A counted reference to a located bundle folder.
struct BundleLocation;
typedef BundleLocation* BundleRef;

// Null when bundleDir is empty.
BundleRef bundleCreate(const std::string& bundleDir);
void bundleRetain(BundleRef ref);
void bundleRelease(BundleRef ref);
int bundleRetainCount(BundleRef ref);
std::string bundlePath(BundleRef ref);
// <bundle>/Contents/Resources, or empty for a null reference.
std::string bundleResourcesPath(BundleRef ref);

// The process-wide bundle pictures are loaded from. Set by the editor base.
extern BundleRef gBundleRef;

}  // namespace VSTGUI
