// Ownership and behaviour of the CF value types: strings, numbers, booleans,
// data, arrays and dictionaries.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>

#include "platform/cf/CoreFoundation.h"

namespace {

std::string utf8(CFStringRef s) {
    char buffer[1024];
    return CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingUTF8) ? buffer : "<not convertible>";
}

CFNumberRef sint32(SInt32 v) { return CFNumberCreate(nullptr, kCFNumberSInt32Type, &v); }
CFNumberRef float64(double v) { return CFNumberCreate(nullptr, kCFNumberFloat64Type, &v); }

// "Café ™ ©" in Mac Roman.
const char kMacRomanCafe[] = "Caf\x8E \xAA \xA9";
const char kUTF8Cafe[] = "Caf\xC3\xA9 \xE2\x84\xA2 \xC2\xA9";

TEST(CFOwnership, CreateGivesOneGetBorrowsAndReleaseFrees) {
    CFStringRef s = CFStringCreateWithCString(nullptr, "text", kCFStringEncodingUTF8);
    EXPECT_EQ(1, CFGetRetainCount(s));
    EXPECT_EQ(s, CFRetain(s));
    EXPECT_EQ(2, CFGetRetainCount(s));
    CFRelease(s);
    EXPECT_EQ(1, CFGetRetainCount(s));

    CFMutableDictionaryRef dict = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                            &kCFTypeDictionaryValueCallBacks);
    CFDictionarySetValue(dict, CFSTR("key"), s);
    EXPECT_EQ(2, CFGetRetainCount(s));
    EXPECT_EQ(s, CFDictionaryGetValue(dict, CFSTR("key")));
    EXPECT_EQ(2, CFGetRetainCount(s)) << "a Get must not retain";
    CFRelease(dict);
    EXPECT_EQ(1, CFGetRetainCount(s));
    CFRelease(s);

    // NULL is tolerated rather than crashing a host.
    CFRelease(nullptr);
    EXPECT_EQ(nullptr, CFRetain(nullptr));
    EXPECT_EQ(0, CFGetRetainCount(nullptr));
}

TEST(CFOwnership, ConstantsAreSharedAndImmortal) {
    CFStringRef a = CFSTR("constant text");
    CFStringRef b = CFSTR("constant text");
    EXPECT_EQ(a, b) << "equal constants are one object";
    EXPECT_EQ(a, __CFStringMakeConstantString("constant text"));
    const CFIndex count = CFGetRetainCount(a);
    CFRelease(a);
    CFRelease(a);
    EXPECT_EQ(count, CFGetRetainCount(a));
    EXPECT_EQ("constant text", utf8(a));
    EXPECT_GT(CFGetRetainCount(kCFBooleanTrue), 1000);
    CFRelease(kCFBooleanTrue);
    EXPECT_TRUE(CFBooleanGetValue(kCFBooleanTrue));
}

TEST(CFOwnership, TypeIDsEqualityAndHash) {
    CFStringRef s = CFStringCreateWithCString(nullptr, "5", kCFStringEncodingUTF8);
    CFNumberRef n = sint32(5);
    EXPECT_EQ(CFStringGetTypeID(), CFGetTypeID(s));
    EXPECT_EQ(CFNumberGetTypeID(), CFGetTypeID(n));
    EXPECT_EQ(CFBooleanGetTypeID(), CFGetTypeID(kCFBooleanFalse));
    EXPECT_EQ(CFNullGetTypeID(), CFGetTypeID(kCFNull));
    const CFTypeID ids[] = {CFStringGetTypeID(),     CFNumberGetTypeID(), CFBooleanGetTypeID(), CFDataGetTypeID(),
                            CFArrayGetTypeID(),      CFDictionaryGetTypeID(), CFURLGetTypeID(), CFBundleGetTypeID(),
                            CFDateGetTypeID(),       CFErrorGetTypeID(),  CFNullGetTypeID()};
    for (size_t i = 0; i < std::size(ids); ++i)
        for (size_t j = i + 1; j < std::size(ids); ++j) EXPECT_NE(ids[i], ids[j]);
    EXPECT_FALSE(CFEqual(s, n)) << "different types are never equal";
    EXPECT_FALSE(CFEqual(s, nullptr));

    CFMutableStringRef m = CFStringCreateMutable(nullptr, 0);
    CFStringAppendCString(m, "5", kCFStringEncodingASCII);
    EXPECT_TRUE(CFEqual(s, m)) << "mutable and immutable strings compare by content";
    EXPECT_EQ(CFHash(s), CFHash(m));

    CFStringRef description = CFCopyDescription(n);
    EXPECT_EQ("5", utf8(description));
    CFRelease(description);
    CFRelease(m);
    CFRelease(n);
    CFRelease(s);
}

TEST(CFOwnership, WrongTypesAndNullDoNothing) {
    CFNumberRef n = sint32(3);
    CFArrayRef empty = CFArrayCreate(nullptr, nullptr, 0, &kCFTypeArrayCallBacks);
    EXPECT_EQ(0, CFStringGetLength(reinterpret_cast<CFStringRef>(n)));
    EXPECT_EQ(0, CFDictionaryGetCount(reinterpret_cast<CFDictionaryRef>(empty)));
    EXPECT_EQ(nullptr, CFDictionaryGetValue(reinterpret_cast<CFDictionaryRef>(n), CFSTR("k")));
    EXPECT_EQ(nullptr, CFArrayGetValueAtIndex(reinterpret_cast<CFArrayRef>(n), 0));
    SInt32 v = 7;
    EXPECT_FALSE(CFNumberGetValue(reinterpret_cast<CFNumberRef>(empty), kCFNumberSInt32Type, &v));
    CFArrayAppendValue(reinterpret_cast<CFMutableArrayRef>(const_cast<__CFNumber*>(n)), CFSTR("x"));
    EXPECT_EQ(1, CFGetRetainCount(n));
    EXPECT_EQ(nullptr, CFBundleGetIdentifier(nullptr));
    EXPECT_EQ(nullptr, CFBundleGetInfoDictionary(nullptr));
    EXPECT_FALSE(CFBundleLoadExecutable(nullptr));
    EXPECT_EQ(nullptr, CFURLCopyLastPathComponent(nullptr));
    EXPECT_EQ(nullptr, CFPropertyListCreateXMLData(nullptr, nullptr));
    EXPECT_EQ(nullptr, CFPropertyListCreateFromXMLData(nullptr, nullptr, 0, nullptr));
    CFRelease(empty);
    CFRelease(n);
}

TEST(CFString, MacRomanAndUTF8ConvertThroughIconv) {
    CFStringRef s = CFStringCreateWithCString(nullptr, kMacRomanCafe, kCFStringEncodingMacRoman);
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(kUTF8Cafe, utf8(s));
    EXPECT_EQ(8, CFStringGetLength(s));
    char buffer[64];
    ASSERT_TRUE(CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingMacRoman));
    EXPECT_STREQ(kMacRomanCafe, buffer);
    EXPECT_FALSE(CFStringGetCString(s, buffer, sizeof buffer, kCFStringEncodingASCII));
    EXPECT_STREQ("", buffer) << "a failed conversion leaves an empty C string";
    EXPECT_EQ(nullptr, CFStringGetCStringPtr(s, kCFStringEncodingMacRoman)) << "no direct Mac Roman bytes";
    EXPECT_STREQ(kUTF8Cafe, CFStringGetCStringPtr(s, kCFStringEncodingUTF8));

    CFStringRef fromUTF8 = CFStringCreateWithCString(nullptr, kUTF8Cafe, kCFStringEncodingUTF8);
    EXPECT_TRUE(CFEqual(s, fromUTF8));
    CFRelease(fromUTF8);
    CFRelease(s);

    // Every Mac Roman byte has a character, and comes back unchanged.
    char all[129];
    for (int i = 0; i < 128; ++i) all[i] = static_cast<char>(128 + i);
    all[128] = '\0';
    CFStringRef high = CFStringCreateWithCString(nullptr, all, kCFStringEncodingMacRoman);
    ASSERT_NE(nullptr, high);
    EXPECT_EQ(128, CFStringGetLength(high));
    char back[512];
    ASSERT_TRUE(CFStringGetCString(high, back, sizeof back, kCFStringEncodingMacRoman));
    EXPECT_STREQ(all, back);
    CFRelease(high);
}

TEST(CFString, RejectsWhatAnEncodingCannotHold) {
    EXPECT_EQ(nullptr, CFStringCreateWithCString(nullptr, "caf\xE9", kCFStringEncodingUTF8)) << "invalid UTF-8";
    EXPECT_EQ(nullptr, CFStringCreateWithCString(nullptr, "\xC0\xAF", kCFStringEncodingUTF8)) << "overlong";
    EXPECT_EQ(nullptr, CFStringCreateWithCString(nullptr, "caf\xE9", kCFStringEncodingASCII));
    EXPECT_EQ(nullptr, CFStringCreateWithCString(nullptr, nullptr, kCFStringEncodingUTF8));

    CFStringRef japanese = CFStringCreateWithCString(nullptr, "\xE6\x97\xA5\xE6\x9C\xAC", kCFStringEncodingUTF8);
    char buffer[16];
    EXPECT_FALSE(CFStringGetCString(japanese, buffer, sizeof buffer, kCFStringEncodingMacRoman));
    EXPECT_TRUE(CFStringGetCString(japanese, buffer, sizeof buffer, kCFStringEncodingUTF8));
    EXPECT_FALSE(CFStringGetCString(japanese, buffer, 6, kCFStringEncodingUTF8)) << "no room for the zero";
    EXPECT_TRUE(CFStringGetCString(japanese, buffer, 7, kCFStringEncodingUTF8));
    UInt8 bytes[16];
    CFIndex used = 0;
    EXPECT_EQ(2, CFStringGetBytes(japanese, CFRangeMake(0, 2), kCFStringEncodingMacRoman, '?', false, bytes,
                                  sizeof bytes, &used));
    EXPECT_EQ(2, used);
    EXPECT_EQ('?', bytes[0]);
    CFRelease(japanese);
}

TEST(CFString, LengthsCountUTF16Units) {
    // é, U+1F600 (a surrogate pair), a.
    CFStringRef s = CFStringCreateWithCString(nullptr, "\xC3\xA9\xF0\x9F\x98\x80" "a", kCFStringEncodingUTF8);
    EXPECT_EQ(4, CFStringGetLength(s));
    EXPECT_EQ(0xE9, CFStringGetCharacterAtIndex(s, 0));
    EXPECT_EQ(0xD83D, CFStringGetCharacterAtIndex(s, 1));
    EXPECT_EQ('a', CFStringGetCharacterAtIndex(s, 3));
    UniChar units[4];
    CFStringGetCharacters(s, CFRangeMake(0, 4), units);
    CFStringRef again = CFStringCreateWithCharacters(nullptr, units, 4);
    EXPECT_TRUE(CFEqual(s, again));
    CFStringRef tail = CFStringCreateWithSubstring(nullptr, s, CFRangeMake(1, 3));
    EXPECT_EQ("\xF0\x9F\x98\x80" "a", utf8(tail));
    EXPECT_EQ(12, CFStringGetMaximumSizeForEncoding(4, kCFStringEncodingUTF8));
    EXPECT_EQ(4, CFStringGetMaximumSizeForEncoding(4, kCFStringEncodingMacRoman));
    CFRelease(tail);
    CFRelease(again);
    CFRelease(s);
}

TEST(CFString, CompareNumericallyAndIgnoringCase) {
    struct Case {
        const char* a;
        const char* b;
        CFStringCompareFlags flags;
        CFComparisonResult expected;
    } cases[] = {
        {"4.10", "4.2", kCFCompareNumerically, kCFCompareGreaterThan},
        {"4.10", "4.2", 0, kCFCompareLessThan},
        {"4.2", "4.2", kCFCompareNumerically | kCFCompareCaseInsensitive, kCFCompareEqualTo},
        {"7.9.9", "8.0.0", kCFCompareNumerically | kCFCompareCaseInsensitive, kCFCompareLessThan},
        {"8.0.0", "8.0.1", kCFCompareNumerically, kCFCompareLessThan},
        {"8.0.10", "8.0.9", kCFCompareNumerically, kCFCompareGreaterThan},
        {"10.0", "9.99", kCFCompareNumerically, kCFCompareGreaterThan},
        {"v007", "v7", kCFCompareNumerically, kCFCompareEqualTo},
        {"4.2b", "4.2", kCFCompareNumerically, kCFCompareGreaterThan},
        {"ABC", "abc", kCFCompareCaseInsensitive, kCFCompareEqualTo},
        {"ABC", "abc", 0, kCFCompareLessThan},
        {"\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89", kCFCompareCaseInsensitive, kCFCompareEqualTo},  // Été / éTÉ
        {"", "a", 0, kCFCompareLessThan},
    };
    for (const Case& c : cases) {
        CFStringRef a = CFStringCreateWithCString(nullptr, c.a, kCFStringEncodingUTF8);
        CFStringRef b = CFStringCreateWithCString(nullptr, c.b, kCFStringEncodingUTF8);
        EXPECT_EQ(c.expected, CFStringCompare(a, b, c.flags)) << c.a << " vs " << c.b << " flags " << c.flags;
        EXPECT_EQ(-c.expected, CFStringCompare(b, a, c.flags)) << c.b << " vs " << c.a;
        CFRelease(a);
        CFRelease(b);
    }
}

TEST(CFString, FormatAppendAndSearch) {
    CFNumberRef n = float64(2.5);
    CFStringRef s = CFStringCreateWithFormat(nullptr, nullptr, CFSTR("%d|%5s|%-3d|%.2f|%@|%@|%ld|%x|%c|%%|%s"), -7,
                                             "ab", 4, 3.14159, CFSTR("str"), n, 1234567890123L, 255u, 'Z',
                                             kUTF8Cafe);
    EXPECT_EQ(std::string("-7|   ab|4  |3.14|str|2.5|1234567890123|ff|Z|%|") + kUTF8Cafe, utf8(s));
    CFRelease(s);
    CFRelease(n);

    // A precision bounds what is read of an unterminated buffer.
    std::unique_ptr<char[]> name(new char[4]{'D', 'r', 'i', 'v'});
    CFStringRef bounded = CFStringCreateWithFormat(nullptr, nullptr, CFSTR("[%.4s|%.*s|%.s]"), name.get(), 2,
                                                   name.get(), name.get());
    EXPECT_EQ("[Driv|Dr|]", utf8(bounded));
    CFRelease(bounded);

    CFMutableStringRef m = CFStringCreateMutable(nullptr, 0);
    CFStringAppend(m, CFSTR("Gain "));
    CFStringAppendCString(m, "\x8E", kCFStringEncodingMacRoman);
    CFStringAppendFormat(m, nullptr, CFSTR(" %d dB"), 12);
    EXPECT_EQ("Gain \xC3\xA9 12 dB", utf8(m));
    CFStringRef frozen = CFStringCreateCopy(nullptr, m);
    CFStringAppend(m, CFSTR("!"));
    EXPECT_EQ("Gain \xC3\xA9 12 dB", utf8(frozen)) << "a copy does not follow the mutable original";
    CFStringRef same = CFStringCreateCopy(nullptr, frozen);
    EXPECT_EQ(frozen, same) << "copying an immutable string retains it";
    CFRelease(same);

    EXPECT_TRUE(CFStringHasPrefix(m, CFSTR("Gain")));
    EXPECT_TRUE(CFStringHasSuffix(m, CFSTR("dB!")));
    EXPECT_FALSE(CFStringHasSuffix(CFSTR("dB"), CFSTR("xdB")));
    const CFRange found = CFStringFind(m, CFSTR("DB"), kCFCompareCaseInsensitive);
    EXPECT_EQ(10, found.location);
    EXPECT_EQ(2, found.length);
    EXPECT_EQ(kCFNotFound, CFStringFind(m, CFSTR("DB"), 0).location);
    EXPECT_EQ(4, CFStringFind(CFSTR("a-b-c"), CFSTR("c"), kCFCompareBackwards).location);

    // An immutable string ignores mutation.
    CFStringAppend(const_cast<CFMutableStringRef>(frozen), CFSTR("x"));
    EXPECT_EQ("Gain \xC3\xA9 12 dB", utf8(frozen));
    CFRelease(frozen);
    CFRelease(m);
}

TEST(CFString, SplitJoinAndValues) {
    CFArrayRef parts = CFStringCreateArrayBySeparatingStrings(nullptr, CFSTR("Off, On, , Auto"), CFSTR(", "));
    ASSERT_EQ(4, CFArrayGetCount(parts));
    EXPECT_EQ("Off", utf8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(parts, 0))));
    EXPECT_EQ("", utf8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(parts, 2))));
    EXPECT_EQ("Auto", utf8(static_cast<CFStringRef>(CFArrayGetValueAtIndex(parts, 3))));
    CFStringRef joined = CFStringCreateByCombiningStrings(nullptr, parts, CFSTR(", "));
    EXPECT_EQ("Off, On, , Auto", utf8(joined));
    CFRelease(joined);
    CFRelease(parts);
    CFArrayRef single = CFStringCreateArrayBySeparatingStrings(nullptr, CFSTR(""), CFSTR(";"));
    EXPECT_EQ(1, CFArrayGetCount(single));
    CFRelease(single);

    EXPECT_EQ(-42, CFStringGetIntValue(CFSTR(" -42 dB")));
    EXPECT_EQ(0, CFStringGetIntValue(CFSTR("dB")));
    EXPECT_DOUBLE_EQ(0.75, CFStringGetDoubleValue(CFSTR("0.75")));
}

TEST(CFString, PascalStringsFileNamesAndTrimming) {
    const unsigned char pascal[] = "\x06" "Gravel";
    CFStringRef name = CFStringCreateWithPascalString(nullptr, pascal, kCFStringEncodingMacRoman);
    EXPECT_EQ("Gravel", utf8(name));
    Str255 back;
    ASSERT_TRUE(CFStringGetPascalString(name, back, sizeof back, kCFStringEncodingMacRoman));
    EXPECT_EQ(0, std::memcmp(pascal, back, 7));
    EXPECT_FALSE(CFStringGetPascalString(name, back, 6, kCFStringEncodingMacRoman)) << "6 bytes hold 5 characters";
    EXPECT_EQ(0, back[0]);
    const std::string longText(300, 'x');
    CFStringRef tooLong = CFStringCreateWithCString(nullptr, longText.c_str(), kCFStringEncodingASCII);
    EXPECT_FALSE(CFStringGetPascalString(tooLong, back, sizeof back, kCFStringEncodingMacRoman));

    CFStringRef latin = CFStringCreateWithFileSystemRepresentation(nullptr, "Pr\xE9set.fxp");
    EXPECT_EQ("Pr\xC3\xA9set.fxp", utf8(latin)) << "a name that is not UTF-8 is read as Latin 1";
    char file[64];
    EXPECT_TRUE(CFStringGetFileSystemRepresentation(latin, file, sizeof file));
    EXPECT_STREQ("Pr\xC3\xA9set.fxp", file);
    EXPECT_GE(CFStringGetMaximumSizeOfFileSystemRepresentation(latin), 13);

    CFMutableStringRef padded = CFStringCreateMutableCopy(nullptr, 0, CFSTR(" \t Drive \r\n"));
    CFStringTrimWhitespace(padded);
    EXPECT_EQ("Drive", utf8(padded));
    CFStringReplaceAll(padded, CFSTR("   "));
    CFStringTrimWhitespace(padded);
    EXPECT_EQ(0, CFStringGetLength(padded));
    for (CFTypeRef o : {CFTypeRef(name), CFTypeRef(tooLong), CFTypeRef(latin), CFTypeRef(padded)}) CFRelease(o);
}

TEST(CFNumber, ConvertsAndReportsLoss) {
    CFNumberRef i = sint32(-7);
    double d = 0;
    EXPECT_TRUE(CFNumberGetValue(i, kCFNumberFloat64Type, &d));
    EXPECT_EQ(-7.0, d);
    EXPECT_EQ(kCFNumberSInt32Type, CFNumberGetType(i));
    EXPECT_FALSE(CFNumberIsFloatType(i));

    CFNumberRef f = float64(3.75);
    SInt32 v = 0;
    EXPECT_FALSE(CFNumberGetValue(f, kCFNumberSInt32Type, &v));
    EXPECT_EQ(3, v) << "truncated toward zero";
    float single = 0;
    EXPECT_TRUE(CFNumberGetValue(f, kCFNumberFloat32Type, &single));
    EXPECT_EQ(3.75f, single);

    CFNumberRef big = float64(1e20);
    EXPECT_FALSE(CFNumberGetValue(big, kCFNumberSInt32Type, &v));
    EXPECT_EQ(INT32_MAX, v) << "clamped, not wrapped";
    const SInt64 wide = (1LL << 40) + 1;
    CFNumberRef w = CFNumberCreate(nullptr, kCFNumberSInt64Type, &wide);
    EXPECT_FALSE(CFNumberGetValue(w, kCFNumberSInt32Type, &v));
    SInt64 back = 0;
    EXPECT_TRUE(CFNumberGetValue(w, kCFNumberLongLongType, &back));
    EXPECT_EQ(wide, back);

    const int plain = 5;
    CFNumberRef five = CFNumberCreate(nullptr, kCFNumberIntType, &plain);
    CFNumberRef fiveReal = float64(5.0);
    EXPECT_EQ(kCFNumberSInt32Type, CFNumberGetType(five));
    EXPECT_TRUE(CFEqual(five, fiveReal)) << "numbers compare by value";
    EXPECT_EQ(CFHash(five), CFHash(fiveReal));
    EXPECT_EQ(kCFCompareLessThan, CFNumberCompare(i, five, nullptr));

    CFNumberRef nan1 = float64(std::nan(""));
    CFNumberRef nan2 = float64(std::nan(""));
    EXPECT_TRUE(CFEqual(nan1, nan2));
    EXPECT_EQ(nullptr, CFNumberCreate(nullptr, 99, &plain));
    EXPECT_EQ(nullptr, CFNumberCreate(nullptr, kCFNumberSInt32Type, nullptr));

    for (CFTypeRef n : {CFTypeRef(i), CFTypeRef(f), CFTypeRef(big), CFTypeRef(w), CFTypeRef(five),
                        CFTypeRef(fiveReal), CFTypeRef(nan1), CFTypeRef(nan2)})
        CFRelease(n);
    EXPECT_FALSE(CFBooleanGetValue(kCFBooleanFalse));
    EXPECT_FALSE(CFEqual(kCFBooleanTrue, kCFBooleanFalse));
}

TEST(CFData, MutableDataGrowsAndImmutableDataDoesNot) {
    const UInt8 bytes[] = {0, 1, 2, 0xFF};
    CFDataRef d = CFDataCreate(nullptr, bytes, 4);
    EXPECT_EQ(4, CFDataGetLength(d));
    EXPECT_EQ(0, std::memcmp(bytes, CFDataGetBytePtr(d), 4));
    CFDataAppendBytes(const_cast<CFMutableDataRef>(d), bytes, 4);
    EXPECT_EQ(4, CFDataGetLength(d)) << "immutable data ignores appends";

    CFMutableDataRef m = CFDataCreateMutable(nullptr, 0);
    EXPECT_EQ(0, CFDataGetLength(m));
    EXPECT_NE(nullptr, CFDataGetBytePtr(m));
    CFDataAppendBytes(m, bytes, 4);
    CFDataAppendBytes(m, bytes, 2);
    EXPECT_EQ(6, CFDataGetLength(m));
    CFDataSetLength(m, 8);
    EXPECT_EQ(0, CFDataGetBytePtr(m)[7]) << "new bytes are zero";
    CFDataGetMutableBytePtr(m)[7] = 9;
    EXPECT_EQ(9, CFDataGetBytePtr(m)[7]);
    CFDataSetLength(m, 4);
    EXPECT_TRUE(CFEqual(d, m));
    UInt8 middle[2] = {};
    CFDataGetBytes(m, CFRangeMake(1, 2), middle);
    EXPECT_EQ(1, middle[0]);
    EXPECT_EQ(2, middle[1]);
    CFDataReplaceBytes(m, CFRangeMake(1, 2), bytes, 1);
    EXPECT_EQ(3, CFDataGetLength(m));
    EXPECT_EQ(0, CFDataGetBytePtr(m)[1]);
    CFDataRef copy = CFDataCreateCopy(nullptr, m);
    CFDataAppendBytes(m, bytes, 4);
    EXPECT_EQ(3, CFDataGetLength(copy));
    CFRelease(copy);
    CFRelease(m);
    CFRelease(d);
}

TEST(CFArray, RetainingAndRawCallbacks) {
    CFStringRef s = CFStringCreateWithCString(nullptr, "value", kCFStringEncodingUTF8);
    CFMutableArrayRef a = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(a, s);
    CFArrayAppendValue(a, s);
    EXPECT_EQ(3, CFGetRetainCount(s));
    CFArraySetValueAtIndex(a, 0, s);  // same value in place must survive
    EXPECT_EQ(3, CFGetRetainCount(s));
    CFArrayInsertValueAtIndex(a, 1, CFSTR("inserted"));
    ASSERT_EQ(3, CFArrayGetCount(a));
    EXPECT_EQ(CFSTR("inserted"), CFArrayGetValueAtIndex(a, 1));
    EXPECT_EQ(nullptr, CFArrayGetValueAtIndex(a, 3));
    EXPECT_EQ(nullptr, CFArrayGetValueAtIndex(a, -1));
    CFArrayRemoveValueAtIndex(a, 7);  // ignored
    EXPECT_EQ(3, CFArrayGetCount(a));
    EXPECT_EQ(1, CFArrayGetFirstIndexOfValue(a, CFRangeMake(0, 3), CFSTR("inserted")));
    EXPECT_TRUE(CFArrayContainsValue(a, CFRangeMake(0, 3), CFSTR("value")));
    CFArrayRemoveValueAtIndex(a, 0);
    EXPECT_EQ(2, CFGetRetainCount(s));

    CFArrayRef copy = CFArrayCreateCopy(nullptr, a);
    EXPECT_TRUE(CFEqual(copy, a));
    EXPECT_EQ(3, CFGetRetainCount(s));
    CFArrayRemoveAllValues(a);
    EXPECT_EQ(0, CFArrayGetCount(a));
    EXPECT_FALSE(CFEqual(copy, a));
    CFRelease(copy);
    EXPECT_EQ(1, CFGetRetainCount(s));

    // NULL callbacks: raw pointers, never retained.
    static int cookies[2];
    const void* raw[] = {&cookies[0], &cookies[1], s};
    CFArrayRef rawArray = CFArrayCreate(nullptr, raw, 3, nullptr);
    EXPECT_EQ(1, CFGetRetainCount(s));
    EXPECT_EQ(&cookies[1], CFArrayGetValueAtIndex(rawArray, 1));
    CFRelease(rawArray);
    EXPECT_EQ(1, CFGetRetainCount(s));

    const void* values[] = {CFSTR("x"), s};
    CFArrayRef fixed = CFArrayCreate(nullptr, values, 2, &kCFTypeArrayCallBacks);
    CFArrayAppendValue(const_cast<CFMutableArrayRef>(fixed), s);
    EXPECT_EQ(2, CFArrayGetCount(fixed)) << "immutable arrays ignore appends";
    CFRelease(fixed);
    CFRelease(a);
    EXPECT_EQ(1, CFGetRetainCount(s));
    CFRelease(s);
}

TEST(CFArray, SortAndApply) {
    CFMutableArrayRef a = CFArrayCreateMutable(nullptr, 0, &kCFTypeArrayCallBacks);
    for (const char* text : {"preset 10", "Preset 9", "preset 1"}) {
        CFStringRef s = CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
        CFArrayAppendValue(a, s);
        CFRelease(s);
    }
    CFArraySortValues(a, CFRangeMake(0, 3),
                      [](const void* x, const void* y, void*) {
                          return CFStringCompare(static_cast<CFStringRef>(x), static_cast<CFStringRef>(y),
                                                 kCFCompareNumerically | kCFCompareCaseInsensitive);
                      },
                      nullptr);
    std::string joined;
    CFArrayApplyFunction(a, CFRangeMake(0, 3),
                         [](const void* value, void* context) {
                             *static_cast<std::string*>(context) += utf8(static_cast<CFStringRef>(value)) + ";";
                         },
                         &joined);
    EXPECT_EQ("preset 1;Preset 9;preset 10;", joined);
    CFRelease(a);
}

TEST(CFDictionary, StringKeysAndEveryAccessor) {
    CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                         &kCFTypeDictionaryValueCallBacks);
    CFNumberRef one = sint32(1), two = sint32(2);
    // A key made at run time finds the entry stored under an equal constant.
    CFStringRef key = CFStringCreateWithCString(nullptr, "version", kCFStringEncodingUTF8);
    CFDictionarySetValue(d, CFSTR("version"), one);
    EXPECT_EQ(one, CFDictionaryGetValue(d, key));
    CFDictionaryAddValue(d, key, two);
    EXPECT_EQ(one, CFDictionaryGetValue(d, key)) << "AddValue keeps an existing entry";
    CFDictionaryReplaceValue(d, CFSTR("absent"), two);
    EXPECT_FALSE(CFDictionaryContainsKey(d, CFSTR("absent")));
    CFDictionarySetValue(d, key, two);
    EXPECT_EQ(two, CFDictionaryGetValue(d, CFSTR("version")));
    EXPECT_EQ(1, CFGetRetainCount(one));
    EXPECT_EQ(2, CFGetRetainCount(two));
    CFDictionarySetValue(d, CFSTR("name"), CFSTR("Crunch"));

    const void* value = nullptr;
    EXPECT_TRUE(CFDictionaryGetValueIfPresent(d, CFSTR("name"), &value));
    EXPECT_EQ(CFSTR("Crunch"), value);
    EXPECT_FALSE(CFDictionaryGetValueIfPresent(d, CFSTR("missing"), &value));
    EXPECT_EQ(nullptr, CFDictionaryGetValue(d, CFSTR("missing")));
    EXPECT_TRUE(CFDictionaryContainsValue(d, two));
    ASSERT_EQ(2, CFDictionaryGetCount(d));
    const void* keys[2];
    const void* values[2];
    CFDictionaryGetKeysAndValues(d, keys, values);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(values[i], CFDictionaryGetValue(d, keys[i]));

    CFMutableDictionaryRef copy = CFDictionaryCreateMutableCopy(nullptr, 0, d);
    EXPECT_TRUE(CFEqual(copy, d));
    CFDictionaryRemoveValue(copy, CFSTR("version"));
    EXPECT_EQ(1, CFDictionaryGetCount(copy));
    EXPECT_EQ(2, CFDictionaryGetCount(d));
    EXPECT_FALSE(CFEqual(copy, d));
    EXPECT_EQ(2, CFGetRetainCount(two));
    CFDictionaryRemoveAllValues(copy);
    EXPECT_EQ(0, CFDictionaryGetCount(copy));
    CFRelease(copy);

    CFDictionaryRef frozen = CFDictionaryCreateCopy(nullptr, d);
    CFDictionarySetValue(const_cast<CFMutableDictionaryRef>(frozen),
                         CFSTR("new"), one);
    EXPECT_EQ(2, CFDictionaryGetCount(frozen)) << "immutable dictionaries ignore changes";
    CFRelease(frozen);
    CFRelease(d);
    EXPECT_EQ(1, CFGetRetainCount(two));
    EXPECT_EQ(1, CFGetRetainCount(key));
    CFRelease(key);
    CFRelease(one);
    CFRelease(two);
}

TEST(CFDictionary, CopyStringKeysAndRawCallbacks) {
    CFMutableDictionaryRef d = CFDictionaryCreateMutable(nullptr, 0, &kCFCopyStringDictionaryKeyCallBacks,
                                                         &kCFTypeDictionaryValueCallBacks);
    CFMutableStringRef key = CFStringCreateMutable(nullptr, 0);
    CFStringAppend(key, CFSTR("a"));
    CFDictionarySetValue(d, key, kCFBooleanTrue);
    CFStringAppend(key, CFSTR("b"));  // the dictionary holds its own copy
    EXPECT_TRUE(CFDictionaryContainsKey(d, CFSTR("a")));
    EXPECT_FALSE(CFDictionaryContainsKey(d, key));
    CFRelease(key);
    CFRelease(d);

    static int a, b;
    CFMutableDictionaryRef raw = CFDictionaryCreateMutable(nullptr, 0, nullptr, nullptr);
    CFDictionarySetValue(raw, &a, &b);
    EXPECT_EQ(&b, CFDictionaryGetValue(raw, &a));
    CFRelease(raw);
}

}  // namespace
