#include "platform/MainThreadQueue.h"

#include <utility>

namespace brumelo {

MainThreadQueue& MainThreadQueue::main() {
    static MainThreadQueue queue;
    return queue;
}

void MainThreadQueue::post(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    work_.push_back(std::move(work));
}

std::size_t MainThreadQueue::drain() {
    std::deque<std::function<void()>> batch;
    {
        std::lock_guard lock(mutex_);
        batch.swap(work_);
    }
    // Run outside the lock: the work may post again.
    for (auto& work : batch) {
        if (work) work();
    }
    return batch.size();
}

std::size_t MainThreadQueue::pending() const {
    std::lock_guard lock(mutex_);
    return work_.size();
}

}  // namespace brumelo
