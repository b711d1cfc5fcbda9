#include "platform/BitmapContext.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "platform/Image.h"

namespace brumelo {

struct BitmapContext::Impl {
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    ~Impl() {
        if (cr) cairo_destroy(cr);
        if (surface) cairo_surface_destroy(surface);
    }
};

namespace {

constexpr int kMaxSide = 32767;  // Cairo's own limit on a surface side

cairo_format_t cairoFormat(BitmapContext::Format format) {
    switch (format) {
        case BitmapContext::Format::RGBA:
            return CAIRO_FORMAT_ARGB32;
        case BitmapContext::Format::RGBX:
            return CAIRO_FORMAT_RGB24;
        case BitmapContext::Format::Gray:
            return CAIRO_FORMAT_RGB24;
        case BitmapContext::Format::Alpha:
            return CAIRO_FORMAT_A8;
    }
    return CAIRO_FORMAT_ARGB32;
}

bool opaqueKind(ImageAlpha alpha) {
    return alpha == ImageAlpha::None || alpha == ImageAlpha::NoneSkipLast ||
           alpha == ImageAlpha::NoneSkipFirst;
}

// Cairo wants premultiplied native-endian ARGB words.
cairo_surface_t* surfaceFromImage(const Image& image) {
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width(), image.height());
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const bool opaque = opaqueKind(image.alphaInfo());
    for (int y = 0; y < image.height(); ++y) {
        auto* row =
            reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
        for (int x = 0; x < image.width(); ++x) {
            const std::uint8_t* p = image.pixel(x, y);
            const std::uint32_t a = opaque ? 255u : p[3];
            const std::uint32_t r = (p[0] * a + 127) / 255;
            const std::uint32_t g = (p[1] * a + 127) / 255;
            const std::uint32_t b = (p[2] * a + 127) / 255;
            row[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

}  // namespace

BitmapContext::BitmapContext(int width, int height, Format format)
    : width_(width), height_(height), format_(format), impl_(std::make_unique<Impl>()) {
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide) {
        throw std::invalid_argument("bitmap size out of range");
    }
    impl_->surface = cairo_image_surface_create(cairoFormat(format), width, height);
    if (cairo_surface_status(impl_->surface) != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error("cannot make a bitmap of that size");
    }
    impl_->cr = cairo_create(impl_->surface);
    concat(AffineTransform::identity());
}

BitmapContext::~BitmapContext() = default;

void BitmapContext::concat(const AffineTransform& t) {
    ctm_ = t.concat(ctm_);
    const AffineTransform device = deviceTransform();
    cairo_matrix_t m;
    cairo_matrix_init(&m, device.a, device.b, device.c, device.d, device.tx, device.ty);
    cairo_set_matrix(impl_->cr, &m);
}

void BitmapContext::clearRect(double x, double y, double width, double height) {
    cairo_t* cr = impl_->cr;
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_rectangle(cr, x, y, width, height);
    cairo_fill(cr);
    cairo_restore(cr);
}

void BitmapContext::fillRect(double x, double y, double width, double height, double r, double g,
                             double b, double a) {
    cairo_t* cr = impl_->cr;
    cairo_save(cr);
    cairo_set_source_rgba(cr, r, g, b, a);
    cairo_rectangle(cr, x, y, width, height);
    cairo_fill(cr);
    cairo_restore(cr);
}

void BitmapContext::drawImage(const Image& image, double x, double y, double width, double height) {
    if (image.empty() || width == 0.0 || height == 0.0) return;
    cairo_surface_t* source = surfaceFromImage(image);
    if (source == nullptr) return;
    cairo_t* cr = impl_->cr;
    cairo_save(cr);
    cairo_translate(cr, x, y + height);
    cairo_scale(cr, width / image.width(), -height / image.height());
    cairo_rectangle(cr, 0, 0, image.width(), image.height());
    cairo_clip(cr);
    cairo_set_source_surface(cr, source, 0, 0);
    // Pad so that scaled edges stay as opaque as the picture instead of fading out.
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_paint(cr);
    cairo_restore(cr);
    cairo_surface_destroy(source);
}

std::vector<std::uint8_t> BitmapContext::bytes() const {
    cairo_surface_flush(impl_->surface);
    const unsigned char* data = cairo_image_surface_get_data(impl_->surface);
    const int stride = cairo_image_surface_get_stride(impl_->surface);
    const std::size_t w = static_cast<std::size_t>(width_);
    const std::size_t h = static_cast<std::size_t>(height_);
    const std::size_t bpp = (format_ == Format::RGBA || format_ == Format::RGBX) ? 4 : 1;
    std::vector<std::uint8_t> out(w * h * bpp);
    for (std::size_t y = 0; y < h; ++y) {
        const unsigned char* row = data + y * static_cast<std::size_t>(stride);
        std::uint8_t* o = out.data() + y * w * bpp;
        if (format_ == Format::Alpha) {
            std::memcpy(o, row, w);
            continue;
        }
        const auto* words = reinterpret_cast<const std::uint32_t*>(row);
        for (std::size_t x = 0; x < w; ++x) {
            const std::uint32_t p = words[x];
            const std::uint8_t r = static_cast<std::uint8_t>(p >> 16);
            const std::uint8_t g = static_cast<std::uint8_t>(p >> 8);
            const std::uint8_t b = static_cast<std::uint8_t>(p);
            if (format_ == Format::Gray) {
                o[x] = static_cast<std::uint8_t>((r * 77 + g * 150 + b * 29 + 128) >> 8);
            } else {
                o[4 * x + 0] = r;
                o[4 * x + 1] = g;
                o[4 * x + 2] = b;
                o[4 * x + 3] = format_ == Format::RGBA ? static_cast<std::uint8_t>(p >> 24) : 255;
            }
        }
    }
    return out;
}

}  // namespace brumelo
