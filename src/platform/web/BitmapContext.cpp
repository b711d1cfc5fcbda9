// Bitmap contexts on a Canvas 2D surface. The canvas keeps premultiplied colour, as Cairo does on
// the desktop, so the bytes come out alike.

#include "platform/BitmapContext.h"

#include <stdexcept>

#include "platform/Image.h"
#include "platform/web/Browser.h"

namespace brumelo {

struct BitmapContext::Impl {
    int canvas = 0;
    ~Impl() {
        if (canvas) brumelo_canvas_destroy(canvas);
    }
};

namespace {

constexpr int kMaxSide = 32767;

bool opaqueKind(ImageAlpha alpha) {
    return alpha == ImageAlpha::None || alpha == ImageAlpha::NoneSkipLast ||
           alpha == ImageAlpha::NoneSkipFirst;
}

}  // namespace

BitmapContext::BitmapContext(int width, int height, Format format)
    : width_(width), height_(height), format_(format), impl_(std::make_unique<Impl>()) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
        throw std::invalid_argument("bitmap size out of range");
    }
    impl_->canvas = brumelo_canvas_create(width, height);
    if (!impl_->canvas) throw std::runtime_error("cannot make a bitmap of that size");
    concat(AffineTransform::identity());
}

BitmapContext::~BitmapContext() = default;

void BitmapContext::concat(const AffineTransform& t) {
    ctm_ = t.concat(ctm_);
    const AffineTransform d = deviceTransform();
    brumelo_canvas_transform(impl_->canvas, d.a, d.b, d.c, d.d, d.tx, d.ty);
}

void BitmapContext::clearRect(double x, double y, double width, double height) {
    brumelo_canvas_clear(impl_->canvas, x, y, width, height);
}

void BitmapContext::fillRect(double x, double y, double width, double height, double r, double g,
                             double b, double a) {
    brumelo_canvas_fill(impl_->canvas, x, y, width, height, r, g, b, a);
}

void BitmapContext::drawImage(const Image& image, double x, double y, double width, double height) {
    if (image.empty() || width == 0.0 || height == 0.0) return;
    brumelo_canvas_draw(impl_->canvas, image.pixels().data(), image.width(), image.height(),
                        opaqueKind(image.alphaInfo()) ? 1 : 0, x, y, width, height);
}

std::vector<std::uint8_t> BitmapContext::bytes() const {
    const std::size_t n = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    std::vector<std::uint8_t> straight(n * 4);
    brumelo_canvas_read(impl_->canvas, straight.data());
    const bool colour = format_ == Format::RGBA || format_ == Format::RGBX;
    std::vector<std::uint8_t> out(n * (colour ? 4 : 1));
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* p = straight.data() + 4 * i;
        const unsigned a = p[3];
        // Premultiplied, as the formats keep colour: over black where nothing was drawn.
        const auto pre = [a](unsigned c) { return static_cast<std::uint8_t>((c * a + 127) / 255); };
        switch (format_) {
            case Format::RGBA:
            case Format::RGBX:
                out[4 * i] = pre(p[0]);
                out[4 * i + 1] = pre(p[1]);
                out[4 * i + 2] = pre(p[2]);
                out[4 * i + 3] = format_ == Format::RGBA ? static_cast<std::uint8_t>(a) : 255;
                break;
            case Format::Gray:
                out[i] = static_cast<std::uint8_t>(
                    (pre(p[0]) * 77 + pre(p[1]) * 150 + pre(p[2]) * 29 + 128) >> 8);
                break;
            case Format::Alpha:
                out[i] = static_cast<std::uint8_t>(a);
                break;
        }
    }
    return out;
}

}  // namespace brumelo
