// Memory Manager handles: a handle is the address of a master pointer that
// points at the block, so the block may move when it is resized.
#include <cstdlib>
#include <cstring>

#include "CoreServices/CoreServices.h"

namespace {

struct HandleBlock {
    Ptr master;  // first, so that the Handle is the block's address
    Size size;
};

thread_local OSErr lastMemoryError = noErr;

HandleBlock* block(Handle h) { return reinterpret_cast<HandleBlock*>(h); }

Handle newHandle(Size byteCount, bool clear) {
    lastMemoryError = noErr;
    if (byteCount < 0) {
        lastMemoryError = paramErr;
        return nullptr;
    }
    auto* b = static_cast<HandleBlock*>(std::malloc(sizeof(HandleBlock)));
    Ptr data = static_cast<Ptr>(clear ? std::calloc(1, static_cast<size_t>(byteCount) + 1)
                                      : std::malloc(static_cast<size_t>(byteCount) + 1));
    if (b == nullptr || data == nullptr) {
        std::free(b);
        std::free(data);
        lastMemoryError = memFullErr;
        return nullptr;
    }
    b->master = data;
    b->size = byteCount;
    return &b->master;
}

}  // namespace

Handle NewHandle(Size byteCount) { return newHandle(byteCount, false); }
Handle NewHandleClear(Size byteCount) { return newHandle(byteCount, true); }

void DisposeHandle(Handle h) {
    lastMemoryError = noErr;
    if (h == nullptr) return;
    std::free(block(h)->master);
    std::free(block(h));
}

Size GetHandleSize(Handle h) {
    if (h == nullptr) {
        lastMemoryError = nilHandleErr;
        return 0;
    }
    lastMemoryError = noErr;
    return block(h)->size;
}

void SetHandleSize(Handle h, Size newSize) {
    lastMemoryError = noErr;
    if (h == nullptr || newSize < 0) {
        lastMemoryError = h == nullptr ? nilHandleErr : paramErr;
        return;
    }
    Ptr data = static_cast<Ptr>(std::realloc(block(h)->master, static_cast<size_t>(newSize) + 1));
    if (data == nullptr) {
        lastMemoryError = memFullErr;
        return;
    }
    block(h)->master = data;
    block(h)->size = newSize;
}

OSErr MemError(void) { return lastMemoryError; }
