#include "ShaderCache.h"

#include <GLES/gl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "Es2.h"

namespace brumelo::gles1 {

namespace {

// The codes of combineBits, in the order of these lists.
constexpr GLenum kFunctions[] = {GL_REPLACE,     GL_MODULATE, GL_ADD,      GL_ADD_SIGNED,
                                 GL_INTERPOLATE, GL_SUBTRACT, GL_DOT3_RGB, GL_DOT3_RGBA};
constexpr GLenum kSources[] = {GL_TEXTURE, GL_CONSTANT, GL_PRIMARY_COLOR, GL_PREVIOUS};
constexpr GLenum kOperands[] = {GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR, GL_SRC_ALPHA,
                                GL_ONE_MINUS_SRC_ALPHA};

template <std::size_t N>
std::uint32_t codeOf(const GLenum (&list)[N], GLenum value) {
    for (std::size_t i = 0; i < N; ++i)
        if (list[i] == value) return static_cast<std::uint32_t>(i);
    return 0;
}

}  // namespace

std::uint32_t combineBits(const GLenum function[2], const GLenum source[2][3],
                          const GLenum operand[2][3], const float scale[2]) {
    // Colour: function 3 bits, sources 3 x 2, operands 3 x 2; alpha: function 3 bits, sources
    // 3 x 2, operands 3 x 1 (only the alpha ones); scales 2 bits each (1, 2 or 4).
    std::uint32_t bits = codeOf(kFunctions, function[0]);
    int at = 3;
    auto put = [&](std::uint32_t v, int width) {
        bits |= v << at;
        at += width;
    };
    for (int k = 0; k < 3; ++k) put(codeOf(kSources, source[0][k]), 2);
    for (int k = 0; k < 3; ++k) put(codeOf(kOperands, operand[0][k]), 2);
    put(codeOf(kFunctions, function[1]), 3);
    for (int k = 0; k < 3; ++k) put(codeOf(kSources, source[1][k]), 2);
    for (int k = 0; k < 3; ++k) put(operand[1][k] == GL_ONE_MINUS_SRC_ALPHA ? 1u : 0u, 1);
    for (int k = 0; k < 2; ++k) put(scale[k] >= 4.0f ? 2u : scale[k] >= 2.0f ? 1u : 0u, 2);
    return bits;
}

ShaderKey::Packed ShaderKey::pack() const {
    Packed packed{};
    std::uint32_t bits = (points ? 1u : 0u) | (smooth ? 2u : 0u);
    for (int u = 0; u < kTextureUnits; ++u) {
        const Unit& t = unit[u];
        if (!t.on) continue;
        const std::uint32_t unitBits = 1u | (static_cast<std::uint32_t>(t.env) << 1) |
                                       (t.colour ? 16u : 0u) | (t.alpha ? 32u : 0u) |
                                       (t.pointCoord ? 64u : 0u);
        bits |= unitBits << (2 + 7 * u);
        if (t.env == TexEnv::Combine) packed[static_cast<std::size_t>(1 + u)] = t.combine;
    }
    packed[0] = bits;
    return packed;
}

bool ShaderKey::readsConstant(int u) const {
    const Unit& t = unit[u];
    if (!t.on || t.env != TexEnv::Combine) return false;
    for (int k = 0; k < 3; ++k) {
        if (((t.combine >> (3 + 2 * k)) & 3u) == 1u) return true;
        if (((t.combine >> (18 + 2 * k)) & 3u) == 1u) return true;
    }
    return false;
}

std::string ShaderCache::vertexSource(const ShaderKey& key) {
    std::string s =
        "attribute vec4 a_position;\n"
        "attribute vec4 a_color;\n"
        "varying vec4 v_color;\n";
    for (int u = 0; u < kTextureUnits; ++u) {
        if (!key.texCoordAttribute(u)) continue;
        const std::string n = std::to_string(u);
        s += "attribute vec2 a_texCoord" + n + ";\nvarying vec2 v_texCoord" + n + ";\n";
    }
    if (key.points) s += "attribute float a_pointSize;\n";
    if (key.smooth) s += "varying float v_inner;\n";
    s += "void main() {\n"
         "  gl_Position = a_position;\n"
         "  v_color = clamp(a_color, 0.0, 1.0);\n";
    for (int u = 0; u < kTextureUnits; ++u) {
        if (!key.texCoordAttribute(u)) continue;
        const std::string n = std::to_string(u);
        s += "  v_texCoord" + n + " = a_texCoord" + n + ";\n";
    }
    if (key.points) s += "  gl_PointSize = a_pointSize;\n";
    if (key.smooth) {
        // Squared distance, in units of the radius, where the edge ramp begins: (1 - 1/r)^2.
        s += "  float k = 1.0 - 2.0 / a_pointSize;\n  v_inner = k * k;\n";
    }
    return s + "}\n";
}

namespace {

// GL_COMBINE: arguments from the sources (read before the unit changes c), the function,
// the scale, clamped.
std::string combineFunction(const ShaderKey::Unit& t, int u) {
    const std::uint32_t b = t.combine;
    const std::string n = std::to_string(u);
    auto field = [&](int at, int width) { return (b >> at) & ((1u << width) - 1u); };
    auto source = [&](std::uint32_t code) -> std::string {
        switch (code) {
            case 0:
                return "t";
            case 1:
                return "u_envColor" + n;
            case 2:
                return "v_color";
            default:
                return "c";
        }
    };
    std::string s = "  {\n";
    for (int k = 0; k < 3; ++k) {
        const std::string x = source(field(3 + 2 * k, 2));
        const std::string arg[4] = {x + ".rgb", "(1.0 - " + x + ".rgb)", "vec3(" + x + ".a)",
                                    "vec3(1.0 - " + x + ".a)"};
        s += "    vec3 a" + std::to_string(k) + " = " + arg[field(9 + 2 * k, 2)] + ";\n";
        const std::string y = source(field(18 + 2 * k, 2));
        s += "    float b" + std::to_string(k) + " = " +
             (field(24 + k, 1) ? "1.0 - " + y + ".a" : y + ".a") + ";\n";
    }
    const char* scales[4] = {"1.0", "2.0", "4.0", "4.0"};
    const std::string rgbScale = scales[field(27, 2)], alphaScale = scales[field(29, 2)];
    const std::uint32_t rgbFunction = field(0, 3), alphaFunction = field(15, 3);
    auto apply = [](std::uint32_t f, const std::string& a0, const std::string& a1,
                    const std::string& a2) -> std::string {
        switch (f) {
            case 0:
                return a0;
            case 1:
                return a0 + " * " + a1;
            case 2:
                return a0 + " + " + a1;
            case 3:
                return a0 + " + " + a1 + " - 0.5";
            case 4:
                return a0 + " * " + a2 + " + " + a1 + " * (1.0 - " + a2 + ")";
            case 5:
                return a0 + " - " + a1;
            default:
                return "vec3(4.0 * dot(" + a0 + " - 0.5, " + a1 + " - 0.5))";
        }
    };
    s += "    vec3 rgb = " + apply(rgbFunction, "a0", "a1", "a2") + ";\n";
    if (rgbFunction == 7) {
        s += "    float alpha = rgb.r;\n";  // GL_DOT3_RGBA: alpha too, unscaled
        s += "    c = clamp(vec4(rgb * " + rgbScale + ", alpha), 0.0, 1.0);\n  }\n";
        return s;
    }
    // The alpha functions have no dot product; the codes past GL_SUBTRACT are not accepted.
    s += "    float alpha = " + apply(std::min(alphaFunction, 5u), "b0", "b1", "b2") + ";\n";
    s += "    c = clamp(vec4(rgb * " + rgbScale + ", alpha * " + alphaScale + "), 0.0, 1.0);\n";
    return s + "  }\n";
}

std::string combine(const ShaderKey::Unit& t, int u) {
    switch (t.env) {
        case TexEnv::Combine:
            return combineFunction(t, u);
        case TexEnv::Replace:
            if (t.colour && t.alpha) return "  c = t;\n";
            return t.colour ? "  c.rgb = t.rgb;\n" : "  c.a = t.a;\n";
        case TexEnv::Modulate:
            if (t.colour && t.alpha) return "  c *= t;\n";
            return t.colour ? "  c.rgb *= t.rgb;\n" : "  c.a *= t.a;\n";
        case TexEnv::Decal:
            if (!t.colour) return "";
            return t.alpha ? "  c.rgb = mix(c.rgb, t.rgb, t.a);\n" : "  c.rgb = t.rgb;\n";
        case TexEnv::Add: {
            std::string s = t.colour ? "  c.rgb = min(c.rgb + t.rgb, 1.0);\n" : "";
            return t.alpha ? s + "  c.a *= t.a;\n" : s;
        }
    }
    return "";
}

}  // namespace

std::string ShaderCache::fragmentSource(const ShaderKey& key) {
    std::string s =
        "#ifdef GL_FRAGMENT_PRECISION_HIGH\n"
        "precision highp float;\n"
        "#else\n"
        "precision mediump float;\n"
        "#endif\n"
        "varying vec4 v_color;\n";
    for (int u = 0; u < kTextureUnits; ++u) {
        if (!key.unit[u].on) continue;
        const std::string n = std::to_string(u);
        s += "uniform sampler2D u_texture" + n + ";\n";
        if (key.readsConstant(u)) s += "uniform vec4 u_envColor" + n + ";\n";
        if (key.texCoordAttribute(u)) s += "varying vec2 v_texCoord" + n + ";\n";
    }
    if (key.smooth) s += "varying float v_inner;\n";
    s += "void main() {\n  vec4 c = v_color;\n  vec4 t;\n";
    for (int u = 0; u < kTextureUnits; ++u) {
        if (!key.unit[u].on) continue;
        const std::string n = std::to_string(u);
        const std::string coord = key.unit[u].pointCoord ? "gl_PointCoord" : "v_texCoord" + n;
        s += "  t = texture2D(u_texture" + n + ", " + coord + ");\n" + combine(key.unit[u], u);
    }
    if (key.smooth) {
        // Round points as Mesa's llvmpipe draws them: fragments beyond the radius go; inside
        // the edge ramp alpha is scaled by (1 - d) / (1 - k), which exceeds 1 towards the
        // centre, and the one-pixel ring at the edge keeps its alpha.
        s += "  vec2 p = gl_PointCoord * 2.0 - 1.0;\n"
             "  float d = dot(p, p);\n"
             "  if (d > 1.0) discard;\n"
             "  if (d <= v_inner) c.a = min(c.a * (1.0 - d) / (1.0 - v_inner), 1.0);\n";
    }
    return s + "  gl_FragColor = c;\n}\n";
}

namespace {

// Each status asked of GL waits for the driver (in a browser, a round trip to its GPU process):
// a shader's is asked only when its program does not link.
GLuint compile(GLenum type, const std::string& source) {
    const GLuint shader = es2::CreateShader(type);
    const char* text = source.c_str();
    es2::ShaderSource(shader, 1, &text, nullptr);
    es2::CompileShader(shader);
    return shader;
}

void reportUncompiled(GLuint shader, const std::string& source) {
    GLint ok = GL_FALSE;
    es2::GetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok == GL_TRUE) return;
    std::vector<GLchar> log(2048);
    es2::GetShaderInfoLog(shader, static_cast<GLsizei>(log.size()), nullptr, log.data());
    std::fprintf(stderr, "GL layer: shader does not compile: %s\n%s", log.data(),
                 source.c_str());
}

}  // namespace

GLuint ShaderCache::program(const ShaderKey& key, bool* built) {
    const ShaderKey::Packed bits = key.pack();
    auto found = programs_.find(bits);
    *built = found == programs_.end();
    if (!*built) return found->second;
    const GLuint program = build(key);
    programs_.emplace(bits, program);  // a failure is kept too, so it is reported once
    return program;
}

GLuint ShaderCache::build(const ShaderKey& key) {
    const std::string vertexText = vertexSource(key), fragmentText = fragmentSource(key);
    const GLuint vertex = compile(GL_VERTEX_SHADER, vertexText);
    const GLuint fragment = compile(GL_FRAGMENT_SHADER, fragmentText);
    if (vertex == 0 || fragment == 0) {
        if (vertex) es2::DeleteShader(vertex);
        if (fragment) es2::DeleteShader(fragment);
        return 0;
    }
    const GLuint program = es2::CreateProgram();
    es2::AttachShader(program, vertex);
    es2::AttachShader(program, fragment);
    es2::BindAttribLocation(program, kPosition, "a_position");
    es2::BindAttribLocation(program, kColor, "a_color");
    es2::BindAttribLocation(program, kTexCoord0, "a_texCoord0");
    es2::BindAttribLocation(program, kTexCoord1, "a_texCoord1");
    es2::BindAttribLocation(program, kTexCoord2, "a_texCoord2");
    es2::BindAttribLocation(program, kPointSize, "a_pointSize");
    es2::LinkProgram(program);
    GLint ok = GL_FALSE;
    es2::GetProgramiv(program, GL_LINK_STATUS, &ok);
    if (ok != GL_TRUE) {
        reportUncompiled(vertex, vertexText);
        reportUncompiled(fragment, fragmentText);
        std::vector<GLchar> log(2048);
        es2::GetProgramInfoLog(program, static_cast<GLsizei>(log.size()), nullptr, log.data());
        std::fprintf(stderr, "GL layer: program does not link: %s\n", log.data());
        es2::DeleteShader(vertex);
        es2::DeleteShader(fragment);
        es2::DeleteProgram(program);
        return 0;
    }
    es2::DeleteShader(vertex);
    es2::DeleteShader(fragment);
    es2::UseProgram(program);
    // Samplers start at unit 0 once linked: only the others are set.
    for (int u = 1; u < kTextureUnits; ++u) {
        if (!key.unit[u].on) continue;
        const std::string name = "u_texture" + std::to_string(u);
        es2::Uniform1i(es2::GetUniformLocation(program, name.c_str()), u);
    }
    return program;
}

}  // namespace brumelo::gles1
