#include "platform/cf/CFRuntime.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

using namespace gravel_cf;

struct __CFBoolean : Object {
    static constexpr CFTypeID kTypeID = kBooleanTypeID;
    constexpr explicit __CFBoolean(bool v) : Object(kTypeID, true), value(v) {}
    std::string describe() const override { return value ? "true" : "false"; }
    const bool value;
};

namespace {
__CFBoolean trueObject(true);
__CFBoolean falseObject(false);
}  // namespace

const CFBooleanRef kCFBooleanTrue = &trueObject;
const CFBooleanRef kCFBooleanFalse = &falseObject;

CFTypeID CFBooleanGetTypeID(void) { return kBooleanTypeID; }

Boolean CFBooleanGetValue(CFBooleanRef boolean) {
    const __CFBoolean* b = as<__CFBoolean>(boolean);
    return b != nullptr && b->value;
}

// A number keeps an integer as int64 and a real as double, with the
// canonical type it was made as.
struct __CFNumber : Object {
    static constexpr CFTypeID kTypeID = kNumberTypeID;
    __CFNumber(CFNumberType t, int64_t i) : Object(kTypeID, false), type(t), isFloat(false), integer(i) {}
    __CFNumber(CFNumberType t, double d) : Object(kTypeID, false), type(t), isFloat(true), real(d) {}

    bool equals(const Object& other) const override {
        return CFNumberCompare(this, static_cast<const __CFNumber*>(&other), nullptr) == kCFCompareEqualTo;
    }
    CFHashCode hash() const override {
        // Equal numbers hash alike whatever their type: integral reals hash
        // as the integer.
        if (!isFloat) return static_cast<CFHashCode>(integer);
        if (std::isnan(real)) return 0x7ff8;
        if (real == std::floor(real) && std::fabs(real) < 9.2e18) return static_cast<CFHashCode>(static_cast<int64_t>(real));
        CFHashCode bits;
        std::memcpy(&bits, &real, sizeof bits);
        return bits;
    }
    std::string describe() const override {
        char text[64];
        if (isFloat) std::snprintf(text, sizeof text, "%.17g", real);
        else std::snprintf(text, sizeof text, "%lld", static_cast<long long>(integer));
        return text;
    }

    const CFNumberType type;
    const bool isFloat;
    union {
        int64_t integer;
        double real;
    };
};

namespace {

CFNumberType canonicalType(CFNumberType type) {
    switch (type) {
        case kCFNumberCharType: return kCFNumberSInt8Type;
        case kCFNumberShortType: return kCFNumberSInt16Type;
        case kCFNumberIntType: return kCFNumberSInt32Type;
        case kCFNumberLongType:
        case kCFNumberLongLongType:
        case kCFNumberCFIndexType:
        case kCFNumberNSIntegerType: return kCFNumberSInt64Type;
        case kCFNumberFloatType: return kCFNumberFloat32Type;
        case kCFNumberDoubleType:
        case kCFNumberCGFloatType: return kCFNumberFloat64Type;
        default: return (type >= kCFNumberSInt8Type && type <= kCFNumberFloat64Type) ? type : 0;
    }
}

template <typename T>
T readAs(const void* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

template <typename T>
void writeAs(void* p, T value) {
    std::memcpy(p, &value, sizeof value);
}

// Integer conversion that clamps instead of wrapping; true when exact.
template <typename T>
bool toInteger(const __CFNumber* n, void* out) {
    constexpr auto lo = std::numeric_limits<T>::min();
    constexpr auto hi = std::numeric_limits<T>::max();
    if (!n->isFloat) {
        const int64_t v = n->integer;
        const T clamped = v < static_cast<int64_t>(lo) ? lo : v > static_cast<int64_t>(hi) ? hi : static_cast<T>(v);
        writeAs(out, clamped);
        return static_cast<int64_t>(clamped) == v;
    }
    const double v = n->real;
    T result;
    if (std::isnan(v)) result = 0;
    else if (v <= static_cast<double>(lo)) result = lo;
    else if (v >= static_cast<double>(hi)) result = hi;
    else result = static_cast<T>(v);  // truncates toward zero, as C does
    writeAs(out, result);
    return !std::isnan(v) && static_cast<double>(result) == v;
}

}  // namespace

CFTypeID CFNumberGetTypeID(void) { return kNumberTypeID; }

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr) {
    const CFNumberType type = canonicalType(theType);
    if (valuePtr == nullptr || type == 0) return nullptr;
    switch (type) {
        case kCFNumberSInt8Type: return new __CFNumber(type, static_cast<int64_t>(readAs<int8_t>(valuePtr)));
        case kCFNumberSInt16Type: return new __CFNumber(type, static_cast<int64_t>(readAs<int16_t>(valuePtr)));
        case kCFNumberSInt32Type: return new __CFNumber(type, static_cast<int64_t>(readAs<int32_t>(valuePtr)));
        case kCFNumberSInt64Type: return new __CFNumber(type, readAs<int64_t>(valuePtr));
        case kCFNumberFloat32Type: return new __CFNumber(type, static_cast<double>(readAs<float>(valuePtr)));
        default: return new __CFNumber(type, readAs<double>(valuePtr));
    }
}

CFNumberType CFNumberGetType(CFNumberRef number) {
    const __CFNumber* n = as<__CFNumber>(number);
    return n != nullptr ? n->type : 0;
}

CFIndex CFNumberGetByteSize(CFNumberRef number) {
    switch (CFNumberGetType(number)) {
        case kCFNumberSInt8Type: return 1;
        case kCFNumberSInt16Type: return 2;
        case kCFNumberSInt32Type:
        case kCFNumberFloat32Type: return 4;
        case kCFNumberSInt64Type:
        case kCFNumberFloat64Type: return 8;
        default: return 0;
    }
}

Boolean CFNumberIsFloatType(CFNumberRef number) {
    const __CFNumber* n = as<__CFNumber>(number);
    return n != nullptr && n->isFloat;
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr) {
    const __CFNumber* n = as<__CFNumber>(number);
    const CFNumberType type = canonicalType(theType);
    if (n == nullptr || valuePtr == nullptr || type == 0) return false;
    switch (type) {
        case kCFNumberSInt8Type: return toInteger<int8_t>(n, valuePtr);
        case kCFNumberSInt16Type: return toInteger<int16_t>(n, valuePtr);
        case kCFNumberSInt32Type: return toInteger<int32_t>(n, valuePtr);
        case kCFNumberSInt64Type: return toInteger<int64_t>(n, valuePtr);
        case kCFNumberFloat32Type: {
            const double v = n->isFloat ? n->real : static_cast<double>(n->integer);
            const float f = static_cast<float>(v);
            writeAs(valuePtr, f);
            return static_cast<double>(f) == v || std::isnan(v);
        }
        default: {
            const double v = n->isFloat ? n->real : static_cast<double>(n->integer);
            writeAs(valuePtr, v);
            return n->isFloat || static_cast<int64_t>(v) == n->integer;
        }
    }
}

CFComparisonResult CFNumberCompare(CFNumberRef number, CFNumberRef otherNumber, void*) {
    const __CFNumber* a = as<__CFNumber>(number);
    const __CFNumber* b = as<__CFNumber>(otherNumber);
    if (a == nullptr || b == nullptr) return a == b ? kCFCompareEqualTo : (a == nullptr ? kCFCompareLessThan : kCFCompareGreaterThan);
    if (!a->isFloat && !b->isFloat)
        return a->integer < b->integer ? kCFCompareLessThan : a->integer > b->integer ? kCFCompareGreaterThan : kCFCompareEqualTo;
    // NaN sorts below everything and equals itself, so that equality and
    // hashing agree.
    const long double x = a->isFloat ? a->real : static_cast<long double>(a->integer);
    const long double y = b->isFloat ? b->real : static_cast<long double>(b->integer);
    const bool xNaN = std::isnan(x), yNaN = std::isnan(y);
    if (xNaN || yNaN) return xNaN && yNaN ? kCFCompareEqualTo : xNaN ? kCFCompareLessThan : kCFCompareGreaterThan;
    return x < y ? kCFCompareLessThan : x > y ? kCFCompareGreaterThan : kCFCompareEqualTo;
}

struct __CFDate : Object {
    static constexpr CFTypeID kTypeID = kDateTypeID;
    explicit __CFDate(CFAbsoluteTime t) : Object(kTypeID, false), time(t) {}
    bool equals(const Object& other) const override { return time == static_cast<const __CFDate&>(other).time; }
    CFHashCode hash() const override { return static_cast<CFHashCode>(static_cast<int64_t>(time)); }
    std::string describe() const override {
        char text[64];
        std::snprintf(text, sizeof text, "<CFDate %.3f>", time);
        return text;
    }
    const CFAbsoluteTime time;
};

CFTypeID CFDateGetTypeID(void) { return kDateTypeID; }
CFDateRef CFDateCreate(CFAllocatorRef, CFAbsoluteTime at) { return new __CFDate(at); }

CFAbsoluteTime CFDateGetAbsoluteTime(CFDateRef theDate) {
    const __CFDate* d = as<__CFDate>(theDate);
    return d != nullptr ? d->time : 0.0;
}

CFAbsoluteTime CFAbsoluteTimeGetCurrent(void) {
    constexpr double kSecondsFrom1970To2001 = 978307200.0;
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return std::chrono::duration<double>(now).count() - kSecondsFrom1970To2001;
}
