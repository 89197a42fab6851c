#include "platform/cf/CFRuntime.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>

using namespace gravel_cf;

struct __CFURL : Object {
    static constexpr CFTypeID kTypeID = kURLTypeID;
    __CFURL(std::string filePath, std::string baseFolder, bool directory)
        : Object(kTypeID, false), path(std::move(filePath)), base(std::move(baseFolder)), isDirectory(directory) {
        string = createString(makeString());
    }
    ~__CFURL() override { CFRelease(string); }

    std::string makeString() const;
    std::string absolutePath() const { return base.empty() ? path : (base == "/" ? "/" : base + "/") + path; }

    bool equals(const Object& other) const override {
        const auto& o = static_cast<const __CFURL&>(other);
        return path == o.path && base == o.base && isDirectory == o.isDirectory;
    }
    CFHashCode hash() const override { return std::hash<std::string>()(path); }
    std::string describe() const override { return stringText(string); }

    const std::string path;  // no doubled or trailing slashes, except "/" itself
    const std::string base;  // working folder for a relative path, empty otherwise
    const bool isDirectory;
    CFStringRef string;  // the URL text, made once
};

namespace {

std::string normalized(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (char c : path)
        if (!(c == '/' && !out.empty() && out.back() == '/')) out += c;
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return out;
}

std::string currentFolder() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) != nullptr ? normalized(buffer) : std::string("/");
}

CFURLRef makeURL(const std::string& rawPath, bool isDirectory, const std::string& base) {
    const std::string path = normalized(rawPath);
    if (path.empty() || !isValidUTF8(path)) return nullptr;
    if (path[0] == '/') return new __CFURL(path, std::string(), isDirectory || path == "/");
    return new __CFURL(path, base.empty() ? currentFolder() : base, isDirectory);
}

size_t lastSlash(const std::string& path) { return path.rfind('/'); }

std::string lastComponent(const std::string& path) {
    if (path == "/") return path;
    const size_t slash = lastSlash(path);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The position of the extension's dot in the last component, or npos. A
// leading dot (".hidden") is no extension.
size_t extensionDot(const std::string& path) {
    const size_t slash = lastSlash(path);
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= start || dot + 1 == path.size()) return std::string::npos;
    return dot;
}

}  // namespace

std::string __CFURL::makeString() const {
    static const char hex[] = "0123456789ABCDEF";
    std::string text = base.empty() ? "file://" : "";
    for (unsigned char c : path) {
        if (std::isalnum(c) || std::strchr("/-._~!$&'()*+,;=:@", c) != nullptr) {
            text += static_cast<char>(c);
        } else {
            text += '%';
            text += hex[c >> 4];
            text += hex[c & 15];
        }
    }
    if (isDirectory && path != "/") text += '/';
    return text;
}

CFTypeID CFURLGetTypeID(void) { return kURLTypeID; }

CFURLRef CFURLCreateWithFileSystemPath(CFAllocatorRef, CFStringRef filePath, CFURLPathStyle pathStyle,
                                       Boolean isDirectory) {
    if (pathStyle != kCFURLPOSIXPathStyle || CFGetTypeID(filePath) != kStringTypeID) return nullptr;
    return makeURL(stringText(filePath), isDirectory, std::string());
}

CFURLRef CFURLCreateFromFileSystemRepresentation(CFAllocatorRef, const UInt8* buffer, CFIndex bufLen,
                                                 Boolean isDirectory) {
    if (buffer == nullptr || bufLen <= 0) return nullptr;
    const auto* text = reinterpret_cast<const char*>(buffer);
    // The representation may carry its terminating zero within bufLen.
    return makeURL(std::string(text, strnlen(text, static_cast<size_t>(bufLen))), isDirectory, std::string());
}

CFURLRef CFURLCreateWithString(CFAllocatorRef, CFStringRef URLString, CFURLRef baseURL) {
    if (CFGetTypeID(URLString) != kStringTypeID) return nullptr;
    const std::string& text = stringText(URLString);
    const __CFURL* base = as<__CFURL>(baseURL);
    std::string encoded;
    if (text.compare(0, 7, "file://") == 0) {
        encoded = text.substr(7);
        if (encoded.compare(0, 9, "localhost") == 0) encoded.erase(0, 9);
        if (encoded.empty() || encoded[0] != '/') return nullptr;
    } else if (base != nullptr && text.find(':') == std::string::npos) {
        encoded = text;
    } else {
        return nullptr;
    }
    std::string path;
    for (size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '%') {
            if (i + 2 >= encoded.size() || !std::isxdigit(static_cast<unsigned char>(encoded[i + 1])) ||
                !std::isxdigit(static_cast<unsigned char>(encoded[i + 2])))
                return nullptr;
            const int byte = std::stoi(encoded.substr(i + 1, 2), nullptr, 16);
            if (byte == 0) return nullptr;  // no path holds a zero byte
            path += static_cast<char>(byte);
            i += 2;
        } else {
            path += encoded[i];
        }
    }
    const bool isDirectory = path.size() > 1 && path.back() == '/';
    if (path[0] != '/' && base != nullptr) {
        std::string folder = base->absolutePath();
        if (!base->isDirectory) folder = folder.substr(0, std::max<size_t>(1, lastSlash(folder)));
        path = (folder == "/" ? "/" : folder + "/") + path;
    }
    return makeURL(path, isDirectory, std::string());
}

CFURLRef CFURLCopyAbsoluteURL(CFURLRef relativeURL) {
    const __CFURL* u = as<__CFURL>(relativeURL);
    if (u == nullptr) return nullptr;
    if (u->base.empty()) return static_cast<CFURLRef>(CFRetain(u));
    return new __CFURL(normalized(u->absolutePath()), std::string(), u->isDirectory);
}

CFStringRef CFURLCopyFileSystemPath(CFURLRef anURL, CFURLPathStyle pathStyle) {
    const __CFURL* u = as<__CFURL>(anURL);
    if (u == nullptr || pathStyle != kCFURLPOSIXPathStyle) return nullptr;
    return createString(u->path);
}

Boolean CFURLGetFileSystemRepresentation(CFURLRef url, Boolean resolveAgainstBase, UInt8* buffer, CFIndex maxBufLen) {
    const __CFURL* u = as<__CFURL>(url);
    if (u == nullptr || buffer == nullptr || maxBufLen <= 0) return false;
    const std::string text = resolveAgainstBase ? u->absolutePath() : u->path;
    if (static_cast<CFIndex>(text.size()) + 1 > maxBufLen) {
        buffer[0] = 0;
        return false;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

CFStringRef CFURLGetString(CFURLRef anURL) {
    const __CFURL* u = as<__CFURL>(anURL);
    return u != nullptr ? u->string : nullptr;
}

Boolean CFURLHasDirectoryPath(CFURLRef anURL) {
    const __CFURL* u = as<__CFURL>(anURL);
    return u != nullptr && u->isDirectory;
}

CFStringRef CFURLCopyLastPathComponent(CFURLRef url) {
    const __CFURL* u = as<__CFURL>(url);
    return u != nullptr ? createString(lastComponent(u->path)) : nullptr;
}

CFStringRef CFURLCopyPathExtension(CFURLRef url) {
    const __CFURL* u = as<__CFURL>(url);
    if (u == nullptr) return nullptr;
    const size_t dot = extensionDot(u->path);
    return dot == std::string::npos ? nullptr : createString(u->path.substr(dot + 1));
}

CFURLRef CFURLCreateCopyAppendingPathComponent(CFAllocatorRef, CFURLRef url, CFStringRef pathComponent,
                                               Boolean isDirectory) {
    const __CFURL* u = as<__CFURL>(url);
    if (u == nullptr || CFGetTypeID(pathComponent) != kStringTypeID) return nullptr;
    const std::string& component = stringText(pathComponent);
    if (component.empty()) return static_cast<CFURLRef>(CFRetain(u));
    return makeURL(u->path == "/" ? "/" + component : u->path + "/" + component, isDirectory, u->base);
}

// "/a/b/c" gives "/a/b/"; the root stays the root; a relative path runs up
// into "." and "..".
CFURLRef CFURLCreateCopyDeletingLastPathComponent(CFAllocatorRef, CFURLRef url) {
    const __CFURL* u = as<__CFURL>(url);
    if (u == nullptr) return nullptr;
    const std::string& path = u->path;
    std::string parent;
    if (path == "/") parent = "/";
    else if (lastComponent(path) == "..") parent = path + "/..";
    else if (path == ".") parent = "..";
    else {
        const size_t slash = lastSlash(path);
        parent = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    }
    return makeURL(parent, true, u->base);
}

CFURLRef CFURLCreateCopyAppendingPathExtension(CFAllocatorRef, CFURLRef url, CFStringRef extension) {
    const __CFURL* u = as<__CFURL>(url);
    if (u == nullptr || CFGetTypeID(extension) != kStringTypeID || u->path == "/") return nullptr;
    return makeURL(u->path + "." + stringText(extension), u->isDirectory, u->base);
}

CFURLRef CFURLCreateCopyDeletingPathExtension(CFAllocatorRef, CFURLRef url) {
    const __CFURL* u = as<__CFURL>(url);
    if (u == nullptr) return nullptr;
    const size_t dot = extensionDot(u->path);
    if (dot == std::string::npos) return static_cast<CFURLRef>(CFRetain(u));
    return makeURL(u->path.substr(0, dot), u->isDirectory, u->base);
}

Boolean CFURLResourceIsReachable(CFURLRef url, void*) {
    const __CFURL* u = as<__CFURL>(url);
    struct stat info;
    return u != nullptr && stat(u->absolutePath().c_str(), &info) == 0;
}
