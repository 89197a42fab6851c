#include "platform/cf/CFRuntime.h"

#include <cstring>
#include <functional>
#include <vector>

using namespace gravel_cf;

struct __CFData : Object {
    static constexpr CFTypeID kTypeID = kDataTypeID;
    __CFData(const UInt8* data, size_t length, bool isMutableData)
        : Object(kTypeID, false), bytes(data, data + length), isMutable(isMutableData) {}

    bool equals(const Object& other) const override { return bytes == static_cast<const __CFData&>(other).bytes; }
    CFHashCode hash() const override {
        // The length and the first bytes, as CF does: cheap for big data.
        CFHashCode h = bytes.size();
        for (size_t i = 0; i < bytes.size() && i < 80; ++i) h = h * 31 + bytes[i];
        return h;
    }
    std::string describe() const override {
        static const char digits[] = "0123456789abcdef";
        std::string text = "<";
        for (size_t i = 0; i < bytes.size(); ++i) {
            if (i > 0 && i % 4 == 0) text += ' ';
            text += digits[bytes[i] >> 4];
            text += digits[bytes[i] & 15];
        }
        return text + ">";
    }

    std::vector<UInt8> bytes;
    const bool isMutable;
};

namespace {

__CFData* mutableData(CFMutableDataRef data) {
    __CFData* d = as<__CFData>(data);
    return (d != nullptr && d->isMutable) ? d : nullptr;
}

// Clamps a range to the data; false when nothing of it lies inside.
bool clampRange(const __CFData* d, CFRange& range) {
    const CFIndex size = static_cast<CFIndex>(d->bytes.size());
    if (range.location < 0 || range.length < 0 || range.location > size) return false;
    if (range.length > size - range.location) range.length = size - range.location;
    return true;
}

}  // namespace

CFTypeID CFDataGetTypeID(void) { return kDataTypeID; }

CFDataRef CFDataCreate(CFAllocatorRef, const UInt8* bytes, CFIndex length) {
    if (length < 0 || (bytes == nullptr && length > 0)) return nullptr;
    return new __CFData(bytes, static_cast<size_t>(length), false);
}

CFDataRef CFDataCreateCopy(CFAllocatorRef, CFDataRef theData) {
    const __CFData* d = as<__CFData>(theData);
    if (d == nullptr) return nullptr;
    if (!d->isMutable) return static_cast<CFDataRef>(CFRetain(d));
    return new __CFData(d->bytes.data(), d->bytes.size(), false);
}

CFMutableDataRef CFDataCreateMutable(CFAllocatorRef, CFIndex capacity) {
    auto* d = new __CFData(nullptr, 0, true);
    if (capacity > 0 && capacity < (1L << 26)) d->bytes.reserve(static_cast<size_t>(capacity));
    return d;
}

CFMutableDataRef CFDataCreateMutableCopy(CFAllocatorRef, CFIndex, CFDataRef theData) {
    const __CFData* d = as<__CFData>(theData);
    return d != nullptr ? new __CFData(d->bytes.data(), d->bytes.size(), true) : new __CFData(nullptr, 0, true);
}

CFIndex CFDataGetLength(CFDataRef theData) {
    const __CFData* d = as<__CFData>(theData);
    return d != nullptr ? static_cast<CFIndex>(d->bytes.size()) : 0;
}

const UInt8* CFDataGetBytePtr(CFDataRef theData) {
    static const UInt8 empty = 0;
    const __CFData* d = as<__CFData>(theData);
    if (d == nullptr) return nullptr;
    return d->bytes.empty() ? &empty : d->bytes.data();
}

UInt8* CFDataGetMutableBytePtr(CFMutableDataRef theData) {
    __CFData* d = mutableData(theData);
    if (d == nullptr) return nullptr;
    if (d->bytes.capacity() == 0) d->bytes.reserve(1);
    return d->bytes.data();
}

void CFDataGetBytes(CFDataRef theData, CFRange range, UInt8* buffer) {
    const __CFData* d = as<__CFData>(theData);
    if (d == nullptr || buffer == nullptr || !clampRange(d, range) || range.length == 0) return;
    std::memcpy(buffer, d->bytes.data() + range.location, static_cast<size_t>(range.length));
}

void CFDataSetLength(CFMutableDataRef theData, CFIndex length) {
    __CFData* d = mutableData(theData);
    if (d != nullptr && length >= 0) d->bytes.resize(static_cast<size_t>(length), 0);
}

void CFDataIncreaseLength(CFMutableDataRef theData, CFIndex extraLength) {
    __CFData* d = mutableData(theData);
    if (d != nullptr && extraLength > 0) d->bytes.resize(d->bytes.size() + static_cast<size_t>(extraLength), 0);
}

void CFDataAppendBytes(CFMutableDataRef theData, const UInt8* bytes, CFIndex length) {
    __CFData* d = mutableData(theData);
    if (d == nullptr || bytes == nullptr || length <= 0) return;
    d->bytes.insert(d->bytes.end(), bytes, bytes + length);
}

void CFDataReplaceBytes(CFMutableDataRef theData, CFRange range, const UInt8* newBytes, CFIndex newLength) {
    __CFData* d = mutableData(theData);
    if (d == nullptr || newLength < 0 || (newBytes == nullptr && newLength > 0) || !clampRange(d, range)) return;
    // Copy first: newBytes may point into this data.
    const std::vector<UInt8> replacement(newBytes, newBytes + newLength);
    auto first = d->bytes.begin() + range.location;
    d->bytes.erase(first, first + range.length);
    d->bytes.insert(d->bytes.begin() + range.location, replacement.begin(), replacement.end());
}

void CFDataDeleteBytes(CFMutableDataRef theData, CFRange range) { CFDataReplaceBytes(theData, range, nullptr, 0); }
