// The CoreFoundation subset of this platform, with CoreFoundation's names,
// signatures and ownership rules: Create/Copy return a reference the caller
// releases, Get returns a borrowed one. It lives in libgravel-platform.so.1,
// one copy per process, so CF objects pass freely between host and bundles.
//
//   CFBase.h         CFRetain/CFRelease/CFGetRetainCount, CFGetTypeID, CFEqual,
//                    CFHash, CFCopyDescription, CFShow, kCFAllocatorDefault, kCFNull
//   CFString.h       CFSTR, create (C string, bytes, format, substring), get C
//                    string/pointer, compare (case-insensitive, numeric), find,
//                    prefix/suffix, split/join, mutable append; UTF-8, ASCII,
//                    Mac Roman (iconv "MACINTOSH"), ISO/Windows Latin 1
//   CFNumber.h       CFNumber (all scalar types, converting get), CFBoolean
//   CFData.h         CFData, CFMutableData
//   CFArray.h        CFArray, CFMutableArray (kCFTypeArrayCallBacks or NULL)
//   CFDictionary.h   CFDictionary, CFMutableDictionary (CF-type or raw keys)
//   CFDate.h         CFDate (property-list dates)
//   CFError.h        CFError (property-list errors)
//   CFURL.h          file-system URLs: path components and extensions
//   CFBundle.h       bundles: info dictionary, resources, dlopen'ed executable,
//                    main bundle, lookup by identifier
//   CFPropertyList.h XML property lists through libplist
//
// Not here: CFRunLoop, CFSet, CFCharacterSet, CFLocale, binary and OpenStep
// property lists, allocators other than the default.
#pragma once

#include "platform/MacTypes.h"
#include "platform/cf/CFBase.h"
#include "platform/cf/CFArray.h"
#include "platform/cf/CFDictionary.h"
#include "platform/cf/CFString.h"
#include "platform/cf/CFNumber.h"
#include "platform/cf/CFData.h"
#include "platform/cf/CFDate.h"
#include "platform/cf/CFError.h"
#include "platform/cf/CFURL.h"
#include "platform/cf/CFBundle.h"
#include "platform/cf/CFPropertyList.h"
