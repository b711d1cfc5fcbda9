#pragma once

// dst = src1 x src2 for row-major 4 x 4 float matrices. dst may be src1 or src2: the integrator
// multiplies a node's state in place. Every element is summed as
// ((a0*b0 + a1*b1) + a2*b2) + a3*b3 in single precision, so all versions agree bit for bit.
void Matrix4Mul(const float* src1, const float* src2, float* dst);

namespace brumelo {

// The portable version, for targets without the vector kernel (and to check it).
void Matrix4MulScalar(const float* src1, const float* src2, float* dst);

// The SSE kernel where the target has one; otherwise the scalar version.
void Matrix4MulVector(const float* src1, const float* src2, float* dst);

// True when Matrix4Mul runs a vector kernel on this build.
bool matrix4MulIsVectorised();

}  // namespace brumelo
