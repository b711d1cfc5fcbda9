#pragma once

#include <GLES/gl.h>

#include <iterator>

namespace brumelo {

// The GL state around whatever draws over the presented window (the alerts, the level meter):
// the caller's state is saved on construction and put back on destruction. In between: the
// whole window as the viewport, a projection in window pixels with the origin top-left, blending
// on, all colour channels written, texturing, depth, culling, alpha test, scissor, lighting and
// point sprites off, every client array off. OpenGL ES 1.1 only, for any presentation to use.
class WindowOverlay {
  public:
    WindowOverlay(int windowWidth, int windowHeight);
    ~WindowOverlay();
    WindowOverlay(const WindowOverlay&) = delete;
    WindowOverlay& operator=(const WindowOverlay&) = delete;

  private:
    static constexpr GLenum kCaps[] = {GL_BLEND,     GL_TEXTURE_2D,      GL_DEPTH_TEST,
                                       GL_CULL_FACE, GL_ALPHA_TEST,      GL_SCISSOR_TEST,
                                       GL_LIGHTING,  GL_POINT_SPRITE_OES};
    static constexpr GLenum kArrays[] = {GL_VERTEX_ARRAY, GL_TEXTURE_COORD_ARRAY, GL_COLOR_ARRAY,
                                         GL_NORMAL_ARRAY, GL_POINT_SIZE_ARRAY_OES};
    GLint viewport_[4] = {0, 0, 0, 0};
    GLint matrixMode_ = 0, boundTexture_ = 0, blendSrc_ = 0, blendDst_ = 0, texEnv_ = 0;
    GLboolean colorMask_[4] = {GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE};
    GLfloat color_[4] = {1, 1, 1, 1};
    GLboolean capWas_[std::size(kCaps)] = {};
    GLboolean arrayWas_[std::size(kArrays)] = {};
};

}  // namespace brumelo
