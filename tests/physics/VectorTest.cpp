#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>

#include "physics/Random.h"
#include "physics/Vector3f.h"
#include "physics/matrix_impl.h"

TEST(Vector3f, AngleCoversTheFourAxesAndTheOrigin) {
    const double pi = std::numbers::pi;
    _Vector3f v;
    EXPECT_DOUBLE_EQ(getAngleXYrads(setV3(&v, 1, 0, 7)), 0.0);
    EXPECT_DOUBLE_EQ(getAngleXYrads(setV3(&v, 0, 1, 7)), pi / 2);
    EXPECT_DOUBLE_EQ(getAngleXYrads(setV3(&v, -1, 0, 7)), pi);
    EXPECT_DOUBLE_EQ(getAngleXYrads(setV3(&v, 0, -1, 7)), -pi / 2);
    EXPECT_DOUBLE_EQ(getAngleXYrads(setV3(&v, 0, 0, 7)), 0.0);
}

TEST(Vector3f, LengthAndDistanceCountZ) {
    _Vector3f a, b;
    setV3(&a, 3, 4, 12);
    EXPECT_DOUBLE_EQ(lengthV3(&a), 13.0);
    setV3(&b, 0, 0, 0);
    EXPECT_DOUBLE_EQ(distanceV3(&a, &b), 13.0);
    EXPECT_DOUBLE_EQ(dotV3(&a, &a), 169.0);
}

TEST(Vector3f, AliasedArgumentsAndDivisionByZero) {
    _Vector3f v, w;
    setV3(&v, 1, 2, 3);
    addSelfV3(&v, &v);
    EXPECT_EQ(v.x, 2);
    EXPECT_EQ(v.y, 4);
    EXPECT_EQ(v.z, 6);
    setV3(&w, 1, 1, 1);
    subtractV3(&v, &v, &w);  // out aliases a
    EXPECT_EQ(v.y, 3);
    subtractSelfV3(&v, &v);
    EXPECT_EQ(lengthV3(&v), 0.0);
    setV3(&v, 1, -1, 0);
    divideSelfV3(&v, 0.0);
    EXPECT_TRUE(std::isinf(v.x) && v.x > 0);
    EXPECT_TRUE(std::isinf(v.y) && v.y < 0);
    EXPECT_TRUE(std::isnan(v.z));
}

namespace {

void randomMatrix(float* m) {
    for (int i = 0; i < 16; ++i) {
        m[i] = (brumelo::randomFraction() - 0.5f) * 200.0f;
    }
}

}  // namespace

TEST(Matrix4Mul, VectorAndScalarAgreeBitForBitAlsoInPlace) {
    brumelo::seedRandom(1234);
    for (int round = 0; round < 500; ++round) {
        alignas(16) float a[16], b[16], expected[16];
        randomMatrix(a);
        randomMatrix(b);
        brumelo::Matrix4MulScalar(a, b, expected);

        for (auto mul : {&brumelo::Matrix4MulVector, &brumelo::Matrix4MulScalar, &Matrix4Mul}) {
            alignas(16) float d[16];
            mul(a, b, d);
            ASSERT_EQ(std::memcmp(d, expected, sizeof d), 0) << "round " << round;
            std::memcpy(d, a, sizeof d);
            mul(d, b, d);  // dst is src1
            ASSERT_EQ(std::memcmp(d, expected, sizeof d), 0) << "round " << round;
            std::memcpy(d, b, sizeof d);
            mul(a, d, d);  // dst is src2
            ASSERT_EQ(std::memcmp(d, expected, sizeof d), 0) << "round " << round;
        }
    }
#if defined(__SSE__) && !defined(BRUMELO_SCALAR_MATRIX)
    EXPECT_TRUE(brumelo::matrix4MulIsVectorised());
#endif
}

TEST(Matrix4Mul, ProductOfKnownMatrices) {
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const float a[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    float d[16];
    Matrix4Mul(a, identity, d);
    EXPECT_EQ(std::memcmp(a, d, sizeof d), 0);
    Matrix4Mul(a, a, d);  // rows of A combined with the columns of B
    EXPECT_EQ(d[0], 90.0f);
    EXPECT_EQ(d[3], 120.0f);
    EXPECT_EQ(d[12], 426.0f);
}
