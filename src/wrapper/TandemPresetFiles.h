#pragma once

// What the preset store's files share: strings, dictionary numbers, the XML
// of a preset, and writing a file so that a failure leaves the old one.

#include "platform/files/FileServices.h"

#include <CoreFoundation/CoreFoundation.h>

#include <string>

CFStringRef createPresetString(const char* text);
// A file name (UTF-8) as the string a host shows; bytes that are not UTF-8
// are taken as Mac Roman.
CFStringRef createStringFromFileName(const std::string& name);
void setPresetNumber(CFMutableDictionaryRef dictionary, const char* key, SInt32 value);
std::string trimSpaces(const std::string& text);
bool hasExtension(const gravel_files::FolderItem& item, const char* extension);
std::string createPresetXML(CFPropertyListRef preset);
// Written beside the old file and renamed over it.
void replaceFileContents(const std::string& folder, const std::string& name, const std::string& contents);
