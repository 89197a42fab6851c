#include "toolkit/CBundle.h"

namespace VSTGUI {

struct BundleLocation {
    std::string path;
    int refs = 1;
};

BundleRef gBundleRef = nullptr;

BundleRef bundleCreate(const std::string& bundleDir)
{
    if (bundleDir.empty()) return nullptr;
    BundleRef ref = new BundleLocation;
    ref->path = bundleDir;
    return ref;
}

void bundleRetain(BundleRef ref)
{
    if (ref) ++ref->refs;
}

void bundleRelease(BundleRef ref)
{
    if (ref && --ref->refs == 0) delete ref;
}

int bundleRetainCount(BundleRef ref)
{
    return ref ? ref->refs : 0;
}

std::string bundlePath(BundleRef ref)
{
    return ref ? ref->path : std::string();
}

std::string bundleResourcesPath(BundleRef ref)
{
    return ref ? ref->path + "/Contents/Resources" : std::string();
}

}  // namespace VSTGUI
