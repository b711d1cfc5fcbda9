// Counts this test program's heap allocations, so a test can tell that a call allocates nothing.
#include "AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace audiotest {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
    audiotest::allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
