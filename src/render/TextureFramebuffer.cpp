#include "render/TextureFramebuffer.h"

#include <cstdio>

#include "platform/GLExtensions.h"
#include "render/Texture2D.h"

bool createFramebufferObjectForTexture(Texture2D& texture, bool clear) {
    GLuint fbo = 0;
    glGenFramebuffersOES(1, &fbo);
    texture.setFbo(fbo);
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, fbo);
    glFramebufferTexture2DOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES, GL_TEXTURE_2D,
                              texture.name(), 0);
    if (glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES) != GL_FRAMEBUFFER_COMPLETE_OES) {
        std::fprintf(stderr, "2222 failed to make complete framebuffer object %x\n",
                     static_cast<unsigned>(glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES)));
        return false;
    }
    if (clear) {
        // GL clamps the alpha of 255 to 1: opaque black.
        glClearColor(0.0f, 0.0f, 0.0f, 255.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    return true;
}
