#include "wrapper/TandemCF.h"

#include "hosting/TandemException.h"

CFTypeRef dictionaryValue(CFDictionaryRef dictionary, const char* key)
{
    ScopedCFRef<CFStringRef> keyString(
        CFStringCreateWithCString(kCFAllocatorDefault, key, kCFStringEncodingMacRoman));
    CFTypeRef value = dictionary && keyString.get() ? CFDictionaryGetValue(dictionary, keyString.get()) : nullptr;
    if (!value)
        throw TandemException("Missing key in dictionary");
    return value;
}

CFTypeRef dictionaryValueOfType(CFDictionaryRef dictionary, const char* key, CFTypeID type)
{
    CFTypeRef value = dictionaryValue(dictionary, key);
    if (CFGetTypeID(value) != type)
        throw FormatException("Value in dictionary is not of expected type");
    return value;
}

bool dictionaryBoolean(CFDictionaryRef dictionary, const char* key)
{
    return CFBooleanGetValue(
               static_cast<CFBooleanRef>(dictionaryValueOfType(dictionary, key, CFBooleanGetTypeID()))) != 0;
}

std::string cfStringText(CFTypeRef string)
{
    if (!string || CFGetTypeID(string) != CFStringGetTypeID())
        return "?";
    CFStringRef text = static_cast<CFStringRef>(string);
    if (const char* direct = CFStringGetCStringPtr(text, kCFStringEncodingMacRoman))
        return direct;
    char buffer[1024];
    if (!CFStringGetCString(text, buffer, sizeof buffer, kCFStringEncodingMacRoman))
        return "?";
    return buffer;
}

