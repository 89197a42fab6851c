// libFuzzer target: arbitrary bytes as an XML property list. Whatever parses
// must write back to XML and read again as an equal value. The same bytes
// also go through the component registry's reading of a bundle's Info.plist,
// which must refuse with a reason or keep only complete declarations.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/cf/CoreFoundation.h"
#include "platform/components/ComponentDeclarations.h"

namespace {

void readAsInfoPlist(const uint8_t* bytes, size_t size) {
    gravel_components::BundleDeclarations declarations;
    std::string reason;
    if (!gravel_components::readBundleDeclarations(bytes, size, declarations, reason)) {
        if (reason.empty() || !declarations.components.empty()) __builtin_trap();
        return;
    }
    for (const auto& component : declarations.components)
        if (component.name.empty() || component.entryName.empty()) __builtin_trap();
    for (const std::string& problem : declarations.problems)
        if (problem.empty()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    readAsInfoPlist(bytes, size);
    CFDataRef data = CFDataCreate(nullptr, bytes, static_cast<CFIndex>(size));
    CFErrorRef error = nullptr;
    CFPropertyListRef plist =
        CFPropertyListCreateWithData(nullptr, data, kCFPropertyListMutableContainersAndLeaves, nullptr, &error);
    CFRelease(data);
    if (plist == nullptr) {
        if (error == nullptr) __builtin_trap();  // a failure must say why
        CFStringRef text = CFErrorCopyDescription(error);
        if (text == nullptr) __builtin_trap();
        CFRelease(text);
        CFRelease(error);
        return 0;
    }
    if (!CFPropertyListIsValid(plist, kCFPropertyListXMLFormat_v1_0)) __builtin_trap();
    CFDataRef xml = CFPropertyListCreateXMLData(nullptr, plist);
    if (xml == nullptr) __builtin_trap();
    CFPropertyListRef again = CFPropertyListCreateWithData(nullptr, xml, kCFPropertyListImmutable, nullptr, nullptr);
    if (again == nullptr || !CFEqual(plist, again)) __builtin_trap();
    CFRelease(again);
    CFRelease(xml);
    CFRelease(plist);
    return 0;
}
