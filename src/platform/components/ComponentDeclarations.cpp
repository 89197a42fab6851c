#include "platform/components/ComponentDeclarations.h"

#include "CoreFoundation/CoreFoundation.h"

namespace gravel_components {
namespace {

std::string utf8(CFStringRef string) {
    const CFIndex length = CFStringGetLength(string);
    std::string text(static_cast<std::size_t>(CFStringGetMaximumSizeForEncoding(length, kCFStringEncodingUTF8)) + 1, '\0');
    if (!CFStringGetCString(string, &text[0], static_cast<CFIndex>(text.size()), kCFStringEncodingUTF8)) return {};
    text.resize(std::char_traits<char>::length(text.c_str()));
    return text;
}

// Four characters that Mac Roman can hold, most significant first.
bool readFourCharCode(CFDictionaryRef declaration, const char* key, OSType& code, std::string& problem) {
    CFStringRef keyString = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFTypeRef value = CFDictionaryGetValue(declaration, keyString);
    CFRelease(keyString);
    char characters[8] = {};
    if (CFGetTypeID(value) != CFStringGetTypeID() || CFStringGetLength(static_cast<CFStringRef>(value)) != 4 ||
        !CFStringGetCString(static_cast<CFStringRef>(value), characters, sizeof characters, kCFStringEncodingMacRoman)) {
        problem = std::string("\"") + key + "\" is not a four-character string";
        return false;
    }
    code = GRAVEL_FOUR_CC(characters[0], characters[1], characters[2], characters[3]);
    return true;
}

bool readString(CFDictionaryRef declaration, const char* key, bool required, std::string& text, std::string& problem) {
    CFStringRef keyString = CFStringCreateWithCString(nullptr, key, kCFStringEncodingUTF8);
    CFTypeRef value = CFDictionaryGetValue(declaration, keyString);
    CFRelease(keyString);
    if (value == nullptr && !required) return true;
    if (CFGetTypeID(value) != CFStringGetTypeID()) {
        problem = std::string("\"") + key + "\" is missing or not a string";
        return false;
    }
    text = utf8(static_cast<CFStringRef>(value));
    if (required && text.empty()) {
        problem = std::string("\"") + key + "\" is empty";
        return false;
    }
    return true;
}

bool readVersion(CFDictionaryRef declaration, UInt32& version, std::string& problem) {
    CFTypeRef value = CFDictionaryGetValue(declaration, CFSTR("version"));
    SInt64 number = -1;
    if (CFGetTypeID(value) != CFNumberGetTypeID() || CFNumberIsFloatType(static_cast<CFNumberRef>(value)) ||
        !CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt64Type, &number) || number < 0 ||
        number > 0xFFFFFFFFLL) {
        problem = "\"version\" is not an integer from 0 to 4294967295";
        return false;
    }
    version = static_cast<UInt32>(number);
    return true;
}

bool readDeclaration(CFTypeRef value, ComponentDeclaration& declaration, std::string& problem) {
    if (CFGetTypeID(value) != CFDictionaryGetTypeID()) {
        problem = "it is not a dictionary";
        return false;
    }
    auto dictionary = static_cast<CFDictionaryRef>(value);
    declaration = ComponentDeclaration{};
    return readFourCharCode(dictionary, "type", declaration.description.componentType, problem) &&
           readFourCharCode(dictionary, "subtype", declaration.description.componentSubType, problem) &&
           readFourCharCode(dictionary, "manufacturer", declaration.description.componentManufacturer, problem) &&
           readString(dictionary, "name", true, declaration.name, problem) &&
           readVersion(dictionary, declaration.version, problem) &&
           readString(dictionary, "factoryFunction", true, declaration.entryName, problem) &&
           readString(dictionary, "description", false, declaration.information, problem);
}

}  // namespace

bool readBundleDeclarations(const void* infoPlistBytes, std::size_t size, BundleDeclarations& result,
                            std::string& reason) {
    result = BundleDeclarations{};
    CFDataRef data = CFDataCreate(nullptr, static_cast<const UInt8*>(infoPlistBytes), static_cast<CFIndex>(size));
    CFErrorRef error = nullptr;
    CFPropertyListRef plist = CFPropertyListCreateWithData(nullptr, data, kCFPropertyListImmutable, nullptr, &error);
    CFRelease(data);
    if (plist == nullptr) {
        CFStringRef text = error != nullptr ? CFErrorCopyDescription(error) : nullptr;
        reason = "its Info.plist is not a readable property list";
        if (text != nullptr) reason += " (" + utf8(text) + ")";
        if (text != nullptr) CFRelease(text);
        if (error != nullptr) CFRelease(error);
        return false;
    }
    bool declaresComponents = false;
    if (CFGetTypeID(plist) != CFDictionaryGetTypeID()) {
        reason = "its Info.plist does not hold a dictionary";
    } else {
        auto info = static_cast<CFDictionaryRef>(plist);
        CFTypeRef executable = CFDictionaryGetValue(info, kCFBundleExecutableKey);
        if (CFGetTypeID(executable) == CFStringGetTypeID()) result.executableName = utf8(static_cast<CFStringRef>(executable));
        CFTypeRef components = CFDictionaryGetValue(info, CFSTR("AudioComponents"));
        if (CFGetTypeID(components) != CFArrayGetTypeID()) {
            reason = "its Info.plist has no \"AudioComponents\" array";
        } else {
            declaresComponents = true;
            auto array = static_cast<CFArrayRef>(components);
            for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
                ComponentDeclaration declaration;
                std::string problem;
                if (readDeclaration(CFArrayGetValueAtIndex(array, i), declaration, problem))
                    result.components.push_back(std::move(declaration));
                else
                    result.problems.push_back("AudioComponents item " + std::to_string(i) + " left out: " + problem);
            }
        }
    }
    CFRelease(plist);
    return declaresComponents;
}

}  // namespace gravel_components
