// The ES 1.1 entry points of the layer: each forwards to the current context's state, or, where
// ES 2 has the same function, straight to the GL below.

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unordered_map>

#include "Es2.h"
#include "Gles1Context.h"
#include "Gles1Layer.h"
#include "platform/GLExtensions.h"

using brumelo::gles1::Gles1Context;
namespace es2 = brumelo::gles1::es2;

namespace {

struct Registry {
    std::unordered_map<const void*, std::unique_ptr<Gles1Context>> contexts;
    const void* identity = nullptr;
    bool loaded = false;
};

// Never destroyed: textures held by globals are deleted through the layer during exit.
Registry& registry() {
    static Registry* r = new Registry;
    return *r;
}

Gles1Context* current = nullptr;

void notLoaded(const char* name) {
    static bool said = false;
    if (!said) {
        said = true;
        std::fprintf(stderr, "GL layer: %s called before loadGLExtensions; calls do nothing\n",
                     name);
    }
}

void printCounters() {
    const auto c = brumelo::gles1::counters();
    std::fprintf(stderr, "GL layer: %llu draws, %llu calls below\n",
                 static_cast<unsigned long long>(c.draws),
                 static_cast<unsigned long long>(c.calls));
}

std::uint64_t retiredDraws = 0;
bool keepForRestore = false;

}  // namespace

namespace brumelo {

bool loadGLExtensions(GLProcLoader getProcAddress) {
    Registry& r = registry();
    if (auto found = r.contexts.find(r.identity); found != r.contexts.end()) {
        current = found->second.get();
        return true;
    }
    std::string why;
    if (!es2::load(getProcAddress, &why)) {
        std::fprintf(stderr, "GL layer: the GL below lacks %s\n", why.c_str());
        return false;
    }
#ifndef __EMSCRIPTEN__
    // A loader that answers with our own definitions would send every call round in a circle.
    if (reinterpret_cast<void*>(es2::table.Enable) == reinterpret_cast<void*>(&::glEnable)) {
        std::fprintf(stderr, "GL layer: the loader returned the layer's own functions\n");
        return false;
    }
#endif
    auto context = gles1::Gles1Context::create(&why);
    if (!context) {
        std::fprintf(stderr, "GL layer: %s\n", why.c_str());
        return false;
    }
    context->keepForRestore(keepForRestore);
    current = context.get();
    r.contexts[r.identity] = std::move(context);
    if (!r.loaded && std::getenv("BRUMELO_GL_LAYER_COUNTERS")) std::atexit(printCounters);
    r.loaded = true;
    return true;
}

bool glExtensionsLoaded() { return current != nullptr; }

int requiredGLESVersion() { return 2; }

void glContextMadeCurrent(const void* identity) {
    Registry& r = registry();
    r.identity = identity;
    auto found = r.contexts.find(identity);
    Gles1Context* next = found == r.contexts.end() ? nullptr : found->second.get();
    // Draws held by a context no longer current cannot reach it (platforms call glFlush before
    // switching, which sends them).
    if (gles1::es2::held.owner != nullptr && gles1::es2::held.owner != next)
        static_cast<Gles1Context*>(gles1::es2::held.owner)->dropDraws();
    current = next;
}

void glContextDestroyed(const void* identity) {
    Registry& r = registry();
    auto found = r.contexts.find(identity);
    if (found == r.contexts.end()) return;
    if (current == found->second.get()) current = nullptr;
    retiredDraws += found->second->draws();
    r.contexts.erase(found);
}

namespace gles1 {

void keepObjectsForRestore(bool on) { keepForRestore = on; }

bool keepRenderedTextures() { return current != nullptr && current->keepRenderedTextures(); }

bool restoreObjects() {
    if (current == nullptr) return false;
    current->restore();
    return true;
}

void sendDraws() { es2::sendHeld(); }

Counters counters() {
    es2::sendHeld();
    Counters c;
    c.draws = retiredDraws;
    for (const auto& [identity, context] : registry().contexts) c.draws += context->draws();
    c.calls = es2::calls;
    return c;
}

}  // namespace gles1
}  // namespace brumelo

#define BRUMELO_CONTEXT(neutral) \
    Gles1Context* c = current;   \
    if (c == nullptr) {          \
        notLoaded(__func__);     \
        return neutral;          \
    }

// Functions ES 2 has with the same meaning: straight through.
#define BRUMELO_PASS(ret, name, below, params, args) \
    extern "C" GL_API ret GL_APIENTRY name params {  \
        if (current == nullptr) {                    \
            notLoaded(__func__);                     \
            return ret();                            \
        }                                            \
        return es2::below args;                      \
    }

BRUMELO_PASS(void, glClearDepthf, ClearDepthf, (GLfloat d), (d))
BRUMELO_PASS(void, glClearStencil, ClearStencil, (GLint s), (s))
// ...and those that act on the active texture unit's texture, which the layer sends when needed.
#define BRUMELO_PASS_UNIT(ret, name, below, params, args) \
    extern "C" GL_API ret GL_APIENTRY name params {       \
        if (current == nullptr) {                         \
            notLoaded(__func__);                          \
            return ret();                                 \
        }                                                 \
        current->sendActiveUnit();                        \
        return es2::below args;                           \
    }

BRUMELO_PASS_UNIT(void, glCompressedTexImage2D, CompressedTexImage2D,
             (GLenum target, GLint level, GLenum format, GLsizei w, GLsizei h, GLint border,
              GLsizei size, const void* data),
             (target, level, format, w, h, border, size, data))
BRUMELO_PASS_UNIT(void, glCompressedTexSubImage2D, CompressedTexSubImage2D,
             (GLenum target, GLint level, GLint x, GLint y, GLsizei w, GLsizei h, GLenum format,
              GLsizei size, const void* data),
             (target, level, x, y, w, h, format, size, data))
BRUMELO_PASS(void, glCullFace, CullFace, (GLenum mode), (mode))
BRUMELO_PASS(void, glDepthFunc, DepthFunc, (GLenum func), (func))
BRUMELO_PASS(void, glDepthMask, DepthMask, (GLboolean flag), (flag))
BRUMELO_PASS(void, glDepthRangef, DepthRangef, (GLfloat n, GLfloat f), (n, f))
BRUMELO_PASS(void, glFinish, Finish, (), ())
BRUMELO_PASS(void, glFlush, Flush, (), ())
BRUMELO_PASS(void, glFrontFace, FrontFace, (GLenum mode), (mode))
BRUMELO_PASS(GLboolean, glIsTexture, IsTexture, (GLuint name), (name))
BRUMELO_PASS(void, glLineWidth, LineWidth, (GLfloat width), (width))
BRUMELO_PASS(void, glPolygonOffset, PolygonOffset, (GLfloat factor, GLfloat units), (factor, units))
BRUMELO_PASS(void, glReadPixels, ReadPixels,
             (GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, void* pixels),
             (x, y, w, h, format, type, pixels))
BRUMELO_PASS(void, glSampleCoverage, SampleCoverage, (GLfloat value, GLboolean invert),
             (value, invert))
BRUMELO_PASS(void, glScissor, Scissor, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h))
BRUMELO_PASS(void, glStencilFunc, StencilFunc, (GLenum func, GLint ref, GLuint mask),
             (func, ref, mask))
BRUMELO_PASS(void, glStencilMask, StencilMask, (GLuint mask), (mask))
BRUMELO_PASS(void, glStencilOp, StencilOp, (GLenum fail, GLenum zfail, GLenum zpass),
             (fail, zfail, zpass))
BRUMELO_PASS_UNIT(void, glGetTexParameteriv, GetTexParameteriv,
             (GLenum target, GLenum pname, GLint* params), (target, pname, params))
BRUMELO_PASS_UNIT(void, glGetTexParameterfv, GetTexParameterfv,
             (GLenum target, GLenum pname, GLfloat* params), (target, pname, params))
BRUMELO_PASS(GLboolean, glIsFramebufferOES, IsFramebuffer, (GLuint name), (name))
BRUMELO_PASS(GLboolean, glIsRenderbufferOES, IsRenderbuffer, (GLuint name), (name))
BRUMELO_PASS(GLenum, glCheckFramebufferStatusOES, CheckFramebufferStatus, (GLenum target), (target))
BRUMELO_PASS(void, glGetFramebufferAttachmentParameterivOES, GetFramebufferAttachmentParameteriv,
             (GLenum target, GLenum attachment, GLenum pname, GLint* params),
             (target, attachment, pname, params))
BRUMELO_PASS(void, glGetRenderbufferParameterivOES, GetRenderbufferParameteriv,
             (GLenum target, GLenum pname, GLint* params), (target, pname, params))

// Generating names leaves zeros behind when nothing is loaded, never garbage.
#define BRUMELO_GEN(name, below)                                        \
    extern "C" GL_API void GL_APIENTRY name(GLsizei n, GLuint* names) { \
        if (current == nullptr) {                                       \
            notLoaded(__func__);                                        \
            for (GLsizei i = 0; i < n; ++i) names[i] = 0;               \
            return;                                                     \
        }                                                               \
        es2::below(n, names);                                           \
    }
BRUMELO_GEN(glGenTextures, GenTextures)
BRUMELO_GEN(glGenFramebuffersOES, GenFramebuffers)
BRUMELO_GEN(glGenRenderbuffersOES, GenRenderbuffers)

extern "C" {

GL_API GLenum GL_APIENTRY glGetError() {
    BRUMELO_CONTEXT(GL_NO_ERROR)
    return c->getError();
}

GL_API void GL_APIENTRY glEnable(GLenum cap) {
    BRUMELO_CONTEXT()
    c->enable(cap, true);
}

GL_API void GL_APIENTRY glDisable(GLenum cap) {
    BRUMELO_CONTEXT()
    c->enable(cap, false);
}

GL_API GLboolean GL_APIENTRY glIsEnabled(GLenum cap) {
    BRUMELO_CONTEXT(GL_FALSE)
    return c->isEnabled(cap);
}

GL_API void GL_APIENTRY glEnableClientState(GLenum array) {
    BRUMELO_CONTEXT()
    c->enableClientState(array, true);
}

GL_API void GL_APIENTRY glDisableClientState(GLenum array) {
    BRUMELO_CONTEXT()
    c->enableClientState(array, false);
}

GL_API void GL_APIENTRY glVertexPointer(GLint size, GLenum type, GLsizei stride,
                                        const void* pointer) {
    BRUMELO_CONTEXT()
    c->vertexPointer(size, type, stride, pointer);
}

GL_API void GL_APIENTRY glColorPointer(GLint size, GLenum type, GLsizei stride,
                                       const void* pointer) {
    BRUMELO_CONTEXT()
    c->colorPointer(size, type, stride, pointer);
}

GL_API void GL_APIENTRY glTexCoordPointer(GLint size, GLenum type, GLsizei stride,
                                          const void* pointer) {
    BRUMELO_CONTEXT()
    c->texCoordPointer(size, type, stride, pointer);
}

GL_API void GL_APIENTRY glNormalPointer(GLenum type, GLsizei stride, const void* pointer) {
    BRUMELO_CONTEXT()
    c->normalPointer(type, stride, pointer);
}

GL_API void GL_APIENTRY glPointSizePointerOES(GLenum type, GLsizei stride, const void* pointer) {
    BRUMELO_CONTEXT()
    c->pointSizePointer(type, stride, pointer);
}

GL_API void GL_APIENTRY glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    BRUMELO_CONTEXT()
    c->color(r, g, b, a);
}

GL_API void GL_APIENTRY glColor4ub(GLubyte r, GLubyte g, GLubyte b, GLubyte a) {
    BRUMELO_CONTEXT()
    c->color(r / 255.0f, g / 255.0f, b / 255.0f, a / 255.0f);
}

GL_API void GL_APIENTRY glMultiTexCoord4f(GLenum unit, GLfloat s, GLfloat t, GLfloat r, GLfloat q) {
    BRUMELO_CONTEXT()
    c->multiTexCoord(unit, s, t, r, q);
}

GL_API void GL_APIENTRY glPointSize(GLfloat size) {
    BRUMELO_CONTEXT()
    c->pointSize(size);
}

GL_API void GL_APIENTRY glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    BRUMELO_CONTEXT()
    c->drawArrays(mode, first, count);
}

GL_API void GL_APIENTRY glDrawElements(GLenum mode, GLsizei count, GLenum type,
                                       const void* indices) {
    BRUMELO_CONTEXT()
    c->drawElements(mode, count, type, indices);
}

GL_API void GL_APIENTRY glShadeModel(GLenum mode) {
    BRUMELO_CONTEXT()
    if (mode != GL_SMOOTH && mode != GL_FLAT) return c->setError(GL_INVALID_ENUM);
    if (mode == GL_FLAT) std::fprintf(stderr, "GL layer: flat shading is drawn smooth\n");
}

// ---- matrices

GL_API void GL_APIENTRY glMatrixMode(GLenum mode) {
    BRUMELO_CONTEXT()
    c->matrixMode(mode);
}

GL_API void GL_APIENTRY glLoadIdentity() {
    BRUMELO_CONTEXT()
    c->matrix().loadIdentity();
}

GL_API void GL_APIENTRY glLoadMatrixf(const GLfloat* m) {
    BRUMELO_CONTEXT()
    c->matrix().load(m);
}

GL_API void GL_APIENTRY glMultMatrixf(const GLfloat* m) {
    BRUMELO_CONTEXT()
    c->matrix().multiply(m);
}

GL_API void GL_APIENTRY glPushMatrix() {
    BRUMELO_CONTEXT()
    c->pushMatrix();
}

GL_API void GL_APIENTRY glPopMatrix() {
    BRUMELO_CONTEXT()
    c->popMatrix();
}

GL_API void GL_APIENTRY glOrthof(GLfloat l, GLfloat r, GLfloat b, GLfloat t, GLfloat n, GLfloat f) {
    BRUMELO_CONTEXT()
    if (l == r || b == t || n == f) return c->setError(GL_INVALID_VALUE);
    c->matrix().ortho(l, r, b, t, n, f);
}

GL_API void GL_APIENTRY glFrustumf(GLfloat l, GLfloat r, GLfloat b, GLfloat t, GLfloat n,
                                   GLfloat f) {
    BRUMELO_CONTEXT()
    if (n <= 0 || f <= 0 || l == r || b == t || n == f) return c->setError(GL_INVALID_VALUE);
    c->matrix().frustum(l, r, b, t, n, f);
}

GL_API void GL_APIENTRY glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    BRUMELO_CONTEXT()
    c->matrix().translate(x, y, z);
}

GL_API void GL_APIENTRY glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z) {
    BRUMELO_CONTEXT()
    c->matrix().rotate(angle, x, y, z);
}

GL_API void GL_APIENTRY glScalef(GLfloat x, GLfloat y, GLfloat z) {
    BRUMELO_CONTEXT()
    c->matrix().scale(x, y, z);
}

// ---- textures

GL_API void GL_APIENTRY glActiveTexture(GLenum unit) {
    BRUMELO_CONTEXT()
    c->activeTexture(unit);
}

GL_API void GL_APIENTRY glClientActiveTexture(GLenum unit) {
    BRUMELO_CONTEXT()
    c->clientActiveTexture(unit);
}

GL_API void GL_APIENTRY glBindTexture(GLenum target, GLuint name) {
    BRUMELO_CONTEXT()
    c->bindTexture(target, name);
}

GL_API void GL_APIENTRY glDeleteTextures(GLsizei n, const GLuint* names) {
    BRUMELO_CONTEXT()
    c->deleteTextures(n, names);
}

GL_API void GL_APIENTRY glTexImage2D(GLenum target, GLint level, GLint internalFormat,
                                     GLsizei width, GLsizei height, GLint border, GLenum format,
                                     GLenum type, const void* pixels) {
    BRUMELO_CONTEXT()
    c->texImage2D(target, level, internalFormat, width, height, border, format, type, pixels);
}

GL_API void GL_APIENTRY glTexSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei width,
                                        GLsizei height, GLenum format, GLenum type,
                                        const void* pixels) {
    BRUMELO_CONTEXT()
    c->texSubImage2D(target, level, x, y, width, height, format, type, pixels);
}

GL_API void GL_APIENTRY glCopyTexImage2D(GLenum target, GLint level, GLenum internalFormat, GLint x,
                                         GLint y, GLsizei width, GLsizei height, GLint border) {
    BRUMELO_CONTEXT()
    c->copyTexImage2D(target, level, internalFormat, x, y, width, height, border);
}

GL_API void GL_APIENTRY glCopyTexSubImage2D(GLenum target, GLint level, GLint xo, GLint yo, GLint x,
                                            GLint y, GLsizei width, GLsizei height) {
    BRUMELO_CONTEXT()
    c->copyTexSubImage2D(target, level, xo, yo, x, y, width, height);
}

GL_API void GL_APIENTRY glTexParameteri(GLenum target, GLenum pname, GLint param) {
    BRUMELO_CONTEXT()
    c->texParameter(target, pname, static_cast<float>(param));
}

GL_API void GL_APIENTRY glTexParameterf(GLenum target, GLenum pname, GLfloat param) {
    BRUMELO_CONTEXT()
    c->texParameter(target, pname, param);
}

GL_API void GL_APIENTRY glTexParameteriv(GLenum target, GLenum pname, const GLint* params) {
    BRUMELO_CONTEXT()
    c->texParameter(target, pname, static_cast<float>(params[0]));
}

GL_API void GL_APIENTRY glTexParameterfv(GLenum target, GLenum pname, const GLfloat* params) {
    BRUMELO_CONTEXT()
    c->texParameter(target, pname, params[0]);
}

GL_API void GL_APIENTRY glGenerateMipmapOES(GLenum target) {
    BRUMELO_CONTEXT()
    c->generateMipmap(target);
}

GL_API void GL_APIENTRY glTexEnvf(GLenum target, GLenum pname, GLfloat param) {
    BRUMELO_CONTEXT()
    c->texEnv(target, pname, &param, false);
}

GL_API void GL_APIENTRY glTexEnvi(GLenum target, GLenum pname, GLint param) {
    BRUMELO_CONTEXT()
    const float value = static_cast<float>(param);
    c->texEnv(target, pname, &value, true);
}

GL_API void GL_APIENTRY glTexEnvfv(GLenum target, GLenum pname, const GLfloat* params) {
    BRUMELO_CONTEXT()
    c->texEnv(target, pname, params, false);
}

GL_API void GL_APIENTRY glTexEnviv(GLenum target, GLenum pname, const GLint* params) {
    BRUMELO_CONTEXT()
    const int count = pname == GL_TEXTURE_ENV_COLOR ? 4 : 1;
    float values[4] = {};
    for (int i = 0; i < count; ++i) values[i] = static_cast<float>(params[i]);
    c->texEnv(target, pname, values, true);
}

GL_API void GL_APIENTRY glGetTexEnvfv(GLenum target, GLenum pname, GLfloat* params) {
    BRUMELO_CONTEXT()
    c->getTexEnv(target, pname, params);
}

GL_API void GL_APIENTRY glGetTexEnviv(GLenum target, GLenum pname, GLint* params) {
    BRUMELO_CONTEXT()
    float values[4] = {};
    c->getTexEnv(target, pname, values);
    if (pname == GL_TEXTURE_ENV_COLOR) {
        for (int i = 0; i < 4; ++i) params[i] = static_cast<GLint>(values[i] * 2147483647.0);
    } else {
        params[0] = static_cast<GLint>(values[0]);
    }
}

// ---- fragment operations and frame buffers

GL_API void GL_APIENTRY glBlendFunc(GLenum source, GLenum destination) {
    BRUMELO_CONTEXT()
    c->blendFunc(source, destination, source, destination);
}

GL_API void GL_APIENTRY glBlendFuncSeparateOES(GLenum srcRGB, GLenum dstRGB, GLenum srcAlpha,
                                               GLenum dstAlpha) {
    BRUMELO_CONTEXT()
    c->blendFunc(srcRGB, dstRGB, srcAlpha, dstAlpha);
}

GL_API void GL_APIENTRY glColorMask(GLboolean r, GLboolean g, GLboolean b, GLboolean a) {
    BRUMELO_CONTEXT()
    c->colorMask(r, g, b, a);
}

GL_API void GL_APIENTRY glClearColor(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    BRUMELO_CONTEXT()
    c->clearColor(r, g, b, a);
}

GL_API void GL_APIENTRY glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    BRUMELO_CONTEXT()
    c->viewport(x, y, width, height);
}

GL_API void GL_APIENTRY glPixelStorei(GLenum pname, GLint param) {
    BRUMELO_CONTEXT()
    c->pixelStore(pname, param);
}

GL_API void GL_APIENTRY glHint(GLenum target, GLenum mode) {
    BRUMELO_CONTEXT()
    c->hint(target, mode);
}

GL_API void GL_APIENTRY glBindFramebufferOES(GLenum target, GLuint framebuffer) {
    BRUMELO_CONTEXT()
    c->bindFramebuffer(target, framebuffer);
}

GL_API void GL_APIENTRY glDeleteFramebuffersOES(GLsizei n, const GLuint* framebuffers) {
    BRUMELO_CONTEXT()
    c->deleteFramebuffers(n, framebuffers);
}

GL_API void GL_APIENTRY glBindRenderbufferOES(GLenum target, GLuint renderbuffer) {
    BRUMELO_CONTEXT()
    c->bindRenderbuffer(target, renderbuffer);
}

GL_API void GL_APIENTRY glDeleteRenderbuffersOES(GLsizei n, const GLuint* renderbuffers) {
    BRUMELO_CONTEXT()
    c->deleteRenderbuffers(n, renderbuffers);
}

GL_API void GL_APIENTRY glFramebufferRenderbufferOES(GLenum target, GLenum attachment,
                                                     GLenum rbTarget, GLuint rb) {
    BRUMELO_CONTEXT()
    c->framebufferRenderbuffer(target, attachment, rbTarget, rb);
}

GL_API void GL_APIENTRY glFramebufferTexture2DOES(GLenum target, GLenum attachment,
                                                  GLenum texTarget, GLuint texture, GLint level) {
    BRUMELO_CONTEXT()
    c->framebufferTexture2D(target, attachment, texTarget, texture, level);
}

GL_API void GL_APIENTRY glClear(GLbitfield mask) {
    BRUMELO_CONTEXT()
    c->clear(mask);
}

GL_API void GL_APIENTRY glRenderbufferStorageOES(GLenum target, GLenum format, GLsizei width,
                                                 GLsizei height) {
    BRUMELO_CONTEXT()
    c->renderbufferStorage(target, format, width, height);
}

// ---- queries

GL_API void GL_APIENTRY glGetIntegerv(GLenum pname, GLint* data) {
    BRUMELO_CONTEXT()
    c->getIntegerv(pname, data);
}

GL_API void GL_APIENTRY glGetFloatv(GLenum pname, GLfloat* data) {
    BRUMELO_CONTEXT()
    c->getFloatv(pname, data);
}

GL_API void GL_APIENTRY glGetBooleanv(GLenum pname, GLboolean* data) {
    BRUMELO_CONTEXT()
    c->getBooleanv(pname, data);
}

GL_API const GLubyte* GL_APIENTRY glGetString(GLenum name) {
    BRUMELO_CONTEXT(nullptr)
    return c->getString(name);
}

}  // extern "C"
