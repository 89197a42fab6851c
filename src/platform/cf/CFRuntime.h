// Private to the platform library: the object model behind every CF type.
#pragma once

#include <atomic>
#include <string>

#include "platform/cf/CoreFoundation.h"

namespace gravel_cf {

enum : CFTypeID {
    kNullTypeID = 1,
    kAllocatorTypeID,
    kStringTypeID,
    kBooleanTypeID,
    kNumberTypeID,
    kDataTypeID,
    kArrayTypeID,
    kDictionaryTypeID,
    kDateTypeID,
    kErrorTypeID,
    kURLTypeID,
    kBundleTypeID,
    kRunLoopTypeID,
    kRunLoopTimerTypeID,
    kTypeIDCount
};

// The retain count an immortal object reports (constant strings, booleans,
// kCFNull, allocators, the main bundle).
constexpr CFIndex kImmortalRetainCount = 0x7fffffffffffffffL;

struct Object {
    constexpr Object(CFTypeID id, bool isImmortal) : typeID(id), immortal(isImmortal) {}
    virtual ~Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    // Called only with another object of the same type ID.
    virtual bool equals(const Object& other) const { return this == &other; }
    virtual CFHashCode hash() const { return reinterpret_cast<CFHashCode>(this); }
    // What %@ and CFCopyDescription print.
    virtual std::string describe() const;
    // Runs when the count reaches zero; bundles first leave the registry.
    virtual void destroy() { delete this; }

    const CFTypeID typeID;
    const bool immortal;
    std::atomic<CFIndex> retainCount{1};
};

inline Object* object(CFTypeRef cf) { return const_cast<Object*>(static_cast<const Object*>(cf)); }

// The object as T when it is one, otherwise null: API calls given the wrong
// type do nothing rather than crash the host.
template <typename T>
T* as(CFTypeRef cf) {
    Object* o = object(cf);
    return (o != nullptr && o->typeID == T::kTypeID) ? static_cast<T*>(o) : nullptr;
}

std::string describe(CFTypeRef cf);
const char* typeName(CFTypeID id);

// Strings from and to UTF-8, for the other CF types.
CFStringRef createString(std::string utf8);
const std::string& stringText(CFStringRef string);  // empty for a non-string
bool isValidUTF8(const std::string& text);

// Array and dictionary construction without going through callbacks twice.
CFMutableArrayRef createTypeArray();
CFMutableDictionaryRef createTypeDictionary();

}  // namespace gravel_cf
