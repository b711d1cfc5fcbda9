// Stands in for the GL ES 1.1 layer over WebGL in builds made without it: the fixed-function
// calls do nothing (the frame buffer calls reach WebGL itself), so the page runs and shows black.
// Once the layer is in src/platform/web/ this file is not built.

#include <GLES/gl.h>
#include <GLES/glext.h>
#include <emscripten/html5.h>

#include <cstdio>

extern "C" {
void glBindFramebuffer(GLenum target, GLuint framebuffer);
void glGenFramebuffers(GLsizei n, GLuint* framebuffers);
void glDeleteFramebuffers(GLsizei n, const GLuint* framebuffers);
GLenum glCheckFramebufferStatus(GLenum target);
void glFramebufferTexture2D(GLenum target, GLenum attachment, GLenum textarget, GLuint texture,
                            GLint level);
void glFramebufferRenderbuffer(GLenum target, GLenum attachment, GLenum renderbuffertarget,
                               GLuint renderbuffer);
void glBindRenderbuffer(GLenum target, GLuint renderbuffer);
void glGenRenderbuffers(GLsizei n, GLuint* renderbuffers);
void glDeleteRenderbuffers(GLsizei n, const GLuint* renderbuffers);
void glRenderbufferStorage(GLenum target, GLenum internalformat, GLsizei width, GLsizei height);
void glGetRenderbufferParameteriv(GLenum target, GLenum pname, GLint* params);
GLboolean glIsFramebuffer(GLuint framebuffer);
GLboolean glIsRenderbuffer(GLuint renderbuffer);
void glGenerateMipmap(GLenum target);
void glBlendFuncSeparate(GLenum srcRGB, GLenum dstRGB, GLenum srcAlpha, GLenum dstAlpha);
void glGetFramebufferAttachmentParameteriv(GLenum target, GLenum attachment, GLenum pname,
                                           GLint* params);
}

namespace {
void sayOnce() {
    static bool said = false;
    if (said) return;
    said = true;
    std::fprintf(stderr, "This build has no GL ES 1.1 layer: nothing is drawn.\n");
}
}  // namespace

extern "C" {
// WebGL 2 has the frame buffer objects in its core, under these names.
void glBindFramebufferOES(GLenum t, GLuint f) { glBindFramebuffer(t, f); }
void glGenFramebuffersOES(GLsizei n, GLuint* f) { glGenFramebuffers(n, f); }
void glDeleteFramebuffersOES(GLsizei n, const GLuint* f) { glDeleteFramebuffers(n, f); }
GLenum glCheckFramebufferStatusOES(GLenum t) { return glCheckFramebufferStatus(t); }
void glFramebufferTexture2DOES(GLenum t, GLenum a, GLenum tt, GLuint x, GLint l) {
    glFramebufferTexture2D(t, a, tt, x, l);
}
void glFramebufferRenderbufferOES(GLenum t, GLenum a, GLenum rt, GLuint r) {
    glFramebufferRenderbuffer(t, a, rt, r);
}
void glBindRenderbufferOES(GLenum t, GLuint r) { glBindRenderbuffer(t, r); }
void glGenRenderbuffersOES(GLsizei n, GLuint* r) { glGenRenderbuffers(n, r); }
void glDeleteRenderbuffersOES(GLsizei n, const GLuint* r) { glDeleteRenderbuffers(n, r); }
void glRenderbufferStorageOES(GLenum t, GLenum f, GLsizei w, GLsizei h) {
    // GL ES 1.1's RGBA8 is WebGL 2's RGBA8.
    glRenderbufferStorage(t, f, w, h);
}
void glGetRenderbufferParameterivOES(GLenum t, GLenum p, GLint* v) {
    glGetRenderbufferParameteriv(t, p, v);
}
GLboolean glIsFramebufferOES(GLuint f) { return glIsFramebuffer(f); }
GLboolean glIsRenderbufferOES(GLuint r) { return glIsRenderbuffer(r); }
void glGenerateMipmapOES(GLenum t) { glGenerateMipmap(t); }
void glBlendFuncSeparateOES(GLenum a, GLenum b, GLenum c, GLenum d) {
    glBlendFuncSeparate(a, b, c, d);
}
void glGetFramebufferAttachmentParameterivOES(GLenum t, GLenum a, GLenum p, GLint* v) {
    glGetFramebufferAttachmentParameteriv(t, a, p, v);
}

void glMatrixMode(GLenum) { sayOnce(); }
void glLoadIdentity() {}
void glPushMatrix() {}
void glPopMatrix() {}
void glOrthof(GLfloat, GLfloat, GLfloat, GLfloat, GLfloat, GLfloat) {}
void glTranslatef(GLfloat, GLfloat, GLfloat) {}
void glRotatef(GLfloat, GLfloat, GLfloat, GLfloat) {}
void glScalef(GLfloat, GLfloat, GLfloat) {}
void glColor4f(GLfloat, GLfloat, GLfloat, GLfloat) {}
void glVertexPointer(GLint, GLenum, GLsizei, const void*) {}
void glTexCoordPointer(GLint, GLenum, GLsizei, const void*) {}
void glColorPointer(GLint, GLenum, GLsizei, const void*) {}
void glEnableClientState(GLenum) {}
void glDisableClientState(GLenum) {}
void glTexEnvi(GLenum, GLenum, GLint) {}
void glGetTexEnviv(GLenum, GLenum, GLint* v) { *v = 0; }
void glPointSize(GLfloat) {}
}
