#include "platform/cf/CFRuntime.h"

#include <plist/plist.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace gravel_cf;

namespace {

// Deeper nesting is refused before it reaches libplist's recursive parser
// (and our own recursion), and catches containers that hold themselves.
constexpr int kMaxDepth = 512;

// ---- XML checks ---------------------------------------------------------------
//
// libplist 2.2 reports no reason when it rejects a document, so the structure
// is checked here first, with CoreFoundation-style messages that name the line.

bool startsWith(const char* p, size_t left, const char* prefix) {
    const size_t n = std::strlen(prefix);
    return left >= n && std::memcmp(p, prefix, n) == 0;
}

const char* const kTags[] = {"plist", "dict", "key", "string", "integer", "real", "true", "false", "data", "date", "array"};

bool knownTag(const std::string& name) {
    return std::find(std::begin(kTags), std::end(kTags), name) != std::end(kTags);
}

std::string trimmed(const char* p, size_t n) {
    size_t start = 0;
    while (start < n && std::isspace(static_cast<unsigned char>(p[start]))) ++start;
    while (n > start && std::isspace(static_cast<unsigned char>(p[n - 1]))) --n;
    return std::string(p + start, n - start);
}

bool validInteger(const std::string& text) {
    size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) {
        i += 2;
        if (i == text.size()) return false;
        for (; i < text.size(); ++i)
            if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
        return true;
    }
    if (i == text.size()) return false;
    for (; i < text.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
    return true;
}

bool validReal(const std::string& text) {
    static const char* const special[] = {"nan", "+nan", "-nan", "inf", "+inf", "-inf", "infinity", "+infinity", "-infinity"};
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const char* s : special)
        if (lower == s) return true;
    if (text.empty() || text.find_first_not_of("0123456789+-.eE") != std::string::npos) return false;
    char* end = nullptr;
    std::strtod(text.c_str(), &end);
    return end != nullptr && *end == '\0';
}

// Document text quoted in a message: one line of printable ASCII, short, so
// that the message fits a one-line log entry whatever the document holds.
std::string quoted(const std::string& text) {
    constexpr size_t kLimit = 40;
    std::string out;
    for (size_t i = 0; i < text.size() && i < kLimit; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    if (text.size() > kLimit) out += "...";
    return out;
}

bool checkXML(const char* p, size_t n, std::string& error) {
    std::vector<std::string> open;
    int line = 1;
    bool sawValue = false;
    size_t contentStart = 0;
    auto fail = [&](const std::string& message) {
        error = message + " on line " + std::to_string(line);
        return false;
    };
    auto skipTo = [&](size_t& i, const char* terminator) {
        const size_t len = std::strlen(terminator);
        for (; i + len <= n; ++i) {
            if (std::memcmp(p + i, terminator, len) == 0) {
                i += len;
                return true;
            }
            if (p[i] == '\n') ++line;
        }
        return false;
    };
    // XML cannot carry U+0000, not even in CDATA or a comment, and libplist
    // aborts the process on a string that holds one.
    if (const auto* nul = static_cast<const char*>(std::memchr(p, '\0', n))) {
        line += static_cast<int>(std::count(p, nul, '\n'));
        return fail("Encountered unexpected NUL byte");
    }
    size_t i = 0;
    while (i < n) {
        const char c = p[i];
        if (c == '\n') ++line;
        if (c != '<') {
            if (open.empty() && !std::isspace(static_cast<unsigned char>(c)))
                return fail("Encountered unexpected text outside any element");
            ++i;
            continue;
        }
        const size_t tagStart = i;
        if (startsWith(p + i, n - i, "<?")) {
            if (!skipTo(i, "?>")) return fail("Encountered unexpected EOF in a processing instruction");
            continue;
        }
        if (startsWith(p + i, n - i, "<!--")) {
            if (!skipTo(i, "-->")) return fail("Encountered unexpected EOF in a comment");
            continue;
        }
        if (startsWith(p + i, n - i, "<![CDATA[")) {
            if (open.empty() || (open.back() != "string" && open.back() != "key"))
                return fail("Encountered CDATA outside a string");
            if (!skipTo(i, "]]>")) return fail("Encountered unexpected EOF in CDATA");
            continue;
        }
        if (startsWith(p + i, n - i, "<!")) {
            if (!skipTo(i, ">")) return fail("Encountered unexpected EOF in a declaration");
            continue;
        }
        const int tagLine = line;
        if (!skipTo(i, ">")) return fail("Encountered unexpected EOF in a tag");
        const std::string tag = trimmed(p + tagStart + 1, i - tagStart - 2);
        line = tagLine;  // report the line a tag starts on
        if (!tag.empty() && tag[0] == '/') {
            const std::string name = trimmed(tag.data() + 1, tag.size() - 1);
            if (open.empty()) return fail("Encountered closing tag </" + quoted(name) + "> with no open element");
            if (open.back() != name) return fail("Encountered mismatched tag </" + quoted(name) + ">, expected </" + open.back() + ">");
            if (name == "integer" || name == "real") {
                const std::string content = trimmed(p + contentStart, tagStart - contentStart);
                if (name == "integer" && !validInteger(content)) return fail("Encountered misformatted integer \"" + quoted(content) + "\"");
                if (name == "real" && !validReal(content)) return fail("Encountered misformatted real \"" + quoted(content) + "\"");
            }
            open.pop_back();
        } else {
            const bool selfClosing = !tag.empty() && tag.back() == '/';
            const size_t nameEnd = tag.find_first_of(" \t\r\n/");
            const std::string name = tag.substr(0, nameEnd);
            if (name.empty()) return fail("Encountered malformed tag");
            if (!knownTag(name)) return fail("Encountered unknown tag <" + quoted(name) + ">");
            if (!open.empty() && (open.back() == "key" || open.back() == "string" || open.back() == "integer" ||
                                  open.back() == "real" || open.back() == "data" || open.back() == "date"))
                return fail("Encountered <" + name + "> inside <" + open.back() + ">");
            if (name != "plist") sawValue = true;
            if (!selfClosing) {
                open.push_back(name);
                if (open.size() > static_cast<size_t>(kMaxDepth)) return fail("Property list nested too deeply");
                contentStart = i;
            }
        }
        for (size_t k = tagStart; k < i; ++k)
            if (p[k] == '\n') ++line;
    }
    if (!open.empty()) return fail("Encountered unexpected EOF: <" + open.back() + "> is not closed");
    if (!sawValue) return fail("No property list found");
    return true;
}

// ---- libplist nodes to CF ---------------------------------------------------------

CFTypeRef fromNode(plist_t node, CFOptionFlags options, int depth, std::string& error);

CFTypeRef fromNodeChecked(plist_t node, CFOptionFlags options, int depth, std::string& error) {
    if (depth > kMaxDepth) {
        error = "Property list nested too deeply";
        return nullptr;
    }
    return fromNode(node, options, depth, error);
}

// Strings are read by their length: a NUL inside one must never be cut at or
// tripped over.
CFStringRef stringFromNode(plist_t node, std::string& error) {
    uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    CFStringRef string = createString(text != nullptr ? std::string(text, static_cast<size_t>(length)) : std::string());
    if (string == nullptr) error = "Encountered a string that is not valid UTF-8";
    return string;
}

CFTypeRef fromNode(plist_t node, CFOptionFlags options, int depth, std::string& error) {
    const bool mutableContainers = options != kCFPropertyListImmutable;
    const bool mutableLeaves = options == kCFPropertyListMutableContainersAndLeaves;
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t value = 0;
            plist_get_bool_val(node, &value);
            return value ? kCFBooleanTrue : kCFBooleanFalse;
        }
        case PLIST_UINT: {
            uint64_t value = 0;
            plist_get_uint_val(node, &value);
            const auto signedValue = static_cast<int64_t>(value);  // libplist keeps negatives as two's complement
            return CFNumberCreate(nullptr, kCFNumberSInt64Type, &signedValue);
        }
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            return CFNumberCreate(nullptr, kCFNumberFloat64Type, &value);
        }
        case PLIST_STRING: {
            CFStringRef string = stringFromNode(node, error);
            if (string == nullptr || !mutableLeaves) return string;
            CFMutableStringRef copy = CFStringCreateMutableCopy(nullptr, 0, string);
            CFRelease(string);
            return copy;
        }
        case PLIST_DATA: {
            char* bytes = nullptr;
            uint64_t length = 0;
            plist_get_data_val(node, &bytes, &length);
            CFDataRef data = CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(bytes), static_cast<CFIndex>(length));
            std::free(bytes);
            if (data == nullptr || !mutableLeaves) return data;
            CFMutableDataRef copy = CFDataCreateMutableCopy(nullptr, 0, data);
            CFRelease(data);
            return copy;
        }
        case PLIST_DATE: {
            int32_t seconds = 0, microseconds = 0;
            plist_get_date_val(node, &seconds, &microseconds);
            return CFDateCreate(nullptr, seconds + microseconds / 1e6);
        }
        case PLIST_ARRAY: {
            CFMutableArrayRef array = createTypeArray();
            const uint32_t count = plist_array_get_size(node);
            for (uint32_t i = 0; i < count; ++i) {
                CFTypeRef value = fromNodeChecked(plist_array_get_item(node, i), options, depth + 1, error);
                if (value == nullptr) {
                    CFRelease(array);
                    return nullptr;
                }
                CFArrayAppendValue(array, value);
                CFRelease(value);
            }
            if (mutableContainers) return array;
            CFArrayRef copy = CFArrayCreateCopy(nullptr, array);
            CFRelease(array);
            return copy;
        }
        case PLIST_DICT: {
            CFMutableDictionaryRef dict = createTypeDictionary();
            plist_dict_iter iter = nullptr;
            plist_dict_new_iter(node, &iter);
            bool ok = iter != nullptr;
            while (ok) {
                char* key = nullptr;
                plist_t item = nullptr;
                plist_dict_next_item(node, iter, &key, &item);
                if (item == nullptr) {
                    std::free(key);
                    break;
                }
                CFStringRef keyString = createString(key != nullptr ? key : "");
                std::free(key);
                CFTypeRef value = keyString != nullptr ? fromNodeChecked(item, options, depth + 1, error) : nullptr;
                if (keyString == nullptr && error.empty()) error = "Encountered a key that is not valid UTF-8";
                if (value != nullptr) CFDictionarySetValue(dict, keyString, value);
                ok = value != nullptr;
                CFRelease(keyString);
                CFRelease(value);
            }
            std::free(iter);
            if (!ok) {
                CFRelease(dict);
                return nullptr;
            }
            if (mutableContainers) return dict;
            CFDictionaryRef copy = CFDictionaryCreateCopy(nullptr, dict);
            CFRelease(dict);
            return copy;
        }
        default:
            error = "Encountered a value type that property lists here do not hold";
            return nullptr;
    }
}

// ---- CF to libplist nodes -----------------------------------------------------------

plist_t toNode(CFTypeRef value, int depth, std::string& error) {
    if (depth > kMaxDepth) {
        error = "Property list nested too deeply (or holds itself)";
        return nullptr;
    }
    switch (CFGetTypeID(value)) {
        case kStringTypeID: return plist_new_string(stringText(static_cast<CFStringRef>(value)).c_str());
        case kBooleanTypeID: return plist_new_bool(CFBooleanGetValue(static_cast<CFBooleanRef>(value)));
        case kNumberTypeID: {
            auto number = static_cast<CFNumberRef>(value);
            if (CFNumberIsFloatType(number)) {
                double real = 0;
                CFNumberGetValue(number, kCFNumberFloat64Type, &real);
                return plist_new_real(real);
            }
            int64_t integer = 0;
            CFNumberGetValue(number, kCFNumberSInt64Type, &integer);
            return plist_new_uint(static_cast<uint64_t>(integer));
        }
        case kDataTypeID: {
            auto data = static_cast<CFDataRef>(value);
            return plist_new_data(reinterpret_cast<const char*>(CFDataGetBytePtr(data)),
                                  static_cast<uint64_t>(CFDataGetLength(data)));
        }
        case kDateTypeID: {
            const double time = CFDateGetAbsoluteTime(static_cast<CFDateRef>(value));
            // libplist 2.2 keeps dates as 32-bit seconds.
            double seconds = std::floor(time);
            long microseconds = std::lround((time - seconds) * 1e6);
            if (microseconds >= 1000000) seconds += 1, microseconds = 0;
            if (!(seconds >= -2147483648.0 && seconds <= 2147483647.0)) {
                error = "Encountered a date out of range";
                return nullptr;
            }
            return plist_new_date(static_cast<int32_t>(seconds), static_cast<int32_t>(microseconds));
        }
        case kArrayTypeID: {
            auto array = static_cast<CFArrayRef>(value);
            plist_t node = plist_new_array();
            const CFIndex count = CFArrayGetCount(array);
            for (CFIndex i = 0; i < count; ++i) {
                plist_t item = toNode(CFArrayGetValueAtIndex(array, i), depth + 1, error);
                if (item == nullptr) {
                    plist_free(node);
                    return nullptr;
                }
                plist_array_append_item(node, item);
            }
            return node;
        }
        case kDictionaryTypeID: {
            auto dict = static_cast<CFDictionaryRef>(value);
            const CFIndex count = CFDictionaryGetCount(dict);
            std::vector<const void*> keys(static_cast<size_t>(count)), values(static_cast<size_t>(count));
            CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
            std::vector<std::pair<std::string, const void*>> entries;
            for (CFIndex i = 0; i < count; ++i) {
                if (CFGetTypeID(keys[i]) != kStringTypeID) {
                    error = "Encountered a dictionary key that is not a string";
                    return nullptr;
                }
                entries.emplace_back(stringText(static_cast<CFStringRef>(keys[i])), values[i]);
            }
            // Sorted keys make the same dictionary give the same bytes.
            std::sort(entries.begin(), entries.end(),
                      [](const auto& a, const auto& b) { return a.first < b.first; });
            plist_t node = plist_new_dict();
            for (const auto& entry : entries) {
                plist_t item = toNode(entry.second, depth + 1, error);
                if (item == nullptr) {
                    plist_free(node);
                    return nullptr;
                }
                plist_dict_set_item(node, entry.first.c_str(), item);
            }
            return node;
        }
        default:
            error = "Encountered a value that is not a property-list type";
            return nullptr;
    }
}

CFErrorRef makeError(CFIndex code, const std::string& message) {
    CFStringRef text = createString(message);
    const void* keys[] = {kCFErrorDescriptionKey, kCFErrorDebugDescriptionKey};
    const void* values[] = {text, text};
    CFDictionaryRef info = CFDictionaryCreate(nullptr, keys, values, 2, &kCFTypeDictionaryKeyCallBacks,
                                              &kCFTypeDictionaryValueCallBacks);
    CFErrorRef error = CFErrorCreate(nullptr, kCFErrorDomainCocoa, code, info);
    CFRelease(info);
    CFRelease(text);
    return error;
}

CFTypeRef deepCopy(CFTypeRef value, CFOptionFlags options, int depth) {
    if (depth > kMaxDepth) return nullptr;
    const bool mutableContainers = options != kCFPropertyListImmutable;
    const bool mutableLeaves = options == kCFPropertyListMutableContainersAndLeaves;
    switch (CFGetTypeID(value)) {
        case kStringTypeID:
            return mutableLeaves ? CFStringCreateMutableCopy(nullptr, 0, static_cast<CFStringRef>(value))
                                 : CFStringCreateCopy(nullptr, static_cast<CFStringRef>(value));
        case kDataTypeID:
            return mutableLeaves ? CFDataCreateMutableCopy(nullptr, 0, static_cast<CFDataRef>(value))
                                 : CFDataCreateCopy(nullptr, static_cast<CFDataRef>(value));
        case kNumberTypeID:
        case kBooleanTypeID:
        case kDateTypeID: return CFRetain(value);
        case kArrayTypeID: {
            auto array = static_cast<CFArrayRef>(value);
            CFMutableArrayRef copy = createTypeArray();
            for (CFIndex i = 0; i < CFArrayGetCount(array); ++i) {
                CFTypeRef item = deepCopy(CFArrayGetValueAtIndex(array, i), options, depth + 1);
                if (item == nullptr) {
                    CFRelease(copy);
                    return nullptr;
                }
                CFArrayAppendValue(copy, item);
                CFRelease(item);
            }
            if (mutableContainers) return copy;
            CFArrayRef frozen = CFArrayCreateCopy(nullptr, copy);
            CFRelease(copy);
            return frozen;
        }
        case kDictionaryTypeID: {
            auto dict = static_cast<CFDictionaryRef>(value);
            const CFIndex count = CFDictionaryGetCount(dict);
            std::vector<const void*> keys(static_cast<size_t>(count)), values(static_cast<size_t>(count));
            CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
            CFMutableDictionaryRef copy = createTypeDictionary();
            for (CFIndex i = 0; i < count; ++i) {
                CFTypeRef key = CFGetTypeID(keys[i]) == kStringTypeID ? deepCopy(keys[i], kCFPropertyListImmutable, depth + 1) : nullptr;
                CFTypeRef item = key != nullptr ? deepCopy(values[i], options, depth + 1) : nullptr;
                if (item != nullptr) CFDictionarySetValue(copy, key, item);
                CFRelease(key);
                CFRelease(item);
                if (item == nullptr) {
                    CFRelease(copy);
                    return nullptr;
                }
            }
            if (mutableContainers) return copy;
            CFDictionaryRef frozen = CFDictionaryCreateCopy(nullptr, copy);
            CFRelease(copy);
            return frozen;
        }
        default: return nullptr;
    }
}

bool isValid(CFTypeRef value, CFPropertyListFormat format, int depth) {
    if (depth > kMaxDepth) return false;
    switch (CFGetTypeID(value)) {
        case kStringTypeID:
        case kDataTypeID: return true;
        case kNumberTypeID:
        case kBooleanTypeID:
        case kDateTypeID: return format != kCFPropertyListOpenStepFormat;
        case kArrayTypeID: {
            auto array = static_cast<CFArrayRef>(value);
            for (CFIndex i = 0; i < CFArrayGetCount(array); ++i)
                if (!isValid(CFArrayGetValueAtIndex(array, i), format, depth + 1)) return false;
            return true;
        }
        case kDictionaryTypeID: {
            auto dict = static_cast<CFDictionaryRef>(value);
            const CFIndex count = CFDictionaryGetCount(dict);
            std::vector<const void*> keys(static_cast<size_t>(count)), values(static_cast<size_t>(count));
            CFDictionaryGetKeysAndValues(dict, keys.data(), values.data());
            for (CFIndex i = 0; i < count; ++i)
                if (CFGetTypeID(keys[i]) != kStringTypeID || !isValid(values[i], format, depth + 1)) return false;
            return true;
        }
        default: return false;
    }
}

}  // namespace

CFPropertyListRef CFPropertyListCreateWithData(CFAllocatorRef, CFDataRef data, CFOptionFlags options,
                                               CFPropertyListFormat* format, CFErrorRef* error) {
    if (error != nullptr) *error = nullptr;
    std::string message;
    CFTypeRef result = nullptr;
    const auto* bytes = reinterpret_cast<const char*>(CFDataGetBytePtr(data));
    CFIndex length = CFDataGetLength(data);
    if (length >= 3 && startsWith(bytes, static_cast<size_t>(length), "\xEF\xBB\xBF")) bytes += 3, length -= 3;
    if (CFGetTypeID(data) != kDataTypeID) {
        message = "No data to read a property list from";
    } else if (length == 0) {
        message = "Cannot parse a property list from empty data";
    } else if (length > static_cast<CFIndex>(UINT32_MAX)) {
        message = "Property list data is too large";
    } else if (startsWith(bytes, static_cast<size_t>(length), "bplist")) {
        message = "Binary property lists are not supported; expected XML";
    } else if (checkXML(bytes, static_cast<size_t>(length), message)) {
        plist_t root = nullptr;
        plist_from_xml(bytes, static_cast<uint32_t>(length), &root);
        if (root == nullptr) {
            message = "The XML property list could not be parsed";
        } else {
            result = fromNodeChecked(root, options, 0, message);
            plist_free(root);
        }
    }
    if (result != nullptr) {
        if (format != nullptr) *format = kCFPropertyListXMLFormat_v1_0;
        return result;
    }
    if (error != nullptr) *error = makeError(kCFPropertyListReadCorruptError, message);
    return nullptr;
}

CFPropertyListRef CFPropertyListCreateFromXMLData(CFAllocatorRef, CFDataRef xmlData, CFOptionFlags mutabilityOption,
                                                  CFStringRef* errorString) {
    CFErrorRef error = nullptr;
    CFPropertyListRef result = CFPropertyListCreateWithData(nullptr, xmlData, mutabilityOption, nullptr, &error);
    if (errorString != nullptr) *errorString = error != nullptr ? CFErrorCopyDescription(error) : nullptr;
    CFRelease(error);
    return result;
}

CFDataRef CFPropertyListCreateData(CFAllocatorRef, CFPropertyListRef propertyList, CFPropertyListFormat format,
                                   CFOptionFlags, CFErrorRef* error) {
    if (error != nullptr) *error = nullptr;
    std::string message;
    plist_t root = nullptr;
    if (format != kCFPropertyListXMLFormat_v1_0) message = "Only XML property lists can be written";
    else root = toNode(propertyList, 0, message);
    if (root == nullptr) {
        if (error != nullptr) *error = makeError(kCFPropertyListWriteStreamError, message);
        return nullptr;
    }
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root, &xml, &length);
    plist_free(root);
    CFDataRef data = xml != nullptr ? CFDataCreate(nullptr, reinterpret_cast<const UInt8*>(xml), length) : nullptr;
    plist_to_xml_free(xml);
    if (data == nullptr && error != nullptr) *error = makeError(kCFPropertyListWriteStreamError, "libplist wrote no XML");
    return data;
}

CFDataRef CFPropertyListCreateXMLData(CFAllocatorRef, CFPropertyListRef propertyList) {
    return CFPropertyListCreateData(nullptr, propertyList, kCFPropertyListXMLFormat_v1_0, 0, nullptr);
}

CFPropertyListRef CFPropertyListCreateDeepCopy(CFAllocatorRef, CFPropertyListRef propertyList,
                                               CFOptionFlags mutabilityOption) {
    return deepCopy(propertyList, mutabilityOption, 0);
}

Boolean CFPropertyListIsValid(CFPropertyListRef plist, CFPropertyListFormat format) {
    if (format != kCFPropertyListOpenStepFormat && format != kCFPropertyListXMLFormat_v1_0 &&
        format != kCFPropertyListBinaryFormat_v1_0)
        return false;
    return isValid(plist, format, 0);
}
