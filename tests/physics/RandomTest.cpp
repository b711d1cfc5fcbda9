#include <gtest/gtest.h>

#include "physics/Random.h"

TEST(Random, StaysInRangeAndRepeatsAfterReseeding) {
    brumelo::seedRandom(42);
    std::int32_t first[64];
    for (auto& v : first) {
        v = brumelo::random();
        EXPECT_GE(v, 0);
    }
    brumelo::seedRandom(42);
    for (auto v : first) EXPECT_EQ(v, brumelo::random());
}

TEST(Random, FractionIsSinglePrecisionAndMayReachOne) {
    EXPECT_EQ(brumelo::randomFraction(0), 0.0f);
    EXPECT_EQ(brumelo::randomFraction(1073741824), 0.5f);
    // The largest draw rounds up to exactly 1.0 in single precision; callers must cope.
    EXPECT_EQ(brumelo::randomFraction(2147483647), 1.0f);
}
