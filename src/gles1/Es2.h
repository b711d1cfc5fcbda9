#pragma once

// The ES 2.0 / WebGL functions the layer draws with. The layer itself defines the ES 1.1 names
// (glEnable, glDrawArrays...), so it reaches the real ones under other names: natively through
// pointers that a loader fills (eglGetProcAddress answers core names on an ES 2 or 3 context),
// in the browser by calling Emscripten's emscripten_gl* aliases directly.

#include <GLES2/gl2.h>

#include <cstdint>
#include <string>

#ifdef __EMSCRIPTEN__
#include <webgl/webgl1.h>
#endif

// return type, name without "gl", parameters, arguments
#define BRUMELO_ES2_FUNCTIONS(X)                                                                 \
    X(void, ActiveTexture, (GLenum texture), (texture))                                          \
    X(void, AttachShader, (GLuint program, GLuint shader), (program, shader))                    \
    X(void, BindAttribLocation, (GLuint program, GLuint index, const GLchar* name),              \
      (program, index, name))                                                                    \
    X(void, BindBuffer, (GLenum target, GLuint buffer), (target, buffer))                        \
    X(void, BindFramebuffer, (GLenum target, GLuint framebuffer), (target, framebuffer))         \
    X(void, BindRenderbuffer, (GLenum target, GLuint renderbuffer), (target, renderbuffer))      \
    X(void, BindTexture, (GLenum target, GLuint texture), (target, texture))                     \
    X(void, BlendEquation, (GLenum mode), (mode))                                                \
    X(void, BlendFunc, (GLenum s, GLenum d), (s, d))                                             \
    X(void, BlendFuncSeparate, (GLenum sc, GLenum dc, GLenum sa, GLenum da), (sc, dc, sa, da))   \
    X(void, BufferData, (GLenum target, GLsizeiptr size, const void* data, GLenum usage),        \
      (target, size, data, usage))                                                               \
    X(void, BufferSubData, (GLenum target, GLintptr offset, GLsizeiptr size, const void* data),  \
      (target, offset, size, data))                                                              \
    X(GLenum, CheckFramebufferStatus, (GLenum target), (target))                                 \
    X(void, Clear, (GLbitfield mask), (mask))                                                    \
    X(void, ClearColor, (GLfloat r, GLfloat g, GLfloat b, GLfloat a), (r, g, b, a))              \
    X(void, ClearDepthf, (GLfloat d), (d))                                                       \
    X(void, ClearStencil, (GLint s), (s))                                                        \
    X(void, ColorMask, (GLboolean r, GLboolean g, GLboolean b, GLboolean a), (r, g, b, a))       \
    X(void, CompileShader, (GLuint shader), (shader))                                            \
    X(void, CompressedTexImage2D,                                                                \
      (GLenum target, GLint level, GLenum format, GLsizei w, GLsizei h, GLint border,            \
       GLsizei size, const void* data),                                                          \
      (target, level, format, w, h, border, size, data))                                         \
    X(void, CompressedTexSubImage2D,                                                             \
      (GLenum target, GLint level, GLint x, GLint y, GLsizei w, GLsizei h, GLenum format,        \
       GLsizei size, const void* data),                                                          \
      (target, level, x, y, w, h, format, size, data))                                           \
    X(void, CopyTexImage2D,                                                                      \
      (GLenum target, GLint level, GLenum format, GLint x, GLint y, GLsizei w, GLsizei h,        \
       GLint border),                                                                            \
      (target, level, format, x, y, w, h, border))                                               \
    X(void, CopyTexSubImage2D,                                                                   \
      (GLenum target, GLint level, GLint xo, GLint yo, GLint x, GLint y, GLsizei w, GLsizei h),  \
      (target, level, xo, yo, x, y, w, h))                                                       \
    X(GLuint, CreateProgram, (), ())                                                             \
    X(GLuint, CreateShader, (GLenum type), (type))                                               \
    X(void, CullFace, (GLenum mode), (mode))                                                     \
    X(void, DeleteBuffers, (GLsizei n, const GLuint* names), (n, names))                         \
    X(void, DeleteFramebuffers, (GLsizei n, const GLuint* names), (n, names))                    \
    X(void, DeleteProgram, (GLuint program), (program))                                          \
    X(void, DeleteRenderbuffers, (GLsizei n, const GLuint* names), (n, names))                   \
    X(void, DeleteShader, (GLuint shader), (shader))                                             \
    X(void, DeleteTextures, (GLsizei n, const GLuint* names), (n, names))                        \
    X(void, DepthFunc, (GLenum func), (func))                                                    \
    X(void, DepthMask, (GLboolean flag), (flag))                                                 \
    X(void, DepthRangef, (GLfloat n, GLfloat f), (n, f))                                         \
    X(void, Disable, (GLenum cap), (cap))                                                        \
    X(void, DisableVertexAttribArray, (GLuint index), (index))                                   \
    X(void, DrawArrays, (GLenum mode, GLint first, GLsizei count), (mode, first, count))         \
    X(void, Enable, (GLenum cap), (cap))                                                         \
    X(void, EnableVertexAttribArray, (GLuint index), (index))                                    \
    X(void, Finish, (), ())                                                                      \
    X(void, Flush, (), ())                                                                       \
    X(void, FramebufferRenderbuffer, (GLenum target, GLenum att, GLenum rbTarget, GLuint rb),    \
      (target, att, rbTarget, rb))                                                               \
    X(void, FramebufferTexture2D,                                                                \
      (GLenum target, GLenum att, GLenum texTarget, GLuint texture, GLint level),                \
      (target, att, texTarget, texture, level))                                                  \
    X(void, FrontFace, (GLenum mode), (mode))                                                    \
    X(void, GenBuffers, (GLsizei n, GLuint * names), (n, names))                                 \
    X(void, GenerateMipmap, (GLenum target), (target))                                           \
    X(void, GenFramebuffers, (GLsizei n, GLuint * names), (n, names))                            \
    X(void, GenRenderbuffers, (GLsizei n, GLuint * names), (n, names))                           \
    X(void, GenTextures, (GLsizei n, GLuint * names), (n, names))                                \
    X(void, GetBooleanv, (GLenum pname, GLboolean * data), (pname, data))                        \
    X(GLenum, GetError, (), ())                                                                  \
    X(void, GetFloatv, (GLenum pname, GLfloat * data), (pname, data))                            \
    X(void, GetFramebufferAttachmentParameteriv,                                                 \
      (GLenum target, GLenum att, GLenum pname, GLint * params), (target, att, pname, params))   \
    X(void, GetIntegerv, (GLenum pname, GLint * data), (pname, data))                            \
    X(void, GetProgramInfoLog, (GLuint p, GLsizei size, GLsizei * length, GLchar * log),         \
      (p, size, length, log))                                                                    \
    X(void, GetProgramiv, (GLuint p, GLenum pname, GLint * params), (p, pname, params))          \
    X(void, GetRenderbufferParameteriv, (GLenum target, GLenum pname, GLint * params),           \
      (target, pname, params))                                                                   \
    X(void, GetShaderInfoLog, (GLuint s, GLsizei size, GLsizei * length, GLchar * log),          \
      (s, size, length, log))                                                                    \
    X(void, GetShaderiv, (GLuint s, GLenum pname, GLint * params), (s, pname, params))           \
    X(const GLubyte*, GetString, (GLenum name), (name))                                          \
    X(void, GetTexParameterfv, (GLenum target, GLenum pname, GLfloat * params),                  \
      (target, pname, params))                                                                   \
    X(void, GetTexParameteriv, (GLenum target, GLenum pname, GLint * params),                    \
      (target, pname, params))                                                                   \
    X(GLint, GetUniformLocation, (GLuint program, const GLchar* name), (program, name))          \
    X(void, Hint, (GLenum target, GLenum mode), (target, mode))                                  \
    X(GLboolean, IsFramebuffer, (GLuint name), (name))                                           \
    X(GLboolean, IsRenderbuffer, (GLuint name), (name))                                          \
    X(GLboolean, IsTexture, (GLuint name), (name))                                               \
    X(void, LineWidth, (GLfloat width), (width))                                                 \
    X(void, LinkProgram, (GLuint program), (program))                                            \
    X(void, PixelStorei, (GLenum pname, GLint param), (pname, param))                            \
    X(void, PolygonOffset, (GLfloat factor, GLfloat units), (factor, units))                     \
    X(void, ReadPixels,                                                                          \
      (GLint x, GLint y, GLsizei w, GLsizei h, GLenum format, GLenum type, void* pixels),        \
      (x, y, w, h, format, type, pixels))                                                        \
    X(void, RenderbufferStorage, (GLenum target, GLenum format, GLsizei w, GLsizei h),           \
      (target, format, w, h))                                                                    \
    X(void, SampleCoverage, (GLfloat value, GLboolean invert), (value, invert))                  \
    X(void, Scissor, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h))                     \
    X(void, ShaderSource,                                                                        \
      (GLuint shader, GLsizei count, const GLchar* const* text, const GLint* length),            \
      (shader, count, text, length))                                                             \
    X(void, StencilFunc, (GLenum func, GLint ref, GLuint mask), (func, ref, mask))               \
    X(void, StencilMask, (GLuint mask), (mask))                                                  \
    X(void, StencilOp, (GLenum fail, GLenum zfail, GLenum zpass), (fail, zfail, zpass))          \
    X(void, TexImage2D,                                                                          \
      (GLenum target, GLint level, GLint internal, GLsizei w, GLsizei h, GLint border,           \
       GLenum format, GLenum type, const void* pixels),                                          \
      (target, level, internal, w, h, border, format, type, pixels))                             \
    X(void, TexParameterf, (GLenum target, GLenum pname, GLfloat param), (target, pname, param)) \
    X(void, TexParameterfv, (GLenum target, GLenum pname, const GLfloat* params),                \
      (target, pname, params))                                                                   \
    X(void, TexParameteri, (GLenum target, GLenum pname, GLint param), (target, pname, param))   \
    X(void, TexParameteriv, (GLenum target, GLenum pname, const GLint* params),                  \
      (target, pname, params))                                                                   \
    X(void, TexSubImage2D,                                                                       \
      (GLenum target, GLint level, GLint x, GLint y, GLsizei w, GLsizei h, GLenum format,        \
       GLenum type, const void* pixels),                                                         \
      (target, level, x, y, w, h, format, type, pixels))                                         \
    X(void, Uniform1i, (GLint location, GLint value), (location, value))                         \
    X(void, Uniform4f, (GLint location, GLfloat x, GLfloat y, GLfloat z, GLfloat w),             \
      (location, x, y, z, w))                                                                    \
    X(void, UseProgram, (GLuint program), (program))                                             \
    X(void, VertexAttrib4fv, (GLuint index, const GLfloat* value), (index, value))               \
    X(void, VertexAttribPointer,                                                                 \
      (GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride,              \
       const void* pointer),                                                                     \
      (index, size, type, normalized, stride, pointer))                                          \
    X(void, Viewport, (GLint x, GLint y, GLsizei w, GLsizei h), (x, y, w, h))

namespace brumelo::gles1::es2 {

// Every call the layer makes to the underlying GL, counted (cheap, and the honest measure of
// what a frame costs in a browser, where each call crosses into JavaScript).
extern std::uint64_t calls;

// Draws a context holds back to send as one: any other call below sends them first, so the GL
// below sees every call in the order the program made it.
struct Held {
    void (*send)(void* owner) = nullptr;
    void* owner = nullptr;
};
extern Held held;
inline void sendHeld() {
    if (held.send == nullptr) return;
    const Held h = held;
    held = {};
    h.send(h.owner);
}

#ifdef __EMSCRIPTEN__
#define BRUMELO_ES2_INLINE(ret, name, params, args) \
    inline ret name params {                        \
        sendHeld();                                 \
        ++calls;                                    \
        return emscripten_gl##name args;            \
    }
#else
struct Table {
#define BRUMELO_ES2_POINTER(ret, name, params, args) ret(GL_APIENTRY* name) params = nullptr;
    BRUMELO_ES2_FUNCTIONS(BRUMELO_ES2_POINTER)
#undef BRUMELO_ES2_POINTER
};
extern Table table;
#define BRUMELO_ES2_INLINE(ret, name, params, args) \
    inline ret name params {                        \
        sendHeld();                                 \
        ++calls;                                    \
        return table.name args;                     \
    }
#endif
BRUMELO_ES2_FUNCTIONS(BRUMELO_ES2_INLINE)
#undef BRUMELO_ES2_INLINE

using Loader = void* (*)(const char* name);

// Fills the table (natively; in the browser there is nothing to load). False, with the first
// missing name in *missing, when the loader lacks one.
bool load(Loader getProcAddress, std::string* missing);

}  // namespace brumelo::gles1::es2
