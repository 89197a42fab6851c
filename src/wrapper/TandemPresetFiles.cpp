// Strings, numbers and files of the preset store.

#include "wrapper/TandemPresetFiles.h"

#include "wrapper/TandemCF.h"
#include "hosting/TandemException.h"
#include "wrapper/TandemPresets.h"

#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

CFStringRef createPresetString(const char* text)
{
    CFStringRef string = CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingMacRoman);
    if (!string)
        throw TandemException("Could not create string");
    return string;
}

CFStringRef createStringFromFileName(const std::string& name)
{
    CFStringRef string = CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(name.data()),
                                                 CFIndex(name.size()), kCFStringEncodingUTF8, false);
    if (!string)
        string = CFStringCreateWithBytes(kCFAllocatorDefault, reinterpret_cast<const UInt8*>(name.data()),
                                         CFIndex(name.size()), kCFStringEncodingMacRoman, false);
    if (!string)
        throw TandemException("Could not create string");
    return string;
}

void setPresetNumber(CFMutableDictionaryRef dictionary, const char* key, SInt32 value)
{
    ScopedCFRef<CFStringRef> keyString(createPresetString(key));
    ScopedCFRef<CFNumberRef> number(CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &value));
    CFDictionarySetValue(dictionary, keyString.get(), number.get());
}

std::string trimSpaces(const std::string& text)
{
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool hasExtension(const gravel_files::FolderItem& item, const char* extension)
{
    return strcasecmp(item.extension.c_str(), extension) == 0;
}

std::string safePresetItemName(const std::string& name)
{
    std::string safe = name;
    for (char& c : safe)
        if (c == '/' || c == '\0')
            c = '-';
    // "." and ".." name folders, and a leading "." hides the file.
    if (!safe.empty() && safe[0] == '.')
        safe.insert(0, "_");
    return safe;
}

std::string createPresetXML(CFPropertyListRef preset)
{
    ScopedCFRef<CFDataRef> xml(CFPropertyListCreateXMLData(kCFAllocatorDefault, preset));
    if (!xml.get())
        throw TandemException("Could not create XML data from property list");
    return std::string(reinterpret_cast<const char*>(CFDataGetBytePtr(xml.get())), size_t(CFDataGetLength(xml.get())));
}

void replaceFileContents(const std::string& folder, const std::string& name, const std::string& contents)
{
    // Written beside the old file and renamed over it: a write that fails
    // leaves the file that was there as it was.
    if (!gravel_files::isValidItemName(name))
        throw MacOSException(bdNamErr);
    // Hidden, so folder listings pass it over, and short enough for any name.
    const std::string temporaryName = "." + name.substr(0, 200) + "." + std::to_string(getpid()) + ".tmp";
    std::string temporaryPath = folder + "/" + temporaryName;
    gravel_files::deleteItem(temporaryPath); // left by a process that died writing it
    OSStatus status = gravel_files::createFile(folder, temporaryName, temporaryPath);
    if (status != noErr)
        throw MacOSException(status);
    status = gravel_files::writeFile(temporaryPath, contents.data(), contents.size());
    if (status == noErr && std::rename(temporaryPath.c_str(), (folder + "/" + name).c_str()) != 0)
        status = errno == EACCES || errno == EPERM ? permErr : ioErr;
    if (status != noErr) {
        gravel_files::deleteItem(temporaryPath);
        throw MacOSException(status);
    }
}

