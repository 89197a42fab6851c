#include "platform/files/FileServices.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace gravel_files {
namespace {

OSStatus statusOf(const std::error_code& error) {
    if (!error) return noErr;
    if (error == std::errc::no_such_file_or_directory || error == std::errc::not_a_directory) return fnfErr;
    if (error == std::errc::file_exists) return dupFNErr;
    if (error == std::errc::directory_not_empty) return fBsyErr;
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted) return permErr;
    return ioErr;
}

// The item's path when the name may be used in the folder.
OSStatus pathIn(const std::string& folder, const std::string& name, fs::path& path) {
    if (!isValidItemName(name)) return bdNamErr;
    std::error_code error;
    if (!fs::is_directory(folder, error)) return fnfErr;
    path = fs::path(folder) / name;
    return noErr;
}

std::string extensionOf(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot + 1);
}

OSStatus writeBytes(const std::string& path, const void* bytes, std::size_t count, std::ios::openmode mode) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) return fs::exists(path, error) ? OSStatus{ioErr} : OSStatus{fnfErr};
    std::ofstream stream(path, std::ios::binary | mode);
    if (!stream) return errno == EACCES ? permErr : ioErr;
    if (count > 0) stream.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(count));
    stream.flush();
    if (!stream) return ioErr;
    return noErr;
}

}  // namespace

bool isValidItemName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

OSStatus findItem(const std::string& folder, const std::string& name, std::string& itemPath) {
    fs::path path;
    const OSStatus status = pathIn(folder, name, path);
    if (status != noErr) return status;
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error))) return fnfErr;
    itemPath = path.string();
    return noErr;
}

OSStatus createFile(const std::string& folder, const std::string& name, std::string& filePath) {
    fs::path path;
    const OSStatus status = pathIn(folder, name, path);
    if (status != noErr) return status;
    // "x": fails when anything of that name exists, without a window between check and create.
    std::FILE* file = std::fopen(path.c_str(), "wbx");
    if (file == nullptr) return errno == EEXIST ? dupFNErr : errno == EACCES ? permErr : ioErr;
    std::fclose(file);
    filePath = path.string();
    return noErr;
}

OSStatus createFolder(const std::string& folder, const std::string& name, std::string& folderPath) {
    fs::path path;
    const OSStatus status = pathIn(folder, name, path);
    if (status != noErr) return status;
    std::error_code error;
    if (fs::exists(fs::symlink_status(path, error))) return dupFNErr;
    if (!fs::create_directory(path, error)) return error ? statusOf(error) : dupFNErr;
    folderPath = path.string();
    return noErr;
}

OSStatus deleteItem(const std::string& path) {
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error))) return fnfErr;
    fs::remove(path, error);  // a folder only when empty
    return statusOf(error);
}

OSStatus readFile(const std::string& path, std::vector<UInt8>& contents) {
    std::error_code error;
    if (!fs::is_regular_file(path, error)) return fs::exists(path, error) ? OSStatus{ioErr} : OSStatus{fnfErr};
    std::ifstream stream(path, std::ios::binary);
    if (!stream) return errno == EACCES ? permErr : ioErr;
    contents.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    if (stream.bad()) return ioErr;
    return noErr;
}

OSStatus writeFile(const std::string& path, const void* bytes, std::size_t count) {
    return writeBytes(path, bytes, count, std::ios::trunc);
}

OSStatus appendToFile(const std::string& path, const void* bytes, std::size_t count) {
    return writeBytes(path, bytes, count, std::ios::app);
}

OSStatus listPlainVisibleFiles(const std::string& folder, std::vector<FolderItem>& items) {
    items.clear();
    std::error_code error;
    if (!fs::is_directory(folder, error)) return fnfErr;
    fs::directory_iterator it(folder, error);
    if (error) return statusOf(error);
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
        if (error) return statusOf(error);
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (name.empty() || name[0] == '.' || !it->is_regular_file(typeError)) continue;
        items.push_back({name, it->path().string(), extensionOf(name), 0});
    }
    if (error) return statusOf(error);
    std::sort(items.begin(), items.end(), [](const FolderItem& a, const FolderItem& b) { return a.name < b.name; });
    return noErr;
}

OSStatus findAudioUnitSupportFolder(short domain, std::string& folder) {
    std::string path;
    if (domain == kUserDomain) {
        if (const char* given = std::getenv("AU_USER_SUPPORT")) {
            path = given;
        } else {
            const char* home = std::getenv("HOME");
            if (home == nullptr || *home == '\0') return fnfErr;
            path = std::string(home) + "/.local/share/AudioUnit";
        }
    } else if (domain == kLocalDomain) {
        const char* given = std::getenv("AU_LOCAL_SUPPORT");
        path = given != nullptr ? given : "/usr/local/share/AudioUnit";
    } else {
        return paramErr;
    }
    std::error_code error;
    if (path.empty() || !fs::is_directory(path, error)) return fnfErr;
    folder = path;
    return noErr;
}

}  // namespace gravel_files
