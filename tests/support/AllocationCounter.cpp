// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/AllocationCounter.h"

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VIREON_ALLOCATION_COUNTER 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define VIREON_ALLOCATION_COUNTER 0
#endif
#endif
#ifndef VIREON_ALLOCATION_COUNTER
#define VIREON_ALLOCATION_COUNTER 1
#endif

namespace {

// Plain pointer with no constructor, so reading it inside malloc needs no initialisation (which
// could itself allocate).
thread_local std::uint64_t* watchedCount = nullptr;

[[maybe_unused]] void noteAllocation() {
    if (watchedCount != nullptr) {
        ++*watchedCount;
    }
}

}  // namespace

#if VIREON_ALLOCATION_COUNTER

// The C library's own allocator under its internal names. Defining malloc and friends in the
// program puts these in front of the library's for every caller in the process, shared
// libraries included; free needs no counting but must reach the same allocator.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* pointer);

void* malloc(std::size_t size) {
    noteAllocation();
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) {
    noteAllocation();
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size) {
    noteAllocation();
    return __libc_realloc(pointer, size);
}

void* memalign(std::size_t alignment, std::size_t size) {
    noteAllocation();
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) {
    noteAllocation();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** result, std::size_t alignment, std::size_t size) {
    noteAllocation();
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) {
        return 22;  // EINVAL
    }
    void* pointer = __libc_memalign(alignment, size);
    if (pointer == nullptr) {
        return 12;  // ENOMEM
    }
    *result = pointer;
    return 0;
}

void free(void* pointer) {
    __libc_free(pointer);
}
}

#endif

namespace vireon::testsupport {

AllocationCounter::AllocationCounter() {
    watchedCount = &count_;
}

AllocationCounter::~AllocationCounter() {
    watchedCount = nullptr;
}

bool AllocationCounter::available() {
    return VIREON_ALLOCATION_COUNTER != 0;
}

}  // namespace vireon::testsupport
