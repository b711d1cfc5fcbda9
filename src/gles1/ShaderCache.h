#pragma once

// GLSL ES 1.00 programs for the fixed-function state that matters to a draw, made on first use
// and kept. Vertices reach the shaders already in clip space (the layer transforms them while it
// copies the client arrays), so the programs differ only in texturing and point rasterisation.

#include <GLES2/gl2.h>

#include <array>
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
    kTexCoord2 = 4,
    kPointSize = 5,
    kAttributeCount = 6
};

inline constexpr int kTextureUnits = 3;

enum class TexEnv : std::uint8_t { Replace, Modulate, Decal, Add, Combine };

// GL_COMBINE's state of a unit in 31 bits: the functions, three sources and operands for colour
// and for alpha, and the scales (see combineBits).
std::uint32_t combineBits(const GLenum function[2], const GLenum source[2][3],
                          const GLenum operand[2][3], const float scale[2]);

struct ShaderKey {
    struct Unit {
        bool on = false;
        TexEnv env = TexEnv::Modulate;
        bool colour = true;       // the texture's format has colour (all but GL_ALPHA)
        bool alpha = true;        // ...and alpha (GL_ALPHA, GL_LUMINANCE_ALPHA, GL_RGBA)
        bool pointCoord = false;  // coordinates replaced by the point sprite's
        std::uint32_t combine = 0;  // with TexEnv::Combine: combineBits
    };
    bool points = false;
    bool smooth = false;  // antialiased round points
    Unit unit[kTextureUnits];

    // Everything that tells one program from another.
    using Packed = std::array<std::uint32_t, 1 + kTextureUnits>;
    Packed pack() const;
    // Whether a combining unit reads the environment's constant colour.
    bool readsConstant(int u) const;
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

    // After a lost context: the programs are gone with it; they are built again on use.
    void forget() { programs_.clear(); }

    static std::string vertexSource(const ShaderKey& key);
    static std::string fragmentSource(const ShaderKey& key);

  private:
    GLuint build(const ShaderKey& key);

    struct Hash {
        std::size_t operator()(const ShaderKey::Packed& p) const {
            std::size_t h = 0;
            for (std::uint32_t v : p) h = h * 0x9E3779B1u + v;
            return h;
        }
    };
    std::unordered_map<ShaderKey::Packed, GLuint, Hash> programs_;
};

}  // namespace brumelo::gles1
