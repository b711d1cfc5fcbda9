#include "platform/GLExtensions.h"

#include <atomic>
#include <cstdio>

namespace {

// Every entry point we forward: its name, where its address goes, and whether a call without it
// was already reported.
#define BRUMELO_GL_EXTENSIONS(X)                                                                 \
    X(glIsRenderbufferOES, PFNGLISRENDERBUFFEROESPROC)                                           \
    X(glBindRenderbufferOES, PFNGLBINDRENDERBUFFEROESPROC)                                       \
    X(glDeleteRenderbuffersOES, PFNGLDELETERENDERBUFFERSOESPROC)                                 \
    X(glGenRenderbuffersOES, PFNGLGENRENDERBUFFERSOESPROC)                                       \
    X(glRenderbufferStorageOES, PFNGLRENDERBUFFERSTORAGEOESPROC)                                 \
    X(glGetRenderbufferParameterivOES, PFNGLGETRENDERBUFFERPARAMETERIVOESPROC)                   \
    X(glIsFramebufferOES, PFNGLISFRAMEBUFFEROESPROC)                                             \
    X(glBindFramebufferOES, PFNGLBINDFRAMEBUFFEROESPROC)                                         \
    X(glDeleteFramebuffersOES, PFNGLDELETEFRAMEBUFFERSOESPROC)                                   \
    X(glGenFramebuffersOES, PFNGLGENFRAMEBUFFERSOESPROC)                                         \
    X(glCheckFramebufferStatusOES, PFNGLCHECKFRAMEBUFFERSTATUSOESPROC)                           \
    X(glFramebufferRenderbufferOES, PFNGLFRAMEBUFFERRENDERBUFFEROESPROC)                         \
    X(glFramebufferTexture2DOES, PFNGLFRAMEBUFFERTEXTURE2DOESPROC)                               \
    X(glGetFramebufferAttachmentParameterivOES, PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVOESPROC) \
    X(glGenerateMipmapOES, PFNGLGENERATEMIPMAPOESPROC)                                           \
    X(glBlendFuncSeparateOES, PFNGLBLENDFUNCSEPARATEOESPROC)

#define BRUMELO_DECLARE_POINTER(name, type) \
    std::atomic<type> p_##name{nullptr};    \
    std::atomic<bool> warned_##name{false};
BRUMELO_GL_EXTENSIONS(BRUMELO_DECLARE_POINTER)
#undef BRUMELO_DECLARE_POINTER

std::atomic<bool> loaded{false};

void reportMissing(std::atomic<bool>& warned, const char* name) {
    if (!warned.exchange(true)) {
        std::fprintf(stderr, "GL function %s is not loaded; the call does nothing\n", name);
    }
}

}  // namespace

namespace brumelo {

bool loadGLExtensions(GLProcLoader getProcAddress) {
    bool all = true;
#define BRUMELO_LOAD_POINTER(name, type)                                  \
    {                                                                     \
        void* address = getProcAddress ? getProcAddress(#name) : nullptr; \
        p_##name.store(reinterpret_cast<type>(address));                  \
        if (address == nullptr) all = false;                              \
    }
    BRUMELO_GL_EXTENSIONS(BRUMELO_LOAD_POINTER)
#undef BRUMELO_LOAD_POINTER
    loaded.store(all);
    return all;
}

bool glExtensionsLoaded() { return loaded.load(); }

int requiredGLESVersion() { return 1; }
void glContextMadeCurrent(const void*) {}
void glContextDestroyed(const void*) {}

}  // namespace brumelo

// Each forwarder calls the loaded entry point, or reports once and returns a neutral value.
#define BRUMELO_FORWARD_VOID(name, params, args)     \
    extern "C" GL_API void GL_APIENTRY name params { \
        if (auto f = p_##name.load()) {              \
            f args;                                  \
        } else {                                     \
            reportMissing(warned_##name, #name);     \
        }                                            \
    }

#define BRUMELO_FORWARD_VALUE(ret, name, params, args, neutral) \
    extern "C" GL_API ret GL_APIENTRY name params {             \
        if (auto f = p_##name.load()) return f args;            \
        reportMissing(warned_##name, #name);                    \
        return neutral;                                         \
    }

BRUMELO_FORWARD_VALUE(GLboolean, glIsRenderbufferOES, (GLuint renderbuffer), (renderbuffer),
                      GL_FALSE)
BRUMELO_FORWARD_VOID(glBindRenderbufferOES, (GLenum target, GLuint renderbuffer),
                     (target, renderbuffer))
BRUMELO_FORWARD_VOID(glDeleteRenderbuffersOES, (GLsizei n, const GLuint* renderbuffers),
                     (n, renderbuffers))
BRUMELO_FORWARD_VOID(glRenderbufferStorageOES,
                     (GLenum target, GLenum internalformat, GLsizei width, GLsizei height),
                     (target, internalformat, width, height))
BRUMELO_FORWARD_VOID(glGetRenderbufferParameterivOES, (GLenum target, GLenum pname, GLint* params),
                     (target, pname, params))
BRUMELO_FORWARD_VALUE(GLboolean, glIsFramebufferOES, (GLuint framebuffer), (framebuffer), GL_FALSE)
BRUMELO_FORWARD_VOID(glBindFramebufferOES, (GLenum target, GLuint framebuffer),
                     (target, framebuffer))
BRUMELO_FORWARD_VOID(glDeleteFramebuffersOES, (GLsizei n, const GLuint* framebuffers),
                     (n, framebuffers))
BRUMELO_FORWARD_VALUE(GLenum, glCheckFramebufferStatusOES, (GLenum target), (target), 0)
BRUMELO_FORWARD_VOID(glFramebufferRenderbufferOES,
                     (GLenum target, GLenum attachment, GLenum renderbuffertarget,
                      GLuint renderbuffer),
                     (target, attachment, renderbuffertarget, renderbuffer))
BRUMELO_FORWARD_VOID(glFramebufferTexture2DOES,
                     (GLenum target, GLenum attachment, GLenum textarget, GLuint texture,
                      GLint level),
                     (target, attachment, textarget, texture, level))
BRUMELO_FORWARD_VOID(glGetFramebufferAttachmentParameterivOES,
                     (GLenum target, GLenum attachment, GLenum pname, GLint* params),
                     (target, attachment, pname, params))
BRUMELO_FORWARD_VOID(glGenerateMipmapOES, (GLenum target), (target))
BRUMELO_FORWARD_VOID(glBlendFuncSeparateOES,
                     (GLenum srcRGB, GLenum dstRGB, GLenum srcAlpha, GLenum dstAlpha),
                     (srcRGB, dstRGB, srcAlpha, dstAlpha))

// Generating names must leave zeros behind when the driver is missing, never garbage.
extern "C" GL_API void GL_APIENTRY glGenRenderbuffersOES(GLsizei n, GLuint* renderbuffers) {
    if (auto f = p_glGenRenderbuffersOES.load()) {
        f(n, renderbuffers);
        return;
    }
    reportMissing(warned_glGenRenderbuffersOES, "glGenRenderbuffersOES");
    for (GLsizei i = 0; i < n; ++i) renderbuffers[i] = 0;
}

extern "C" GL_API void GL_APIENTRY glGenFramebuffersOES(GLsizei n, GLuint* framebuffers) {
    if (auto f = p_glGenFramebuffersOES.load()) {
        f(n, framebuffers);
        return;
    }
    reportMissing(warned_glGenFramebuffersOES, "glGenFramebuffersOES");
    for (GLsizei i = 0; i < n; ++i) framebuffers[i] = 0;
}
