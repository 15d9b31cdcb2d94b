#include "tests/native/reliability/allocation_hooks.h"

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <new>

namespace {

std::atomic<bool> armed{false};
std::atomic<bool> failNothrowNew{false};
std::atomic<long> allocationCount{0};
std::atomic<long> releaseCount{0};
std::atomic<long> lockCount{0};

void noteAllocation() {
  if (armed.load(std::memory_order_relaxed))
    allocationCount.fetch_add(1, std::memory_order_relaxed);
}
void noteRelease() {
  if (armed.load(std::memory_order_relaxed)) releaseCount.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

namespace hooks {

void arm() { armed = true; }
void disarm() { armed = false; }
long allocations() { return allocationCount; }
long releases() { return releaseCount; }
long locks() { return lockCount; }
void clear() {
  allocationCount = 0;
  releaseCount = 0;
  lockCount = 0;
}
void failNextNothrowNew() { failNothrowNew = true; }

bool countingWorks() {
  arm();
  int* p = new int(1);
  delete p;
  void* q = std::malloc(16);
  std::free(q);
  static pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_mutex_lock(&mutex);
  pthread_mutex_unlock(&mutex);
  std::mutex standardMutex;
  standardMutex.lock();
  standardMutex.unlock();
  disarm();
  const bool ok = allocations() == 2 && releases() == 2 && locks() == 2;
  clear();
  return ok;
}

}  // namespace hooks

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void __libc_free(void* p);

void* malloc(size_t size) noexcept {
  noteAllocation();
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) noexcept {
  noteAllocation();
  return __libc_calloc(count, size);
}
void* realloc(void* p, size_t size) noexcept {
  noteAllocation();
  return __libc_realloc(p, size);
}
void free(void* p) noexcept {
  if (p != nullptr) noteRelease();
  __libc_free(p);
}
int pthread_mutex_lock(pthread_mutex_t* mutex) noexcept {
  using Lock = int (*)(pthread_mutex_t*);
  static Lock real = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
  if (armed.load(std::memory_order_relaxed)) lockCount.fetch_add(1, std::memory_order_relaxed);
  return real(mutex);
}
}

void* operator new(size_t size) {
  noteAllocation();
  void* p = __libc_malloc(size != 0 ? size : 1);
  if (p == nullptr) std::abort();
  return p;
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  if (armed.load(std::memory_order_relaxed) && failNothrowNew.exchange(false)) return nullptr;
  noteAllocation();
  return __libc_malloc(size != 0 ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t& tag) noexcept {
  return operator new(size, tag);
}
void operator delete(void* p) noexcept {
  if (p != nullptr) noteRelease();
  __libc_free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, size_t) noexcept { operator delete(p); }
void operator delete[](void* p, size_t) noexcept { operator delete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { operator delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { operator delete(p); }
