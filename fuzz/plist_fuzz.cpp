// libFuzzer target: arbitrary bytes as an XML property list. Whatever parses
// must write back to XML and read again as an equal value.
#include <cstddef>
#include <cstdint>

#include "platform/cf/CoreFoundation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
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
