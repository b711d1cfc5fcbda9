#include "MatrixStack.h"

#include <cmath>
#include <numbers>

namespace brumelo::gles1 {

Matrix identityMatrix() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix r{};
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            float sum = 0;
            for (int k = 0; k < 4; ++k) sum += a[k * 4 + row] * b[column * 4 + k];
            r[column * 4 + row] = sum;
        }
    }
    return r;
}

MatrixStack::MatrixStack(std::size_t maxDepth) : maxDepth_(maxDepth) {
    stack_.reserve(maxDepth);
    stack_.push_back(identityMatrix());
    identity_.push_back(true);
}

bool MatrixStack::push() {
    if (stack_.size() >= maxDepth_) return false;
    stack_.push_back(stack_.back());
    identity_.push_back(identity_.back());
    return true;
}

bool MatrixStack::pop() {
    if (stack_.size() <= 1) return false;
    stack_.pop_back();
    identity_.pop_back();
    ++serial_;
    return true;
}

void MatrixStack::changed(bool identity) {
    identity_.back() = identity;
    ++serial_;
}

void MatrixStack::loadIdentity() {
    stack_.back() = identityMatrix();
    changed(true);
}

void MatrixStack::load(const float* m) {
    for (int i = 0; i < 16; ++i) stack_.back()[i] = m[i];
    changed(stack_.back() == identityMatrix());
}

void MatrixStack::multiply(const float* m) {
    Matrix b;
    for (int i = 0; i < 16; ++i) b[i] = m[i];
    stack_.back() = gles1::multiply(stack_.back(), b);
    changed(identity_.back() && b == identityMatrix());
}

void MatrixStack::ortho(float l, float r, float b, float t, float n, float f) {
    const Matrix m = {2 / (r - l),
                      0,
                      0,
                      0,
                      0,
                      2 / (t - b),
                      0,
                      0,
                      0,
                      0,
                      -2 / (f - n),
                      0,
                      -(r + l) / (r - l),
                      -(t + b) / (t - b),
                      -(f + n) / (f - n),
                      1};
    multiply(m.data());
}

void MatrixStack::frustum(float l, float r, float b, float t, float n, float f) {
    const Matrix m = {2 * n / (r - l),
                      0,
                      0,
                      0,
                      0,
                      2 * n / (t - b),
                      0,
                      0,
                      (r + l) / (r - l),
                      (t + b) / (t - b),
                      -(f + n) / (f - n),
                      -1,
                      0,
                      0,
                      -2 * f * n / (f - n),
                      0};
    multiply(m.data());
}

void MatrixStack::translate(float x, float y, float z) {
    const Matrix m = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1};
    multiply(m.data());
}

void MatrixStack::scale(float x, float y, float z) {
    const Matrix m = {x, 0, 0, 0, 0, y, 0, 0, 0, 0, z, 0, 0, 0, 0, 1};
    multiply(m.data());
}

void MatrixStack::rotate(float degrees, float x, float y, float z) {
    const float length = std::sqrt(x * x + y * y + z * z);
    if (length == 0) return;
    x /= length;
    y /= length;
    z /= length;
    const float radians = degrees * std::numbers::pi_v<float> / 180;
    const float c = std::cos(radians), s = std::sin(radians), d = 1 - c;
    const Matrix m = {x * x * d + c,
                      y * x * d + z * s,
                      x * z * d - y * s,
                      0,
                      x * y * d - z * s,
                      y * y * d + c,
                      y * z * d + x * s,
                      0,
                      x * z * d + y * s,
                      y * z * d - x * s,
                      z * z * d + c,
                      0,
                      0,
                      0,
                      0,
                      1};
    multiply(m.data());
}

}  // namespace brumelo::gles1
