#pragma once

// The one vertex buffer that carries client arrays to the GPU (WebGL has no client arrays).
// Vertices are written interleaved into a staging area, a run of draws of one layout after
// another, and uploaded with one call at the next vertex-sized slot of a ring; the draw then
// starts at that vertex, so attribute pointers set once per layout stay valid from draw to draw.
// When the ring is full its storage is orphaned and writing starts again at the front.

#include <GLES2/gl2.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace brumelo::gles1 {

class VertexStream {
  public:
    VertexStream() = default;
    VertexStream(const VertexStream&) = delete;
    VertexStream& operator=(const VertexStream&) = delete;

    // Makes the buffer (the context must be current) and leaves it bound to GL_ARRAY_BUFFER,
    // where it stays: nothing else of the layer binds array buffers.
    void create();
    // After a lost context, with the buffer's name valid again: gives it storage anew.
    void renew();

    // Starts a run of vertices of stride bytes (what was staged and not committed is dropped).
    void begin(std::size_t stride);
    // Room for count more vertices after those staged; valid until the next append or commit.
    std::uint8_t* append(std::size_t count);
    // The vertices staged so far, count of them.
    std::uint8_t* staged() { return staging_.data(); }
    std::size_t count() const { return count_; }
    // Uploads the vertices staged; returns the index of the first in the buffer.
    GLint commit();

    std::size_t capacity() const { return capacity_; }

  private:
    GLuint buffer_ = 0;
    std::size_t capacity_ = 0;
    std::size_t next_ = 0;  // first free byte of the ring
    std::size_t stride_ = 0;
    std::size_t count_ = 0;
    std::vector<std::uint8_t> staging_;
};

}  // namespace brumelo::gles1
