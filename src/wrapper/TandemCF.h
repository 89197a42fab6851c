#pragma once

// CoreFoundation helpers of the component: a local reference released on
// every way out of a scope, the dictionary lookups with the wrapper's
// exceptions, and CFString text for log lines.

#include <CoreFoundation/CoreFoundation.h>

#include <string>

// Owns one +1 reference; releases it when the scope ends.
template <typename Ref>
class ScopedCFRef {
public:
    explicit ScopedCFRef(Ref ref = nullptr) : ref(ref) {}
    ~ScopedCFRef()
    {
        if (ref)
            CFRelease(ref);
    }
    ScopedCFRef(const ScopedCFRef&) = delete;
    ScopedCFRef& operator=(const ScopedCFRef&) = delete;

    Ref get() const { return ref; }
    void reset(Ref other)
    {
        if (ref)
            CFRelease(ref);
        ref = other;
    }
    // Hands the reference to the caller.
    Ref release()
    {
        Ref kept = ref;
        ref = nullptr;
        return kept;
    }

private:
    Ref ref;
};

// The value under `key`; TandemException "Missing key in dictionary" when
// there is none.
CFTypeRef dictionaryValue(CFDictionaryRef dictionary, const char* key);
// The value under `key`, which must be of that type: FormatException "Value
// in dictionary is not of expected type" otherwise.
CFTypeRef dictionaryValueOfType(CFDictionaryRef dictionary, const char* key, CFTypeID type);
bool dictionaryBoolean(CFDictionaryRef dictionary, const char* key);

// The string's text as Mac Roman, "?" for a null reference or another type.
std::string cfStringText(CFTypeRef string);
