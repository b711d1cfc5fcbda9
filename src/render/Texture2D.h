#pragma once

#include <GLES/gl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "render/Helper.h"

class Image;

// Codes of the pixel layouts a texture can hold; any other value is rejected.
enum class TexturePixelFormat : std::int32_t {
    RGBA8888 = 1,  // GL_RGBA, GL_UNSIGNED_BYTE
    RGB565 = 2,    // GL_RGB, GL_UNSIGNED_SHORT_5_6_5
    A8 = 3,        // GL_ALPHA, GL_UNSIGNED_BYTE
};

// Text alignment codes of the text initialiser.
enum TextAlignment : int { TextAlignmentLeft = 0, TextAlignmentCenter = 1, TextAlignmentRight = 2 };

// One GL texture drawn as a quad with a colour per corner. Corner order everywhere (vertices,
// texture coordinates, colors): 0 low x low y, 1 high x low y, 2 low x high y, 3 high x high y.
// The first pixel row given becomes t = 0, which lands on the high-y edge.
//
// A texture made by an initialiser owns its GL texture; copies share it, and the GL texture is
// deleted once, when the last of them goes, and only while the context that made it is
// current (at exit it may be gone, and its textures with it).
class Texture2D {
  public:
    static constexpr GLuint kNoFramebuffer = 0xFFFFFFFFu;

    // Rows tightly packed. Returns nullptr when no GL texture could be made. Throws
    // std::logic_error (empty message) for a format outside the three codes.
    static std::shared_ptr<Texture2D> initWithDataPixelFormatPixelsWidePixelsHighContentSize(
        const void* data, TexturePixelFormat pixelFormat, unsigned pixelsWide, unsigned pixelsHigh,
        brumelo::SizeF contentSize);

    // Power-of-two sides, at most 1024 (larger pictures are halved until they fit); RGB565 for a
    // picture without alpha, A8 for a mask, RGBA8888 (premultiplied) otherwise. A null or empty
    // picture logs "Image is Null" and gives nullptr.
    //
    // The picture's pixels are points; pixelsPerPoint above 1 resamples it that much finer for a
    // dense frame buffer (the side limit grows with it), and the texture still draws the same
    // number of points.
    static std::shared_ptr<Texture2D> initWithImage(const Image* image,
                                                    float pixelsPerPoint = 1.0f);
    static std::shared_ptr<Texture2D> initWithImage(const std::shared_ptr<Image>& image,
                                                    float pixelsPerPoint = 1.0f) {
        return initWithImage(image.get(), pixelsPerPoint);
    }

    // A picture whose pixels are already pixelsPerPoint to a point: drawn at its size divided
    // by that (sides up to 1024 times it, else halved, drawn the same size).
    static std::shared_ptr<Texture2D> initWithDenseImage(const Image& image, float pixelsPerPoint);

    // An RGBA texture to draw into, covering `points` at pixelsPerPoint; its pixels start
    // undefined.
    static std::shared_ptr<Texture2D> initWithSize(brumelo::SizeF points, float pixelsPerPoint);

    // White text as coverage in the alpha channel (A8), laid out from the top of the box with
    // word wrapping. Box sides rounded up to powers of two. clearOnRelease is set.
    static std::shared_ptr<Texture2D> initWithStringDimensionsAlignmentFontNameFontSize(
        const std::string& string, brumelo::SizeF dimensions, int alignment,
        const std::string& fontName, float fontSize);

    Texture2D() = default;  // an empty texture, as makeCopy starts from
    ~Texture2D();
    Texture2D(const Texture2D&) = delete;
    Texture2D& operator=(const Texture2D&) = delete;

    // Draws with the current GL state: the caller enables texturing and the vertex and
    // texture-coordinate arrays; the colour array is enabled here and left enabled.
    void drawAtPoint(brumelo::PointF point) const;  // content centred on the point
    void drawAtPoint(float x, float y) const { drawAtPoint(brumelo::PointF{x, y}); }
    void drawInRect(brumelo::RectF rect) const;

    // Components on a 0..255 scale, clamped to [0, 1] after scaling.
    void setTint(double r, double g, double b, double a);
    void setTint(int corner, double r, double g, double b, double a);  // corner 0..3, unchecked
    void setTintTop(double r, double g, double b, double a);           // corners 2 and 3 (high y)
    void setTintBottom(double r, double g, double b, double a);        // corners 0 and 1
    void setTintLeft(double r, double g, double b, double a);          // corners 2 and 0
    void setTintRight(double r, double g, double b, double a);         // corners 1 and 3

    // 1 only when all four corner alphas are 1.
    int getAlpha() const;

    // Filters the picture through GL_NEAREST or GL_LINEAR (the default) both ways. Nearest is
    // exact and cheaper where each texel lands on one pixel.
    void setFilter(GLint filter);

    // Shares the GL texture; keeps its own tint. The frame buffer is not copied (fbo 0).
    std::shared_ptr<Texture2D> makeCopy() const;

    std::string description() const;

    GLuint name() const { return _name; }
    brumelo::SizeF contentSize() const { return _size; }
    GLuint pixelsWide() const { return _width; }
    GLuint pixelsHigh() const { return _height; }
    TexturePixelFormat pixelFormat() const { return static_cast<TexturePixelFormat>(_format); }
    GLfloat maxS() const { return _maxS; }
    GLfloat maxT() const { return _maxT; }
    float pixelsPerPoint() const { return pixelsPerPoint_; }
    // Keeps the pixels and draws them this many to a point (below 1 scales them up).
    void setPixelsPerPoint(float pixelsPerPoint) {
        if (pixelsPerPoint <= 0.0f) return;
        _size = {_size.width * pixelsPerPoint_ / pixelsPerPoint,
                 _size.height * pixelsPerPoint_ / pixelsPerPoint};
        pixelsPerPoint_ = pixelsPerPoint;
    }
    // The points drawAtPoint covers.
    brumelo::SizeF drawnSize() const {
        return {static_cast<float>(_width) * _maxS / pixelsPerPoint_,
                static_cast<float>(_height) * _maxT / pixelsPerPoint_};
    }

    const GLfloat* colors() const { return colors_; }
    GLfloat* colors() { return colors_; }
    bool clearOnRelease() const { return clearOnRelease_; }
    void setClearOnRelease(bool value) { clearOnRelease_ = value; }
    GLuint fbo() const { return fbo_; }
    // A texture drawn into no longer holds what it was made from.
    void setFbo(GLuint fbo);

    // A picture's texture keeps, until asked for it once (by it or a copy), its pixels as GL
    // reads them back (RGBA rows, pixelsWide by pixelsHigh, opaque ones with alpha 255): reading
    // the GPU's copy back waits for everything drawn before. Empty for other textures and after
    // the first ask.
    std::vector<std::uint8_t> takePixels() const;

  private:
    struct GLName;
    static std::shared_ptr<Texture2D> fromImage(const Image* image, float scale, float density);  // the GL texture, deleted once by its last holder

    GLuint _name = 0;
    brumelo::SizeF _size{};
    GLuint _width = 0;
    GLuint _height = 0;
    std::int32_t _format = 0;
    GLfloat _maxS = 0.0f;
    GLfloat _maxT = 0.0f;
    GLfloat colors_[16] = {};
    bool clearOnRelease_ = false;
    GLuint fbo_ = 0;
    float pixelsPerPoint_ = 1.0f;
    GLint filter_ = GL_LINEAR;
    std::shared_ptr<GLName> owner_;
};
