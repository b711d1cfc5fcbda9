#include "physics/matrix_impl.h"

#if defined(__SSE__) && !defined(BRUMELO_SCALAR_MATRIX)
#include <xmmintrin.h>
#define BRUMELO_MATRIX_SSE 1
#endif

namespace brumelo {

void Matrix4MulScalar(const float* src1, const float* src2, float* dst) {
    float b[16];
    for (int k = 0; k < 16; ++k) b[k] = src2[k];
    for (int i = 0; i < 4; ++i) {
        const float a0 = src1[4 * i], a1 = src1[4 * i + 1], a2 = src1[4 * i + 2],
                    a3 = src1[4 * i + 3];
        float row[4];
        for (int j = 0; j < 4; ++j) {
            float s = a0 * b[j];
            s = s + a1 * b[4 + j];
            s = s + a2 * b[8 + j];
            s = s + a3 * b[12 + j];
            row[j] = s;
        }
        for (int j = 0; j < 4; ++j) dst[4 * i + j] = row[j];
    }
}

#ifdef BRUMELO_MATRIX_SSE
void Matrix4MulVector(const float* src1, const float* src2, float* dst) {
    // Unaligned loads: callers are not obliged to align their matrices.
    const __m128 b0 = _mm_loadu_ps(src2);
    const __m128 b1 = _mm_loadu_ps(src2 + 4);
    const __m128 b2 = _mm_loadu_ps(src2 + 8);
    const __m128 b3 = _mm_loadu_ps(src2 + 12);
    for (int i = 0; i < 4; ++i) {
        const float* a = src1 + 4 * i;
        __m128 s = _mm_mul_ps(_mm_set1_ps(a[0]), b0);
        s = _mm_add_ps(s, _mm_mul_ps(_mm_set1_ps(a[1]), b1));
        s = _mm_add_ps(s, _mm_mul_ps(_mm_set1_ps(a[2]), b2));
        s = _mm_add_ps(s, _mm_mul_ps(_mm_set1_ps(a[3]), b3));
        _mm_storeu_ps(dst + 4 * i, s);
    }
}

bool matrix4MulIsVectorised() { return true; }
#else
void Matrix4MulVector(const float* src1, const float* src2, float* dst) {
    Matrix4MulScalar(src1, src2, dst);
}

bool matrix4MulIsVectorised() { return false; }
#endif

}  // namespace brumelo

void Matrix4Mul(const float* src1, const float* src2, float* dst) {
    brumelo::Matrix4MulVector(src1, src2, dst);
}
