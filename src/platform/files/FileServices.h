// Files and folders for the AudioUnit side: what it needs of the File
// Manager, the Folder Manager and Launch Services, as a small interface over
// std::filesystem. Paths are UTF-8. A name is one path component: a name that
// is empty, holds "/" or NUL, or is "." or "..", is refused with bdNamErr, so
// nothing the wrapper is given can reach outside the folder it names.
// Every call returns noErr or a Mac error code: fnfErr (-43) for a missing
// item or folder, dupFNErr (-48) for an item that exists already, bdNamErr
// (-37) for a refused name, fBsyErr (-47) for a folder that is not empty,
// permErr (-54) when access is denied, ioErr (-36) for any other failure.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "../include/CoreServices/CoreServices.h"

#define GRAVEL_FILES_EXPORT __attribute__((visibility("default")))

namespace gravel_files {

GRAVEL_FILES_EXPORT bool isValidItemName(const std::string& name);

// The path of the item `name` in `folder`; fnfErr when there is none (or the
// folder is missing).
GRAVEL_FILES_EXPORT OSStatus findItem(const std::string& folder, const std::string& name, std::string& itemPath);

// An empty file, or a folder, named `name` in `folder`; dupFNErr when an item
// of that name exists, fnfErr when the folder does not.
GRAVEL_FILES_EXPORT OSStatus createFile(const std::string& folder, const std::string& name, std::string& filePath);
GRAVEL_FILES_EXPORT OSStatus createFolder(const std::string& folder, const std::string& name,
                                          std::string& folderPath);

// A file, or an empty folder (fBsyErr otherwise).
GRAVEL_FILES_EXPORT OSStatus deleteItem(const std::string& path);

// The whole file.
GRAVEL_FILES_EXPORT OSStatus readFile(const std::string& path, std::vector<UInt8>& contents);
// Replaces the file's contents with these bytes, writing from its start; the
// file must exist (fnfErr otherwise).
GRAVEL_FILES_EXPORT OSStatus writeFile(const std::string& path, const void* bytes, std::size_t count);
// Adds the bytes at the end of an existing file.
GRAVEL_FILES_EXPORT OSStatus appendToFile(const std::string& path, const void* bytes, std::size_t count);

struct FolderItem {
    std::string name;       // one path component
    std::string path;       // folder + "/" + name
    std::string extension;  // what follows the last "." of a name that does not start with it; "" when none
    OSType fileType;        // Mac file type code: always 0, Linux files carry none
};

// The folder's plain visible files (regular files, or links to them, whose
// names do not begin with "."), in name order. Folders, devices and hidden
// files are left out.
GRAVEL_FILES_EXPORT OSStatus listPlainVisibleFiles(const std::string& folder, std::vector<FolderItem>& items);

// The AudioUnit support folder of kUserDomain (AU_USER_SUPPORT, else
// ~/.local/share/AudioUnit) or kLocalDomain (AU_LOCAL_SUPPORT, else
// /usr/local/share/AudioUnit). Never created: fnfErr when it does not exist,
// paramErr for another domain.
GRAVEL_FILES_EXPORT OSStatus findAudioUnitSupportFolder(short domain, std::string& folder);

}  // namespace gravel_files
