#include "steam/SteamRegrowth.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

#include "platform/GLExtensions.h"
#include "render/Globals.h"
#include "render/Texture2D.h"
#include "steam/DropletsScreen.h"

void regrowSteam(DropletsScreen& screen) {
    if (!_textures[0] || screen.frames() % kRegrowthPeriod != 0) return;
    const Texture2D* writing =
        screen.frames() / kRegrowthPeriod % 2 == 1 ? screen.glassWriting() : nullptr;
    // A quarter over one step, so that both rounding and truncation to 8 bits give one step.
    constexpr GLfloat a = 1.25f / 255.0f;
    const auto w = static_cast<GLfloat>(paneHalfWidth()),
               h = static_cast<GLfloat>(paneHalfHeight());
    const GLfloat vertices[12] = {-w, -h, 0, w, -h, 0, -w, h, 0, w, h, 0};
    static const GLfloat colors[16] = {0, 0, 0, a, 0, 0, 0, a, 0, 0, 0, a, 0, 0, 0, a};
    GLint bound = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &bound);
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, _textures[0]->fbo());
    // Dithering would add two steps to some texels and none to others, in a fixed pattern.
    const GLboolean dither = glIsEnabled(GL_DITHER);
    glDisable(GL_DITHER);
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_TRUE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_ONE, GL_ONE);
    glDisable(GL_TEXTURE_2D);
    glDisableClientState(GL_TEXTURE_COORD_ARRAY);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_COLOR_ARRAY);
    // Every other step, where the glass was wiped it stays as it is: old writing shows.
    if (writing) {
        drawAddingAlpha(*writing, a);
    } else {
        glVertexPointer(3, GL_FLOAT, 0, vertices);
        glColorPointer(4, GL_FLOAT, 0, colors);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }
    glEnable(GL_TEXTURE_2D);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    if (dither) glEnable(GL_DITHER);
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, static_cast<GLuint>(bound));
    screen.setNeedsDisplay();
}
