// The tool's own definitions of the C heap's allocating functions. Being defined in the
// executable, they take the place of the C library's for every module in the process, the
// plug-ins included; each forwards to glibc's allocator and counts the call when the calling
// thread has a probe open.
#include <cerrno>
#include <cstddef>

#include "host/validate/allocation_probe.h"

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

namespace {

thread_local bool counting = false;
thread_local std::int64_t allocations = 0;

inline void note() {
    if (counting) {
        ++allocations;
    }
}

}  // namespace

extern "C" {

void* malloc(std::size_t size) {
    note();
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) {
    note();
    return __libc_calloc(count, size);
}

void* realloc(void* block, std::size_t size) {
    note();
    return __libc_realloc(block, size);
}

void* memalign(std::size_t alignment, std::size_t size) {
    note();
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) {
    note();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** block, std::size_t alignment, std::size_t size) {
    note();
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) {
        return EINVAL;
    }
    void* result = __libc_memalign(alignment, size);
    if (result == nullptr) {
        return ENOMEM;
    }
    *block = result;
    return 0;
}

}  // extern "C"

namespace quorvel::host::allocationProbe {

bool observable() {
    return true;
}

void begin() {
    allocations = 0;
    counting = true;
}

std::int64_t end() {
    counting = false;
    return allocations;
}

}  // namespace quorvel::host::allocationProbe
