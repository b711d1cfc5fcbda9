#include "physics/Recycler.h"

#include <array>
#include <mutex>
#include <new>

namespace brumelo {

namespace {

constexpr std::size_t kGrain = 16;
constexpr std::size_t kLargest = 1024;  // larger blocks come from the heap every time

struct FreeBlock {
    FreeBlock* next;
};

struct Lists {
    std::mutex mutex;
    std::array<FreeBlock*, kLargest / kGrain + 1> heads{};
};

Lists& lists() {
    // Never destroyed: objects may be freed during static destruction.
    static Lists* l = new Lists;
    return *l;
}

// Under AddressSanitizer a reused block would hide use after free: every block goes back.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kRecycle = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kRecycle = false;
#else
constexpr bool kRecycle = true;
#endif
#else
constexpr bool kRecycle = true;
#endif

}  // namespace

void* recycledAllocate(std::size_t bytes) {
    const std::size_t slot = (bytes + kGrain - 1) / kGrain;
    if (kRecycle && bytes <= kLargest) {
        Lists& l = lists();
        std::lock_guard<std::mutex> guard(l.mutex);
        if (FreeBlock* block = l.heads[slot]) {
            l.heads[slot] = block->next;
            return block;
        }
    }
    return ::operator new(slot* kGrain, std::align_val_t(kGrain));
}

void recycledFree(void* block, std::size_t bytes) noexcept {
    if (!block) return;
    const std::size_t slot = (bytes + kGrain - 1) / kGrain;
    if (kRecycle && bytes <= kLargest) {
        Lists& l = lists();
        std::lock_guard<std::mutex> guard(l.mutex);
        auto* freed = static_cast<FreeBlock*>(block);
        freed->next = l.heads[slot];
        l.heads[slot] = freed;
        return;
    }
    ::operator delete(block, std::align_val_t(kGrain));
}

}  // namespace brumelo
