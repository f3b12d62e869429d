/*
 * The counters replace the process's allocation and lock functions and forward to the real
 * ones. Under the address sanitizer, which owns malloc, its allocation hooks count instead.
 */
#define _GNU_SOURCE
#include "RealTimeCounters.h"

#include <dlfcn.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdbool.h>
#include <stddef.h>

/* The project builds with hidden symbols; a replacement must be visible to every library. */
#define REPLACEMENT __attribute__((visibility("default")))

static atomic_bool counting;
static atomic_long allocations;
static atomic_long locks;

static void Count(atomic_long* counter) {
    if (atomic_load_explicit(&counting, memory_order_relaxed)) {
        atomic_fetch_add_explicit(counter, 1, memory_order_relaxed);
    }
}

void StartCounting(void) {
    atomic_store(&allocations, 0);
    atomic_store(&locks, 0);
    atomic_store(&counting, true);
}

void StopCounting(void) {
    atomic_store(&counting, false);
}

long CountedAllocations(void) {
    return atomic_load(&allocations);
}

long CountedLocks(void) {
    return atomic_load(&locks);
}

#if defined(__SANITIZE_ADDRESS__)

int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, size_t),
                                              void (*onFree)(const volatile void*));

static void OnMalloc(const volatile void* memory, size_t size) {
    (void)memory;
    (void)size;
    Count(&allocations);
}

static void OnFree(const volatile void* memory) {
    (void)memory;
    Count(&allocations);
}

__attribute__((constructor)) static void InstallHooks(void) {
    __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree);
}

#else

void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* memory, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* memory);

REPLACEMENT void* malloc(size_t size) {
    Count(&allocations);
    return __libc_malloc(size);
}

REPLACEMENT void* calloc(size_t count, size_t size) {
    Count(&allocations);
    return __libc_calloc(count, size);
}

REPLACEMENT void* realloc(void* memory, size_t size) {
    Count(&allocations);
    return __libc_realloc(memory, size);
}

REPLACEMENT void* aligned_alloc(size_t alignment, size_t size) {
    Count(&allocations);
    return __libc_memalign(alignment, size);
}

REPLACEMENT void free(void* memory) {
    Count(&allocations);
    __libc_free(memory);
}

#endif

/* Each lock function counts, then calls the one it replaces. */
#define COUNTED_LOCK(name, type)                                                                   \
    REPLACEMENT int name(type* lock) {                                                             \
        static _Atomic(int (*)(type*)) real;                                                       \
        if (real == NULL) {                                                                        \
            real = (int (*)(type*))dlsym(RTLD_NEXT, #name);                                        \
        }                                                                                          \
        Count(&locks);                                                                             \
        return real(lock);                                                                         \
    }

COUNTED_LOCK(pthread_mutex_lock, pthread_mutex_t)
COUNTED_LOCK(pthread_mutex_trylock, pthread_mutex_t)
COUNTED_LOCK(pthread_rwlock_rdlock, pthread_rwlock_t)
COUNTED_LOCK(pthread_rwlock_wrlock, pthread_rwlock_t)
