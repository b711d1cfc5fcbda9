#pragma once

// The frame-buffer-object functions of OpenGL ES 1.1. The GL library does not export them, so
// they are defined by us and forward to the driver's entry points, which loadGLExtensions finds.
// Until then (or when the driver lacks one) a call logs once and does nothing.

#include <GLES/gl.h>
#include <GLES/glext.h>

namespace brumelo {

using GLProcLoader = void* (*)(const char* name);

// Returns false when the framebuffer-object functions are missing.
bool loadGLExtensions(GLProcLoader getProcAddress);
bool glExtensionsLoaded();

// The OpenGL ES major version the gl* functions linked into this program draw with: 1 for the
// driver's own, 2 (or later) where the fixed-function layer of src/gles1 takes this
// unit's place. Window systems make their contexts to suit.
int requiredGLESVersion();
// Window systems report which of their contexts is current (identities as from
// currentGLContextIdentity), so that a layer can keep its state per context.
void glContextMadeCurrent(const void* identity);
void glContextDestroyed(const void* identity);

}  // namespace brumelo

extern "C" {
GL_API GLboolean GL_APIENTRY glIsRenderbufferOES(GLuint renderbuffer);
GL_API void GL_APIENTRY glBindRenderbufferOES(GLenum target, GLuint renderbuffer);
GL_API void GL_APIENTRY glDeleteRenderbuffersOES(GLsizei n, const GLuint* renderbuffers);
GL_API void GL_APIENTRY glGenRenderbuffersOES(GLsizei n, GLuint* renderbuffers);
GL_API void GL_APIENTRY glRenderbufferStorageOES(GLenum target, GLenum internalformat,
                                                 GLsizei width, GLsizei height);
GL_API void GL_APIENTRY glGetRenderbufferParameterivOES(GLenum target, GLenum pname, GLint* params);
GL_API GLboolean GL_APIENTRY glIsFramebufferOES(GLuint framebuffer);
GL_API void GL_APIENTRY glBindFramebufferOES(GLenum target, GLuint framebuffer);
GL_API void GL_APIENTRY glDeleteFramebuffersOES(GLsizei n, const GLuint* framebuffers);
GL_API void GL_APIENTRY glGenFramebuffersOES(GLsizei n, GLuint* framebuffers);
GL_API GLenum GL_APIENTRY glCheckFramebufferStatusOES(GLenum target);
GL_API void GL_APIENTRY glFramebufferRenderbufferOES(GLenum target, GLenum attachment,
                                                     GLenum renderbuffertarget,
                                                     GLuint renderbuffer);
GL_API void GL_APIENTRY glFramebufferTexture2DOES(GLenum target, GLenum attachment,
                                                  GLenum textarget, GLuint texture, GLint level);
GL_API void GL_APIENTRY glGetFramebufferAttachmentParameterivOES(GLenum target, GLenum attachment,
                                                                 GLenum pname, GLint* params);
GL_API void GL_APIENTRY glGenerateMipmapOES(GLenum target);
GL_API void GL_APIENTRY glBlendFuncSeparateOES(GLenum srcRGB, GLenum dstRGB, GLenum srcAlpha,
                                               GLenum dstAlpha);
}
