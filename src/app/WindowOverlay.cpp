#include "app/WindowOverlay.h"

namespace brumelo {

WindowOverlay::WindowOverlay(int windowWidth, int windowHeight) {
    glGetIntegerv(GL_VIEWPORT, viewport_);
    glGetIntegerv(GL_MATRIX_MODE, &matrixMode_);
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &boundTexture_);
    glGetIntegerv(GL_BLEND_SRC, &blendSrc_);
    glGetIntegerv(GL_BLEND_DST, &blendDst_);
    glGetTexEnviv(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, &texEnv_);
    glGetBooleanv(GL_COLOR_WRITEMASK, colorMask_);
    glGetFloatv(GL_CURRENT_COLOR, color_);
    for (std::size_t i = 0; i < std::size(kCaps); ++i) capWas_[i] = glIsEnabled(kCaps[i]);
    for (std::size_t i = 0; i < std::size(kArrays); ++i) arrayWas_[i] = glIsEnabled(kArrays[i]);

    glViewport(0, 0, windowWidth, windowHeight);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrthof(0, static_cast<GLfloat>(windowWidth), static_cast<GLfloat>(windowHeight), 0, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    for (GLenum cap : kCaps) glDisable(cap);
    for (GLenum array : kArrays) glDisableClientState(array);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glEnable(GL_BLEND);
}

WindowOverlay::~WindowOverlay() {
    glMatrixMode(GL_MODELVIEW);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(static_cast<GLenum>(matrixMode_));
    for (std::size_t i = 0; i < std::size(kCaps); ++i)
        capWas_[i] ? glEnable(kCaps[i]) : glDisable(kCaps[i]);
    for (std::size_t i = 0; i < std::size(kArrays); ++i)
        arrayWas_[i] ? glEnableClientState(kArrays[i]) : glDisableClientState(kArrays[i]);
    glViewport(viewport_[0], viewport_[1], viewport_[2], viewport_[3]);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(boundTexture_));
    glBlendFunc(static_cast<GLenum>(blendSrc_), static_cast<GLenum>(blendDst_));
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, texEnv_);
    glColorMask(colorMask_[0], colorMask_[1], colorMask_[2], colorMask_[3]);
    glColor4f(color_[0], color_[1], color_[2], color_[3]);
}

}  // namespace brumelo
