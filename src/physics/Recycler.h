#pragma once

#include <cstddef>

namespace brumelo {

// Storage for small objects made and dropped by the thousand (a stroke's marks, their texture
// copies): a freed block waits for the next object of its size instead of going back to the
// heap, so a steady stroke allocates nothing. Blocks are 16-byte aligned; any thread.
void* recycledAllocate(std::size_t bytes);
void recycledFree(void* block, std::size_t bytes) noexcept;

template <class T>
struct RecyclingAllocator {
    using value_type = T;
    RecyclingAllocator() = default;
    template <class U>
    RecyclingAllocator(const RecyclingAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return static_cast<T*>(recycledAllocate(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) noexcept { recycledFree(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const RecyclingAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace brumelo
