#include "platform/cf/CFRuntime.h"

#include <iconv.h>
#include <locale.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

using namespace gravel_cf;

struct __CFString : Object {
    static constexpr CFTypeID kTypeID = kStringTypeID;

    __CFString(std::string utf8, bool isMutableString, bool isConstant)
        : Object(kTypeID, isConstant), isMutable(isMutableString) {
        setText(std::move(utf8));
    }

    void setText(std::string utf8);

    bool equals(const Object& other) const override { return text == static_cast<const __CFString&>(other).text; }
    CFHashCode hash() const override { return std::hash<std::string>()(text); }
    std::string describe() const override { return text; }

    std::string text;      // always valid UTF-8
    CFIndex length = 0;    // in UTF-16 units
    const bool isMutable;
};

namespace {

// ---- UTF-8 / UTF-16 ---------------------------------------------------------

// Decodes one code point at text[pos]; returns its byte count or 0 when the
// sequence is invalid (overlong, surrogate, beyond U+10FFFF, truncated).
size_t decodeUTF8(const std::string& text, size_t pos, char32_t& cp) {
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    const unsigned char c = s[pos];
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    size_t count;
    char32_t min;
    if ((c & 0xE0) == 0xC0) {
        count = 2, cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        count = 3, cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        count = 4, cp = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (pos + count > n) return 0;
    for (size_t i = 1; i < count; ++i) {
        if ((s[pos + i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (s[pos + i] & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return count;
}

void appendUTF8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::u32string toCodePoints(const std::string& text) {
    std::u32string out;
    out.reserve(text.size());
    for (size_t pos = 0; pos < text.size();) {
        char32_t cp = 0;
        size_t n = decodeUTF8(text, pos, cp);
        if (n == 0) cp = static_cast<unsigned char>(text[pos]), n = 1;  // stray byte read as Latin-1
        out += cp;
        pos += n;
    }
    return out;
}

std::u16string toUTF16(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    for (char32_t cp : toCodePoints(text)) {
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

// Unpaired surrogates become U+FFFD so that the text stays valid UTF-8.
std::string fromUTF16(const char16_t* units, size_t count) {
    std::string out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        char32_t cp = units[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        appendUTF8(out, cp);
    }
    return out;
}

CFIndex utf16Length(const std::string& text) {
    CFIndex length = 0;
    for (size_t pos = 0; pos < text.size();) {
        char32_t cp = 0;
        const size_t n = decodeUTF8(text, pos, cp);
        length += cp >= 0x10000 ? 2 : 1;
        pos += n == 0 ? 1 : n;
    }
    return length;
}

bool isASCII(const std::string& text) {
    for (unsigned char c : text)
        if (c >= 0x80) return false;
    return true;
}

// ---- encodings ------------------------------------------------------------

// The iconv charset behind an 8-bit or UTF-16/32 CF encoding, or null.
const char* iconvCharset(CFStringEncoding encoding) {
    switch (encoding) {
        case kCFStringEncodingMacRoman: return "MACINTOSH";
        case kCFStringEncodingISOLatin1: return "ISO-8859-1";
        case kCFStringEncodingWindowsLatin1: return "CP1252";
        case kCFStringEncodingUTF16: return "UTF-16LE";
        case kCFStringEncodingUTF16BE: return "UTF-16BE";
        case kCFStringEncodingUTF16LE: return "UTF-16LE";
        case kCFStringEncodingUTF32: return "UTF-32LE";
        case kCFStringEncodingUTF32BE: return "UTF-32BE";
        case kCFStringEncodingUTF32LE: return "UTF-32LE";
        default: return nullptr;
    }
}

bool supported(CFStringEncoding encoding) {
    return encoding == kCFStringEncodingUTF8 || encoding == kCFStringEncodingASCII || iconvCharset(encoding) != nullptr;
}

// One conversion through iconv; false on any byte that has no counterpart.
bool convert(const char* to, const char* from, const char* bytes, size_t count, std::string& out) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    out.clear();
    char* in = const_cast<char*>(bytes);
    size_t inLeft = count;
    char buffer[1024];
    bool ok = true;
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, outPtr);
        if (result == static_cast<size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
        if (result != static_cast<size_t>(-1) && result > 0) {
            ok = false;  // glibc counts irreversible (approximated) conversions here
            break;
        }
    }
    iconv_close(cd);
    return ok;
}

bool decodeBytes(const char* bytes, size_t count, CFStringEncoding encoding, std::string& out) {
    if (encoding == kCFStringEncodingUTF8) {
        out.assign(bytes, count);
        return isValidUTF8(out);
    }
    if (encoding == kCFStringEncodingASCII) {
        out.assign(bytes, count);
        return isASCII(out);
    }
    const char* charset = iconvCharset(encoding);
    if (charset == nullptr) return false;
    if (encoding == kCFStringEncodingUTF16 && count >= 2) {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes);
        if (b[0] == 0xFE && b[1] == 0xFF) charset = "UTF-16BE", bytes += 2, count -= 2;
        else if (b[0] == 0xFF && b[1] == 0xFE) bytes += 2, count -= 2;
    }
    return convert("UTF-8", charset, bytes, count, out) && isValidUTF8(out);
}

bool encodeText(const std::string& text, CFStringEncoding encoding, std::string& out) {
    if (encoding == kCFStringEncodingUTF8) {
        out = text;
        return true;
    }
    if (encoding == kCFStringEncodingASCII) {
        out = text;
        return isASCII(text);
    }
    const char* charset = iconvCharset(encoding);
    if (charset == nullptr) return false;
    if (isASCII(text) && (encoding == kCFStringEncodingMacRoman || encoding == kCFStringEncodingISOLatin1 ||
                          encoding == kCFStringEncodingWindowsLatin1)) {
        out = text;
        return true;
    }
    return convert(charset, "UTF-8", text.data(), text.size(), out);
}

// ---- comparison -------------------------------------------------------------

// Simple case folding for the scripts plug-in names and versions use: Latin,
// Greek, Cyrillic.
char32_t foldCase(char32_t c) {
    if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
    if (c >= 0x100 && c <= 0x137 && c != 0x130) return c | 1;
    if (c >= 0x139 && c <= 0x148) return (c & 1) ? c + 1 : c;
    if (c >= 0x14A && c <= 0x177) return c | 1;
    if (c == 0x178) return 0xFF;
    if (c >= 0x179 && c <= 0x17E) return (c & 1) ? c + 1 : c;
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
    if (c >= 0x410 && c <= 0x42F) return c + 32;
    if (c >= 0x400 && c <= 0x40F) return c + 80;
    return c;
}

bool isDigit(char32_t c) { return c >= '0' && c <= '9'; }

int compareCodePoints(const std::u32string& a, const std::u32string& b, CFStringCompareFlags options) {
    const bool fold = (options & kCFCompareCaseInsensitive) != 0;
    const bool numeric = (options & kCFCompareNumerically) != 0;
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (numeric && isDigit(a[i]) && isDigit(b[j])) {
            // Runs of digits compare by value: "10" is above "2".
            size_t ie = i, je = j;
            while (ie < a.size() && isDigit(a[ie])) ++ie;
            while (je < b.size() && isDigit(b[je])) ++je;
            size_t is = i, js = j;
            while (is + 1 < ie && a[is] == '0') ++is;
            while (js + 1 < je && b[js] == '0') ++js;
            if (ie - is != je - js) return ie - is < je - js ? -1 : 1;
            for (; is < ie; ++is, ++js)
                if (a[is] != b[js]) return a[is] < b[js] ? -1 : 1;
            i = ie, j = je;
            continue;
        }
        const char32_t x = fold ? foldCase(a[i]) : a[i];
        const char32_t y = fold ? foldCase(b[j]) : b[j];
        if (x != y) return x < y ? -1 : 1;
        ++i, ++j;
    }
    if (i < a.size()) return 1;
    if (j < b.size()) return -1;
    return 0;
}

// ---- constant strings ----------------------------------------------------------

struct ConstantTable {
    std::mutex mutex;
    std::unordered_map<std::string, __CFString*> strings;  // never freed
};

ConstantTable& constants() {
    static ConstantTable* table = new ConstantTable;  // outlives every static destructor
    return *table;
}

// ---- formatting ----------------------------------------------------------------

locale_t cLocale() {
    static locale_t locale = newlocale(LC_ALL_MASK, "C", nullptr);
    return locale;
}

// Text for %s: UTF-8 when it is, otherwise the bytes as Mac Roman.
std::string cStringArgument(const char* s, size_t maxBytes) {
    if (s == nullptr) return "(null)";
    std::string text(s, strnlen(s, maxBytes));
    if (isValidUTF8(text)) return text;
    std::string converted;
    return decodeBytes(text.data(), text.size(), kCFStringEncodingMacRoman, converted) ? converted : std::string("?");
}

template <typename T>
void appendPrintf(std::string& out, const std::string& conversion, bool hasWidth, int width, bool hasPrecision,
                  int precision, T value) {
    char buffer[512];
    int n;
    if (hasWidth && hasPrecision) n = std::snprintf(buffer, sizeof buffer, conversion.c_str(), width, precision, value);
    else if (hasWidth) n = std::snprintf(buffer, sizeof buffer, conversion.c_str(), width, value);
    else if (hasPrecision) n = std::snprintf(buffer, sizeof buffer, conversion.c_str(), precision, value);
    else n = std::snprintf(buffer, sizeof buffer, conversion.c_str(), value);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof buffer) {
        out.append(buffer, static_cast<size_t>(n));
        return;
    }
    std::vector<char> big(static_cast<size_t>(n) + 1);
    if (hasWidth && hasPrecision) std::snprintf(big.data(), big.size(), conversion.c_str(), width, precision, value);
    else if (hasWidth) std::snprintf(big.data(), big.size(), conversion.c_str(), width, value);
    else if (hasPrecision) std::snprintf(big.data(), big.size(), conversion.c_str(), precision, value);
    else std::snprintf(big.data(), big.size(), conversion.c_str(), value);
    out.append(big.data(), static_cast<size_t>(n));
}

// printf conventions plus %@ (any CF object, strings as their text). Numbers
// always use "." as decimal point, whatever locale the host has set.
std::string formatText(const std::string& format, va_list args) {
    const locale_t previous = uselocale(cLocale());
    std::string out;
    size_t i = 0;
    while (i < format.size()) {
        const char c = format[i];
        if (c != '%') {
            out += c;
            ++i;
            continue;
        }
        const size_t start = i++;
        std::string flags;
        while (i < format.size() && std::strchr("-+ #0'", format[i]) != nullptr) flags += format[i++];
        bool hasWidth = false, hasPrecision = false;
        int width = 0, precision = 0;
        std::string widthText, precisionText;
        if (i < format.size() && format[i] == '*') {
            hasWidth = true;
            width = va_arg(args, int);
            widthText = "*";
            ++i;
        } else {
            while (i < format.size() && isDigit(static_cast<unsigned char>(format[i]))) widthText += format[i++];
        }
        if (i < format.size() && format[i] == '.') {
            precisionText = ".";
            ++i;
            if (i < format.size() && format[i] == '*') {
                hasPrecision = true;
                precision = va_arg(args, int);
                precisionText += '*';
                ++i;
            } else {
                while (i < format.size() && isDigit(static_cast<unsigned char>(format[i]))) precisionText += format[i++];
            }
        }
        std::string lengthText;
        while (i < format.size() && std::strchr("hlqLzjt", format[i]) != nullptr) lengthText += format[i++];
        if (i >= format.size()) {
            out.append(format, start, std::string::npos);
            break;
        }
        const char conversion = format[i++];
        const std::string base = "%" + flags + widthText + precisionText;
        const bool isLong = lengthText == "l";
        const bool isLongLong = lengthText == "ll" || lengthText == "q";
        const bool isSize = lengthText == "z" || lengthText == "t" || lengthText == "j";
        switch (conversion) {
            case '%': out += '%'; break;
            case '@': {
                const std::string text = describe(va_arg(args, CFTypeRef));
                appendPrintf(out, base + "s", hasWidth, width, hasPrecision, precision, text.c_str());
                break;
            }
            case 's': {
                // "%.24s" may name a buffer without a terminating zero: read no further.
                size_t maxBytes = SIZE_MAX;
                if (hasPrecision) maxBytes = precision >= 0 ? static_cast<size_t>(precision) : SIZE_MAX;
                else if (precisionText.size() > 1) maxBytes = std::strtoul(precisionText.c_str() + 1, nullptr, 10);
                else if (precisionText == ".") maxBytes = 0;
                const std::string text = cStringArgument(va_arg(args, const char*), maxBytes);
                appendPrintf(out, base + "s", hasWidth, width, hasPrecision, precision, text.c_str());
                break;
            }
            case 'S': {
                const auto* units = va_arg(args, const UniChar*);
                std::string text = "(null)";
                if (units != nullptr) {
                    size_t count = 0;
                    while (units[count] != 0) ++count;
                    text = fromUTF16(reinterpret_cast<const char16_t*>(units), count);
                }
                appendPrintf(out, base + "s", hasWidth, width, hasPrecision, precision, text.c_str());
                break;
            }
            case 'c':
            case 'C': {
                const int value = va_arg(args, int);
                appendUTF8(out, value > 0 && value <= 0x10FFFF ? static_cast<char32_t>(value) : U'?');
                break;
            }
            case 'd':
            case 'i':
            case 'D':
                if (isLongLong || isLong || isSize || conversion == 'D')
                    appendPrintf(out, base + "lld", hasWidth, width, hasPrecision, precision,
                                 isLongLong ? va_arg(args, long long) : static_cast<long long>(va_arg(args, long)));
                else
                    appendPrintf(out, base + "d", hasWidth, width, hasPrecision, precision, va_arg(args, int));
                break;
            case 'u':
            case 'o':
            case 'x':
            case 'X':
            case 'U':
            case 'O': {
                const char lower = conversion == 'U' ? 'u' : conversion == 'O' ? 'o' : conversion;
                if (isLongLong || isLong || isSize || conversion == 'U' || conversion == 'O')
                    appendPrintf(out, base + "ll" + lower, hasWidth, width, hasPrecision, precision,
                                 isLongLong ? va_arg(args, unsigned long long)
                                            : static_cast<unsigned long long>(va_arg(args, unsigned long)));
                else
                    appendPrintf(out, base + lower, hasWidth, width, hasPrecision, precision, va_arg(args, unsigned));
                break;
            }
            case 'f':
            case 'F':
            case 'e':
            case 'E':
            case 'g':
            case 'G':
            case 'a':
            case 'A':
                if (lengthText == "L")
                    appendPrintf(out, base + "L" + conversion, hasWidth, width, hasPrecision, precision,
                                 va_arg(args, long double));
                else
                    appendPrintf(out, base + conversion, hasWidth, width, hasPrecision, precision,
                                 va_arg(args, double));
                break;
            case 'p':
                appendPrintf(out, base + "p", hasWidth, width, hasPrecision, precision, va_arg(args, void*));
                break;
            case 'n':
                (void)va_arg(args, void*);  // never written through: formats may come from outside
                break;
            default:
                out.append(format, start, i - start);
                break;
        }
    }
    uselocale(previous);
    return out;
}

__CFString* mutableString(CFMutableStringRef string) {
    __CFString* s = as<__CFString>(string);
    return (s != nullptr && s->isMutable) ? s : nullptr;
}

// The UTF-8 byte span of a UTF-16 range, clamped to the string.
std::string substring(const __CFString* s, CFRange range) {
    if (range.location < 0 || range.length <= 0 || range.location >= s->length) return std::string();
    const std::u16string units = toUTF16(s->text);
    const size_t start = static_cast<size_t>(range.location);
    const size_t count = std::min(static_cast<size_t>(range.length), units.size() - start);
    return fromUTF16(units.data() + start, count);
}

CFRange find(const std::string& haystack, const std::string& needle, CFStringCompareFlags options) {
    const bool fold = (options & kCFCompareCaseInsensitive) != 0;
    std::u32string h = toCodePoints(haystack), n = toCodePoints(needle);
    if (n.empty() || n.size() > h.size()) return CFRangeMake(kCFNotFound, 0);
    if (fold) {
        for (auto& c : h) c = foldCase(c);
        for (auto& c : n) c = foldCase(c);
    }
    const bool backwards = (options & kCFCompareBackwards) != 0;
    const bool anchored = (options & kCFCompareAnchored) != 0;
    const size_t last = h.size() - n.size();
    auto matchesAt = [&](size_t pos) { return h.compare(pos, n.size(), n) == 0; };
    auto utf16Units = [&](size_t from, size_t to) {
        CFIndex count = 0;
        for (size_t k = from; k < to; ++k) count += h[k] >= 0x10000 ? 2 : 1;
        return count;
    };
    for (size_t step = 0; step <= last; ++step) {
        const size_t pos = backwards ? last - step : step;
        if (matchesAt(pos)) return CFRangeMake(utf16Units(0, pos), utf16Units(pos, pos + n.size()));
        if (anchored) break;
    }
    return CFRangeMake(kCFNotFound, 0);
}

}  // namespace

void __CFString::setText(std::string utf8) {
    text = std::move(utf8);
    length = utf16Length(text);
}

namespace gravel_cf {

bool isValidUTF8(const std::string& text) {
    for (size_t pos = 0; pos < text.size();) {
        char32_t cp;
        const size_t n = decodeUTF8(text, pos, cp);
        if (n == 0) return false;
        pos += n;
    }
    return true;
}

CFStringRef createString(std::string utf8) {
    if (!isValidUTF8(utf8)) return nullptr;
    return new __CFString(std::move(utf8), false, false);
}

const std::string& stringText(CFStringRef string) {
    static const std::string empty;
    const __CFString* s = as<__CFString>(string);
    return s != nullptr ? s->text : empty;
}

}  // namespace gravel_cf

CFTypeID CFStringGetTypeID(void) { return kStringTypeID; }

CFStringRef __CFStringMakeConstantString(const char* cStr) {
    if (cStr == nullptr) return nullptr;
    ConstantTable& table = constants();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto found = table.strings.find(cStr);
    if (found != table.strings.end()) return found->second;
    std::string text;
    if (!decodeBytes(cStr, std::strlen(cStr), kCFStringEncodingUTF8, text) &&
        !decodeBytes(cStr, std::strlen(cStr), kCFStringEncodingMacRoman, text))
        return nullptr;
    auto* s = new __CFString(std::move(text), false, true);
    table.strings.emplace(cStr, s);
    return s;
}

const CFStringRef kCFBundleInfoDictionaryVersionKey = CFSTR("CFBundleInfoDictionaryVersion");
const CFStringRef kCFBundleExecutableKey = CFSTR("CFBundleExecutable");
const CFStringRef kCFBundleIdentifierKey = CFSTR("CFBundleIdentifier");
const CFStringRef kCFBundleVersionKey = CFSTR("CFBundleVersion");
const CFStringRef kCFBundleNameKey = CFSTR("CFBundleName");
const CFStringRef kCFErrorDomainPOSIX = CFSTR("NSPOSIXErrorDomain");
const CFStringRef kCFErrorDomainOSStatus = CFSTR("NSOSStatusErrorDomain");
const CFStringRef kCFErrorDomainCocoa = CFSTR("NSCocoaErrorDomain");
const CFStringRef kCFErrorDescriptionKey = CFSTR("NSDescription");
const CFStringRef kCFErrorDebugDescriptionKey = CFSTR("NSDebugDescription");

CFStringRef CFStringCreateWithCString(CFAllocatorRef, const char* cStr, CFStringEncoding encoding) {
    if (cStr == nullptr) return nullptr;
    return CFStringCreateWithBytes(nullptr, reinterpret_cast<const UInt8*>(cStr),
                                   static_cast<CFIndex>(std::strlen(cStr)), encoding, false);
}

CFStringRef CFStringCreateWithBytes(CFAllocatorRef, const UInt8* bytes, CFIndex numBytes, CFStringEncoding encoding,
                                    Boolean isExternalRepresentation) {
    if (numBytes < 0 || (bytes == nullptr && numBytes > 0)) return nullptr;
    // An external representation may start with a byte-order mark.
    if (isExternalRepresentation && encoding == kCFStringEncodingUTF8 && numBytes >= 3 && bytes[0] == 0xEF &&
        bytes[1] == 0xBB && bytes[2] == 0xBF)
        bytes += 3, numBytes -= 3;
    std::string text;
    if (!decodeBytes(reinterpret_cast<const char*>(bytes), static_cast<size_t>(numBytes), encoding, text))
        return nullptr;
    return new __CFString(std::move(text), false, false);
}

CFStringRef CFStringCreateWithCharacters(CFAllocatorRef, const UniChar* chars, CFIndex numChars) {
    if (numChars < 0 || (chars == nullptr && numChars > 0)) return nullptr;
    return new __CFString(fromUTF16(reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(numChars)), false,
                          false);
}

CFStringRef CFStringCreateCopy(CFAllocatorRef, CFStringRef theString) {
    const __CFString* s = as<__CFString>(theString);
    if (s == nullptr) return nullptr;
    if (!s->isMutable) return static_cast<CFStringRef>(CFRetain(s));
    return new __CFString(s->text, false, false);
}

CFStringRef CFStringCreateWithSubstring(CFAllocatorRef, CFStringRef str, CFRange range) {
    const __CFString* s = as<__CFString>(str);
    if (s == nullptr) return nullptr;
    return new __CFString(substring(s, range), false, false);
}

CFStringRef CFStringCreateWithFormat(CFAllocatorRef alloc, CFDictionaryRef formatOptions, CFStringRef format, ...) {
    va_list args;
    va_start(args, format);
    CFStringRef result = CFStringCreateWithFormatAndArguments(alloc, formatOptions, format, args);
    va_end(args);
    return result;
}

CFStringRef CFStringCreateWithFormatAndArguments(CFAllocatorRef, CFDictionaryRef, CFStringRef format,
                                                 va_list arguments) {
    const __CFString* f = as<__CFString>(format);
    if (f == nullptr) return nullptr;
    std::string text = formatText(f->text, arguments);
    if (!isValidUTF8(text)) {
        // A precision that cut a %s inside a character leaves stray bytes.
        std::string repaired;
        for (char32_t cp : toCodePoints(text)) appendUTF8(repaired, cp);
        text = std::move(repaired);
    }
    return new __CFString(std::move(text), false, false);
}

CFMutableStringRef CFStringCreateMutable(CFAllocatorRef, CFIndex) { return new __CFString(std::string(), true, false); }

CFMutableStringRef CFStringCreateMutableCopy(CFAllocatorRef, CFIndex, CFStringRef theString) {
    const __CFString* s = as<__CFString>(theString);
    return new __CFString(s != nullptr ? s->text : std::string(), true, false);
}

CFIndex CFStringGetLength(CFStringRef theString) {
    const __CFString* s = as<__CFString>(theString);
    return s != nullptr ? s->length : 0;
}

UniChar CFStringGetCharacterAtIndex(CFStringRef theString, CFIndex idx) {
    const __CFString* s = as<__CFString>(theString);
    if (s == nullptr || idx < 0 || idx >= s->length) return 0;
    return toUTF16(s->text)[static_cast<size_t>(idx)];
}

void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer) {
    const __CFString* s = as<__CFString>(theString);
    if (s == nullptr || buffer == nullptr || range.location < 0 || range.length <= 0) return;
    const std::u16string units = toUTF16(s->text);
    for (CFIndex i = 0; i < range.length; ++i) {
        const size_t k = static_cast<size_t>(range.location + i);
        buffer[i] = k < units.size() ? units[k] : 0;
    }
}

Boolean CFStringGetCString(CFStringRef theString, char* buffer, CFIndex bufferSize, CFStringEncoding encoding) {
    const __CFString* s = as<__CFString>(theString);
    if (buffer == nullptr || bufferSize <= 0) return false;
    buffer[0] = '\0';  // a failed conversion still leaves a readable, empty C string
    std::string bytes;
    if (s == nullptr || !encodeText(s->text, encoding, bytes)) return false;
    if (static_cast<CFIndex>(bytes.size()) + 1 > bufferSize) return false;
    std::memcpy(buffer, bytes.c_str(), bytes.size() + 1);
    return true;
}

const char* CFStringGetCStringPtr(CFStringRef theString, CFStringEncoding encoding) {
    const __CFString* s = as<__CFString>(theString);
    if (s == nullptr) return nullptr;
    if (encoding == kCFStringEncodingUTF8) return s->text.c_str();
    if ((encoding == kCFStringEncodingASCII || encoding == kCFStringEncodingMacRoman ||
         encoding == kCFStringEncodingISOLatin1 || encoding == kCFStringEncodingWindowsLatin1) &&
        isASCII(s->text))
        return s->text.c_str();
    return nullptr;
}

CFIndex CFStringGetBytes(CFStringRef theString, CFRange range, CFStringEncoding encoding, UInt8 lossByte, Boolean,
                         UInt8* buffer, CFIndex maxBufLen, CFIndex* usedBufLen) {
    const __CFString* s = as<__CFString>(theString);
    CFIndex used = 0, converted = 0;
    if (s != nullptr && supported(encoding)) {
        const std::u16string units = toUTF16(s->text);
        const CFIndex start = std::max<CFIndex>(0, range.location);
        const CFIndex end = std::min<CFIndex>(static_cast<CFIndex>(units.size()), range.location + range.length);
        for (CFIndex k = start; k < end;) {
            const CFIndex width =
                (units[k] >= 0xD800 && units[k] <= 0xDBFF && k + 1 < end) ? 2 : 1;
            std::string bytes;
            if (!encodeText(fromUTF16(units.data() + k, static_cast<size_t>(width)), encoding, bytes)) {
                if (lossByte == 0) break;
                bytes.assign(1, static_cast<char>(lossByte));
            }
            if (buffer != nullptr && used + static_cast<CFIndex>(bytes.size()) > maxBufLen) break;
            if (buffer != nullptr) std::memcpy(buffer + used, bytes.data(), bytes.size());
            used += static_cast<CFIndex>(bytes.size());
            converted += width;
            k += width;
        }
    }
    if (usedBufLen != nullptr) *usedBufLen = used;
    return converted;
}

CFIndex CFStringGetMaximumSizeForEncoding(CFIndex length, CFStringEncoding encoding) {
    if (length < 0) return kCFNotFound;
    switch (encoding) {
        case kCFStringEncodingUTF8: return length > LONG_MAX / 3 ? static_cast<CFIndex>(kCFNotFound) : length * 3;
        case kCFStringEncodingUTF16:
        case kCFStringEncodingUTF16BE:
        case kCFStringEncodingUTF16LE: return length > LONG_MAX / 2 ? static_cast<CFIndex>(kCFNotFound) : length * 2;
        case kCFStringEncodingUTF32:
        case kCFStringEncodingUTF32BE:
        case kCFStringEncodingUTF32LE: return length > LONG_MAX / 4 ? static_cast<CFIndex>(kCFNotFound) : length * 4;
        default: return length;
    }
}

CFStringEncoding CFStringGetSystemEncoding(void) { return kCFStringEncodingMacRoman; }

Boolean CFStringIsEncodingAvailable(CFStringEncoding encoding) { return supported(encoding); }

CFComparisonResult CFStringCompare(CFStringRef theString1, CFStringRef theString2,
                                   CFStringCompareFlags compareOptions) {
    return CFStringCompareWithOptions(theString1, theString2, CFRangeMake(0, CFStringGetLength(theString1)),
                                      compareOptions);
}

CFComparisonResult CFStringCompareWithOptions(CFStringRef theString1, CFStringRef theString2, CFRange rangeToCompare,
                                              CFStringCompareFlags compareOptions) {
    const __CFString* a = as<__CFString>(theString1);
    const __CFString* b = as<__CFString>(theString2);
    if (a == nullptr || b == nullptr) return a == b ? kCFCompareEqualTo : (a == nullptr ? kCFCompareLessThan : kCFCompareGreaterThan);
    const bool whole = rangeToCompare.location == 0 && rangeToCompare.length == a->length;
    const std::string left = whole ? a->text : substring(a, rangeToCompare);
    return compareCodePoints(toCodePoints(left), toCodePoints(b->text), compareOptions);
}

Boolean CFStringHasPrefix(CFStringRef theString, CFStringRef prefix) {
    const __CFString* s = as<__CFString>(theString);
    const __CFString* p = as<__CFString>(prefix);
    return s != nullptr && p != nullptr && s->text.compare(0, p->text.size(), p->text) == 0;
}

Boolean CFStringHasSuffix(CFStringRef theString, CFStringRef suffix) {
    const __CFString* s = as<__CFString>(theString);
    const __CFString* p = as<__CFString>(suffix);
    return s != nullptr && p != nullptr && s->text.size() >= p->text.size() &&
           s->text.compare(s->text.size() - p->text.size(), p->text.size(), p->text) == 0;
}

CFRange CFStringFind(CFStringRef theString, CFStringRef stringToFind, CFStringCompareFlags compareOptions) {
    const __CFString* s = as<__CFString>(theString);
    const __CFString* n = as<__CFString>(stringToFind);
    if (s == nullptr || n == nullptr) return CFRangeMake(kCFNotFound, 0);
    return find(s->text, n->text, compareOptions);
}

CFArrayRef CFStringCreateArrayBySeparatingStrings(CFAllocatorRef, CFStringRef theString, CFStringRef separatorString) {
    const __CFString* s = as<__CFString>(theString);
    const __CFString* sep = as<__CFString>(separatorString);
    if (s == nullptr || sep == nullptr) return nullptr;
    CFMutableArrayRef array = createTypeArray();
    size_t start = 0;
    while (true) {
        const size_t found = sep->text.empty() ? std::string::npos : s->text.find(sep->text, start);
        CFStringRef piece = createString(s->text.substr(start, found == std::string::npos ? std::string::npos : found - start));
        CFArrayAppendValue(array, piece);
        CFRelease(piece);
        if (found == std::string::npos) break;
        start = found + sep->text.size();
    }
    return array;
}

CFStringRef CFStringCreateByCombiningStrings(CFAllocatorRef, CFArrayRef theArray, CFStringRef separatorString) {
    const std::string& separator = stringText(separatorString);
    std::string text;
    const CFIndex count = CFArrayGetCount(theArray);
    for (CFIndex i = 0; i < count; ++i) {
        if (i > 0) text += separator;
        text += stringText(static_cast<CFStringRef>(CFArrayGetValueAtIndex(theArray, i)));
    }
    return createString(std::move(text));
}

SInt32 CFStringGetIntValue(CFStringRef str) {
    const char* text = stringText(str).c_str();
    const long long value = std::strtoll(text, nullptr, 10);
    return static_cast<SInt32>(std::max<long long>(INT32_MIN, std::min<long long>(INT32_MAX, value)));
}

double CFStringGetDoubleValue(CFStringRef str) { return strtod_l(stringText(str).c_str(), nullptr, cLocale()); }

void CFStringAppend(CFMutableStringRef theString, CFStringRef appendedString) {
    __CFString* s = mutableString(theString);
    const __CFString* a = as<__CFString>(appendedString);
    if (s == nullptr || a == nullptr) return;
    s->setText(s->text + a->text);
}

void CFStringAppendCString(CFMutableStringRef theString, const char* cStr, CFStringEncoding encoding) {
    __CFString* s = mutableString(theString);
    std::string text;
    if (s == nullptr || cStr == nullptr || !decodeBytes(cStr, std::strlen(cStr), encoding, text)) return;
    s->setText(s->text + text);
}

void CFStringAppendFormat(CFMutableStringRef theString, CFDictionaryRef formatOptions, CFStringRef format, ...) {
    va_list args;
    va_start(args, format);
    CFStringRef text = CFStringCreateWithFormatAndArguments(nullptr, formatOptions, format, args);
    va_end(args);
    CFStringAppend(theString, text);
    CFRelease(text);
}

void CFStringAppendCharacters(CFMutableStringRef theString, const UniChar* chars, CFIndex numChars) {
    __CFString* s = mutableString(theString);
    if (s == nullptr || chars == nullptr || numChars <= 0) return;
    s->setText(s->text + fromUTF16(reinterpret_cast<const char16_t*>(chars), static_cast<size_t>(numChars)));
}

void CFStringDelete(CFMutableStringRef theString, CFRange range) {
    __CFString* s = mutableString(theString);
    if (s == nullptr || range.location < 0 || range.length <= 0 || range.location >= s->length) return;
    std::u16string units = toUTF16(s->text);
    units.erase(static_cast<size_t>(range.location), static_cast<size_t>(range.length));
    s->setText(fromUTF16(units.data(), units.size()));
}

void CFStringReplaceAll(CFMutableStringRef theString, CFStringRef replacement) {
    __CFString* s = mutableString(theString);
    const __CFString* r = as<__CFString>(replacement);
    if (s != nullptr && r != nullptr) s->setText(r->text);
}

void CFStringTrimWhitespace(CFMutableStringRef theString) {
    __CFString* s = mutableString(theString);
    if (s == nullptr) return;
    const char* blanks = " \t\r\n\v\f";
    const size_t first = s->text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        s->setText(std::string());
        return;
    }
    s->setText(s->text.substr(first, s->text.find_last_not_of(blanks) - first + 1));
}

CFStringRef CFStringCreateWithPascalString(CFAllocatorRef, ConstStr255Param pStr, CFStringEncoding encoding) {
    if (pStr == nullptr) return nullptr;
    return CFStringCreateWithBytes(nullptr, pStr + 1, pStr[0], encoding, false);
}

Boolean CFStringGetPascalString(CFStringRef theString, StringPtr buffer, CFIndex bufferSize,
                                CFStringEncoding encoding) {
    const __CFString* s = as<__CFString>(theString);
    if (buffer == nullptr || bufferSize <= 0) return false;
    buffer[0] = 0;
    std::string bytes;
    if (s == nullptr || !encodeText(s->text, encoding, bytes)) return false;
    if (bytes.size() > 255 || static_cast<CFIndex>(bytes.size()) + 1 > bufferSize) return false;
    buffer[0] = static_cast<unsigned char>(bytes.size());
    std::memcpy(buffer + 1, bytes.data(), bytes.size());
    return true;
}

ConstStringPtr CFStringGetPascalStringPtr(CFStringRef, CFStringEncoding) { return nullptr; }

CFStringRef CFStringCreateWithFileSystemRepresentation(CFAllocatorRef, const char* buffer) {
    if (buffer == nullptr) return nullptr;
    CFStringRef s = CFStringCreateWithCString(nullptr, buffer, kCFStringEncodingUTF8);
    return s != nullptr ? s : CFStringCreateWithCString(nullptr, buffer, kCFStringEncodingISOLatin1);
}

Boolean CFStringGetFileSystemRepresentation(CFStringRef string, char* buffer, CFIndex maxBufLen) {
    return CFStringGetCString(string, buffer, maxBufLen, kCFStringEncodingUTF8);
}

CFIndex CFStringGetMaximumSizeOfFileSystemRepresentation(CFStringRef string) {
    return CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), kCFStringEncodingUTF8) + 1;
}
