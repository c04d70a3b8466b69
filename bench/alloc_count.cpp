// The counting allocation wrappers. Symbols defined in the executable take precedence over
// the C library's for every shared object of the process, so these see the allocations of
// libzorv.so, of the host runtime and of SQLite alike. Each forwards to the C library's
// internal entry (__libc_malloc and relatives), which never comes back here. operator new
// calls malloc, so it is counted without a wrapper of its own. The count is per thread
// (static TLS of the executable, ready before a thread runs any code of its own), so two
// threads measuring at once do not see each other's allocations.
#include "bench/alloc_count.h"

#include <cerrno>
#include <cstddef>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);
}

namespace {
__attribute__((tls_model("initial-exec"))) thread_local uint64_t allocations = 0;
}  // namespace

namespace zbench {
uint64_t thread_allocations() {
    return allocations;
}
}  // namespace zbench

extern "C" {

void* malloc(size_t size) noexcept {
    ++allocations;
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) noexcept {
    ++allocations;
    return __libc_calloc(count, size);
}

void* realloc(void* block, size_t size) noexcept {
    ++allocations;
    return __libc_realloc(block, size);
}

void free(void* block) noexcept {
    __libc_free(block);
}

void* memalign(size_t alignment, size_t size) noexcept {
    ++allocations;
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) noexcept {
    ++allocations;
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** out, size_t alignment, size_t size) noexcept {
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
    ++allocations;
    void* p = __libc_memalign(alignment, size);
    if (p == nullptr) return ENOMEM;
    *out = p;
    return 0;
}

}  // extern "C"
