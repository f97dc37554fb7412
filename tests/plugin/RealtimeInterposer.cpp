#include "RealtimeInterposer.h"

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

// The allocator these functions forward to: the sanitizer's when the
// program runs under one (its interceptors are the next definitions), else
// glibc's.
extern "C" {
void* __interceptor_malloc(size_t) __attribute__((weak));
void* __interceptor_calloc(size_t, size_t) __attribute__((weak));
void* __interceptor_realloc(void*, size_t) __attribute__((weak));
void __interceptor_free(void*) __attribute__((weak));
int __interceptor_posix_memalign(void**, size_t, size_t) __attribute__((weak));
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void __libc_free(void*);
void* __libc_memalign(size_t, size_t);
}

namespace realtime {

namespace {

// Local to the executable: reading them never allocates.
thread_local bool tCounting = false;

std::atomic<long> gMallocs{0};
std::atomic<long> gFrees{0};
std::atomic<long> gNews{0};
std::atomic<long> gDeletes{0};
std::atomic<long> gLocks{0};

inline void Count(std::atomic<long>& counter)
{
  if (tCounting)
    counter.fetch_add(1, std::memory_order_relaxed);
}

void* RealMalloc(size_t size)
{
  return __interceptor_malloc ? __interceptor_malloc(size) : __libc_malloc(size);
}

void* RealCalloc(size_t n, size_t size)
{
  return __interceptor_calloc ? __interceptor_calloc(n, size) : __libc_calloc(n, size);
}

void* RealRealloc(void* p, size_t size)
{
  return __interceptor_realloc ? __interceptor_realloc(p, size) : __libc_realloc(p, size);
}

void RealFree(void* p)
{
  if (__interceptor_free)
    __interceptor_free(p);
  else
    __libc_free(p);
}

int RealPosixMemalign(void** out, size_t alignment, size_t size)
{
  if (__interceptor_posix_memalign)
    return __interceptor_posix_memalign(out, alignment, size);
  *out = __libc_memalign(alignment, size);
  return *out ? 0 : ENOMEM;
}

void* AlignedAllocation(size_t alignment, size_t size)
{
  if (alignment < sizeof(void*))
    alignment = sizeof(void*);
  void* p = nullptr;
  return RealPosixMemalign(&p, alignment, size ? size : 1) == 0 ? p : nullptr;
}

// The next definition of a pthread function (glibc's, or a sanitizer's).
template <typename F>
F Next(const char* name)
{
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

void* NewOrThrow(size_t size)
{
  Count(gNews);
  if (void* p = RealMalloc(size ? size : 1))
    return p;
  throw std::bad_alloc();
}

void* AlignedNewOrThrow(size_t size, std::align_val_t alignment)
{
  Count(gNews);
  if (void* p = AlignedAllocation(static_cast<size_t>(alignment), size))
    return p;
  throw std::bad_alloc();
}

void Delete(void* p)
{
  Count(gDeletes);
  RealFree(p);
}

} // namespace

std::string Counts::Describe() const
{
  return std::to_string(mallocs) + " allocations, " + std::to_string(frees) + " frees, " + std::to_string(news) +
         " news, " + std::to_string(deletes) + " deletes, " + std::to_string(locks) + " locks";
}

Counts Current()
{
  Counts c;
  c.mallocs = gMallocs.load();
  c.frees = gFrees.load();
  c.news = gNews.load();
  c.deletes = gDeletes.load();
  c.locks = gLocks.load();
  return c;
}

void Reset()
{
  for (auto* counter : {&gMallocs, &gFrees, &gNews, &gDeletes, &gLocks})
    counter->store(0);
}

CountingScope::CountingScope()
{
  tCounting = true;
}

CountingScope::~CountingScope()
{
  tCounting = false;
}

} // namespace realtime

using realtime::Count;

extern "C" {

void* malloc(size_t size)
{
  Count(realtime::gMallocs);
  return realtime::RealMalloc(size);
}

void* calloc(size_t n, size_t size)
{
  Count(realtime::gMallocs);
  return realtime::RealCalloc(n, size);
}

void* realloc(void* p, size_t size)
{
  Count(realtime::gMallocs);
  return realtime::RealRealloc(p, size);
}

void free(void* p)
{
  if (p)
    Count(realtime::gFrees);
  realtime::RealFree(p);
}

int posix_memalign(void** out, size_t alignment, size_t size)
{
  Count(realtime::gMallocs);
  return realtime::RealPosixMemalign(out, alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size)
{
  Count(realtime::gMallocs);
  return realtime::AlignedAllocation(alignment, size);
}

void* memalign(size_t alignment, size_t size)
{
  Count(realtime::gMallocs);
  return realtime::AlignedAllocation(alignment, size);
}

int pthread_mutex_lock(pthread_mutex_t* m)
{
  static const auto next = realtime::Next<int (*)(pthread_mutex_t*)>("pthread_mutex_lock");
  Count(realtime::gLocks);
  return next(m);
}

int pthread_mutex_trylock(pthread_mutex_t* m)
{
  static const auto next = realtime::Next<int (*)(pthread_mutex_t*)>("pthread_mutex_trylock");
  Count(realtime::gLocks);
  return next(m);
}

int pthread_mutex_timedlock(pthread_mutex_t* m, const struct timespec* t)
{
  static const auto next = realtime::Next<int (*)(pthread_mutex_t*, const struct timespec*)>("pthread_mutex_timedlock");
  Count(realtime::gLocks);
  return next(m, t);
}

int pthread_rwlock_rdlock(pthread_rwlock_t* l)
{
  static const auto next = realtime::Next<int (*)(pthread_rwlock_t*)>("pthread_rwlock_rdlock");
  Count(realtime::gLocks);
  return next(l);
}

int pthread_rwlock_wrlock(pthread_rwlock_t* l)
{
  static const auto next = realtime::Next<int (*)(pthread_rwlock_t*)>("pthread_rwlock_wrlock");
  Count(realtime::gLocks);
  return next(l);
}

int pthread_rwlock_tryrdlock(pthread_rwlock_t* l)
{
  static const auto next = realtime::Next<int (*)(pthread_rwlock_t*)>("pthread_rwlock_tryrdlock");
  Count(realtime::gLocks);
  return next(l);
}

int pthread_rwlock_trywrlock(pthread_rwlock_t* l)
{
  static const auto next = realtime::Next<int (*)(pthread_rwlock_t*)>("pthread_rwlock_trywrlock");
  Count(realtime::gLocks);
  return next(l);
}

int pthread_spin_lock(pthread_spinlock_t* l)
{
  static const auto next = realtime::Next<int (*)(pthread_spinlock_t*)>("pthread_spin_lock");
  Count(realtime::gLocks);
  return next(l);
}

int pthread_cond_wait(pthread_cond_t* c, pthread_mutex_t* m)
{
  static const auto next = realtime::Next<int (*)(pthread_cond_t*, pthread_mutex_t*)>("pthread_cond_wait");
  Count(realtime::gLocks);
  return next(c, m);
}

} // extern "C"

void* operator new(size_t size)
{
  return realtime::NewOrThrow(size);
}
void* operator new[](size_t size)
{
  return realtime::NewOrThrow(size);
}
void* operator new(size_t size, const std::nothrow_t&) noexcept
{
  Count(realtime::gNews);
  return realtime::RealMalloc(size ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
  Count(realtime::gNews);
  return realtime::RealMalloc(size ? size : 1);
}
void* operator new(size_t size, std::align_val_t alignment)
{
  return realtime::AlignedNewOrThrow(size, alignment);
}
void* operator new[](size_t size, std::align_val_t alignment)
{
  return realtime::AlignedNewOrThrow(size, alignment);
}
void operator delete(void* p) noexcept
{
  realtime::Delete(p);
}
void operator delete[](void* p) noexcept
{
  realtime::Delete(p);
}
void operator delete(void* p, size_t) noexcept
{
  realtime::Delete(p);
}
void operator delete[](void* p, size_t) noexcept
{
  realtime::Delete(p);
}
void operator delete(void* p, std::align_val_t) noexcept
{
  realtime::Delete(p);
}
void operator delete[](void* p, std::align_val_t) noexcept
{
  realtime::Delete(p);
}
void operator delete(void* p, size_t, std::align_val_t) noexcept
{
  realtime::Delete(p);
}
void operator delete[](void* p, size_t, std::align_val_t) noexcept
{
  realtime::Delete(p);
}
