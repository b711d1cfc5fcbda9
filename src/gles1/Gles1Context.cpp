#include "Gles1Context.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "Es2.h"

namespace brumelo::gles1 {

namespace {

// Capabilities of ES 1.1: those ES 2 has too go below; the layer draws points itself; the rest
// are only recorded (the program never turns on those that would change a picture, and the
// layer says so once if something does).
enum class CapKind { Below, Emulated, Recorded, NotDrawn };
struct CapEntry {
    GLenum name;
    CapKind kind;
    bool initially = false;
};
constexpr CapEntry kCaps[] = {
    {GL_BLEND, CapKind::Below},
    {GL_CULL_FACE, CapKind::Below},
    {GL_DEPTH_TEST, CapKind::Below},
    {GL_DITHER, CapKind::Below, true},
    {GL_POLYGON_OFFSET_FILL, CapKind::Below},
    {GL_SAMPLE_ALPHA_TO_COVERAGE, CapKind::Below},
    {GL_SAMPLE_COVERAGE, CapKind::Below},
    {GL_SCISSOR_TEST, CapKind::Below},
    {GL_STENCIL_TEST, CapKind::Below},
    {GL_POINT_SMOOTH, CapKind::Emulated},
    {GL_POINT_SPRITE_OES, CapKind::Emulated},
    {GL_LINE_SMOOTH, CapKind::Recorded},
    {GL_MULTISAMPLE, CapKind::Recorded, true},
    {GL_NORMALIZE, CapKind::Recorded},
    {GL_RESCALE_NORMAL, CapKind::Recorded},
    {GL_COLOR_MATERIAL, CapKind::Recorded},
    {GL_LIGHT0, CapKind::Recorded},
    {GL_LIGHT1, CapKind::Recorded},
    {GL_LIGHT2, CapKind::Recorded},
    {GL_LIGHT3, CapKind::Recorded},
    {GL_LIGHT4, CapKind::Recorded},
    {GL_LIGHT5, CapKind::Recorded},
    {GL_LIGHT6, CapKind::Recorded},
    {GL_LIGHT7, CapKind::Recorded},
    {GL_ALPHA_TEST, CapKind::NotDrawn},
    {GL_COLOR_LOGIC_OP, CapKind::NotDrawn},
    {GL_FOG, CapKind::NotDrawn},
    {GL_LIGHTING, CapKind::NotDrawn},
    {GL_SAMPLE_ALPHA_TO_ONE, CapKind::NotDrawn},
    {GL_CLIP_PLANE0, CapKind::NotDrawn},
    {GL_CLIP_PLANE1, CapKind::NotDrawn},
    {GL_CLIP_PLANE2, CapKind::NotDrawn},
    {GL_CLIP_PLANE3, CapKind::NotDrawn},
    {GL_CLIP_PLANE4, CapKind::NotDrawn},
    {GL_CLIP_PLANE5, CapKind::NotDrawn},
};
constexpr int kCapCount = static_cast<int>(std::size(kCaps));
static_assert(kCapCount <= 64);

int capIndex(GLenum cap) {
    for (int i = 0; i < kCapCount; ++i) {
        if (kCaps[i].name == cap) return i;
    }
    return -1;
}

std::uint64_t bit(GLenum cap) { return std::uint64_t{1} << capIndex(cap); }

std::size_t typeSize(GLenum type) {
    switch (type) {
        case GL_BYTE:
        case GL_UNSIGNED_BYTE:
            return 1;
        case GL_SHORT:
            return 2;
        default:
            return 4;
    }
}

// Reads the components of one array element as floats; those the array lacks keep out's.
inline void fetch(const std::uint8_t* p, GLint size, GLenum type, float* out) {
    switch (type) {
        case GL_FLOAT:
            std::memcpy(out, p, static_cast<std::size_t>(size) * 4);
            break;
        case GL_UNSIGNED_BYTE:
            for (GLint k = 0; k < size; ++k) out[k] = p[k] * (1.0f / 255.0f);
            break;
        case GL_BYTE:
            for (GLint k = 0; k < size; ++k) out[k] = static_cast<std::int8_t>(p[k]);
            break;
        case GL_SHORT:
            for (GLint k = 0; k < size; ++k) {
                std::int16_t v;
                std::memcpy(&v, p + 2 * k, 2);
                out[k] = v;
            }
            break;
        case GL_FIXED:
            for (GLint k = 0; k < size; ++k) {
                std::int32_t v;
                std::memcpy(&v, p + 4 * k, 4);
                out[k] = static_cast<float>(v) * (1.0f / 65536.0f);
            }
            break;
    }
}

inline void transform(const Matrix& m, const float* v, float* out) {
    for (int row = 0; row < 4; ++row) {
        out[row] = m[row] * v[0] + m[4 + row] * v[1] + m[8 + row] * v[2] + m[12 + row] * v[3];
    }
}

bool validFactor(GLenum f, bool source) {
    switch (f) {
        case GL_ZERO:
        case GL_ONE:
        case GL_SRC_COLOR:
        case GL_ONE_MINUS_SRC_COLOR:
        case GL_DST_COLOR:
        case GL_ONE_MINUS_DST_COLOR:
        case GL_SRC_ALPHA:
        case GL_ONE_MINUS_SRC_ALPHA:
        case GL_DST_ALPHA:
        case GL_ONE_MINUS_DST_ALPHA:
            return true;
        case GL_SRC_ALPHA_SATURATE:
            return source;
        default:
            return false;
    }
}

bool validMode(GLenum mode) {
    switch (mode) {
        case GL_POINTS:
        case GL_LINES:
        case GL_LINE_LOOP:
        case GL_LINE_STRIP:
        case GL_TRIANGLES:
        case GL_TRIANGLE_STRIP:
        case GL_TRIANGLE_FAN:
            return true;
        default:
            return false;
    }
}

void sayOnce(std::uint64_t& said, int which, const char* what, GLenum value) {
    const std::uint64_t b = std::uint64_t{1} << which;
    if (said & b) return;
    said |= b;
    std::fprintf(stderr, "GL layer: %s 0x%04X is accepted but not drawn\n", what,
                 static_cast<unsigned>(value));
}
std::uint64_t saidCaps = 0, saidEnv = 0;

}  // namespace

std::unique_ptr<Gles1Context> Gles1Context::create(std::string* error) {
    std::unique_ptr<Gles1Context> c(new Gles1Context);
    if (!c->init(error)) return nullptr;
    return c;
}

bool Gles1Context::init(std::string* error) {
    const char* version = reinterpret_cast<const char*>(es2::GetString(GL_VERSION));
    const std::string below = version ? version : "";
    if (below.find("OpenGL ES") == std::string::npos || below.find("ES-CM") != std::string::npos) {
        if (error) *error = "the current context is not OpenGL ES 2 or later: '" + below + "'";
        return false;
    }
    const std::size_t digit = below.find_first_of("0123456789");
    const int major = digit == std::string::npos ? 0 : below[digit] - '0';
    // ES 3 has RGBA8 render buffers; only older ones need the (long, in a browser slow to
    // fetch) list of extensions.
    rgba8Renderbuffers_ = major >= 3;
    if (!rgba8Renderbuffers_) {
        const char* ext = reinterpret_cast<const char*>(es2::GetString(GL_EXTENSIONS));
        rgba8Renderbuffers_ = ext && std::strstr(ext, "GL_OES_rgb8_rgba8") != nullptr;
    }
    version_ = "OpenGL ES-CM 1.1 (fixed-function layer on " + below + ")";
    extensions_ =
        "GL_OES_framebuffer_object GL_OES_point_sprite GL_OES_point_size_array "
        "GL_OES_blend_func_separate GL_OES_read_format";
    if (rgba8Renderbuffers_) extensions_ += " GL_OES_rgb8_rgba8";
    if (major >= 3) extensions_ += " GL_OES_texture_npot";

    es2::GetFloatv(GL_ALIASED_POINT_SIZE_RANGE, pointRange_);
    es2::GetIntegerv(GL_VIEWPORT, below_.viewport);
    GLint binding = 0;
    es2::GetIntegerv(GL_FRAMEBUFFER_BINDING, &binding);
    below_.framebuffer = static_cast<GLuint>(binding);
    es2::GetIntegerv(GL_RENDERBUFFER_BINDING, &binding);
    below_.renderbuffer = static_cast<GLuint>(binding);
    for (int i = 0; i < kCapCount; ++i) {
        if (kCaps[i].initially) caps_ |= std::uint64_t{1} << i;
    }
    stream_.create();
    es2::ActiveTexture(GL_TEXTURE0);
    return true;
}

void Gles1Context::setError(GLenum error) {
    if (error_ == GL_NO_ERROR) error_ = error;
}

GLenum Gles1Context::getError() {
    const GLenum mine = error_;
    error_ = GL_NO_ERROR;
    const GLenum theirs = es2::GetError();
    return mine != GL_NO_ERROR ? mine : theirs;
}

// ---- capabilities and arrays

void Gles1Context::enable(GLenum cap, bool on) {
    if (cap == GL_TEXTURE_2D) {
        units_[activeUnit_].enabled = on;
        return;
    }
    const int i = capIndex(cap);
    if (i < 0) return setError(GL_INVALID_ENUM);
    const std::uint64_t b = std::uint64_t{1} << i;
    if (((caps_ & b) != 0) == on) return;
    caps_ = on ? caps_ | b : caps_ & ~b;
    if (kCaps[i].kind == CapKind::Below) {
        on ? es2::Enable(cap) : es2::Disable(cap);
    } else if (on && kCaps[i].kind == CapKind::NotDrawn) {
        sayOnce(saidCaps, i, "capability", cap);
    }
}

GLboolean Gles1Context::isEnabled(GLenum cap) {
    switch (cap) {
        case GL_TEXTURE_2D:
            return units_[activeUnit_].enabled;
        case GL_VERTEX_ARRAY:
            return vertex_.enabled;
        case GL_COLOR_ARRAY:
            return color_.enabled;
        case GL_NORMAL_ARRAY:
            return normal_.enabled;
        case GL_TEXTURE_COORD_ARRAY:
            return units_[clientUnit_].texCoords.enabled;
        case GL_POINT_SIZE_ARRAY_OES:
            return pointSizes_.enabled;
    }
    const int i = capIndex(cap);
    if (i < 0) {
        setError(GL_INVALID_ENUM);
        return GL_FALSE;
    }
    return (caps_ >> i) & 1 ? GL_TRUE : GL_FALSE;
}

void Gles1Context::enableClientState(GLenum array, bool on) {
    switch (array) {
        case GL_VERTEX_ARRAY:
            vertex_.enabled = on;
            return;
        case GL_COLOR_ARRAY:
            color_.enabled = on;
            return;
        case GL_NORMAL_ARRAY:
            normal_.enabled = on;
            return;
        case GL_TEXTURE_COORD_ARRAY:
            units_[clientUnit_].texCoords.enabled = on;
            return;
        case GL_POINT_SIZE_ARRAY_OES:
            pointSizes_.enabled = on;
            return;
    }
    setError(GL_INVALID_ENUM);
}

bool Gles1Context::validArray(GLint size, GLenum type, GLsizei stride, GLint minSize, GLint maxSize,
                              bool bytesOk, bool unsignedBytesOk) {
    const bool typeOk = type == GL_FLOAT || type == GL_FIXED || (type == GL_SHORT && bytesOk) ||
                        (type == GL_BYTE && bytesOk) ||
                        (type == GL_UNSIGNED_BYTE && unsignedBytesOk);
    if (!typeOk) {
        setError(GL_INVALID_ENUM);
        return false;
    }
    if (size < minSize || size > maxSize || stride < 0) {
        setError(GL_INVALID_VALUE);
        return false;
    }
    return true;
}

void Gles1Context::setArray(ClientArray& a, GLint size, GLenum type, GLsizei stride,
                            const void* pointer) {
    a.size = size;
    a.type = type;
    a.stride = stride;
    a.pointer = pointer;
    a.step = stride != 0 ? static_cast<std::size_t>(stride)
                         : static_cast<std::size_t>(size) * typeSize(type);
}

void Gles1Context::vertexPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
    if (validArray(size, type, stride, 2, 4, true, false))
        setArray(vertex_, size, type, stride, pointer);
}

void Gles1Context::colorPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
    if (validArray(size, type, stride, 4, 4, false, true))
        setArray(color_, size, type, stride, pointer);
}

void Gles1Context::texCoordPointer(GLint size, GLenum type, GLsizei stride, const void* pointer) {
    if (validArray(size, type, stride, 2, 4, true, false)) {
        setArray(units_[clientUnit_].texCoords, size, type, stride, pointer);
    }
}

void Gles1Context::normalPointer(GLenum type, GLsizei stride, const void* pointer) {
    if (validArray(3, type, stride, 3, 3, true, false)) setArray(normal_, 3, type, stride, pointer);
}

void Gles1Context::pointSizePointer(GLenum type, GLsizei stride, const void* pointer) {
    if (type != GL_FLOAT && type != GL_FIXED) return setError(GL_INVALID_ENUM);
    if (validArray(1, type, stride, 1, 1, false, false))
        setArray(pointSizes_, 1, type, stride, pointer);
}

void Gles1Context::color(float r, float g, float b, float a) { currentColor_ = {r, g, b, a}; }

void Gles1Context::multiTexCoord(GLenum unit, float s, float t, float r, float q) {
    const GLuint u = unit - GL_TEXTURE0;
    if (u >= kTextureUnits) return setError(GL_INVALID_ENUM);
    units_[u].currentTexCoord = {s, t, r, q};
}

void Gles1Context::pointSize(float size) {
    if (size <= 0) return setError(GL_INVALID_VALUE);
    pointSize_ = size;
}

// ---- drawing

void Gles1Context::drawArrays(GLenum mode, GLint first, GLsizei count) {
    if (!validMode(mode)) return setError(GL_INVALID_ENUM);
    if (first < 0 || count < 0) return setError(GL_INVALID_VALUE);
    draw(mode, count, [first](GLsizei i) { return static_cast<std::size_t>(first) + i; });
}

void Gles1Context::drawElements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
    if (!validMode(mode)) return setError(GL_INVALID_ENUM);
    if (count < 0) return setError(GL_INVALID_VALUE);
    if (type == GL_UNSIGNED_BYTE) {
        const auto* p = static_cast<const std::uint8_t*>(indices);
        draw(mode, count, [p](GLsizei i) { return static_cast<std::size_t>(p[i]); });
    } else if (type == GL_UNSIGNED_SHORT) {
        const auto* p = static_cast<const std::uint8_t*>(indices);
        draw(mode, count, [p](GLsizei i) {
            std::uint16_t v;
            std::memcpy(&v, p + 2 * static_cast<std::size_t>(i), 2);
            return static_cast<std::size_t>(v);
        });
    } else {
        setError(GL_INVALID_ENUM);
    }
}

bool Gles1Context::usable(GLuint texture) const {
    auto found = textures_.find(texture);
    if (found == textures_.end()) return false;
    const TextureInfo& info = found->second;
    return info.format != 0 && (!info.needsMipmaps || info.hasMipmaps);
}

// Vertices are copied interleaved into the stream, positions already in clip space. Draws of
// unchanged state are held and sent together: one upload and one draw call for the lot.
template <class IndexAt>
void Gles1Context::draw(GLenum mode, GLsizei count, IndexAt indexAt) {
    if (!vertex_.enabled || vertex_.pointer == nullptr || count == 0) return;

    ShaderKey key;
    key.points = mode == GL_POINTS;
    const bool sprite = key.points && (caps_ & bit(GL_POINT_SPRITE_OES));
    key.smooth = key.points && !sprite && (caps_ & bit(GL_POINT_SMOOTH));
    for (int u = 0; u < kTextureUnits; ++u) {
        const TextureUnit& t = units_[u];
        if (!t.enabled || !usable(t.binding)) continue;
        const GLenum format = textures_.find(t.binding)->second.format;
        key.unit[u] = {true, t.env, format != GL_ALPHA,
                       format == GL_ALPHA || format == GL_LUMINANCE_ALPHA || format == GL_RGBA,
                       sprite && t.coordReplace,
                       t.env == TexEnv::Combine
                           ? combineBits(t.combine, t.source, t.operand, t.scale)
                           : 0u};
    }
    bool built = false;
    const GLuint program = shaders_.program(key, &built);
    if (program == 0) return;
    if (built) below_.program = program;  // building made it current

    // One layout for every draw, so that attribute pointers seldom change: position (4 floats),
    // colour (4 bytes or 4 floats), two floats per texture unit, one float of point size for
    // points. What a draw does not stream is left as it was and not read.
    const bool colourBytes = color_.enabled && color_.type == GL_UNSIGNED_BYTE;
    const std::size_t colourOffset = 16;
    std::size_t texOffset[kTextureUnits] = {};
    bool texStreamed[kTextureUnits] = {};
    for (int u = 0; u < kTextureUnits; ++u) {
        texOffset[u] = 32 + 8 * static_cast<std::size_t>(u);
        texStreamed[u] = key.texCoordAttribute(u) && units_[u].texCoords.enabled;
    }
    const std::size_t sizeOffset = 32 + 8 * kTextureUnits;
    const std::size_t stride = sizeOffset + (key.points ? 4 : 0);

    if (mvpSerials_[0] != projection_.serial() || mvpSerials_[1] != modelview_.serial()) {
        mvp_ = multiply(projection_.top(), modelview_.top());
        mvpSerials_[0] = projection_.serial();
        mvpSerials_[1] = modelview_.serial();
    }

    // What the attributes below must be for this draw: fed from the stream, or constants.
    const auto s = static_cast<GLsizei>(stride);
    AttribPointer want[kAttributeCount] = {};
    std::array<float, 4> constant[kAttributeCount];
    bool constantWanted[kAttributeCount] = {};
    want[kPosition] = {true, 4, GL_FLOAT, GL_FALSE, s, 0};
    if (color_.enabled) {
        want[kColor] = colourBytes ? AttribPointer{true, 4, GL_UNSIGNED_BYTE, GL_TRUE, s, colourOffset}
                                   : AttribPointer{true, 4, GL_FLOAT, GL_FALSE, s, colourOffset};
    } else {
        constant[kColor] = currentColor_;
        constantWanted[kColor] = true;
    }
    for (int u = 0; u < kTextureUnits; ++u) {
        const GLuint index = kTexCoord0 + static_cast<GLuint>(u);
        if (!key.texCoordAttribute(u)) {
            // Not read: left as it is (in the vertex of the one layout, when fed).
            want[index] = below_.attribs[index].enabled && below_.attribs[index].stride == s
                              ? below_.attribs[index]
                              : AttribPointer{};
        } else if (texStreamed[u]) {
            want[index] = {true, 2, GL_FLOAT, GL_FALSE, s, texOffset[u]};
        } else {
            std::array<float, 4> tc = units_[u].currentTexCoord, moved;
            transform(units_[u].matrix.top(), tc.data(), moved.data());
            if (moved[3] != 1 && moved[3] != 0) {
                moved[0] /= moved[3];
                moved[1] /= moved[3];
            }
            constant[index] = {moved[0], moved[1], 0, 1};
            constantWanted[index] = true;
        }
    }
    if (key.points) want[kPointSize] = {true, 1, GL_FLOAT, GL_FALSE, s, sizeOffset};

    // Independent primitives join the held draws as they are; strips join through two or three
    // repeated vertices (triangles of no area, the turn of the next strip's first kept).
    const bool joinable = mode == GL_TRIANGLES || mode == GL_TRIANGLE_STRIP || mode == GL_POINTS;
    bool constants = true;
    for (int u = 0; u < kTextureUnits; ++u)
        constants = constants && (!key.readsConstant(u) || batch_.envColors[u] == units_[u].envColor);
    bool join = batch_.open && joinable && mode == batch_.mode && stride == batch_.stride &&
                program == below_.program && constants &&
                std::equal(blend_, blend_ + 4, below_.blend) &&
                std::equal(colorMask_, colorMask_ + 4, below_.colorMask);
    for (GLuint i = 0; join && i < kAttributeCount; ++i) {
        const AttribPointer& now = below_.attribs[i];
        join = want[i].enabled ? now == want[i] : !now.enabled;
        if (join && constantWanted[i])
            join = below_.constantKnown[i] && below_.constants[i] == constant[i];
    }
    if (!join) {
        sendDraws();
        useProgram(program);
        for (GLuint i = 0; i < kAttributeCount; ++i) {
            setAttrib(i, want[i]);
            if (constantWanted[i]) setConstant(i, constant[i]);
        }
        sendFragmentState();
        batch_ = {joinable, mode, stride, {}};
        for (int u = 0; u < kTextureUnits; ++u) {
            if (!key.readsConstant(u)) continue;
            const std::array<float, 4>& colour = units_[u].envColor;
            const std::string name = "u_envColor" + std::to_string(u);
            es2::Uniform4f(es2::GetUniformLocation(program, name.c_str()), colour[0], colour[1],
                           colour[2], colour[3]);
            batch_.envColors[u] = colour;
        }
        stream_.begin(stride);
    }

    const auto n = static_cast<std::size_t>(count);
    const std::size_t before = stream_.count();
    const std::size_t bridge =
        mode == GL_TRIANGLE_STRIP && before > 0 ? (before % 2 == 0 ? 2 : 3) : 0;
    std::uint8_t* out = stream_.append(bridge + n) + bridge * stride;
    const auto* vertices = static_cast<const std::uint8_t*>(vertex_.pointer);
    const auto* colours = static_cast<const std::uint8_t*>(color_.pointer);
    for (std::size_t i = 0; i < n; ++i, out += stride) {
        const std::size_t index = indexAt(static_cast<GLsizei>(i));
        float v[4] = {0, 0, 0, 1}, clip[4];
        fetch(vertices + index * vertex_.step, vertex_.size, vertex_.type, v);
        transform(mvp_, v, clip);
        std::memcpy(out, clip, 16);
        if (colourBytes) {
            std::memcpy(out + colourOffset, colours + index * color_.step, 4);
        } else if (color_.enabled) {
            float c[4] = {0, 0, 0, 1};
            fetch(colours + index * color_.step, 4, color_.type, c);
            std::memcpy(out + colourOffset, c, 16);
        }
        for (int u = 0; u < kTextureUnits; ++u) {
            if (!texStreamed[u]) continue;
            const ClientArray& a = units_[u].texCoords;
            float tc[4] = {0, 0, 0, 1};
            fetch(static_cast<const std::uint8_t*>(a.pointer) + index * a.step, a.size, a.type, tc);
            if (!units_[u].matrix.isIdentity()) {
                float moved[4];
                transform(units_[u].matrix.top(), tc, moved);
                std::memcpy(tc, moved, sizeof tc);
            }
            if (tc[3] != 1 && tc[3] != 0) {
                tc[0] /= tc[3];
                tc[1] /= tc[3];
            }
            std::memcpy(out + texOffset[u], tc, 8);
        }
        if (key.points) {
            float size = pointSize_;
            if (pointSizes_.enabled && pointSizes_.pointer) {
                fetch(static_cast<const std::uint8_t*>(pointSizes_.pointer) +
                          index * pointSizes_.step,
                      1, pointSizes_.type, &size);
            }
            size = std::clamp(size, pointRange_[0], pointRange_[1]);
            // As Mesa rasterises them: round points are at least 2 wide, square ones take the
            // nearest whole width (halves round down); sprites keep their size.
            if (key.smooth) {
                size = std::max(size, 2.0f);
            } else if (!sprite) {
                size = std::max(1.0f, std::ceil(size - 0.5f));
            }
            std::memcpy(out + sizeOffset, &size, 4);
        }
    }
    if (bridge > 0) {
        std::uint8_t* staged = stream_.staged();
        std::uint8_t* at = staged + before * stride;
        std::memcpy(at, at - stride, stride);
        for (std::size_t k = 1; k < bridge; ++k) std::memcpy(at + k * stride, at + bridge * stride, stride);
    }
    noteDrawn();
    if (batch_.open) {
        es2::held = {&Gles1Context::sendHeldDraws, this};
    } else {
        // Drawn at once: line strips and loops, fans.
        batch_.open = true;
        sendDraws();
    }
}

void Gles1Context::sendHeldDraws(void* self) { static_cast<Gles1Context*>(self)->sendDraws(); }

void Gles1Context::sendDraws() {
    if (!batch_.open) return;
    batch_.open = false;
    if (es2::held.owner == this) es2::held = {};
    const auto count = static_cast<GLsizei>(stream_.count());
    if (count == 0) return;
    const GLint first = stream_.commit();
    es2::DrawArrays(batch_.mode, first, count);
    ++draws_;
}

void Gles1Context::dropDraws() {
    batch_.open = false;
    if (es2::held.owner == this) es2::held = {};
    stream_.begin(0);
}

Gles1Context::~Gles1Context() {
    if (es2::held.owner == this) es2::held = {};
}

void Gles1Context::sendFragmentState() {
    GLenum* b = below_.blend;
    if (!std::equal(blend_, blend_ + 4, b)) {
        if (blend_[0] == blend_[2] && blend_[1] == blend_[3]) {
            es2::BlendFunc(blend_[0], blend_[1]);
        } else {
            es2::BlendFuncSeparate(blend_[0], blend_[1], blend_[2], blend_[3]);
        }
        std::copy(blend_, blend_ + 4, b);
    }
    const GLboolean* m = colorMask_;
    if (!std::equal(m, m + 4, below_.colorMask)) {
        es2::ColorMask(m[0], m[1], m[2], m[3]);
        std::copy(m, m + 4, below_.colorMask);
    }
}

void Gles1Context::useProgram(GLuint program) {
    if (below_.program == program) return;
    es2::UseProgram(program);
    below_.program = program;
}

void Gles1Context::setAttrib(GLuint index, const AttribPointer& p) {
    AttribPointer& now = below_.attribs[index];
    if (!p.enabled) {
        if (now.enabled) {
            es2::DisableVertexAttribArray(index);
            now.enabled = false;
        }
        return;
    }
    if (!now.enabled) {
        es2::EnableVertexAttribArray(index);
        now.enabled = true;
    }
    if (now == p) return;
    es2::VertexAttribPointer(index, p.size, p.type, p.normalized, p.stride,
                             reinterpret_cast<const void*>(p.offset));
    now = p;
}

void Gles1Context::setConstant(GLuint index, const std::array<float, 4>& value) {
    if (below_.constantKnown[index] && below_.constants[index] == value) return;
    es2::VertexAttrib4fv(index, value.data());
    below_.constants[index] = value;
    below_.constantKnown[index] = true;
}

// ---- matrices

void Gles1Context::matrixMode(GLenum mode) {
    if (mode != GL_MODELVIEW && mode != GL_PROJECTION && mode != GL_TEXTURE) {
        return setError(GL_INVALID_ENUM);
    }
    matrixMode_ = mode;
}

MatrixStack& Gles1Context::matrix() {
    switch (matrixMode_) {
        case GL_PROJECTION:
            return projection_;
        case GL_TEXTURE:
            return units_[activeUnit_].matrix;
        default:
            return modelview_;
    }
}

void Gles1Context::pushMatrix() {
    if (!matrix().push()) setError(GL_STACK_OVERFLOW);
}

void Gles1Context::popMatrix() {
    if (!matrix().pop()) setError(GL_STACK_UNDERFLOW);
}

// ---- textures

void Gles1Context::activeTexture(GLenum unit) {
    const GLuint u = unit - GL_TEXTURE0;
    if (u >= kTextureUnits) return setError(GL_INVALID_ENUM);
    activeUnit_ = u;
}

void Gles1Context::sendActiveUnit() {
    if (belowUnit_ == activeUnit_) return;
    es2::ActiveTexture(GL_TEXTURE0 + activeUnit_);
    belowUnit_ = activeUnit_;
}

void Gles1Context::clientActiveTexture(GLenum unit) {
    const GLuint u = unit - GL_TEXTURE0;
    if (u >= kTextureUnits) return setError(GL_INVALID_ENUM);
    clientUnit_ = u;
}

void Gles1Context::bindTexture(GLenum target, GLuint name) {
    if (target != GL_TEXTURE_2D) return setError(GL_INVALID_ENUM);
    if (units_[activeUnit_].binding == name) return;
    sendActiveUnit();
    es2::BindTexture(target, name);
    units_[activeUnit_].binding = name;
}

void Gles1Context::deleteTextures(GLsizei n, const GLuint* names) {
    if (n < 0) return setError(GL_INVALID_VALUE);
    es2::DeleteTextures(n, names);
    for (GLsizei i = 0; i < n; ++i) {
        if (names[i] == 0) continue;
        textures_.erase(names[i]);
        for (TextureUnit& u : units_) {
            if (u.binding == names[i]) u.binding = 0;
        }
    }
}

Gles1Context::TextureInfo* Gles1Context::boundTexture() {
    return &textures_[units_[activeUnit_].binding];
}

void Gles1Context::texImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width,
                              GLsizei height, GLint border, GLenum format, GLenum type,
                              const void* pixels) {
    if (target != GL_TEXTURE_2D) return setError(GL_INVALID_ENUM);
    sendActiveUnit();
    es2::TexImage2D(target, level, internalFormat, width, height, border, format, type, pixels);
    TextureInfo* info = boundTexture();
    if (level == 0) {
        info->format = static_cast<GLenum>(internalFormat);
        if (keeping_) {
            info->width = width;
            info->height = height;
            info->type = type;
            info->drawnRgba.clear();
            info->pixels.clear();
            if (pixels != nullptr && width > 0 && height > 0) {
                const std::size_t row = packedRow(width, format, type);
                const std::size_t stride = (row + below_.unpackAlignment - 1) /
                                           below_.unpackAlignment * below_.unpackAlignment;
                info->pixels.resize(row * height);
                for (GLsizei y = 0; y < height; ++y) {
                    std::memcpy(info->pixels.data() + row * y,
                                static_cast<const std::uint8_t*>(pixels) + stride * y, row);
                }
            }
        }
        if (info->generateMipmap) generateMipmap(target);
    } else {
        info->hasMipmaps = true;
    }
}

void Gles1Context::texSubImage2D(GLenum target, GLint level, GLint x, GLint y, GLsizei width,
                                 GLsizei height, GLenum format, GLenum type, const void* pixels) {
    sendActiveUnit();
    es2::TexSubImage2D(target, level, x, y, width, height, format, type, pixels);
    TextureInfo* kept = keeping_ && level == 0 && pixels != nullptr ? boundTexture() : nullptr;
    if (kept && kept->format == format && kept->type == type && x >= 0 && y >= 0 &&
        x + width <= kept->width && y + height <= kept->height) {
        const std::size_t whole = packedRow(kept->width, format, type);
        const std::size_t row = packedRow(width, format, type);
        const std::size_t offset = packedRow(x, format, type);
        const std::size_t stride = (row + below_.unpackAlignment - 1) / below_.unpackAlignment *
                                   below_.unpackAlignment;
        if (kept->pixels.empty()) kept->pixels.assign(whole * kept->height, 0);
        for (GLsizei r = 0; r < height; ++r) {
            std::memcpy(kept->pixels.data() + whole * (y + r) + offset,
                        static_cast<const std::uint8_t*>(pixels) + stride * r, row);
        }
    }
    if (level == 0 && target == GL_TEXTURE_2D && boundTexture()->generateMipmap) {
        generateMipmap(target);
    }
}

void Gles1Context::copyTexImage2D(GLenum target, GLint level, GLenum internalFormat, GLint x,
                                  GLint y, GLsizei width, GLsizei height, GLint border) {
    if (target != GL_TEXTURE_2D) return setError(GL_INVALID_ENUM);
    sendActiveUnit();
    es2::CopyTexImage2D(target, level, internalFormat, x, y, width, height, border);
    TextureInfo* info = boundTexture();
    if (level == 0) {
        info->format = internalFormat;
        if (keeping_) {
            // What was copied is drawn again by its owner after a restore.
            info->width = width;
            info->height = height;
            info->type = GL_UNSIGNED_BYTE;
            info->pixels.clear();
            info->drawnRgba.clear();
        }
        if (info->generateMipmap) generateMipmap(target);
    } else {
        info->hasMipmaps = true;
    }
}

void Gles1Context::copyTexSubImage2D(GLenum target, GLint level, GLint xo, GLint yo, GLint x,
                                     GLint y, GLsizei width, GLsizei height) {
    sendActiveUnit();
    es2::CopyTexSubImage2D(target, level, xo, yo, x, y, width, height);
    if (level == 0 && target == GL_TEXTURE_2D && boundTexture()->generateMipmap) {
        generateMipmap(target);
    }
}

void Gles1Context::texParameter(GLenum target, GLenum pname, float value) {
    if (target != GL_TEXTURE_2D) return setError(GL_INVALID_ENUM);
    TextureInfo* info = boundTexture();
    if (pname == GL_GENERATE_MIPMAP) {
        // ES 1.1 only: ES 2 regenerates on request, so the layer asks after each upload.
        info->generateMipmap = value != 0;
        return;
    }
    if (pname == GL_TEXTURE_MIN_FILTER) {
        const auto filter = static_cast<GLenum>(value);
        info->needsMipmaps = filter != GL_NEAREST && filter != GL_LINEAR;
    }
    sendActiveUnit();
    es2::TexParameterf(target, pname, value);
    if (keeping_) {
        auto& kept = info->parameters;
        auto same = std::find_if(kept.begin(), kept.end(),
                                 [pname](const auto& p) { return p.first == pname; });
        if (same == kept.end()) {
            kept.emplace_back(pname, value);
        } else {
            same->second = value;
        }
    }
}

void Gles1Context::generateMipmap(GLenum target) {
    if (target != GL_TEXTURE_2D) return setError(GL_INVALID_ENUM);
    sendActiveUnit();
    es2::GenerateMipmap(target);
    boundTexture()->hasMipmaps = true;
}

void Gles1Context::texEnv(GLenum target, GLenum pname, const float* values, bool integers) {
    TextureUnit& unit = units_[activeUnit_];
    if (target == GL_POINT_SPRITE_OES && pname == GL_COORD_REPLACE_OES) {
        unit.coordReplace = values[0] != 0;
        return;
    }
    if (target != GL_TEXTURE_ENV) return setError(GL_INVALID_ENUM);
    if (pname == GL_TEXTURE_ENV_COLOR) {
        for (int k = 0; k < 4; ++k) {
            unit.envColor[k] =
                integers ? static_cast<float>((2.0 * values[k] + 1) / 4294967295.0) : values[k];
        }
        return;
    }
    if (pname != GL_TEXTURE_ENV_MODE) return combineParameter(unit, pname, values[0]);
    const auto mode = static_cast<GLenum>(values[0]);
    switch (mode) {
        case GL_REPLACE:
            unit.env = TexEnv::Replace;
            break;
        case GL_MODULATE:
            unit.env = TexEnv::Modulate;
            break;
        case GL_DECAL:
            unit.env = TexEnv::Decal;
            break;
        case GL_ADD:
            unit.env = TexEnv::Add;
            break;
        case GL_COMBINE:
            unit.env = TexEnv::Combine;
            break;
        case GL_BLEND:
            // Drawn as GL_MODULATE: the program does not use it.
            unit.env = TexEnv::Modulate;
            sayOnce(saidEnv, 0, "texture environment", mode);
            break;
        default:
            return setError(GL_INVALID_ENUM);
    }
    unit.envMode = mode;
}

void Gles1Context::combineParameter(TextureUnit& unit, GLenum pname, float value) {
    const auto e = static_cast<GLenum>(value);
    auto oneOf = [e](std::initializer_list<GLenum> allowed) {
        return std::find(allowed.begin(), allowed.end(), e) != allowed.end();
    };
    switch (pname) {
        case GL_COMBINE_RGB:
        case GL_COMBINE_ALPHA: {
            const bool rgb = pname == GL_COMBINE_RGB;
            if (!oneOf({GL_REPLACE, GL_MODULATE, GL_ADD, GL_ADD_SIGNED, GL_INTERPOLATE,
                        GL_SUBTRACT}) &&
                !(rgb && oneOf({GL_DOT3_RGB, GL_DOT3_RGBA})))
                return setError(GL_INVALID_ENUM);
            unit.combine[rgb ? 0 : 1] = e;
            return;
        }
        case GL_SRC0_RGB:
        case GL_SRC1_RGB:
        case GL_SRC2_RGB:
        case GL_SRC0_ALPHA:
        case GL_SRC1_ALPHA:
        case GL_SRC2_ALPHA: {
            if (!oneOf({GL_TEXTURE, GL_CONSTANT, GL_PRIMARY_COLOR, GL_PREVIOUS}))
                return setError(GL_INVALID_ENUM);
            const bool rgb = pname <= GL_SRC2_RGB;
            unit.source[rgb ? 0 : 1][pname - (rgb ? GL_SRC0_RGB : GL_SRC0_ALPHA)] = e;
            return;
        }
        case GL_OPERAND0_RGB:
        case GL_OPERAND1_RGB:
        case GL_OPERAND2_RGB:
        case GL_OPERAND0_ALPHA:
        case GL_OPERAND1_ALPHA:
        case GL_OPERAND2_ALPHA: {
            const bool rgb = pname <= GL_OPERAND2_RGB;
            if (!oneOf({GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA}) &&
                !(rgb && oneOf({GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR})))
                return setError(GL_INVALID_ENUM);
            unit.operand[rgb ? 0 : 1][pname - (rgb ? GL_OPERAND0_RGB : GL_OPERAND0_ALPHA)] = e;
            return;
        }
        case GL_RGB_SCALE:
        case GL_ALPHA_SCALE:
            if (value != 1.0f && value != 2.0f && value != 4.0f) return setError(GL_INVALID_VALUE);
            unit.scale[pname == GL_RGB_SCALE ? 0 : 1] = value;
            return;
        default:
            return setError(GL_INVALID_ENUM);
    }
}

void Gles1Context::getTexEnv(GLenum target, GLenum pname, float* values) {
    const TextureUnit& unit = units_[activeUnit_];
    if (target == GL_POINT_SPRITE_OES && pname == GL_COORD_REPLACE_OES) {
        values[0] = unit.coordReplace ? 1.0f : 0.0f;
    } else if (target == GL_TEXTURE_ENV && pname == GL_TEXTURE_ENV_MODE) {
        values[0] = static_cast<float>(unit.envMode);
    } else if (target == GL_TEXTURE_ENV && pname == GL_TEXTURE_ENV_COLOR) {
        std::copy(unit.envColor.begin(), unit.envColor.end(), values);
    } else if (target == GL_TEXTURE_ENV && (pname == GL_COMBINE_RGB || pname == GL_COMBINE_ALPHA)) {
        values[0] = static_cast<float>(unit.combine[pname == GL_COMBINE_RGB ? 0 : 1]);
    } else if (target == GL_TEXTURE_ENV && pname >= GL_SRC0_RGB && pname <= GL_SRC2_RGB) {
        values[0] = static_cast<float>(unit.source[0][pname - GL_SRC0_RGB]);
    } else if (target == GL_TEXTURE_ENV && pname >= GL_SRC0_ALPHA && pname <= GL_SRC2_ALPHA) {
        values[0] = static_cast<float>(unit.source[1][pname - GL_SRC0_ALPHA]);
    } else if (target == GL_TEXTURE_ENV && pname >= GL_OPERAND0_RGB && pname <= GL_OPERAND2_RGB) {
        values[0] = static_cast<float>(unit.operand[0][pname - GL_OPERAND0_RGB]);
    } else if (target == GL_TEXTURE_ENV && pname >= GL_OPERAND0_ALPHA &&
               pname <= GL_OPERAND2_ALPHA) {
        values[0] = static_cast<float>(unit.operand[1][pname - GL_OPERAND0_ALPHA]);
    } else if (target == GL_TEXTURE_ENV && (pname == GL_RGB_SCALE || pname == GL_ALPHA_SCALE)) {
        values[0] = unit.scale[pname == GL_RGB_SCALE ? 0 : 1];
    } else {
        setError(GL_INVALID_ENUM);
    }
}

// ---- fragment operations, frame buffers

void Gles1Context::blendFunc(GLenum srcRGB, GLenum dstRGB, GLenum srcAlpha, GLenum dstAlpha) {
    if (!validFactor(srcRGB, true) || !validFactor(dstRGB, false) || !validFactor(srcAlpha, true) ||
        !validFactor(dstAlpha, false)) {
        return setError(GL_INVALID_ENUM);
    }
    blend_[0] = srcRGB;
    blend_[1] = dstRGB;
    blend_[2] = srcAlpha;
    blend_[3] = dstAlpha;
}

void Gles1Context::colorMask(GLboolean r, GLboolean g, GLboolean b, GLboolean a) {
    colorMask_[0] = r != 0;
    colorMask_[1] = g != 0;
    colorMask_[2] = b != 0;
    colorMask_[3] = a != 0;
}

void Gles1Context::clearColor(float r, float g, float b, float a) {
    // Clamped as ES 1.1 stores it.
    const float want[4] = {std::clamp(r, 0.0f, 1.0f), std::clamp(g, 0.0f, 1.0f),
                           std::clamp(b, 0.0f, 1.0f), std::clamp(a, 0.0f, 1.0f)};
    if (std::equal(want, want + 4, below_.clearColor)) return;
    es2::ClearColor(want[0], want[1], want[2], want[3]);
    std::copy(want, want + 4, below_.clearColor);
}

void Gles1Context::viewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    if (width < 0 || height < 0) return setError(GL_INVALID_VALUE);
    GLint* v = below_.viewport;
    if (v[0] == x && v[1] == y && v[2] == width && v[3] == height) return;
    es2::Viewport(x, y, width, height);
    v[0] = x;
    v[1] = y;
    v[2] = width;
    v[3] = height;
}

void Gles1Context::pixelStore(GLenum pname, GLint value) {
    GLint* cached = pname == GL_PACK_ALIGNMENT     ? &below_.packAlignment
                    : pname == GL_UNPACK_ALIGNMENT ? &below_.unpackAlignment
                                                   : nullptr;
    if (cached == nullptr) return setError(GL_INVALID_ENUM);
    if (value != 1 && value != 2 && value != 4 && value != 8) return setError(GL_INVALID_VALUE);
    if (*cached == value) return;
    es2::PixelStorei(pname, value);
    *cached = value;
}

void Gles1Context::bindFramebuffer(GLenum target, GLuint name) {
    if (target != GL_FRAMEBUFFER_OES) return setError(GL_INVALID_ENUM);
    if (below_.framebuffer == name) return;
    es2::BindFramebuffer(target, name);
    below_.framebuffer = name;
}

void Gles1Context::deleteFramebuffers(GLsizei n, const GLuint* names) {
    if (n < 0) return setError(GL_INVALID_VALUE);
    es2::DeleteFramebuffers(n, names);
    for (GLsizei i = 0; i < n; ++i) {
        framebuffers_.erase(names[i]);
        if (names[i] != 0 && names[i] == below_.framebuffer) below_.framebuffer = 0;
    }
}

void Gles1Context::bindRenderbuffer(GLenum target, GLuint name) {
    if (target != GL_RENDERBUFFER_OES) return setError(GL_INVALID_ENUM);
    if (below_.renderbuffer == name) return;
    es2::BindRenderbuffer(target, name);
    below_.renderbuffer = name;
}

void Gles1Context::deleteRenderbuffers(GLsizei n, const GLuint* names) {
    if (n < 0) return setError(GL_INVALID_VALUE);
    es2::DeleteRenderbuffers(n, names);
    for (GLsizei i = 0; i < n; ++i) {
        renderbuffers_.erase(names[i]);
        if (names[i] != 0 && names[i] == below_.renderbuffer) below_.renderbuffer = 0;
    }
}

void Gles1Context::renderbufferStorage(GLenum target, GLenum format, GLsizei width,
                                       GLsizei height) {
    if (format == GL_RGBA8_OES && !rgba8Renderbuffers_) {
        static bool said = false;
        if (!said) {
            said = true;
            std::fprintf(stderr, "GL layer: RGBA8 render buffers need WebGL 2 / OpenGL ES 3\n");
        }
    }
    es2::RenderbufferStorage(target, format, width, height);
    if (keeping_ && below_.renderbuffer != 0)
        renderbuffers_[below_.renderbuffer] = {format, width, height};
}

void Gles1Context::framebufferTexture2D(GLenum target, GLenum attachment, GLenum texTarget,
                                        GLuint texture, GLint level) {
    es2::FramebufferTexture2D(target, attachment, texTarget, texture, level);
    if (keeping_ && below_.framebuffer != 0) {
        auto& held = framebuffers_[below_.framebuffer];
        std::erase_if(held, [attachment](const auto& a) { return a.first == attachment; });
        held.emplace_back(attachment, Attachment{true, texture, level});
        if (texture != 0) textures_[texture].drawnSinceKept = true;
    }
}

void Gles1Context::framebufferRenderbuffer(GLenum target, GLenum attachment, GLenum rbTarget,
                                           GLuint renderbuffer) {
    es2::FramebufferRenderbuffer(target, attachment, rbTarget, renderbuffer);
    if (keeping_ && below_.framebuffer != 0) {
        auto& held = framebuffers_[below_.framebuffer];
        std::erase_if(held, [attachment](const auto& a) { return a.first == attachment; });
        held.emplace_back(attachment, Attachment{false, renderbuffer, 0});
    }
}

void Gles1Context::clear(GLbitfield mask) {
    sendFragmentState();
    es2::Clear(mask);
    noteDrawn();
}

void Gles1Context::noteDrawn() {
    if (!keeping_ || below_.framebuffer == 0) return;
    auto found = framebuffers_.find(below_.framebuffer);
    if (found == framebuffers_.end()) return;
    for (const auto& [point, a] : found->second) {
        if (a.texture && a.name != 0 && point == GL_COLOR_ATTACHMENT0) {
            auto t = textures_.find(a.name);
            if (t != textures_.end()) t->second.drawnSinceKept = true;
        }
    }
}

std::size_t Gles1Context::packedRow(GLsizei width, GLenum format, GLenum type) const {
    std::size_t bytes = 1;
    if (type == GL_UNSIGNED_SHORT_5_6_5 || type == GL_UNSIGNED_SHORT_4_4_4_4 ||
        type == GL_UNSIGNED_SHORT_5_5_5_1) {
        bytes = 2;
    } else if (format == GL_RGBA) {
        bytes = 4;
    } else if (format == GL_RGB) {
        bytes = 3;
    } else if (format == GL_LUMINANCE_ALPHA) {
        bytes = 2;
    }
    return bytes * static_cast<std::size_t>(std::max(width, 0));
}

bool Gles1Context::keepRenderedTextures() {
    if (!keeping_) return false;
    bool read = false;
    for (const auto& [fbo, held] : framebuffers_) {
        for (const auto& [point, a] : held) {
            if (!a.texture || a.level != 0 || point != GL_COLOR_ATTACHMENT0) continue;
            auto t = textures_.find(a.name);
            if (t == textures_.end() || !t->second.drawnSinceKept) continue;
            TextureInfo& info = t->second;
            info.drawnSinceKept = false;
            if (info.width <= 0 || info.height <= 0) continue;
            es2::BindFramebuffer(GL_FRAMEBUFFER, fbo);
            if (es2::CheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) continue;
            if (below_.packAlignment != 4) es2::PixelStorei(GL_PACK_ALIGNMENT, 4);
            info.drawnRgba.resize(static_cast<std::size_t>(info.width) * info.height * 4);
            es2::ReadPixels(0, 0, info.width, info.height, GL_RGBA, GL_UNSIGNED_BYTE,
                            info.drawnRgba.data());
            if (below_.packAlignment != 4) es2::PixelStorei(GL_PACK_ALIGNMENT, below_.packAlignment);
            read = true;
        }
    }
    es2::BindFramebuffer(GL_FRAMEBUFFER, below_.framebuffer);
    return read;
}

void Gles1Context::restore() {
    // The new context's state is the default one: send again what the layer holds below.
    dropDraws();
    shaders_.forget();
    stream_.renew();
    below_.program = 0;
    for (GLuint i = 0; i < kAttributeCount; ++i) {
        below_.attribs[i] = {};
        below_.constantKnown[i] = false;
    }
    for (int i = 0; i < kCapCount; ++i) {
        if (kCaps[i].kind != CapKind::Below) continue;
        ((caps_ >> i) & 1) ? es2::Enable(kCaps[i].name) : es2::Disable(kCaps[i].name);
    }
    const GLenum* b = below_.blend;
    es2::BlendFuncSeparate(b[0], b[1], b[2], b[3]);
    const GLboolean* m = below_.colorMask;
    es2::ColorMask(m[0], m[1], m[2], m[3]);
    const float* c = below_.clearColor;
    es2::ClearColor(c[0], c[1], c[2], c[3]);
    const GLint* v = below_.viewport;
    es2::Viewport(v[0], v[1], v[2], v[3]);
    es2::PixelStorei(GL_PACK_ALIGNMENT, below_.packAlignment);

    for (const auto& [name, info] : renderbuffers_) {
        es2::BindRenderbuffer(GL_RENDERBUFFER, name);
        es2::RenderbufferStorage(GL_RENDERBUFFER, info.format, info.width, info.height);
    }
    es2::ActiveTexture(GL_TEXTURE0);
    es2::PixelStorei(GL_UNPACK_ALIGNMENT, 1);
    for (const auto& [name, info] : textures_) {
        if (name == 0 || info.width <= 0 || info.height <= 0) continue;
        es2::BindTexture(GL_TEXTURE_2D, name);
        for (const auto& [pname, value] : info.parameters) es2::TexParameterf(GL_TEXTURE_2D, pname, value);
        // What was drawn into a texture wins over what was uploaded to it.
        const bool drawn = !info.drawnRgba.empty() && info.format == GL_RGBA;
        const void* pixels = drawn ? info.drawnRgba.data()
                             : info.pixels.empty() ? nullptr
                                                   : info.pixels.data();
        es2::TexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(info.format), info.width, info.height,
                        0, info.format, drawn ? GL_UNSIGNED_BYTE : info.type, pixels);
        if (info.hasMipmaps) es2::GenerateMipmap(GL_TEXTURE_2D);
    }
    es2::PixelStorei(GL_UNPACK_ALIGNMENT, below_.unpackAlignment);
    for (const auto& [name, held] : framebuffers_) {
        es2::BindFramebuffer(GL_FRAMEBUFFER, name);
        for (const auto& [point, a] : held) {
            if (a.texture) {
                es2::FramebufferTexture2D(GL_FRAMEBUFFER, point, GL_TEXTURE_2D, a.name, a.level);
            } else {
                es2::FramebufferRenderbuffer(GL_FRAMEBUFFER, point, GL_RENDERBUFFER, a.name);
            }
        }
    }
    es2::BindFramebuffer(GL_FRAMEBUFFER, below_.framebuffer);
    es2::BindRenderbuffer(GL_RENDERBUFFER, below_.renderbuffer);
    for (int u = kTextureUnits - 1; u >= 0; --u) {
        es2::ActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(u));
        es2::BindTexture(GL_TEXTURE_2D, units_[u].binding);
    }
    es2::ActiveTexture(GL_TEXTURE0 + activeUnit_);
    belowUnit_ = activeUnit_;
}

void Gles1Context::hint(GLenum target, GLenum mode) {
    if (mode != GL_FASTEST && mode != GL_NICEST && mode != GL_DONT_CARE) {
        return setError(GL_INVALID_ENUM);
    }
    switch (target) {
        case GL_GENERATE_MIPMAP_HINT:
            es2::Hint(target, mode);
            return;
        case GL_PERSPECTIVE_CORRECTION_HINT:
        case GL_POINT_SMOOTH_HINT:
        case GL_LINE_SMOOTH_HINT:
        case GL_FOG_HINT:
            return;  // hints only: the layer always draws the same way
        default:
            setError(GL_INVALID_ENUM);
    }
}

// ---- queries

bool Gles1Context::query(GLenum pname, Query& q) {
    auto one = [&q](double v) {
        q.v[0] = v;
        q.count = 1;
        return true;
    };
    auto many = [&q](const auto* values, int count) {
        for (int i = 0; i < count; ++i) q.v[i] = static_cast<double>(values[i]);
        q.count = count;
        return true;
    };
    auto array = [&](const ClientArray& a, GLenum sizeName, GLenum typeName, GLenum strideName) {
        if (pname == sizeName) return one(a.size);
        if (pname == typeName) return one(a.type);
        if (pname == strideName) return one(a.stride);
        return false;
    };
    const TextureUnit& unit = units_[activeUnit_];
    switch (pname) {
        case GL_MATRIX_MODE:
            return one(matrixMode_);
        case GL_MODELVIEW_STACK_DEPTH:
            return one(static_cast<double>(modelview_.depth()));
        case GL_PROJECTION_STACK_DEPTH:
            return one(static_cast<double>(projection_.depth()));
        case GL_TEXTURE_STACK_DEPTH:
            return one(static_cast<double>(unit.matrix.depth()));
        case GL_MAX_MODELVIEW_STACK_DEPTH:
            return one(static_cast<double>(modelview_.maxDepth()));
        case GL_MAX_PROJECTION_STACK_DEPTH:
            return one(static_cast<double>(projection_.maxDepth()));
        case GL_MAX_TEXTURE_STACK_DEPTH:
            return one(static_cast<double>(unit.matrix.maxDepth()));
        case GL_MODELVIEW_MATRIX:
            return many(modelview_.top().data(), 16);
        case GL_PROJECTION_MATRIX:
            return many(projection_.top().data(), 16);
        case GL_TEXTURE_MATRIX:
            return many(unit.matrix.top().data(), 16);
        case GL_TEXTURE_BINDING_2D:
            return one(unit.binding);
        case GL_ACTIVE_TEXTURE:
            return one(GL_TEXTURE0 + activeUnit_);
        case GL_CLIENT_ACTIVE_TEXTURE:
            return one(GL_TEXTURE0 + clientUnit_);
        case GL_MAX_TEXTURE_UNITS:
            return one(kTextureUnits);
        case GL_CURRENT_COLOR:
            q.colour = true;
            return many(currentColor_.data(), 4);
        case GL_CURRENT_TEXTURE_COORDS:
            return many(unit.currentTexCoord.data(), 4);
        case GL_POINT_SIZE:
            return one(pointSize_);
        case GL_ALIASED_POINT_SIZE_RANGE:
        case GL_SMOOTH_POINT_SIZE_RANGE:
            return many(pointRange_, 2);
        case GL_COLOR_CLEAR_VALUE:
            q.colour = true;
            return many(below_.clearColor, 4);
        case GL_COLOR_WRITEMASK:
            return many(colorMask_, 4);
        case GL_VIEWPORT:
            return many(below_.viewport, 4);
        case GL_BLEND_SRC:
            return one(blend_[0]);
        case GL_BLEND_DST:
            return one(blend_[1]);
        case GL_BLEND_SRC_RGB_OES:
            return one(blend_[0]);
        case GL_BLEND_DST_RGB_OES:
            return one(blend_[1]);
        case GL_BLEND_SRC_ALPHA_OES:
            return one(blend_[2]);
        case GL_BLEND_DST_ALPHA_OES:
            return one(blend_[3]);
        case GL_FRAMEBUFFER_BINDING_OES:
            return one(below_.framebuffer);
        case GL_RENDERBUFFER_BINDING_OES:
            return one(below_.renderbuffer);
        case GL_PACK_ALIGNMENT:
            return one(below_.packAlignment);
        case GL_UNPACK_ALIGNMENT:
            return one(below_.unpackAlignment);
        case GL_ARRAY_BUFFER_BINDING:
        case GL_ELEMENT_ARRAY_BUFFER_BINDING:
            return one(0);
        case GL_SHADE_MODEL:
            return one(GL_SMOOTH);
        case GL_MAX_TEXTURE_SIZE:
        case GL_MAX_VIEWPORT_DIMS:
            return false;
    }
    if (array(vertex_, GL_VERTEX_ARRAY_SIZE, GL_VERTEX_ARRAY_TYPE, GL_VERTEX_ARRAY_STRIDE) ||
        array(color_, GL_COLOR_ARRAY_SIZE, GL_COLOR_ARRAY_TYPE, GL_COLOR_ARRAY_STRIDE) ||
        array(units_[clientUnit_].texCoords, GL_TEXTURE_COORD_ARRAY_SIZE,
              GL_TEXTURE_COORD_ARRAY_TYPE, GL_TEXTURE_COORD_ARRAY_STRIDE) ||
        array(normal_, 0, GL_NORMAL_ARRAY_TYPE, GL_NORMAL_ARRAY_STRIDE) ||
        array(pointSizes_, 0, GL_POINT_SIZE_ARRAY_TYPE_OES, GL_POINT_SIZE_ARRAY_STRIDE_OES)) {
        return true;
    }
    if (pname == GL_TEXTURE_2D || pname == GL_VERTEX_ARRAY || pname == GL_COLOR_ARRAY ||
        pname == GL_NORMAL_ARRAY || pname == GL_TEXTURE_COORD_ARRAY ||
        pname == GL_POINT_SIZE_ARRAY_OES || capIndex(pname) >= 0) {
        return one(isEnabled(pname));
    }
    return false;
}

void Gles1Context::getIntegerv(GLenum pname, GLint* data) {
    Query q;
    if (!query(pname, q)) return es2::GetIntegerv(pname, data);
    for (int i = 0; i < q.count; ++i) {
        data[i] = q.colour ? static_cast<GLint>(std::lround(q.v[i] * 2147483647.0))
                           : static_cast<GLint>(std::llround(q.v[i]));
    }
}

void Gles1Context::getFloatv(GLenum pname, GLfloat* data) {
    Query q;
    if (!query(pname, q)) return es2::GetFloatv(pname, data);
    for (int i = 0; i < q.count; ++i) data[i] = static_cast<GLfloat>(q.v[i]);
}

void Gles1Context::getBooleanv(GLenum pname, GLboolean* data) {
    Query q;
    if (!query(pname, q)) return es2::GetBooleanv(pname, data);
    for (int i = 0; i < q.count; ++i) data[i] = q.v[i] != 0 ? GL_TRUE : GL_FALSE;
}

const GLubyte* Gles1Context::getString(GLenum name) {
    if (name == GL_VERSION) return reinterpret_cast<const GLubyte*>(version_.c_str());
    if (name == GL_EXTENSIONS) return reinterpret_cast<const GLubyte*>(extensions_.c_str());
    return es2::GetString(name);
}

}  // namespace brumelo::gles1
