#pragma once

// GLSL ES 1.00 programs for the fixed-function state that matters to a draw, made on first use
// and kept. Vertices reach the shaders already in clip space (the layer transforms them while it
// copies the client arrays), so the programs differ only in texturing and point rasterisation.

#include <GLES2/gl2.h>

#include <cstdint>
#include <string>
#include <unordered_map>

namespace brumelo::gles1 {

// Attribute locations, the same in every program.
enum Attribute : GLuint {
    kPosition = 0,
    kColor = 1,
    kTexCoord0 = 2,
    kTexCoord1 = 3,
    kPointSize = 4,
    kAttributeCount = 5
};

inline constexpr int kTextureUnits = 2;

enum class TexEnv : std::uint8_t { Replace, Modulate, Decal, Add };

struct ShaderKey {
    struct Unit {
        bool on = false;
        TexEnv env = TexEnv::Modulate;
        bool colour = true;       // the texture's format has colour (all but GL_ALPHA)
        bool alpha = true;        // ...and alpha (GL_ALPHA, GL_LUMINANCE_ALPHA, GL_RGBA)
        bool pointCoord = false;  // coordinates replaced by the point sprite's
    };
    bool points = false;
    bool smooth = false;  // antialiased round points
    Unit unit[kTextureUnits];

    std::uint32_t pack() const;
    // Whether the unit reads a texture-coordinate attribute.
    bool texCoordAttribute(int u) const { return unit[u].on && !unit[u].pointCoord; }
};

class ShaderCache {
  public:
    ShaderCache() = default;
    ShaderCache(const ShaderCache&) = delete;
    ShaderCache& operator=(const ShaderCache&) = delete;

    // The program for the key, 0 if it could not be built (said once on standard error). A
    // program built by this call (*built) was made current to set its samplers.
    GLuint program(const ShaderKey& key, bool* built);

    static std::string vertexSource(const ShaderKey& key);
    static std::string fragmentSource(const ShaderKey& key);

  private:
    GLuint build(const ShaderKey& key);

    std::unordered_map<std::uint32_t, GLuint> programs_;
};

}  // namespace brumelo::gles1
