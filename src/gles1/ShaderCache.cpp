#include "ShaderCache.h"

#include <cstdio>
#include <vector>

#include "Es2.h"

namespace brumelo::gles1 {

std::uint32_t ShaderKey::pack() const {
    std::uint32_t bits = (points ? 1u : 0u) | (smooth ? 2u : 0u);
    for (int u = 0; u < kTextureUnits; ++u) {
        const Unit& t = unit[u];
        if (!t.on) continue;
        const std::uint32_t unitBits = 1u | (static_cast<std::uint32_t>(t.env) << 1) |
                                       (t.colour ? 8u : 0u) | (t.alpha ? 16u : 0u) |
                                       (t.pointCoord ? 32u : 0u);
        bits |= unitBits << (2 + 6 * u);
    }
    return bits;
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

std::string combine(const ShaderKey::Unit& t) {
    switch (t.env) {
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
        if (key.texCoordAttribute(u)) s += "varying vec2 v_texCoord" + n + ";\n";
    }
    if (key.smooth) s += "varying float v_inner;\n";
    s += "void main() {\n  vec4 c = v_color;\n  vec4 t;\n";
    for (int u = 0; u < kTextureUnits; ++u) {
        if (!key.unit[u].on) continue;
        const std::string n = std::to_string(u);
        const std::string coord = key.unit[u].pointCoord ? "gl_PointCoord" : "v_texCoord" + n;
        s += "  t = texture2D(u_texture" + n + ", " + coord + ");\n" + combine(key.unit[u]);
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
    const std::uint32_t bits = key.pack();
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
