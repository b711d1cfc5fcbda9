#pragma once

// Shows the screen frame buffer in a window: copies its picture into a texture and draws that
// scaled into a rectangle of the window's frame buffer, black around it, with GL ES 1.1.
// Portable: every window system draws its frames through one of these.

#include <GLES/gl.h>

#include "platform/InputMapping.h"

namespace brumelo {

class FramePresenter {
  public:
    // With the window's context current.
    FramePresenter();
    ~FramePresenter();
    FramePresenter(const FramePresenter&) = delete;
    FramePresenter& operator=(const FramePresenter&) = delete;

    // The window's frame buffer (0) is w x h pixels; the picture goes into box. Leaves that
    // frame buffer bound so more can be drawn over it; the rest of the GL state is put back.
    void present(GLuint screenFramebuffer, int w, int h, const Letterbox& box);

  private:
    GLuint texture_ = 0;
};

}  // namespace brumelo
