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

// Pictures built into the binary, for a plug-in that is one file and has no
// bundle: a list ending with a null name. Bitmaps look here before the
// bundle's Resources folder. The list must outlive every bitmap made.
struct EmbeddedPicture {
    const char* name;
    const unsigned char* begin;
    const unsigned char* end;
};
void setEmbeddedPictures(const EmbeddedPicture* pictures);
const EmbeddedPicture* findEmbeddedPicture(const char* name);

}  // namespace VSTGUI
