#include "platform/cf/CFRuntime.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <unordered_map>
#include <vector>

using namespace gravel_cf;
namespace fs = std::filesystem;

namespace {
constexpr const char* kExecutableFolder = "/Contents/x86_64-linux/";
constexpr const char* kResourcesFolder = "/Contents/Resources";

struct Registry;
Registry& registry();
}  // namespace

struct __CFBundle : Object {
    static constexpr CFTypeID kTypeID = kBundleTypeID;
    enum class Shape { Folder, Main, Executable };
    __CFBundle(std::string path, Shape shape);
    ~__CFBundle() override {
        CFRelease(url);
        CFRelease(info);
    }
    void destroy() override;
    std::string describe() const override { return "<CFBundle " + path + ">"; }

    std::string executablePath() const;

    const std::string path;  // absolute, normalised, no trailing slash
    const bool isMain;
    // Linux VST effects often ship as a bare .so: such a file is a bundle of
    // its own, its executable itself, with no information or resources.
    const bool isBareExecutable;
    CFURLRef url;
    CFDictionaryRef info;  // never null
    std::mutex loadMutex;
    void* handle = nullptr;
    bool loadFailureReported = false;  // a host retrying one entry name after another hears it once
};

namespace {

// Bundles by folder, so that every CFBundleCreate of one folder gives the
// same object, and CFBundleGetBundleWithIdentifier can find it.
struct Registry {
    std::mutex mutex;
    std::unordered_map<std::string, __CFBundle*> bundles;
};

Registry& registry() {
    static Registry* r = new Registry;  // outlives every static destructor
    return *r;
}

// Retains a registered bundle unless its last release is under way.
bool tryRetain(__CFBundle* bundle) {
    if (bundle->immortal) return true;
    CFIndex count = bundle->retainCount.load(std::memory_order_relaxed);
    while (count > 0)
        if (bundle->retainCount.compare_exchange_weak(count, count + 1, std::memory_order_acq_rel)) return true;
    return false;
}

std::string absoluteFolder(CFURLRef url) {
    char buffer[4096];
    if (!CFURLGetFileSystemRepresentation(url, true, reinterpret_cast<UInt8*>(buffer), sizeof buffer))
        return std::string();
    std::string path = fs::path(buffer).lexically_normal().string();
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

CFURLRef fileURL(const std::string& path, bool isDirectory) {
    return CFURLCreateFromFileSystemRepresentation(nullptr, reinterpret_cast<const UInt8*>(path.c_str()),
                                                   static_cast<CFIndex>(path.size()), isDirectory);
}

CFDictionaryRef emptyDictionary() {
    return CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                              &kCFTypeDictionaryValueCallBacks);
}

// Contents/Info.plist as a dictionary; empty when missing or unreadable.
CFDictionaryRef readInfoDictionary(const std::string& folder) {
    const std::string file = folder + "/Contents/Info.plist";
    std::ifstream in(file, std::ios::binary);
    if (!in) return emptyDictionary();
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes.data()),
                                  static_cast<CFIndex>(bytes.size()));
    CFErrorRef error = nullptr;
    CFPropertyListRef plist = CFPropertyListCreateWithData(nullptr, data, kCFPropertyListImmutable, nullptr, &error);
    CFRelease(data);
    if (CFGetTypeID(plist) == kDictionaryTypeID) return static_cast<CFDictionaryRef>(plist);
    CFStringRef reason = error != nullptr ? CFErrorCopyDescription(error) : nullptr;
    std::fprintf(stderr, "CFBundle: %s: %s\n", file.c_str(),
                 reason != nullptr ? stringText(reason).c_str() : "not a dictionary");
    CFRelease(reason);
    CFRelease(error);
    CFRelease(plist);
    return emptyDictionary();
}

std::string withoutDot(const std::string& type) { return (!type.empty() && type[0] == '.') ? type.substr(1) : type; }

std::string resourcesFolder(const std::string& bundleFolder, CFStringRef subDirName) {
    std::string folder = bundleFolder + kResourcesFolder;
    const std::string& sub = stringText(subDirName);
    if (!sub.empty()) folder += "/" + sub;
    return folder;
}

CFURLRef findResource(const std::string& bundleFolder, CFStringRef name, CFStringRef type, CFStringRef subDirName) {
    const std::string& base = stringText(name);
    if (base.empty()) return nullptr;
    const std::string extension = withoutDot(stringText(type));
    const std::string path = resourcesFolder(bundleFolder, subDirName) + "/" + base +
                             (extension.empty() ? std::string() : "." + extension);
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status)) return nullptr;
    return fileURL(path, fs::is_directory(status));
}

CFArrayRef findResourcesOfType(const std::string& bundleFolder, CFStringRef type, CFStringRef subDirName) {
    const std::string extension = withoutDot(stringText(type));
    std::vector<std::pair<std::string, bool>> found;
    std::error_code error;
    for (fs::directory_iterator it(resourcesFolder(bundleFolder, subDirName), error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name[0] == '.') continue;
        const size_t dot = name.rfind('.');
        if (!extension.empty() && (dot == std::string::npos || dot == 0 || name.compare(dot + 1, std::string::npos, extension) != 0))
            continue;
        std::error_code statusError;
        found.emplace_back(it->path().string(), it->is_directory(statusError));
    }
    std::sort(found.begin(), found.end());
    CFMutableArrayRef urls = createTypeArray();
    for (const auto& entry : found) {
        CFURLRef url = fileURL(entry.first, entry.second);
        if (url != nullptr) CFArrayAppendValue(urls, url);
        CFRelease(url);
    }
    return urls;
}

std::string ownExecutable() {
    char buffer[4096];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

// The application bundle around the running program: X when the program is
// X/Contents/<architecture folder>/program; null for a program outside one.
__CFBundle* makeMainBundle() {
    const std::string executable = ownExecutable();
    if (executable.empty()) return nullptr;
    const fs::path contents = fs::path(executable).parent_path().parent_path();
    if (contents.filename() != "Contents" || !contents.has_parent_path()) return nullptr;
    const std::string folder = contents.parent_path().string();
    if (folder.empty() || folder == "/") return nullptr;
    auto* bundle = new __CFBundle(folder, __CFBundle::Shape::Main);
    bundle->handle = dlopen(nullptr, RTLD_NOW);
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.bundles.emplace(bundle->path, bundle);
    return bundle;
}

}  // namespace

__CFBundle::__CFBundle(std::string location, Shape shape)
    : Object(kTypeID, shape == Shape::Main),
      path(std::move(location)),
      isMain(shape == Shape::Main),
      isBareExecutable(shape == Shape::Executable) {
    url = fileURL(path, !isBareExecutable);
    info = isBareExecutable ? emptyDictionary() : readInfoDictionary(path);
}

void __CFBundle::destroy() {
    Registry& r = registry();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        auto found = r.bundles.find(path);
        if (found != r.bundles.end() && found->second == this) r.bundles.erase(found);
    }
    // The executable stays loaded: code from it may still be running or
    // referenced. CFBundleUnloadExecutable is the way to unload.
    delete this;
}

std::string __CFBundle::executablePath() const {
    if (isMain) return ownExecutable();
    if (isBareExecutable) return path;
    CFTypeRef name = CFDictionaryGetValue(info, kCFBundleExecutableKey);
    if (CFGetTypeID(name) != kStringTypeID) return std::string();
    std::string file = stringText(static_cast<CFStringRef>(name));
    if (file.empty() || file.find('/') != std::string::npos) return std::string();
    if (file.size() < 3 || file.compare(file.size() - 3, 3, ".so") != 0) file += ".so";
    return path + kExecutableFolder + file;
}

CFTypeID CFBundleGetTypeID(void) { return kBundleTypeID; }

CFBundleRef CFBundleGetMainBundle(void) {
    static __CFBundle* mainBundle = makeMainBundle();
    return mainBundle;
}

namespace {
// X.so or X.so.N: a shared object a plug-in folder may hold on its own.
bool isSharedObjectName(const std::string& path) {
    const std::string name = fs::path(path).filename().string();
    const size_t so = name.rfind(".so");
    if (so == std::string::npos || so == 0) return false;
    const size_t after = so + 3;
    return after == name.size() || (name[after] == '.' && after + 1 < name.size() &&
                                    name.find_first_not_of("0123456789.", after) == std::string::npos);
}
}  // namespace

CFBundleRef CFBundleCreate(CFAllocatorRef, CFURLRef bundleURL) {
    if (CFGetTypeID(bundleURL) != kURLTypeID) return nullptr;
    const std::string location = absoluteFolder(bundleURL);
    if (location.empty()) return nullptr;
    std::error_code error;
    __CFBundle::Shape shape = __CFBundle::Shape::Folder;
    if (!fs::is_directory(location, error)) {
        if (!fs::is_regular_file(location, error) || !isSharedObjectName(location)) return nullptr;
        shape = __CFBundle::Shape::Executable;
    }
    CFBundleGetMainBundle();  // registered first, so its folder gives it back
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto found = r.bundles.find(location);
    if (found != r.bundles.end() && tryRetain(found->second)) return found->second;
    auto* bundle = new __CFBundle(location, shape);
    r.bundles[location] = bundle;
    return bundle;
}

CFBundleRef CFBundleGetBundleWithIdentifier(CFStringRef bundleID) {
    if (CFGetTypeID(bundleID) != kStringTypeID) return nullptr;
    CFBundleGetMainBundle();
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (const auto& entry : r.bundles) {
        __CFBundle* bundle = entry.second;
        // A bundle in its last release is skipped; reading it is still safe
        // because it leaves the registry under this lock before it is freed.
        if (bundle->retainCount.load() > 0 && CFEqual(CFDictionaryGetValue(bundle->info, kCFBundleIdentifierKey), bundleID))
            return bundle;
    }
    return nullptr;
}

CFDictionaryRef CFBundleGetInfoDictionary(CFBundleRef bundle) {
    const __CFBundle* b = as<__CFBundle>(bundle);
    return b != nullptr ? b->info : nullptr;
}

CFTypeRef CFBundleGetValueForInfoDictionaryKey(CFBundleRef bundle, CFStringRef key) {
    return CFDictionaryGetValue(CFBundleGetInfoDictionary(bundle), key);
}

CFDictionaryRef CFBundleCopyInfoDictionaryInDirectory(CFURLRef bundleURL) {
    if (CFGetTypeID(bundleURL) != kURLTypeID) return nullptr;
    const std::string folder = absoluteFolder(bundleURL);
    std::error_code error;
    if (folder.empty() || !fs::is_directory(folder, error)) return nullptr;
    return readInfoDictionary(folder);
}

CFStringRef CFBundleGetIdentifier(CFBundleRef bundle) {
    CFTypeRef identifier = CFBundleGetValueForInfoDictionaryKey(bundle, kCFBundleIdentifierKey);
    return CFGetTypeID(identifier) == kStringTypeID ? static_cast<CFStringRef>(identifier) : nullptr;
}

CFURLRef CFBundleCopyBundleURL(CFBundleRef bundle) {
    const __CFBundle* b = as<__CFBundle>(bundle);
    return b != nullptr ? static_cast<CFURLRef>(CFRetain(b->url)) : nullptr;
}

CFURLRef CFBundleCopyExecutableURL(CFBundleRef bundle) {
    const __CFBundle* b = as<__CFBundle>(bundle);
    if (b == nullptr) return nullptr;
    const std::string path = b->executablePath();
    std::error_code error;
    if (path.empty() || !fs::is_regular_file(path, error)) return nullptr;
    return fileURL(path, false);
}

CFURLRef CFBundleCopyResourcesDirectoryURL(CFBundleRef bundle) {
    const __CFBundle* b = as<__CFBundle>(bundle);
    return b != nullptr && !b->isBareExecutable ? fileURL(b->path + kResourcesFolder, true) : nullptr;
}

CFURLRef CFBundleCopyResourceURL(CFBundleRef bundle, CFStringRef resourceName, CFStringRef resourceType,
                                 CFStringRef subDirName) {
    const __CFBundle* b = as<__CFBundle>(bundle);
    return b != nullptr && !b->isBareExecutable ? findResource(b->path, resourceName, resourceType, subDirName)
                                                : nullptr;
}

CFArrayRef CFBundleCopyResourceURLsOfType(CFBundleRef bundle, CFStringRef resourceType, CFStringRef subDirName) {
    const __CFBundle* b = as<__CFBundle>(bundle);
    if (b == nullptr) return nullptr;
    return b->isBareExecutable ? createTypeArray() : findResourcesOfType(b->path, resourceType, subDirName);
}

CFURLRef CFBundleCopyResourceURLInDirectory(CFURLRef bundleURL, CFStringRef resourceName, CFStringRef resourceType,
                                            CFStringRef subDirName) {
    if (CFGetTypeID(bundleURL) != kURLTypeID) return nullptr;
    return findResource(absoluteFolder(bundleURL), resourceName, resourceType, subDirName);
}

CFArrayRef CFBundleCopyResourceURLsOfTypeInDirectory(CFURLRef bundleURL, CFStringRef resourceType,
                                                     CFStringRef subDirName) {
    if (CFGetTypeID(bundleURL) != kURLTypeID) return nullptr;
    return findResourcesOfType(absoluteFolder(bundleURL), resourceType, subDirName);
}

Boolean CFBundleLoadExecutable(CFBundleRef bundle) {
    __CFBundle* b = as<__CFBundle>(bundle);
    if (b == nullptr) return false;
    std::lock_guard<std::mutex> lock(b->loadMutex);
    if (b->handle != nullptr) return true;
    const std::string path = b->executablePath();
    if (path.empty()) {
        if (!b->loadFailureReported)
            std::fprintf(stderr, "CFBundle: %s has no CFBundleExecutable in its Info.plist\n", b->path.c_str());
        b->loadFailureReported = true;
        return false;
    }
    // Local symbols: two plug-ins in one host must not resolve each other's.
    b->handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (b->handle == nullptr) {
        const char* reason = dlerror();
        if (!b->loadFailureReported)
            std::fprintf(stderr, "CFBundle: cannot load %s: %s\n", path.c_str(), reason != nullptr ? reason : "unknown error");
        b->loadFailureReported = true;
        return false;
    }
    return true;
}

Boolean CFBundleIsExecutableLoaded(CFBundleRef bundle) {
    __CFBundle* b = as<__CFBundle>(bundle);
    if (b == nullptr) return false;
    std::lock_guard<std::mutex> lock(b->loadMutex);
    return b->handle != nullptr;
}

void CFBundleUnloadExecutable(CFBundleRef bundle) {
    __CFBundle* b = as<__CFBundle>(bundle);
    if (b == nullptr || b->isMain) return;
    std::lock_guard<std::mutex> lock(b->loadMutex);
    if (b->handle == nullptr) return;
    dlclose(b->handle);
    b->handle = nullptr;
}

namespace {
void* lookUp(CFBundleRef bundle, CFStringRef name) {
    __CFBundle* b = as<__CFBundle>(bundle);
    if (b == nullptr || CFGetTypeID(name) != kStringTypeID || !CFBundleLoadExecutable(bundle)) return nullptr;
    std::lock_guard<std::mutex> lock(b->loadMutex);
    return b->handle != nullptr ? dlsym(b->handle, stringText(name).c_str()) : nullptr;
}
}  // namespace

void* CFBundleGetFunctionPointerForName(CFBundleRef bundle, CFStringRef functionName) {
    return lookUp(bundle, functionName);
}

void* CFBundleGetDataPointerForName(CFBundleRef bundle, CFStringRef symbolName) { return lookUp(bundle, symbolName); }
