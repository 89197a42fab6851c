// CFBundle over the bundle layout of this platform:
//   <name>/Contents/Info.plist
//   <name>/Contents/x86_64-linux/<CFBundleExecutable>.so
//   <name>/Contents/Resources/
// Bundles are unique per folder: creating one for a folder that already has
// a live bundle returns that bundle, retained.
#pragma once

#include "CFBase.h"
#include "CFArray.h"
#include "CFDictionary.h"
#include "CFURL.h"

CF_EXTERN_C_BEGIN

typedef struct __CFBundle* CFBundleRef;

CF_EXPORT const CFStringRef kCFBundleInfoDictionaryVersionKey;
CF_EXPORT const CFStringRef kCFBundleExecutableKey;
CF_EXPORT const CFStringRef kCFBundleIdentifierKey;
CF_EXPORT const CFStringRef kCFBundleVersionKey;
CF_EXPORT const CFStringRef kCFBundleNameKey;

CF_EXPORT CFTypeID CFBundleGetTypeID(void);
// NULL when the URL does not name an existing folder.
CF_EXPORT CFBundleRef CFBundleCreate(CFAllocatorRef allocator, CFURLRef bundleURL);
// The running application's bundle: X when the program is
// X/Contents/<architecture folder>/program (any folder name, as on macOS where
// it is MacOS); NULL for a program that lies outside such a folder.
CF_EXPORT CFBundleRef CFBundleGetMainBundle(void);
CF_EXPORT CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID);

// Never NULL for a bundle: empty when Contents/Info.plist is missing or
// unreadable (the reason goes to stderr).
CF_EXPORT CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle);
CF_EXPORT CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key);
// Reads Contents/Info.plist of a bundle folder without making a bundle; NULL
// when the folder does not exist.
CF_EXPORT CFDictionaryRef CFBundleCopyInfoDictionaryInDirectory(CFURLRef bundleURL);
CF_EXPORT CFStringRef CFBundleGetIdentifier(CFBundleRef bundle);

CF_EXPORT CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle);
CF_EXPORT CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle);
CF_EXPORT CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle);
// Type may be given with or without its dot; NULL or "" means none. NULL when
// the resource does not exist.
CF_EXPORT CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName, CFStringRef resourceType,
                                           CFStringRef subDirName);
// Files and folders with that extension, in name order; NULL or "" type lists
// everything. Always an array, empty when nothing matches.
CF_EXPORT CFArrayRef CFBundleCopyResourceURLsOfType(CFBundleRef bundle, CFStringRef resourceType,
                                                    CFStringRef subDirName);
CF_EXPORT CFURLRef CFBundleCopyResourceURLInDirectory(CFURLRef bundleURL, CFStringRef resourceName,
                                                      CFStringRef resourceType, CFStringRef subDirName);
CF_EXPORT CFArrayRef CFBundleCopyResourceURLsOfTypeInDirectory(CFURLRef bundleURL, CFStringRef resourceType,
                                                               CFStringRef subDirName);

// dlopen(RTLD_NOW | RTLD_LOCAL); a failure's dlerror text goes to stderr.
CF_EXPORT Boolean CFBundleLoadExecutable(CFBundleRef bundle);
CF_EXPORT Boolean CFBundleIsExecutableLoaded(CFBundleRef bundle);
CF_EXPORT void CFBundleUnloadExecutable(CFBundleRef bundle);
// Loads the executable first when needed.
CF_EXPORT void* CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef functionName);
CF_EXPORT void* CFBundleGetDataPointerForName(CFBundleRef bundle, CFStringRef symbolName);

CF_EXTERN_C_END
