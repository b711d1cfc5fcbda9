#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

namespace brumelo {

// Work other threads hand to the main loop without waiting for it; the main loop runs it with
// drain() once a frame.
class MainThreadQueue {
  public:
    // The program's one queue, drained by the frame loop.
    static MainThreadQueue& main();

    // Any thread.
    void post(std::function<void()> work);
    // Main thread: runs what was posted before the call, in order; the count run. Work posted
    // while draining waits for the next drain.
    std::size_t drain();
    std::size_t pending() const;

  private:
    mutable std::mutex mutex_;
    std::deque<std::function<void()>> work_;
};

}  // namespace brumelo
