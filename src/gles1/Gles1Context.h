#pragma once

// The OpenGL ES 1.1 state of one GL context, drawn with ES 2.0 / WebGL: matrix stacks, client
// arrays, texture units and environments, points, and a cache of the underlying state so that a
// call that changes nothing costs no call below. The entry points (EntryPoints.cpp) forward here.

#include <GLES/gl.h>
#include <GLES/glext.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "MatrixStack.h"
#include "ShaderCache.h"
#include "VertexStream.h"

namespace brumelo::gles1 {

class Gles1Context {
  public:
    // The underlying functions must be loaded and an ES 2 (or later) context current. nullptr,
    // with the reason in *error, when the current context cannot serve.
    static std::unique_ptr<Gles1Context> create(std::string* error);
    Gles1Context(const Gles1Context&) = delete;
    Gles1Context& operator=(const Gles1Context&) = delete;
    ~Gles1Context();

    void setError(GLenum error);
    GLenum getError();

    // Capabilities and client arrays.
    void enable(GLenum cap, bool on);
    GLboolean isEnabled(GLenum cap);
    void enableClientState(GLenum array, bool on);
    void vertexPointer(GLint size, GLenum type, GLsizei stride, const void* pointer);
    void colorPointer(GLint size, GLenum type, GLsizei stride, const void* pointer);
    void texCoordPointer(GLint size, GLenum type, GLsizei stride, const void* pointer);
    void normalPointer(GLenum type, GLsizei stride, const void* pointer);
    void pointSizePointer(GLenum type, GLsizei stride, const void* pointer);
    void color(float r, float g, float b, float a);
    void multiTexCoord(GLenum unit, float s, float t, float r, float q);
    void pointSize(float size);
    void drawArrays(GLenum mode, GLint first, GLsizei count);
    void drawElements(GLenum mode, GLsizei count, GLenum type, const void* indices);

    // Matrices.
    void matrixMode(GLenum mode);
    void pushMatrix();
    void popMatrix();
    MatrixStack& matrix();

    // Texture units and objects.
    void activeTexture(GLenum unit);
    // The active unit is sent below only before a call that needs it.
    void sendActiveUnit();
    void clientActiveTexture(GLenum unit);
    void bindTexture(GLenum target, GLuint name);
    void deleteTextures(GLsizei n, const GLuint* names);
    void texImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width, GLsizei height,
                    GLint border, GLenum format, GLenum type, const void* pixels);
    void texSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei width, GLsizei height,
                       GLenum format, GLenum type, const void* pixels);
    void copyTexImage2D(GLenum target, GLint level, GLenum internalFormat, GLint x, GLint y,
                        GLsizei width, GLsizei height, GLint border);
    void copyTexSubImage2D(GLenum target, GLint level, GLint xo, GLint yo, GLint x, GLint y,
                           GLsizei width, GLsizei height);
    void texParameter(GLenum target, GLenum pname, float value);
    void generateMipmap(GLenum target);
    void texEnv(GLenum target, GLenum pname, const float* values, bool integers);
    void getTexEnv(GLenum target, GLenum pname, float* values);

    // Fragment operations and frame buffers.
    void blendFunc(GLenum srcRGB, GLenum dstRGB, GLenum srcAlpha, GLenum dstAlpha);
    void colorMask(GLboolean r, GLboolean g, GLboolean b, GLboolean a);
    void clearColor(float r, float g, float b, float a);
    void viewport(GLint x, GLint y, GLsizei width, GLsizei height);
    void pixelStore(GLenum pname, GLint value);
    void bindFramebuffer(GLenum target, GLuint name);
    void deleteFramebuffers(GLsizei n, const GLuint* names);
    void bindRenderbuffer(GLenum target, GLuint name);
    void deleteRenderbuffers(GLsizei n, const GLuint* names);
    void renderbufferStorage(GLenum target, GLenum format, GLsizei width, GLsizei height);
    void framebufferTexture2D(GLenum target, GLenum attachment, GLenum texTarget, GLuint texture,
                              GLint level);
    void framebufferRenderbuffer(GLenum target, GLenum attachment, GLenum rbTarget,
                                 GLuint renderbuffer);
    void clear(GLbitfield mask);
    void hint(GLenum target, GLenum mode);

    // Queries: the ES 1.1 state the layer keeps is answered here, the rest below.
    void getIntegerv(GLenum pname, GLint* data);
    void getFloatv(GLenum pname, GLfloat* data);
    void getBooleanv(GLenum pname, GLboolean* data);
    const GLubyte* getString(GLenum name);

    std::uint64_t draws() const { return draws_; }

    // Draws of one state in a row are held back and sent below as one (a call across into
    // JavaScript costs more than the vertices): any call below sends them first (es2::held).
    // Sends them now; the window system calls this before a frame is shown.
    void sendDraws();
    // Forgets what is held, for a context that can no longer draw it.
    void dropDraws();

    // A context that can be lost (a browser's) keeps what it needs to make its objects again:
    // the pictures uploaded to textures, the sizes of render buffers, what frame buffers hold.
    void keepForRestore(bool on) { keeping_ = on; }
    // Reads back the textures drawn into since the last call; true when any was.
    bool keepRenderedTextures();
    // After a loss, once the window system made every texture, frame and render buffer name
    // valid again (empty objects): fills them as they were and sends the state below again.
    void restore();

  private:
    Gles1Context() = default;

    struct ClientArray {
        bool enabled = false;
        GLint size = 4;
        GLenum type = GL_FLOAT;
        GLsizei stride = 0;
        const void* pointer = nullptr;
        std::size_t step = 16;  // bytes from one element to the next
    };
    struct TextureUnit {
        bool enabled = false;  // GL_TEXTURE_2D
        GLuint binding = 0;
        TexEnv env = TexEnv::Modulate;
        GLenum envMode = GL_MODULATE;
        std::array<float, 4> envColor{0, 0, 0, 0};
        // GL_COMBINE's state: colour then alpha.
        GLenum combine[2] = {GL_MODULATE, GL_MODULATE};
        GLenum source[2][3] = {{GL_TEXTURE, GL_PREVIOUS, GL_CONSTANT},
                               {GL_TEXTURE, GL_PREVIOUS, GL_CONSTANT}};
        GLenum operand[2][3] = {{GL_SRC_COLOR, GL_SRC_COLOR, GL_SRC_ALPHA},
                                {GL_SRC_ALPHA, GL_SRC_ALPHA, GL_SRC_ALPHA}};
        float scale[2] = {1.0f, 1.0f};
        bool coordReplace = false;
        ClientArray texCoords;
        std::array<float, 4> currentTexCoord{0, 0, 0, 1};
        MatrixStack matrix{8};
    };
    void combineParameter(TextureUnit& unit, GLenum pname, float value);
    struct TextureInfo {
        GLenum format = 0;         // base format of level 0; 0 while it has no image
        bool needsMipmaps = true;  // the minification filter samples mipmaps
        bool hasMipmaps = false;
        bool generateMipmap = false;
        // Kept for a restore: level 0's shape, its pixels rows packed tight (empty: none
        // uploaded), the parameters set, and the last read back of what was drawn into it.
        GLsizei width = 0, height = 0;
        GLenum type = 0;
        std::vector<std::uint8_t> pixels;
        std::vector<std::pair<GLenum, float>> parameters;
        std::vector<std::uint8_t> drawnRgba;
        bool drawnSinceKept = false;
    };
    struct Attachment {
        bool texture = false;
        GLuint name = 0;
        GLint level = 0;
    };
    struct RenderbufferInfo {
        GLenum format = 0;
        GLsizei width = 0, height = 0;
    };
    // How one attribute is fed: from the stream at an offset, or off (a constant).
    struct AttribPointer {
        bool enabled = false;
        GLint size = 0;
        GLenum type = 0;
        GLboolean normalized = GL_FALSE;
        GLsizei stride = 0;
        std::size_t offset = 0;
        bool operator==(const AttribPointer&) const = default;
    };
    struct Query {
        double v[16];
        int count = 0;
        bool colour = false;  // converted to integers as normalised colour values
    };

    bool init(std::string* error);
    bool validArray(GLint size, GLenum type, GLsizei stride, GLint minSize, GLint maxSize,
                    bool bytesOk, bool unsignedBytesOk);
    static void setArray(ClientArray& a, GLint size, GLenum type, GLsizei stride,
                         const void* pointer);
    TextureInfo* boundTexture();
    bool usable(GLuint texture) const;
    template <class IndexAt>
    void draw(GLenum mode, GLsizei count, IndexAt indexAt);
    static void sendHeldDraws(void* self);
    void sendFragmentState();
    void useProgram(GLuint program);
    void setAttrib(GLuint index, const AttribPointer& p);
    void setConstant(GLuint index, const std::array<float, 4>& value);
    void setCap(GLenum cap, bool on);
    bool query(GLenum pname, Query& q);

    GLenum error_ = GL_NO_ERROR;
    std::uint64_t caps_ = 0;  // bit per entry of the capability table
    ClientArray vertex_, color_, normal_, pointSizes_;
    std::array<float, 4> currentColor_{1, 1, 1, 1};
    float pointSize_ = 1;
    float pointRange_[2] = {1, 1};
    std::array<TextureUnit, kTextureUnits> units_;
    GLuint activeUnit_ = 0, clientUnit_ = 0, belowUnit_ = 0;
    GLenum matrixMode_ = GL_MODELVIEW;
    MatrixStack modelview_{32}, projection_{8};
    Matrix mvp_ = identityMatrix();
    std::uint64_t mvpSerials_[2] = {~0ull, ~0ull};
    std::unordered_map<GLuint, TextureInfo> textures_;
    bool keeping_ = false;
    std::unordered_map<GLuint, std::vector<std::pair<GLenum, Attachment>>> framebuffers_;
    std::unordered_map<GLuint, RenderbufferInfo> renderbuffers_;
    void noteDrawn();
    std::size_t packedRow(GLsizei width, GLenum format, GLenum type) const;
    std::string version_, extensions_;
    bool rgba8Renderbuffers_ = false;

    // What the underlying context holds, so unchanged state is not sent again.
    struct Below {
        GLenum blend[4] = {GL_ONE, GL_ZERO, GL_ONE, GL_ZERO};
        GLboolean colorMask[4] = {GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE};
        float clearColor[4] = {0, 0, 0, 0};
        GLint viewport[4] = {0, 0, 0, 0};
        GLint packAlignment = 4, unpackAlignment = 4;
        GLuint framebuffer = 0, renderbuffer = 0, program = 0;
        AttribPointer attribs[kAttributeCount];
        std::array<float, 4> constants[kAttributeCount];
        bool constantKnown[kAttributeCount] = {};
    } below_;

    // Blending and the colour mask as asked: sent below with the next draw or clear, so that
    // state set and set back between two draws costs nothing.
    GLenum blend_[4] = {GL_ONE, GL_ZERO, GL_ONE, GL_ZERO};
    GLboolean colorMask_[4] = {GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE};

    // The draws held back: their mode and vertices (in stream_).
    struct Batch {
        bool open = false;
        GLenum mode = 0;
        std::size_t stride = 0;
        // The constant colours the batch's program was given, for the units that read them.
        std::array<std::array<float, 4>, kTextureUnits> envColors{};
    } batch_;

    ShaderCache shaders_;
    VertexStream stream_;
    std::uint64_t draws_ = 0;
};

}  // namespace brumelo::gles1
