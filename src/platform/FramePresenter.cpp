#include "platform/FramePresenter.h"

#include <cmath>

#include "platform/GLExtensions.h"

namespace brumelo {

FramePresenter::FramePresenter() {
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
}

FramePresenter::~FramePresenter() {
    if (texture_) glDeleteTextures(1, &texture_);
}

void FramePresenter::present(GLuint screenFramebuffer, int width, int height,
                             const std::vector<PixelRect>* changed, int w, int h,
                             const Letterbox& box, bool preserved) {
    // The drawing code owns the GL state between frames; put back what is touched here.
    GLint previousTexture = 0, previousViewport[4] = {0, 0, 0, 0}, envMode = 0;
    GLboolean mask[4] = {GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE};
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previousTexture);
    glGetIntegerv(GL_VIEWPORT, previousViewport);
    glGetBooleanv(GL_COLOR_WRITEMASK, mask);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &envMode);
    const GLboolean blend = glIsEnabled(GL_BLEND), texturing = glIsEnabled(GL_TEXTURE_2D);
    const GLboolean vertexArray = glIsEnabled(GL_VERTEX_ARRAY);
    const GLboolean texArray = glIsEnabled(GL_TEXTURE_COORD_ARRAY);
    const GLboolean colorArray = glIsEnabled(GL_COLOR_ARRAY);

    const bool partial = changed && preserved && w == shownWindowWidth_ &&
                         h == shownWindowHeight_ && width == presentWidth_ &&
                         height == presentHeight_;
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, screenFramebuffer);
    glBindTexture(GL_TEXTURE_2D, texture_);
    if (width != presentWidth_ || height != presentHeight_) {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     nullptr);
        presentWidth_ = width;
        presentHeight_ = height;
    }
    if (partial) {
        for (const PixelRect& r : *changed)
            glCopyTexSubImage2D(GL_TEXTURE_2D, 0, r.x, r.y, r.x, r.y, r.width, r.height);
    } else {
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width, height);
    }

    glBindFramebufferOES(GL_FRAMEBUFFER_OES, 0);
    // A frame drawn at the window's density lands pixel for pixel: no filtering needed.
    const GLint filter = box.width == width && box.height == height ? GL_NEAREST : GL_LINEAR;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glViewport(0, 0, w, h);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    if (!partial) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        shownWindowWidth_ = w;
        shownWindowHeight_ = h;
    }
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrthof(0, static_cast<GLfloat>(w), static_cast<GLfloat>(h), 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();

    const GLfloat x0 = static_cast<GLfloat>(box.x), y0 = static_cast<GLfloat>(box.y);
    const GLfloat x1 = x0 + static_cast<GLfloat>(box.width);
    const GLfloat y1 = y0 + static_cast<GLfloat>(box.height);
    // GL rows run bottom-up, so the frame's last row is the window's top.
    const GLfloat vertices[] = {x0, y0, x1, y0, x0, y1, x1, y1};
    const GLfloat coords[] = {0, 1, 1, 1, 0, 0, 1, 0};
    glDisable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_REPLACE);
    glDisableClientState(GL_COLOR_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    glVertexPointer(2, GL_FLOAT, 0, vertices);
    glTexCoordPointer(2, GL_FLOAT, 0, coords);
    if (partial) {
        // Each changed part, in the window's bottom-up pixels, a pixel wider where filtered.
        const double sx = static_cast<double>(box.width) / width;
        const double sy = static_cast<double>(box.height) / height;
        const int margin = filter == GL_NEAREST ? 0 : 1;
        const int bottom = h - box.y - box.height;
        glEnable(GL_SCISSOR_TEST);
        for (const PixelRect& r : *changed) {
            const int x0 = box.x + static_cast<int>(std::floor(r.x * sx)) - margin;
            const int y0 = bottom + static_cast<int>(std::floor(r.y * sy)) - margin;
            const int x1 = box.x + static_cast<int>(std::ceil((r.x + r.width) * sx)) + margin;
            const int y1 = bottom + static_cast<int>(std::ceil((r.y + r.height) * sy)) + margin;
            glScissor(x0, y0, x1 - x0, y1 - y0);
            glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
        }
        glDisable(GL_SCISSOR_TEST);
    } else {
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }

    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, envMode);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previousTexture));
    glColorMask(mask[0], mask[1], mask[2], mask[3]);
    glViewport(previousViewport[0], previousViewport[1], previousViewport[2], previousViewport[3]);
    auto restore = [](GLenum cap, GLboolean on, bool client) {
        if (client) {
            on ? glEnableClientState(cap) : glDisableClientState(cap);
        } else {
            on ? glEnable(cap) : glDisable(cap);
        }
    };
    restore(GL_BLEND, blend, false);
    restore(GL_TEXTURE_2D, texturing, false);
    restore(GL_VERTEX_ARRAY, vertexArray, true);
    restore(GL_TEXTURE_COORD_ARRAY, texArray, true);
    restore(GL_COLOR_ARRAY, colorArray, true);
}

}  // namespace brumelo
