#include "physics/Random.h"

#include <ctime>
#include <random>

namespace brumelo {

namespace {
std::mt19937& generator() {
    // Seeded from the clock in seconds until someone seeds it on purpose.
    static std::mt19937 gen(static_cast<std::uint32_t>(std::time(nullptr)));
    return gen;
}
}  // namespace

std::int32_t random() { return static_cast<std::int32_t>(generator()() >> 1); }

void seedRandom(std::uint32_t seed) { generator().seed(seed); }

}  // namespace brumelo
