#pragma once

// Orderings between threads that Qt guarantees with its own locks, which
// ThreadSanitizer cannot see because Qt is not built with it: a job handed to
// a QThreadPool thread, the render thread synchronising while the GUI thread
// waits. happensBefore(token) on one thread and a later happensAfter(token)
// with the same token on another tell the sanitizer that everything the first
// thread did before is visible to the second. Outside ThreadSanitizer builds
// both do nothing.

#if defined(__SANITIZE_THREAD__)
#define KALO3D_THREAD_SANITIZER
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KALO3D_THREAD_SANITIZER
#endif
#endif

#ifdef KALO3D_THREAD_SANITIZER
#include <sanitizer/tsan_interface.h>
#endif

inline void happensBefore(const void *token)
{
#ifdef KALO3D_THREAD_SANITIZER
    __tsan_release(const_cast<void *>(token));
#else
    (void)token;
#endif
}

inline void happensAfter(const void *token)
{
#ifdef KALO3D_THREAD_SANITIZER
    __tsan_acquire(const_cast<void *>(token));
#else
    (void)token;
#endif
}
