#pragma once

// Counts the mutex locks and writes made by the armed thread, by wrapping
// pthread_mutex_lock and write (where no sanitizer owns them): an audio path
// may take neither, while other threads (a log writer) lock as they please.
//
// Include in exactly one source file of a test binary.

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

namespace lock_counter {
inline thread_local bool armed = false;
inline std::atomic<long> count{0};
inline std::atomic<long> writes{0};
} // namespace lock_counter

#if GRAVEL_COUNTS_MALLOC
extern "C" int glibcMutexLock(pthread_mutex_t* mutex);
__asm__(".symver glibcMutexLock, __pthread_mutex_lock@GLIBC_2.2.5");
extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex)
{
    if (lock_counter::armed)
        lock_counter::count.fetch_add(1, std::memory_order_relaxed);
    return glibcMutexLock(mutex);
}
extern "C" ssize_t write(int fd, const void* data, size_t size)
{
    if (lock_counter::armed)
        lock_counter::writes.fetch_add(1, std::memory_order_relaxed);
    return syscall(SYS_write, fd, data, size);
}
#endif
