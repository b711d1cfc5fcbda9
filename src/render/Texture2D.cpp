#include "render/Texture2D.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <utility>
#include <vector>

#include "physics/Recycler.h"
#include "platform/BitmapContext.h"
#include "platform/GLContext.h"
#include "platform/Image.h"
#include "platform/TextRenderer.h"

struct Texture2D::GLName {
    GLuint name = 0;
    const void* context = nullptr;
    std::vector<std::uint8_t> madeFrom;  // see takePixels
    explicit GLName(GLuint n) : name(n), context(brumelo::currentGLContextIdentity()) {}
    ~GLName() {
        // At exit the context may already be gone (its textures went with it); in another
        // context the same number names someone else's texture.
        if (name != 0 && brumelo::glContextIsCurrent() &&
            brumelo::currentGLContextIdentity() == context) {
            glDeleteTextures(1, &name);
        }
    }
};

namespace {

constexpr unsigned kMaxPictureSide = 1024;

// 1 and powers of two stay; anything else goes up to the next power of two (0 becomes 1).
unsigned powerOfTwoAtLeast(unsigned value) {
    if (value == 1 || (value != 0 && (value & (value - 1)) == 0)) return value;
    unsigned p = 1;
    while (p < value && p != 0x80000000u) p <<= 1;
    return p;
}

bool knownFormat(TexturePixelFormat format) {
    return format == TexturePixelFormat::RGBA8888 || format == TexturePixelFormat::RGB565 ||
           format == TexturePixelFormat::A8;
}

GLfloat tintComponent(double v) {
    double scaled = static_cast<double>(static_cast<float>(v)) / 255.0;
    scaled = std::min(scaled, 1.0);
    scaled = std::max(scaled, 0.0);
    return static_cast<GLfloat>(scaled);
}

}  // namespace

std::shared_ptr<Texture2D> Texture2D::initWithDataPixelFormatPixelsWidePixelsHighContentSize(
    const void* data, TexturePixelFormat pixelFormat, unsigned pixelsWide, unsigned pixelsHigh,
    brumelo::SizeF contentSize) {
    // Checked before a GL name exists, so a bad format leaves nothing behind.
    if (!knownFormat(pixelFormat)) throw std::logic_error("");
    GLuint name = 0;
    glGenTextures(1, &name);
    if (name == 0) {
        std::fprintf(stderr, "Texture2D: no GL texture name (no GL context?)\n");
        return nullptr;
    }
    auto texture = std::make_shared<Texture2D>();
    texture->owner_ = std::make_shared<GLName>(name);
    texture->_name = name;

    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    // Rows are tightly packed; GL's default 4-byte row alignment would read past narrow rows.
    GLint previousAlignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &previousAlignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const auto w = static_cast<GLsizei>(pixelsWide);
    const auto h = static_cast<GLsizei>(pixelsHigh);
    switch (pixelFormat) {
        case TexturePixelFormat::RGBA8888:
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, data);
            break;
        case TexturePixelFormat::RGB565:
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, w, h, 0, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, data);
            break;
        case TexturePixelFormat::A8:
            glTexImage2D(GL_TEXTURE_2D, 0, GL_ALPHA, w, h, 0, GL_ALPHA, GL_UNSIGNED_BYTE, data);
            break;
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, previousAlignment);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));

    texture->_size = contentSize;
    texture->_width = pixelsWide;
    texture->_height = pixelsHigh;
    texture->_format = static_cast<std::int32_t>(pixelFormat);
    texture->_maxS = contentSize.width / static_cast<float>(pixelsWide);
    texture->_maxT = contentSize.height / static_cast<float>(pixelsHigh);
    std::fill(std::begin(texture->colors_), std::end(texture->colors_), 1.0f);
    texture->clearOnRelease_ = false;
    texture->fbo_ = kNoFramebuffer;
    return texture;
}

std::shared_ptr<Texture2D> Texture2D::initWithImage(const Image* image, float pixelsPerPoint) {
    return fromImage(image, pixelsPerPoint, 0.0f);
}

std::shared_ptr<Texture2D> Texture2D::initWithDenseImage(const Image& image,
                                                         float pixelsPerPoint) {
    return fromImage(&image, 1.0f, std::max(1.0f, pixelsPerPoint));
}

// density 0: the picture's pixels are points, resampled pixelsPerPoint times finer.
std::shared_ptr<Texture2D> Texture2D::fromImage(const Image* image, float pixelsPerPoint,
                                                float density) {
    if (image == nullptr || image->empty()) {
        std::fprintf(stderr, "Image is Null\n");
        return nullptr;
    }
    TexturePixelFormat format = TexturePixelFormat::RGB565;
    if (image->isMask()) {
        format = TexturePixelFormat::A8;
    } else {
        switch (image->alphaInfo()) {
            case ImageAlpha::PremultipliedLast:
            case ImageAlpha::PremultipliedFirst:
            case ImageAlpha::Last:
            case ImageAlpha::First:
                format = TexturePixelFormat::RGBA8888;
                break;
            default:
                break;
        }
    }

    const float scale = pixelsPerPoint > 1.0f ? pixelsPerPoint : 1.0f;
    brumelo::SizeF content{std::round(static_cast<float>(image->width()) * scale),
                           std::round(static_cast<float>(image->height()) * scale)};
    unsigned width = powerOfTwoAtLeast(static_cast<unsigned>(content.width));
    unsigned height = powerOfTwoAtLeast(static_cast<unsigned>(content.height));
    brumelo::AffineTransform transform;
    if (scale != 1.0f)
        transform = transform.scaled(content.width / static_cast<float>(image->width()),
                                     content.height / static_cast<float>(image->height()));
    const auto maxSide =
        static_cast<unsigned>(static_cast<float>(kMaxPictureSide) * std::max(scale, density));
    while (width > maxSide || height > maxSide) {
        // A side of 1 stays 1: a very long, thin picture must not become zero pixels high.
        width = std::max(1u, width >> 1);
        height = std::max(1u, height >> 1);
        transform = transform.scaled(0.5, 0.5);
        content.width /= 2;
        content.height /= 2;
    }

    std::vector<std::uint8_t> pixels;
    if (format == TexturePixelFormat::RGB565 && transform.isIdentity()) {
        // An opaque picture drawn unscaled is its own pixels: no drawing surface needed (in the
        // browser that is a canvas's round trip, most of a start-up).
        pixels = image->opaqueArea(0, 0, static_cast<int>(width), static_cast<int>(height));
    } else {
        brumelo::BitmapContext::Format bitmapFormat = brumelo::BitmapContext::Format::RGBA;
        if (format == TexturePixelFormat::RGB565)
            bitmapFormat = brumelo::BitmapContext::Format::RGBX;
        if (format == TexturePixelFormat::A8) bitmapFormat = brumelo::BitmapContext::Format::Alpha;
        brumelo::BitmapContext context(static_cast<int>(width), static_cast<int>(height),
                                       bitmapFormat);
        context.clearRect(0, 0, width, height);
        // The picture fills the first content rows of the buffer, top row first.
        context.translate(0, static_cast<double>(height) - content.height);
        if (!transform.isIdentity()) context.concat(transform);
        context.drawImage(*image, 0, 0, image->width(), image->height());
        pixels = context.bytes();
    }
    std::vector<std::uint8_t> madeFrom;

    if (format == TexturePixelFormat::RGB565) {
        std::vector<std::uint8_t> packed(static_cast<std::size_t>(width) * height * 2);
        auto* out = reinterpret_cast<std::uint16_t*>(packed.data());
        for (std::size_t i = 0; i < static_cast<std::size_t>(width) * height; ++i) {
            std::uint8_t* p = pixels.data() + 4 * i;
            const int r = p[0] >> 3, g = p[1] >> 2, b = p[2] >> 3;
            out[i] = static_cast<std::uint16_t>((r << 11) | (g << 5) | b);
            // As GL widens 5 and 6 bits to 8 when it reads the texture back.
            p[0] = static_cast<std::uint8_t>((r << 3) | (r >> 2));
            p[1] = static_cast<std::uint8_t>((g << 2) | (g >> 4));
            p[2] = static_cast<std::uint8_t>((b << 3) | (b >> 2));
            p[3] = 255;
        }
        madeFrom = std::move(pixels);
        pixels = std::move(packed);
    }
    auto texture = initWithDataPixelFormatPixelsWidePixelsHighContentSize(pixels.data(), format,
                                                                          width, height, content);
    // Uploaded, the rows GL was given are what it reads back.
    if (format == TexturePixelFormat::RGBA8888) madeFrom = std::move(pixels);
    if (texture) texture->owner_->madeFrom = std::move(madeFrom);
    if (texture && density > 0.0f) {
        // Halved to fit, it still covers the same points.
        const float ppp = density * content.width / static_cast<float>(image->width());
        texture->pixelsPerPoint_ = ppp;
        texture->_size = {content.width / ppp, content.height / ppp};
    } else if (texture && scale != 1.0f) {
        texture->pixelsPerPoint_ = scale;
        texture->_size = {content.width / scale, content.height / scale};
    }
    return texture;
}

std::shared_ptr<Texture2D> Texture2D::initWithSize(brumelo::SizeF points, float pixelsPerPoint) {
    const float scale = pixelsPerPoint > 1.0f ? pixelsPerPoint : 1.0f;
    const brumelo::SizeF content{std::round(points.width * scale),
                                 std::round(points.height * scale)};
    auto texture = initWithDataPixelFormatPixelsWidePixelsHighContentSize(
        nullptr, TexturePixelFormat::RGBA8888,
        powerOfTwoAtLeast(static_cast<unsigned>(content.width)),
        powerOfTwoAtLeast(static_cast<unsigned>(content.height)), content);
    if (texture) {
        texture->pixelsPerPoint_ = scale;
        texture->_size = {content.width / scale, content.height / scale};
    }
    return texture;
}

std::shared_ptr<Texture2D> Texture2D::initWithStringDimensionsAlignmentFontNameFontSize(
    const std::string& string, brumelo::SizeF dimensions, int alignment,
    const std::string& fontName, float fontSize) {
    const unsigned width =
        powerOfTwoAtLeast(static_cast<unsigned>(std::max(dimensions.width, 0.0f)));
    const unsigned height =
        powerOfTwoAtLeast(static_cast<unsigned>(std::max(dimensions.height, 0.0f)));
    const std::vector<std::uint8_t> coverage = brumelo::renderTextCoverage(
        string, static_cast<int>(width), static_cast<int>(height), dimensions.width,
        dimensions.height, alignment, fontName, fontSize);
    auto texture = initWithDataPixelFormatPixelsWidePixelsHighContentSize(
        coverage.data(), TexturePixelFormat::A8, width, height, dimensions);
    if (texture) texture->clearOnRelease_ = true;
    return texture;
}

Texture2D::~Texture2D() = default;

void Texture2D::drawAtPoint(brumelo::PointF point) const {
    const brumelo::SizeF size = drawnSize();
    drawInRect({point.x - size.width / 2, point.y - size.height / 2, size.width, size.height});
}

void Texture2D::setFilter(GLint filter) {
    if (filter == filter_) return;
    filter_ = filter;
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glBindTexture(GL_TEXTURE_2D, _name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
}

void Texture2D::drawInRect(brumelo::RectF rect) const {
    const GLfloat vertices[] = {rect.x,
                                rect.y,
                                0.0f,
                                rect.x + rect.width,
                                rect.y,
                                0.0f,
                                rect.x,
                                rect.y + rect.height,
                                0.0f,
                                rect.x + rect.width,
                                rect.y + rect.height,
                                0.0f};
    const GLfloat coordinates[] = {0.0f, _maxT, _maxS, _maxT, 0.0f, 0.0f, _maxS, 0.0f};
    glColorPointer(4, GL_FLOAT, 0, colors_);
    glEnableClientState(GL_COLOR_ARRAY);
    glBindTexture(GL_TEXTURE_2D, _name);
    glVertexPointer(3, GL_FLOAT, 0, vertices);
    glTexCoordPointer(2, GL_FLOAT, 0, coordinates);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
}

void Texture2D::setTint(double r, double g, double b, double a) {
    for (int corner = 0; corner < 4; ++corner) setTint(corner, r, g, b, a);
}

void Texture2D::setTint(int corner, double r, double g, double b, double a) {
    GLfloat* c = colors_ + 4 * corner;
    c[0] = tintComponent(r);
    c[1] = tintComponent(g);
    c[2] = tintComponent(b);
    c[3] = tintComponent(a);
}

void Texture2D::setTintTop(double r, double g, double b, double a) {
    setTint(2, r, g, b, a);
    setTint(3, r, g, b, a);
}

void Texture2D::setTintBottom(double r, double g, double b, double a) {
    setTint(0, r, g, b, a);
    setTint(1, r, g, b, a);
}

void Texture2D::setTintLeft(double r, double g, double b, double a) {
    setTint(2, r, g, b, a);
    setTint(0, r, g, b, a);
}

void Texture2D::setTintRight(double r, double g, double b, double a) {
    setTint(1, r, g, b, a);
    setTint(3, r, g, b, a);
}

int Texture2D::getAlpha() const {
    const float sum = colors_[3] + colors_[7] + colors_[11] + colors_[15];
    return static_cast<int>(static_cast<double>(sum) * 0.25);
}

void Texture2D::setFbo(GLuint fbo) {
    fbo_ = fbo;
    if (owner_) owner_->madeFrom.clear();
}

std::vector<std::uint8_t> Texture2D::takePixels() const {
    if (!owner_) return {};
    return std::exchange(owner_->madeFrom, {});
}

std::shared_ptr<Texture2D> Texture2D::makeCopy() const {
    // Every wipe mark takes a copy: from recycled storage.
    auto copy = std::allocate_shared<Texture2D>(brumelo::RecyclingAllocator<Texture2D>());
    copy->_name = _name;
    copy->_size = _size;
    copy->_width = _width;
    copy->_height = _height;
    copy->_format = _format;
    copy->_maxS = _maxS;
    copy->_maxT = _maxT;
    copy->pixelsPerPoint_ = pixelsPerPoint_;
    std::copy(std::begin(colors_), std::end(colors_), std::begin(copy->colors_));
    copy->clearOnRelease_ = clearOnRelease_;
    copy->owner_ = owner_;
    return copy;
}

std::string Texture2D::description() const {
    char text[160];
    std::snprintf(text, sizeof text,
                  "<Texture2D = %08" PRIXPTR
                  " | Name = %i | Dimensions = %ix%i | Coordinates = "
                  "(%.2f, %.2f)>",
                  reinterpret_cast<std::uintptr_t>(this), static_cast<int>(_name),
                  static_cast<int>(_width), static_cast<int>(_height), static_cast<double>(_maxS),
                  static_cast<double>(_maxT));
    return text;
}
