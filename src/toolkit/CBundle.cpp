#include "toolkit/CBundle.h"

#include <atomic>
#include <cstring>

namespace VSTGUI {

CFBundleRef gBundleRef = nullptr;

namespace {
std::atomic<const EmbeddedPicture*> gEmbeddedPictures{nullptr};
}

void setEmbeddedPictures(const EmbeddedPicture* pictures)
{
    gEmbeddedPictures.store(pictures);
}

const EmbeddedPicture* findEmbeddedPicture(const char* name)
{
    const EmbeddedPicture* p = gEmbeddedPictures.load();
    for (; p && p->name && name; ++p)
        if (std::strcmp(p->name, name) == 0) return p;
    return nullptr;
}

CFBundleRef bundleCreate(const std::string& bundleDir)
{
    if (bundleDir.empty()) return nullptr;
    CFURLRef url = CFURLCreateFromFileSystemRepresentation(
        kCFAllocatorDefault, reinterpret_cast<const UInt8*>(bundleDir.data()), CFIndex(bundleDir.size()), true);
    if (!url) return nullptr;
    CFBundleRef bundle = CFBundleCreate(kCFAllocatorDefault, url);
    CFRelease(url);
    return bundle;
}

std::string bundleResourcesPath(CFBundleRef bundle)
{
    if (!bundle) return std::string();
    CFURLRef url = CFBundleCopyResourcesDirectoryURL(bundle);
    if (!url) return std::string();
    char path[4096];
    bool ok = CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(path), sizeof path);
    CFRelease(url);
    return ok ? std::string(path) : std::string();
}

}  // namespace VSTGUI
