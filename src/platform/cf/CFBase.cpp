#include "platform/cf/CFRuntime.h"

#include <cstdio>

using namespace gravel_cf;

namespace gravel_cf {

std::string Object::describe() const {
    char text[64];
    std::snprintf(text, sizeof text, "<%s %p>", typeName(typeID), static_cast<const void*>(this));
    return text;
}

std::string describe(CFTypeRef cf) { return cf == nullptr ? std::string("(null)") : object(cf)->describe(); }

const char* typeName(CFTypeID id) {
    switch (id) {
        case kNullTypeID: return "CFNull";
        case kAllocatorTypeID: return "CFAllocator";
        case kStringTypeID: return "CFString";
        case kBooleanTypeID: return "CFBoolean";
        case kNumberTypeID: return "CFNumber";
        case kDataTypeID: return "CFData";
        case kArrayTypeID: return "CFArray";
        case kDictionaryTypeID: return "CFDictionary";
        case kDateTypeID: return "CFDate";
        case kErrorTypeID: return "CFError";
        case kURLTypeID: return "CFURL";
        case kBundleTypeID: return "CFBundle";
        case kRunLoopTypeID: return "CFRunLoop";
        case kRunLoopTimerTypeID: return "CFRunLoopTimer";
        default: return "CFType";
    }
}

}  // namespace gravel_cf

struct __CFAllocator : Object {
    static constexpr CFTypeID kTypeID = kAllocatorTypeID;
    constexpr __CFAllocator() : Object(kTypeID, true) {}
};

struct __CFNull : Object {
    static constexpr CFTypeID kTypeID = kNullTypeID;
    constexpr __CFNull() : Object(kTypeID, true) {}
    std::string describe() const override { return "<CFNull>"; }
};

namespace {
__CFAllocator defaultAllocator;
__CFNull nullObject;
}  // namespace

const CFAllocatorRef kCFAllocatorDefault = &defaultAllocator;
const CFAllocatorRef kCFAllocatorSystemDefault = &defaultAllocator;
const CFAllocatorRef kCFAllocatorMalloc = &defaultAllocator;
const CFAllocatorRef kCFAllocatorNull = &defaultAllocator;
const CFNullRef kCFNull = &nullObject;

CFTypeID CFNullGetTypeID(void) { return kNullTypeID; }

CFTypeRef CFRetain(CFTypeRef cf) {
    Object* o = object(cf);
    if (o != nullptr && !o->immortal) o->retainCount.fetch_add(1, std::memory_order_relaxed);
    return cf;
}

void CFRelease(CFTypeRef cf) {
    Object* o = object(cf);
    if (o == nullptr || o->immortal) return;
    if (o->retainCount.fetch_sub(1, std::memory_order_acq_rel) == 1) o->destroy();
}

CFIndex CFGetRetainCount(CFTypeRef cf) {
    const Object* o = object(cf);
    if (o == nullptr) return 0;
    return o->immortal ? kImmortalRetainCount : o->retainCount.load(std::memory_order_relaxed);
}

CFTypeID CFGetTypeID(CFTypeRef cf) { return cf == nullptr ? 0 : object(cf)->typeID; }

Boolean CFEqual(CFTypeRef cf1, CFTypeRef cf2) {
    if (cf1 == cf2) return true;
    if (cf1 == nullptr || cf2 == nullptr) return false;
    const Object* a = object(cf1);
    const Object* b = object(cf2);
    return a->typeID == b->typeID && a->equals(*b);
}

CFHashCode CFHash(CFTypeRef cf) { return cf == nullptr ? 0 : object(cf)->hash(); }

CFStringRef CFCopyDescription(CFTypeRef cf) { return cf == nullptr ? nullptr : createString(object(cf)->describe()); }

CFStringRef CFCopyTypeIDDescription(CFTypeID typeID) {
    if (typeID == 0 || typeID >= kTypeIDCount) return nullptr;
    return createString(typeName(typeID));
}

void CFShow(CFTypeRef obj) { std::fprintf(stderr, "%s\n", describe(obj).c_str()); }
