#include "platform/cf/CFRuntime.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

using namespace gravel_cf;

namespace {

const void* retainType(CFAllocatorRef, const void* value) { return CFRetain(value); }
void releaseType(CFAllocatorRef, const void* value) { CFRelease(value); }
CFStringRef describeType(const void* value) { return CFCopyDescription(value); }
Boolean equalType(const void* a, const void* b) { return CFEqual(a, b); }
CFHashCode hashType(const void* value) { return CFHash(value); }
const void* copyStringKey(CFAllocatorRef, const void* value) {
    return CFGetTypeID(value) == kStringTypeID ? CFStringCreateCopy(nullptr, static_cast<CFStringRef>(value))
                                               : CFRetain(value);
}

// Descriptions of raw pointers show the address.
std::string describeValue(CFStringRef (*copyDescription)(const void*), const void* value) {
    if (copyDescription == nullptr) {
        char text[32];
        std::snprintf(text, sizeof text, "%p", value);
        return text;
    }
    CFStringRef description = copyDescription(value);
    std::string text = stringText(description);
    CFRelease(description);
    return text;
}

}  // namespace

const CFArrayCallBacks kCFTypeArrayCallBacks = {0, retainType, releaseType, describeType, equalType};
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0,         retainType, releaseType,
                                                                describeType, equalType, hashType};
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks = {0,         copyStringKey, releaseType,
                                                                      describeType, equalType,  hashType};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0, retainType, releaseType, describeType,
                                                                    equalType};

// ---- CFArray --------------------------------------------------------------------

struct __CFArray : Object {
    static constexpr CFTypeID kTypeID = kArrayTypeID;
    __CFArray(const CFArrayCallBacks* cb, bool isMutableArray)
        : Object(kTypeID, false), callBacks(cb != nullptr ? *cb : CFArrayCallBacks{}), isMutable(isMutableArray) {}
    ~__CFArray() override {
        for (const void* v : values) release(v);
    }

    const void* retain(const void* v) const { return callBacks.retain != nullptr ? callBacks.retain(nullptr, v) : v; }
    void release(const void* v) const {
        if (callBacks.release != nullptr) callBacks.release(nullptr, v);
    }
    bool same(const void* a, const void* b) const {
        return a == b || (callBacks.equal != nullptr && callBacks.equal(a, b));
    }

    bool equals(const Object& other) const override {
        const auto& o = static_cast<const __CFArray&>(other);
        if (values.size() != o.values.size()) return false;
        for (size_t i = 0; i < values.size(); ++i)
            if (!same(values[i], o.values[i])) return false;
        return true;
    }
    CFHashCode hash() const override { return values.size(); }
    std::string describe() const override {
        std::string text = "(";
        for (size_t i = 0; i < values.size(); ++i)
            text += (i > 0 ? ", " : "") + describeValue(callBacks.copyDescription, values[i]);
        return text + ")";
    }

    const CFArrayCallBacks callBacks;
    std::vector<const void*> values;
    const bool isMutable;
};

namespace {

__CFArray* mutableArray(CFMutableArrayRef array) {
    __CFArray* a = as<__CFArray>(array);
    return (a != nullptr && a->isMutable) ? a : nullptr;
}

// The part of a range that lies inside the array.
bool clampRange(const __CFArray* a, CFRange& range) {
    const CFIndex size = static_cast<CFIndex>(a->values.size());
    if (range.location < 0 || range.length < 0 || range.location > size) return false;
    if (range.length > size - range.location) range.length = size - range.location;
    return true;
}

__CFArray* copyArray(const __CFArray* source, bool isMutable) {
    auto* a = new __CFArray(&source->callBacks, isMutable);
    a->values.reserve(source->values.size());
    for (const void* v : source->values) a->values.push_back(a->retain(v));
    return a;
}

}  // namespace

namespace gravel_cf {
CFMutableArrayRef createTypeArray() { return new __CFArray(&kCFTypeArrayCallBacks, true); }
}  // namespace gravel_cf

CFTypeID CFArrayGetTypeID(void) { return kArrayTypeID; }

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex numValues, const CFArrayCallBacks* callBacks) {
    if (numValues < 0 || (values == nullptr && numValues > 0)) return nullptr;
    auto* a = new __CFArray(callBacks, false);
    a->values.reserve(static_cast<size_t>(numValues));
    for (CFIndex i = 0; i < numValues; ++i) a->values.push_back(a->retain(values[i]));
    return a;
}

CFArrayRef CFArrayCreateCopy(CFAllocatorRef, CFArrayRef theArray) {
    const __CFArray* a = as<__CFArray>(theArray);
    return a != nullptr ? copyArray(a, false) : nullptr;
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex, const CFArrayCallBacks* callBacks) {
    return new __CFArray(callBacks, true);
}

CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef, CFIndex, CFArrayRef theArray) {
    const __CFArray* a = as<__CFArray>(theArray);
    return a != nullptr ? copyArray(a, true) : nullptr;
}

CFIndex CFArrayGetCount(CFArrayRef theArray) {
    const __CFArray* a = as<__CFArray>(theArray);
    return a != nullptr ? static_cast<CFIndex>(a->values.size()) : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx) {
    const __CFArray* a = as<__CFArray>(theArray);
    if (a == nullptr || idx < 0 || idx >= static_cast<CFIndex>(a->values.size())) return nullptr;
    return a->values[static_cast<size_t>(idx)];
}

void CFArrayGetValues(CFArrayRef theArray, CFRange range, const void** values) {
    const __CFArray* a = as<__CFArray>(theArray);
    if (a == nullptr || values == nullptr || !clampRange(a, range)) return;
    std::copy_n(a->values.begin() + range.location, range.length, values);
}

CFIndex CFArrayGetFirstIndexOfValue(CFArrayRef theArray, CFRange range, const void* value) {
    const __CFArray* a = as<__CFArray>(theArray);
    if (a == nullptr || !clampRange(a, range)) return kCFNotFound;
    for (CFIndex i = range.location; i < range.location + range.length; ++i)
        if (a->same(a->values[static_cast<size_t>(i)], value)) return i;
    return kCFNotFound;
}

Boolean CFArrayContainsValue(CFArrayRef theArray, CFRange range, const void* value) {
    return CFArrayGetFirstIndexOfValue(theArray, range, value) != kCFNotFound;
}

CFIndex CFArrayGetCountOfValue(CFArrayRef theArray, CFRange range, const void* value) {
    const __CFArray* a = as<__CFArray>(theArray);
    if (a == nullptr || !clampRange(a, range)) return 0;
    CFIndex count = 0;
    for (CFIndex i = range.location; i < range.location + range.length; ++i)
        if (a->same(a->values[static_cast<size_t>(i)], value)) ++count;
    return count;
}

void CFArrayApplyFunction(CFArrayRef theArray, CFRange range, CFArrayApplierFunction applier, void* context) {
    const __CFArray* a = as<__CFArray>(theArray);
    if (a == nullptr || applier == nullptr || !clampRange(a, range)) return;
    // A snapshot, so that the applier may change the array.
    const std::vector<const void*> values(a->values.begin() + range.location,
                                          a->values.begin() + range.location + range.length);
    for (const void* v : values) applier(v, context);
}

void CFArraySortValues(CFMutableArrayRef theArray, CFRange range, CFComparatorFunction comparator, void* context) {
    __CFArray* a = mutableArray(theArray);
    if (a == nullptr || comparator == nullptr || !clampRange(a, range)) return;
    std::stable_sort(a->values.begin() + range.location, a->values.begin() + range.location + range.length,
                     [&](const void* x, const void* y) { return comparator(x, y, context) == kCFCompareLessThan; });
}

void CFArrayAppendValue(CFMutableArrayRef theArray, const void* value) {
    __CFArray* a = mutableArray(theArray);
    if (a != nullptr) a->values.push_back(a->retain(value));
}

void CFArrayInsertValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value) {
    __CFArray* a = mutableArray(theArray);
    if (a == nullptr || idx < 0 || idx > static_cast<CFIndex>(a->values.size())) return;
    a->values.insert(a->values.begin() + idx, a->retain(value));
}

void CFArraySetValueAtIndex(CFMutableArrayRef theArray, CFIndex idx, const void* value) {
    __CFArray* a = mutableArray(theArray);
    if (a == nullptr || idx < 0 || idx > static_cast<CFIndex>(a->values.size())) return;
    if (idx == static_cast<CFIndex>(a->values.size())) {
        a->values.push_back(a->retain(value));  // setting one past the end appends, as in CF
        return;
    }
    const void* old = a->values[static_cast<size_t>(idx)];
    a->values[static_cast<size_t>(idx)] = a->retain(value);  // retain first: value may be old
    a->release(old);
}

void CFArrayRemoveValueAtIndex(CFMutableArrayRef theArray, CFIndex idx) {
    __CFArray* a = mutableArray(theArray);
    if (a == nullptr || idx < 0 || idx >= static_cast<CFIndex>(a->values.size())) return;
    const void* old = a->values[static_cast<size_t>(idx)];
    a->values.erase(a->values.begin() + idx);
    a->release(old);
}

void CFArrayRemoveAllValues(CFMutableArrayRef theArray) {
    __CFArray* a = mutableArray(theArray);
    if (a == nullptr) return;
    std::vector<const void*> old;
    old.swap(a->values);
    for (const void* v : old) a->release(v);
}

void CFArrayAppendArray(CFMutableArrayRef theArray, CFArrayRef otherArray, CFRange otherRange) {
    __CFArray* a = mutableArray(theArray);
    const __CFArray* b = as<__CFArray>(otherArray);
    if (a == nullptr || b == nullptr || !clampRange(b, otherRange)) return;
    // Copy first: the other array may be this one.
    const std::vector<const void*> added(b->values.begin() + otherRange.location,
                                         b->values.begin() + otherRange.location + otherRange.length);
    for (const void* v : added) a->values.push_back(a->retain(v));
}

void CFArrayExchangeValuesAtIndices(CFMutableArrayRef theArray, CFIndex idx1, CFIndex idx2) {
    __CFArray* a = mutableArray(theArray);
    const CFIndex size = a != nullptr ? static_cast<CFIndex>(a->values.size()) : 0;
    if (idx1 < 0 || idx2 < 0 || idx1 >= size || idx2 >= size) return;
    std::swap(a->values[static_cast<size_t>(idx1)], a->values[static_cast<size_t>(idx2)]);
}

// ---- CFDictionary ------------------------------------------------------------------

struct __CFDictionary : Object {
    static constexpr CFTypeID kTypeID = kDictionaryTypeID;

    struct KeyHash {
        CFDictionaryHashCallBack hash;
        size_t operator()(const void* key) const {
            return hash != nullptr ? hash(key) : std::hash<const void*>()(key);
        }
    };
    struct KeyEqual {
        CFDictionaryEqualCallBack equal;
        bool operator()(const void* a, const void* b) const {
            return a == b || (equal != nullptr && equal(a, b));
        }
    };
    using Map = std::unordered_map<const void*, const void*, KeyHash, KeyEqual>;

    __CFDictionary(const CFDictionaryKeyCallBacks* kcb, const CFDictionaryValueCallBacks* vcb, bool isMutableDict)
        : Object(kTypeID, false),
          keyCallBacks(kcb != nullptr ? *kcb : CFDictionaryKeyCallBacks{}),
          valueCallBacks(vcb != nullptr ? *vcb : CFDictionaryValueCallBacks{}),
          entries(8, KeyHash{keyCallBacks.hash}, KeyEqual{keyCallBacks.equal}),
          isMutable(isMutableDict) {}
    ~__CFDictionary() override {
        for (const auto& entry : entries) {
            releaseKey(entry.first);
            releaseValue(entry.second);
        }
    }

    const void* retainKey(const void* k) const {
        return keyCallBacks.retain != nullptr ? keyCallBacks.retain(nullptr, k) : k;
    }
    const void* retainValue(const void* v) const {
        return valueCallBacks.retain != nullptr ? valueCallBacks.retain(nullptr, v) : v;
    }
    void releaseKey(const void* k) const {
        if (keyCallBacks.release != nullptr) keyCallBacks.release(nullptr, k);
    }
    void releaseValue(const void* v) const {
        if (valueCallBacks.release != nullptr) valueCallBacks.release(nullptr, v);
    }
    bool sameValue(const void* a, const void* b) const {
        return a == b || (valueCallBacks.equal != nullptr && valueCallBacks.equal(a, b));
    }

    void set(const void* key, const void* value) {
        auto found = entries.find(key);
        if (found == entries.end()) {
            entries.emplace(retainKey(key), retainValue(value));
            return;
        }
        const void* old = found->second;
        found->second = retainValue(value);  // retain first: value may be old
        releaseValue(old);
    }

    bool equals(const Object& other) const override {
        const auto& o = static_cast<const __CFDictionary&>(other);
        if (entries.size() != o.entries.size()) return false;
        for (const auto& entry : entries) {
            auto found = o.entries.find(entry.first);
            if (found == o.entries.end() || !sameValue(entry.second, found->second)) return false;
        }
        return true;
    }
    CFHashCode hash() const override { return entries.size(); }
    std::string describe() const override {
        std::string text = "{";
        bool first = true;
        for (const auto& entry : entries) {
            text += (first ? "" : ", ") + describeValue(keyCallBacks.copyDescription, entry.first) + " = " +
                    describeValue(valueCallBacks.copyDescription, entry.second);
            first = false;
        }
        return text + "}";
    }

    const CFDictionaryKeyCallBacks keyCallBacks;
    const CFDictionaryValueCallBacks valueCallBacks;
    Map entries;
    const bool isMutable;
};

namespace {

__CFDictionary* mutableDictionary(CFMutableDictionaryRef dict) {
    __CFDictionary* d = as<__CFDictionary>(dict);
    return (d != nullptr && d->isMutable) ? d : nullptr;
}

__CFDictionary* copyDictionary(const __CFDictionary* source, bool isMutable) {
    auto* d = new __CFDictionary(&source->keyCallBacks, &source->valueCallBacks, isMutable);
    for (const auto& entry : source->entries) d->set(entry.first, entry.second);
    return d;
}

}  // namespace

namespace gravel_cf {
CFMutableDictionaryRef createTypeDictionary() {
    return new __CFDictionary(&kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks, true);
}
}  // namespace gravel_cf

CFTypeID CFDictionaryGetTypeID(void) { return kDictionaryTypeID; }

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values, CFIndex numValues,
                                   const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks) {
    if (numValues < 0 || ((keys == nullptr || values == nullptr) && numValues > 0)) return nullptr;
    auto* d = new __CFDictionary(keyCallBacks, valueCallBacks, false);
    for (CFIndex i = 0; i < numValues; ++i) d->set(keys[i], values[i]);
    return d;
}

CFDictionaryRef CFDictionaryCreateCopy(CFAllocatorRef, CFDictionaryRef theDict) {
    const __CFDictionary* d = as<__CFDictionary>(theDict);
    return d != nullptr ? copyDictionary(d, false) : nullptr;
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex, const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks) {
    return new __CFDictionary(keyCallBacks, valueCallBacks, true);
}

CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef, CFIndex, CFDictionaryRef theDict) {
    const __CFDictionary* d = as<__CFDictionary>(theDict);
    return d != nullptr ? copyDictionary(d, true) : nullptr;
}

CFIndex CFDictionaryGetCount(CFDictionaryRef theDict) {
    const __CFDictionary* d = as<__CFDictionary>(theDict);
    return d != nullptr ? static_cast<CFIndex>(d->entries.size()) : 0;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef theDict, const void* key, const void** value) {
    const __CFDictionary* d = as<__CFDictionary>(theDict);
    if (d == nullptr) return false;
    auto found = d->entries.find(key);
    if (found == d->entries.end()) return false;
    if (value != nullptr) *value = found->second;
    return true;
}

const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key) {
    const void* value = nullptr;
    return CFDictionaryGetValueIfPresent(theDict, key, &value) ? value : nullptr;
}

Boolean CFDictionaryContainsKey(CFDictionaryRef theDict, const void* key) {
    return CFDictionaryGetValueIfPresent(theDict, key, nullptr);
}

Boolean CFDictionaryContainsValue(CFDictionaryRef theDict, const void* value) {
    const __CFDictionary* d = as<__CFDictionary>(theDict);
    if (d == nullptr) return false;
    for (const auto& entry : d->entries)
        if (d->sameValue(entry.second, value)) return true;
    return false;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void** keys, const void** values) {
    const __CFDictionary* d = as<__CFDictionary>(theDict);
    if (d == nullptr) return;
    size_t i = 0;
    for (const auto& entry : d->entries) {
        if (keys != nullptr) keys[i] = entry.first;
        if (values != nullptr) values[i] = entry.second;
        ++i;
    }
}

void CFDictionaryApplyFunction(CFDictionaryRef theDict, CFDictionaryApplierFunction applier, void* context) {
    const __CFDictionary* d = as<__CFDictionary>(theDict);
    if (d == nullptr || applier == nullptr) return;
    // A snapshot, so that the applier may not invalidate the iteration.
    const std::vector<std::pair<const void*, const void*>> snapshot(d->entries.begin(), d->entries.end());
    for (const auto& entry : snapshot) applier(entry.first, entry.second, context);
}

void CFDictionarySetValue(CFMutableDictionaryRef theDict, const void* key, const void* value) {
    __CFDictionary* d = mutableDictionary(theDict);
    if (d != nullptr) d->set(key, value);
}

void CFDictionaryAddValue(CFMutableDictionaryRef theDict, const void* key, const void* value) {
    __CFDictionary* d = mutableDictionary(theDict);
    if (d != nullptr && d->entries.find(key) == d->entries.end()) d->set(key, value);
}

void CFDictionaryReplaceValue(CFMutableDictionaryRef theDict, const void* key, const void* value) {
    __CFDictionary* d = mutableDictionary(theDict);
    if (d != nullptr && d->entries.find(key) != d->entries.end()) d->set(key, value);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef theDict, const void* key) {
    __CFDictionary* d = mutableDictionary(theDict);
    if (d == nullptr) return;
    auto found = d->entries.find(key);
    if (found == d->entries.end()) return;
    const void* oldKey = found->first;
    const void* oldValue = found->second;
    d->entries.erase(found);
    d->releaseKey(oldKey);
    d->releaseValue(oldValue);
}

void CFDictionaryRemoveAllValues(CFMutableDictionaryRef theDict) {
    __CFDictionary* d = mutableDictionary(theDict);
    if (d == nullptr) return;
    __CFDictionary::Map old(std::move(d->entries));
    d->entries.clear();
    for (const auto& entry : old) {
        d->releaseKey(entry.first);
        d->releaseValue(entry.second);
    }
}

// ---- CFError ---------------------------------------------------------------------

struct __CFError : Object {
    static constexpr CFTypeID kTypeID = kErrorTypeID;
    __CFError(CFStringRef errorDomain, CFIndex errorCode, CFDictionaryRef info)
        : Object(kTypeID, false),
          domain(CFStringCreateCopy(nullptr, errorDomain)),
          code(errorCode),
          userInfo(info != nullptr ? CFDictionaryCreateCopy(nullptr, info)
                                   : CFDictionaryCreate(nullptr, nullptr, nullptr, 0, &kCFTypeDictionaryKeyCallBacks,
                                                        &kCFTypeDictionaryValueCallBacks)) {}
    ~__CFError() override {
        CFRelease(domain);
        CFRelease(userInfo);
    }
    std::string describe() const override;

    const CFStringRef domain;
    const CFIndex code;
    const CFDictionaryRef userInfo;
};

CFTypeID CFErrorGetTypeID(void) { return kErrorTypeID; }

CFErrorRef CFErrorCreate(CFAllocatorRef, CFErrorDomain domain, CFIndex code, CFDictionaryRef userInfo) {
    if (CFGetTypeID(domain) != kStringTypeID) return nullptr;
    return new __CFError(domain, code, userInfo);
}

CFErrorDomain CFErrorGetDomain(CFErrorRef err) {
    const __CFError* e = as<__CFError>(err);
    return e != nullptr ? e->domain : nullptr;
}

CFIndex CFErrorGetCode(CFErrorRef err) {
    const __CFError* e = as<__CFError>(err);
    return e != nullptr ? e->code : 0;
}

CFDictionaryRef CFErrorCopyUserInfo(CFErrorRef err) {
    const __CFError* e = as<__CFError>(err);
    return e != nullptr ? static_cast<CFDictionaryRef>(CFRetain(e->userInfo)) : nullptr;
}

std::string __CFError::describe() const {
    CFTypeRef text = CFDictionaryGetValue(userInfo, kCFErrorDescriptionKey);
    if (CFGetTypeID(text) == kStringTypeID) return stringText(static_cast<CFStringRef>(text));
    return "The operation couldn't be completed. (" + stringText(domain) + " error " + std::to_string(code) + ".)";
}

CFStringRef CFErrorCopyDescription(CFErrorRef err) {
    const __CFError* e = as<__CFError>(err);
    return e != nullptr ? createString(e->describe()) : nullptr;
}
