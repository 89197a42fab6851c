// The CoreFoundation subset of this platform, with CoreFoundation's names,
// signatures and ownership rules: Create/Copy return a reference the caller
// releases, Get returns a borrowed one. It lives in libgravel-platform.so.1,
// one copy per process, so CF objects pass freely between host and bundles.
//
//   CFBase.h         CFRetain/CFRelease/CFGetRetainCount, CFGetTypeID, CFEqual,
//                    CFHash, CFCopyDescription, CFShow, kCFAllocatorDefault, kCFNull
//   CFString.h       CFSTR; create from C/Pascal strings, bytes, UTF-16, file
//                    names, formats (%@ and printf), substrings; get C/Pascal
//                    string, pointer, characters, bytes; compare (case-insensitive,
//                    numeric: "4.10" above "4.2"), find, prefix/suffix, split/join,
//                    int/double value; mutable append/format/delete/trim.
//                    Encodings: UTF-8, ASCII, Mac Roman (iconv "MACINTOSH"),
//                    ISO/Windows Latin 1, UTF-16/32
//   CFNumber.h       CFNumber (every CFNumberType, converting get), CFBoolean
//   CFData.h         CFData, CFMutableData (append, set length, replace)
//   CFArray.h        CFArray, CFMutableArray (kCFTypeArrayCallBacks or NULL), sort
//   CFDictionary.h   CFDictionary, CFMutableDictionary (CF-type, copied-string or
//                    raw keys)
//   CFDate.h         CFDate (property-list dates)
//   CFError.h        CFError (property-list errors)
//   CFURL.h          file URLs: paths, components, extensions, "file://" strings
//   CFBundle.h       bundles: info dictionary, resources, dlopen'ed executable,
//                    function pointers, main bundle, lookup by identifier
//   CFPropertyList.h XML property lists through libplist, deep copy, validity
//
// Not here: CFRunLoop, CFSet, CFCharacterSet, CFLocale, binary and OpenStep
// property lists, allocators other than the default. Calls given NULL or an
// object of the wrong type do nothing and return NULL/0/false.
#pragma once

#include "../MacTypes.h"
#include "CFBase.h"
#include "CFArray.h"
#include "CFDictionary.h"
#include "CFString.h"
#include "CFNumber.h"
#include "CFData.h"
#include "CFDate.h"
#include "CFError.h"
#include "CFURL.h"
#include "CFBundle.h"
#include "CFPropertyList.h"
