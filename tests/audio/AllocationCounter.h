#pragma once

#include <atomic>

namespace audiotest {
// Every operator new of this test program so far.
extern std::atomic<long> allocations;
}  // namespace audiotest
