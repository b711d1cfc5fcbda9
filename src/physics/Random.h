#pragma once

#include <cstdint>

// The one random generator of the process, with the contract of the C library's random():
// values from 0 to 2^31 - 1. Seeded once at launch; tests and --seed reseed it.
namespace brumelo {

std::int32_t random();
void seedRandom(std::uint32_t seed);

// The fraction every random choice starts from: a draw scaled by 2^-31 in single precision.
// It lies in [0, 1] - the float product can round up to exactly 1.0.
inline float randomFraction(std::int32_t draw) {
    return static_cast<float>(draw) * (1.0f / 2147483648.0f);
}
inline float randomFraction() { return randomFraction(random()); }

}  // namespace brumelo
