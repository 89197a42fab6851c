// XML property lists: exact round trips, mutability, and the error text a
// damaged document gives.
#include <gtest/gtest.h>

#include <string>

#include "platform/cf/CoreFoundation.h"

using namespace std::string_literals;

namespace {

std::string utf8(CFStringRef s) {
    char buffer[2048];
    return CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8) ? buffer : "<not convertible>";
}

CFDataRef dataOf(const std::string& text) {
    return CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(text.data()), static_cast<CFIndex>(text.size()));
}

void setNumber(CFMutableDictionaryRef d, CFStringRef key, CFNumberType type, const void* value) {
    CFNumberRef n = CFNumberCreate(nullptr, type, value);
    CFDictionarySetValue(d, key, n);
    CFRelease(n);
}

// A preset-like dictionary with every value type, nesting and awkward text.
CFMutableDictionaryRef makeSample() {
    CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                         &kCFTypeDictionaryValueCallBacks);
    const SInt32 version = 0, type = 0x61756678, negative = -5, maximum = INT32_MAX;
    const SInt64 wide = -(1LL << 50);
    const double tenth = 0.1, third = 1.0 / 3.0, huge = 1e300;
    setNumber(d, CFSTR("version"), kCFNumberSInt32Type, &version);
    setNumber(d, CFSTR("type"), kCFNumberSInt32Type, &type);
    setNumber(d, CFSTR("negative"), kCFNumberSInt32Type, &negative);
    setNumber(d, CFSTR("maximum"), kCFNumberSInt32Type, &maximum);
    setNumber(d, CFSTR("wide"), kCFNumberSInt64Type, &wide);
    setNumber(d, CFSTR("tenth"), kCFNumberFloat64Type, &tenth);
    setNumber(d, CFSTR("third"), kCFNumberFloat64Type, &third);
    setNumber(d, CFSTR("huge"), kCFNumberFloat64Type, &huge);
    CFDictionarySetValue(d, CFSTR("fat"), kCFBooleanTrue);
    CFDictionarySetValue(d, CFSTR("bypass"), kCFBooleanFalse);
    CFStringRef name = CFStringCreateWithCString(nullptr, "Gr\x9F\xA7" "e \xAA <&> \"'", kCFStringEncodingMacRoman);
    CFDictionarySetValue(d, CFSTR("name"), name);
    CFRelease(name);
    CFDictionarySetValue(d, CFSTR("empty"), CFSTR(""));
    CFDictionarySetValue(d, CFSTR("key with <&> and spaces"), CFSTR("  padded  "));

    UInt8 bytes[1000];
    for (int i = 0; i < 1000; ++i) bytes[i] = static_cast<UInt8>(i * 7 + (i >> 3));
    CFDataRef data = CFDataCreate(nullptr, bytes, sizeof bytes);
    CFDictionarySetValue(d, CFSTR("vstdata"), data);
    CFRelease(data);
    CFDataRef none = CFDataCreate(nullptr, nullptr, 0);
    CFDictionarySetValue(d, CFSTR("nodata"), none);
    CFRelease(none);

    CFMutableArrayRef list = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFMutableDictionaryRef inner = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                             &kCFTypeDictionaryValueCallBacks);
    CFArrayRef empty = CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks);
    CFDictionarySetValue(inner, CFSTR("deeper"), empty);
    CFArrayAppendValue(list, CFSTR("first"));
    CFArrayAppendValue(list, inner);
    CFArrayAppendValue(list, empty);
    CFRelease(empty);
    CFDictionarySetValue(d, CFSTR("list"), list);
    CFRelease(inner);
    CFRelease(list);
    CFDateRef date = CFDateCreate(nullptr, 123456789.0);  // XML keeps whole seconds
    CFDictionarySetValue(d, CFSTR("date"), date);
    CFRelease(date);
    return d;
}

TEST(CFPropertyList, XMLRoundTripGivesAnEqualDictionary) {
    CFMutableDictionaryRef original = makeSample();
    ASSERT_TRUE(CFPropertyListIsValid(original, kCFPropertyListXMLFormat_v1_0));
    CFDataRef xml = CFPropertyListCreateXMLData(nullptr, original);
    ASSERT_NE(nullptr, xml);
    const std::string text(reinterpret_cast<const char*>(CFDataGetBytePtr(xml)), CFDataGetLength(xml));
    EXPECT_EQ(0u, text.find("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    EXPECT_NE(std::string::npos, text.find("<plist version=\"1.0\">"));
    EXPECT_LT(text.find("<key>bypass</key>"), text.find("<key>version</key>")) << "keys are written sorted";

    CFStringRef error = nullptr;
    CFPropertyListRef back = CFPropertyListCreateFromXMLData(nullptr, xml, kCFPropertyListImmutable, &error);
    ASSERT_NE(nullptr, back) << utf8(error);
    EXPECT_EQ(nullptr, error);
    EXPECT_TRUE(CFEqual(original, back));

    // The values keep their meaning, not just equality.
    auto dict = static_cast<CFDictionaryRef>(back);
    SInt32 type = 0;
    EXPECT_TRUE(CFNumberGetValue(static_cast<CFNumberRef>(CFDictionaryGetValue(dict, CFSTR("type"))),
                                 kCFNumberSInt32Type, &type));
    EXPECT_EQ(0x61756678, type);
    char macRoman[64];
    ASSERT_TRUE(CFStringGetCString(static_cast<CFStringRef>(CFDictionaryGetValue(dict, CFSTR("name"))), macRoman,
                                   sizeof macRoman, kCFStringEncodingMacRoman));
    EXPECT_STREQ("Gr\x9F\xA7" "e \xAA <&> \"'", macRoman);
    EXPECT_EQ(1000, CFDataGetLength(static_cast<CFDataRef>(CFDictionaryGetValue(dict, CFSTR("vstdata")))));

    // Writing the same dictionary again gives the same bytes.
    CFDataRef again = CFPropertyListCreateData(nullptr, back, kCFPropertyListXMLFormat_v1_0, 0, nullptr);
    EXPECT_TRUE(CFEqual(xml, again));
    CFRelease(again);
    CFRelease(back);
    CFRelease(xml);
    CFRelease(original);
}

TEST(CFPropertyList, MutabilityOptionsAndDeepCopy) {
    CFMutableDictionaryRef original = makeSample();
    CFDataRef xml = CFPropertyListCreateXMLData(nullptr, original);

    CFPropertyListRef frozen = CFPropertyListCreateWithData(nullptr, xml, kCFPropertyListImmutable, nullptr, nullptr);
    const CFIndex count = CFDictionaryGetCount(static_cast<CFDictionaryRef>(frozen));
    CFDictionarySetValue(const_cast<CFMutableDictionaryRef>(static_cast<CFDictionaryRef>(frozen)), CFSTR("x"),
                         kCFBooleanTrue);
    EXPECT_EQ(count, CFDictionaryGetCount(static_cast<CFDictionaryRef>(frozen)));

    CFPropertyListFormat format = 0;
    CFPropertyListRef editable =
        CFPropertyListCreateWithData(nullptr, xml, kCFPropertyListMutableContainers, &format, nullptr);
    EXPECT_EQ(kCFPropertyListXMLFormat_v1_0, format);
    auto editableDict = const_cast<CFMutableDictionaryRef>(static_cast<CFDictionaryRef>(editable));
    CFDictionarySetValue(editableDict, CFSTR("x"), kCFBooleanTrue);
    EXPECT_EQ(count + 1, CFDictionaryGetCount(editableDict));
    auto list = const_cast<CFMutableArrayRef>(static_cast<CFArrayRef>(CFDictionaryGetValue(editableDict, CFSTR("list"))));
    CFArrayAppendValue(list, CFSTR("more"));
    EXPECT_EQ(4, CFArrayGetCount(list)) << "nested containers are mutable too";

    CFPropertyListRef copy = CFPropertyListCreateDeepCopy(nullptr, original, kCFPropertyListMutableContainersAndLeaves);
    EXPECT_TRUE(CFEqual(copy, original));
    auto copiedList = static_cast<CFArrayRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(copy), CFSTR("list")));
    EXPECT_NE(copiedList, CFDictionaryGetValue(original, CFSTR("list"))) << "a deep copy shares no container";
    CFStringAppend(const_cast<CFMutableStringRef>(static_cast<CFStringRef>(CFArrayGetValueAtIndex(copiedList, 0))),
                   CFSTR("!"));
    EXPECT_FALSE(CFEqual(copy, original));

    CFRelease(copy);
    CFRelease(editable);
    CFRelease(frozen);
    CFRelease(xml);
    CFRelease(original);
}

TEST(CFPropertyList, DamagedXMLGivesAnErrorTextWithTheLine) {
    struct Case {
        std::string xml;
        const char* expected;  // part of the error text
    } cases[] = {
        {"", "empty"},
        {"<plist version=\"1.0\">\n<dict>\n<key>a</key>\n<string>x</string>\n", "line"},
        {"<plist>\n<dict>\n<key>a</key><string>x</dict>\n</plist>", "mismatched tag </dict>"},
        {"<plist><dict><key>a</key><widget/></dict></plist>", "unknown tag <widget>"},
        {"<plist><dict><key>a</key><integer>x</integer></dict></plist>", "misformatted integer"},
        {"<plist><real>1.5.5</real></plist>", "misformatted real"},
        {"<plist><dict><key>a</key><string>x</string>", "not closed"},
        {"<plist><string>a\0b</string></plist>"s, "NUL"},
        // XML cannot carry U+0000 anywhere, so no hiding place lets one through.
        {"<plist><string><![CDATA[a\0b]]></string></plist>"s, "NUL"},
        {"<plist><dict><key><![CDATA[\0]]></key><true/></dict></plist>"s, "NUL"},
        {"<plist><!-- \0 --><true/></plist>"s, "NUL"},
        {"<plist><string a=\"\0\">x</string></plist>"s, "NUL"},
        {"<?xml version=\"1.0\0\"?><plist><true/></plist>"s, "NUL"},
        {"hello world", "outside any element"},
        {"bplist00\x01\x02", "Binary"},
        {"<plist version=\"1.0\"></plist>", "No property list"},
        {"<plist><dict><key>a</key><string>x</string></dict></plist></plist>", "no open element"},
    };
    for (const Case& c : cases) {
        CFDataRef data = dataOf(c.xml);
        CFErrorRef error = nullptr;
        CFPropertyListRef result = CFPropertyListCreateWithData(nullptr, data, 0, nullptr, &error);
        EXPECT_EQ(nullptr, result) << c.xml;
        ASSERT_NE(nullptr, error) << c.xml;
        EXPECT_EQ(kCFPropertyListReadCorruptError, CFErrorGetCode(error));
        EXPECT_TRUE(CFEqual(kCFErrorDomainCocoa, CFErrorGetDomain(error)));
        CFStringRef description = CFErrorCopyDescription(error);
        EXPECT_NE(std::string::npos, utf8(description).find(c.expected)) << c.xml << " gave: " << utf8(description);
        CFRelease(description);
        CFRelease(error);
        CFRelease(result);

        CFStringRef errorString = nullptr;
        EXPECT_EQ(nullptr, CFPropertyListCreateFromXMLData(nullptr, data, 0, &errorString));
        EXPECT_NE(nullptr, errorString);
        CFRelease(errorString);
        CFRelease(data);
    }

    // Quoted document text stays one printable line.
    CFDataRef multiLine = dataOf("<plist><integer>1\n2\xC3\xA9" + std::string(100, '9') + "</integer></plist>");
    CFStringRef quoted = nullptr;
    CFPropertyListCreateFromXMLData(nullptr, multiLine, 0, &quoted);
    const std::string quotedText = utf8(quoted);
    EXPECT_EQ(std::string::npos, quotedText.find('\n')) << quotedText;
    EXPECT_NE(std::string::npos, quotedText.find("\"1?2??999")) << quotedText;
    EXPECT_LT(quotedText.size(), 100u) << quotedText;
    CFRelease(quoted);
    CFRelease(multiLine);

    // The line of a mismatched tag.
    CFDataRef data = dataOf("<plist>\n<dict>\n<key>a</key><string>x</dict>\n</plist>");
    CFStringRef errorString = nullptr;
    CFPropertyListCreateFromXMLData(nullptr, data, 0, &errorString);
    EXPECT_NE(std::string::npos, utf8(errorString).find("line 3")) << utf8(errorString);
    CFRelease(errorString);
    CFRelease(data);
}

TEST(CFPropertyList, HostileInputIsRefusedNotCrashedOn) {
    std::string deep = "<plist>";
    for (int i = 0; i < 100000; ++i) deep += "<array>";
    CFDataRef data = dataOf(deep);
    CFStringRef errorString = nullptr;
    EXPECT_EQ(nullptr, CFPropertyListCreateFromXMLData(nullptr, data, 0, &errorString));
    EXPECT_NE(std::string::npos, utf8(errorString).find("nested too deeply"));
    CFRelease(errorString);
    CFRelease(data);

    CFDataRef withMark = dataOf("\xEF\xBB\xBF<?xml version=\"1.0\"?><plist><true/></plist>");
    CFPropertyListRef marked = CFPropertyListCreateFromXMLData(nullptr, withMark, 0, nullptr);
    EXPECT_EQ(kCFBooleanTrue, marked) << "a leading byte-order mark is allowed";
    CFRelease(withMark);

    // Entities and CDATA are read as text.
    CFDataRef entities = dataOf("<plist><dict><key>k</key><string>&lt;&amp;&#233;<![CDATA[<x>]]></string></dict></plist>");
    CFPropertyListRef plist = CFPropertyListCreateFromXMLData(nullptr, entities, 0, nullptr);
    ASSERT_NE(nullptr, plist);
    EXPECT_EQ("<&\xC3\xA9<x>", utf8(static_cast<CFStringRef>(CFDictionaryGetValue(static_cast<CFDictionaryRef>(plist), CFSTR("k")))));
    CFRelease(plist);
    CFRelease(entities);
}

TEST(CFPropertyList, OnlyPropertyListTypesAreWritten) {
    CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                         &kCFTypeDictionaryValueCallBacks);
    const SInt32 one = 1;
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &one);
    CFDictionarySetValue(d, number, CFSTR("number key"));
    EXPECT_FALSE(CFPropertyListIsValid(d, kCFPropertyListXMLFormat_v1_0));
    CFErrorRef error = nullptr;
    EXPECT_EQ(nullptr, CFPropertyListCreateData(nullptr, d, kCFPropertyListXMLFormat_v1_0, 0, &error));
    ASSERT_NE(nullptr, error);
    CFRelease(error);
    CFDictionaryRemoveAllValues(d);

    CFURLRef url = CFURLCreateWithFileSystemPath(nullptr, CFSTR("/tmp"), kCFURLPOSIXPathStyle, true);
    CFDictionarySetValue(d, CFSTR("url"), url);
    EXPECT_FALSE(CFPropertyListIsValid(d, kCFPropertyListXMLFormat_v1_0));
    EXPECT_EQ(nullptr, CFPropertyListCreateXMLData(nullptr, d));
    CFDictionaryRemoveAllValues(d);

    // A container that holds itself is refused instead of recursing forever.
    CFMutableArrayRef loop = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(loop, loop);
    EXPECT_FALSE(CFPropertyListIsValid(loop, kCFPropertyListXMLFormat_v1_0));
    EXPECT_EQ(nullptr, CFPropertyListCreateXMLData(nullptr, loop));
    CFArrayRemoveAllValues(loop);
    CFRelease(loop);

    // Dates as far as XML dates reach here (32-bit seconds from 2001), no further.
    CFDateRef earliest = CFDateCreate(nullptr, -2147483648.0);
    CFDataRef earliestXML = CFPropertyListCreateXMLData(nullptr, earliest);
    ASSERT_NE(nullptr, earliestXML);
    CFPropertyListRef earliestBack = CFPropertyListCreateWithData(nullptr, earliestXML, 0, nullptr, nullptr);
    EXPECT_TRUE(CFEqual(earliest, earliestBack));
    CFDateRef far = CFDateCreate(nullptr, 1e12);
    EXPECT_EQ(nullptr, CFPropertyListCreateXMLData(nullptr, far));
    for (CFTypeRef o : {CFTypeRef(earliest), CFTypeRef(earliestXML), CFTypeRef(earliestBack), CFTypeRef(far)}) CFRelease(o);

    EXPECT_EQ(nullptr, CFPropertyListCreateData(nullptr, CFSTR("x"), kCFPropertyListBinaryFormat_v1_0, 0, nullptr));
    CFDataRef plainString = CFPropertyListCreateXMLData(nullptr, CFSTR("top-level string"));
    ASSERT_NE(nullptr, plainString);
    CFPropertyListRef back = CFPropertyListCreateWithData(nullptr, plainString, 0, nullptr, nullptr);
    EXPECT_TRUE(CFEqual(CFSTR("top-level string"), back));
    CFRelease(back);
    CFRelease(plainString);
    CFRelease(url);
    CFRelease(number);
    CFRelease(d);
}

}  // namespace
