#pragma once

// Shows the screen frame buffer in a window: copies its picture into a texture and draws that
// scaled into a rectangle of the window's frame buffer, black around it, with GL ES 1.1.
// Portable: every window system draws its frames through one of these.

#include <GLES/gl.h>

#include <vector>

#include "platform/InputMapping.h"

namespace brumelo {

// A rectangle of a frame buffer in its pixels, origin bottom-left as GL has it.
struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};

class FramePresenter {
  public:
    // With the window's context current.
    FramePresenter();
    ~FramePresenter();
    FramePresenter(const FramePresenter&) = delete;
    FramePresenter& operator=(const FramePresenter&) = delete;

    // The screen frame buffer's picture (width x height pixels) into box of the window's frame
    // buffer (0, w x h pixels). `changed`, when given, lists all that changed since the last
    // present; where the window keeps its pixels between frames (preserved) only those parts
    // are copied. Leaves the window's frame buffer bound so more can be drawn over it; the rest
    // of the GL state is put back.
    void present(GLuint screenFramebuffer, int width, int height,
                 const std::vector<PixelRect>* changed, int w, int h, const Letterbox& box,
                 bool preserved);

  private:
    GLuint texture_ = 0;
    int presentWidth_ = 0, presentHeight_ = 0;  // the texture's size
    // Valid while the window and the frame keep the size of the last whole present.
    int shownWindowWidth_ = 0, shownWindowHeight_ = 0;
};

}  // namespace brumelo
