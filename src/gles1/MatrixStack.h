#pragma once

// One of the fixed-function matrix stacks (model-view, projection, a texture unit's): 4 x 4
// single-precision matrices in GL's column-major order. Every change of the top bumps a serial,
// so users recompute what they derive from it only when it changed.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace brumelo::gles1 {

using Matrix = std::array<float, 16>;

Matrix identityMatrix();
// a * b: the matrix that applies b first.
Matrix multiply(const Matrix& a, const Matrix& b);

class MatrixStack {
  public:
    explicit MatrixStack(std::size_t maxDepth);

    const Matrix& top() const { return stack_.back(); }
    std::size_t depth() const { return stack_.size(); }
    std::size_t maxDepth() const { return maxDepth_; }
    bool isIdentity() const { return identity_.back(); }
    std::uint64_t serial() const { return serial_; }

    // False on overflow or underflow, leaving the stack as it was.
    bool push();
    bool pop();

    void loadIdentity();
    void load(const float* m);
    void multiply(const float* m);
    void ortho(float left, float right, float bottom, float top, float nearZ, float farZ);
    void frustum(float left, float right, float bottom, float top, float nearZ, float farZ);
    void translate(float x, float y, float z);
    void scale(float x, float y, float z);
    void rotate(float degrees, float x, float y, float z);

  private:
    void changed(bool identity);

    std::vector<Matrix> stack_;
    std::vector<bool> identity_;
    std::size_t maxDepth_;
    std::uint64_t serial_ = 0;
};

}  // namespace brumelo::gles1
