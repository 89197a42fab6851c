#pragma once

// Counts heap allocations made while a counter is armed, by replacing the
// global operator new (every C++ allocation, also those made inside a
// dlopen'd bundle, which resolves operator new to this executable) and, where
// no sanitizer owns malloc, malloc, calloc and realloc as well.
//
// Include in exactly one source file of a test binary.

#include <atomic>
#include <cstdlib>
#include <new>

namespace allocation_counter {

inline std::atomic<bool> armed{false};
inline std::atomic<long> count{0};

inline void note()
{
    if (armed.load(std::memory_order_relaxed))
        count.fetch_add(1, std::memory_order_relaxed);
}

// Arms the counter for its lifetime; allocations() is what it saw.
class Scope {
public:
    Scope()
    {
        count.store(0);
        armed.store(true);
    }
    ~Scope() { armed.store(false); }
    long allocations() const { return count.load(); }
};

} // namespace allocation_counter

void* operator new(std::size_t size)
{
    allocation_counter::note();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    allocation_counter::note();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    allocation_counter::note();
    return std::malloc(size ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    allocation_counter::note();
    return std::malloc(size ? size : 1);
}

// Kept out of line so the compiler does not pair a visible free() with new.
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define GRAVEL_COUNTS_MALLOC 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define GRAVEL_COUNTS_MALLOC 0
#endif
#endif
#ifndef GRAVEL_COUNTS_MALLOC
#define GRAVEL_COUNTS_MALLOC 1
#endif

#if GRAVEL_COUNTS_MALLOC
// The sanitizers intercept malloc themselves; in plain builds glibc's own
// entry points do the work and these only count.
extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);

void* malloc(std::size_t size)
{
    allocation_counter::note();
    return __libc_malloc(size);
}

void* calloc(std::size_t n, std::size_t size)
{
    allocation_counter::note();
    return __libc_calloc(n, size);
}

void* realloc(void* p, std::size_t size)
{
    allocation_counter::note();
    return __libc_realloc(p, size);
}
}
#endif
