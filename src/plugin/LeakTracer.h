#pragma once

#include <list>

#include "plugin/VstInterface.h"

// A diagnostic allocation tracker: code that wants to trace its allocations
// records them with addTrack, forgets them with removeTrack, and prints what
// is still alive with dumpLeaks. Exported by the bundle with C names so that
// a debugger or host-side tool can reach them by dlsym. Not thread-safe: the
// list is global and unlocked.

struct ALLOC_INFO {
    unsigned long long address;
    unsigned long long size;
    char file[256];
    unsigned long long line;
};

typedef std::list<ALLOC_INFO*> AllocList;

// Null until the first addTrack or resetLeaksTracing; never destroyed.
extern "C" __attribute__((visibility("default"))) AllocList* allocList;

VST_EXPORT void addTrack(unsigned long address, unsigned long size, const char* file,
                         unsigned long line);
VST_EXPORT void removeTrack(unsigned long address);
VST_EXPORT void dumpLeaks();
VST_EXPORT void resetLeaksTracing();
