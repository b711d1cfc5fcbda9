#include "VertexStream.h"

#include <algorithm>

#include "Es2.h"

namespace brumelo::gles1 {

namespace {
constexpr std::size_t kInitialCapacity = 256 * 1024;
}

void VertexStream::create() {
    es2::GenBuffers(1, &buffer_);
    es2::BindBuffer(GL_ARRAY_BUFFER, buffer_);
    capacity_ = kInitialCapacity;
    es2::BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(capacity_), nullptr, GL_STREAM_DRAW);
    next_ = 0;
}

void VertexStream::renew() {
    es2::BindBuffer(GL_ARRAY_BUFFER, buffer_);
    es2::BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(capacity_), nullptr, GL_STREAM_DRAW);
    next_ = 0;
}

void VertexStream::begin(std::size_t stride) {
    stride_ = stride;
    count_ = 0;
}

std::uint8_t* VertexStream::append(std::size_t count) {
    const std::size_t at = count_ * stride_;
    const std::size_t bytes = at + count * stride_;
    if (staging_.size() < bytes) staging_.resize(std::max(bytes, staging_.size() * 2));
    count_ += count;
    return staging_.data() + at;
}

GLint VertexStream::commit() {
    const std::size_t bytes = count_ * stride_;
    std::size_t first = (next_ + stride_ - 1) / stride_;
    if ((first + count_) * stride_ > capacity_) {
        // Orphan the storage: the GPU may still read the old one.
        capacity_ = std::max(capacity_, bytes * 2);
        es2::BufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(capacity_), nullptr,
                        GL_STREAM_DRAW);
        first = 0;
    }
    es2::BufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(first * stride_),
                       static_cast<GLsizeiptr>(bytes), staging_.data());
    next_ = (first + count_) * stride_;
    count_ = 0;
    return static_cast<GLint>(first);
}

}  // namespace brumelo::gles1
