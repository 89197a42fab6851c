// A test bundle: exports a few functions that make, keep and release CF
// objects, so that the test can pass them across the bundle boundary.
#include "platform/cf/CoreFoundation.h"

#define TEST_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
CFTypeRef kept = nullptr;
}

TEST_EXPORT const char* testBundleName() { return TEST_BUNDLE_NAME; }

// +1 for the caller.
TEST_EXPORT CFStringRef testBundleCopyGreeting() {
    return CFStringCreateWithFormat(kCFAllocatorDefault, nullptr, CFSTR("made in %s"), TEST_BUNDLE_NAME);
}

TEST_EXPORT CFTypeID testBundleStringTypeID() { return CFStringGetTypeID(); }
TEST_EXPORT CFBooleanRef testBundleTrue() { return kCFBooleanTrue; }
TEST_EXPORT CFStringRef testBundleConstant() { return CFSTR("shared constant"); }

// Stores a number the bundle makes under the key, then lets go of its own
// reference: the dictionary (made by someone else) keeps it alive.
TEST_EXPORT void testBundleStoreNumber(CFMutableDictionaryRef dict, CFStringRef key, SInt32 value) {
    CFNumberRef number = CFNumberCreate(nullptr, kCFNumberSInt32Type, &value);
    CFDictionarySetValue(dict, key, number);
    CFRelease(number);
}

TEST_EXPORT void testBundleKeep(CFTypeRef object) {
    CFRelease(kept);
    kept = object != nullptr ? CFRetain(object) : nullptr;
}

TEST_EXPORT void testBundleRelease(CFTypeRef object) { CFRelease(object); }

TEST_EXPORT CFBundleRef testBundleFindBundle(CFStringRef identifier) {
    return CFBundleGetBundleWithIdentifier(identifier);
}
