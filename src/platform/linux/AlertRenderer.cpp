#include "platform/AlertRenderer.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <memory>

namespace brumelo {

namespace {

using namespace alert_metrics;
constexpr const char* kFamily = "Liberation Sans, Arial, Sans";

struct CairoDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct GDeleter {
    void operator()(void* p) const { g_object_unref(p); }
};
using PangoLayoutPtr = std::unique_ptr<PangoLayout, GDeleter>;

PangoLayoutPtr makeText(cairo_t* cr, const std::string& text, double size, bool bold,
                        double width) {
    PangoLayoutPtr layout(pango_cairo_create_layout(cr));
    PangoFontDescription* font = pango_font_description_from_string(kFamily);
    pango_font_description_set_absolute_size(font, size * PANGO_SCALE);
    pango_font_description_set_weight(font, bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_layout_set_font_description(layout.get(), font);
    pango_font_description_free(font);
    pango_layout_set_width(layout.get(), static_cast<int>(width * PANGO_SCALE));
    pango_layout_set_wrap(layout.get(), PANGO_WRAP_WORD_CHAR);
    pango_layout_set_alignment(layout.get(), PANGO_ALIGN_CENTER);
    pango_layout_set_text(layout.get(), text.c_str(), -1);
    return layout;
}

double textHeight(PangoLayout* layout) {
    int w = 0, h = 0;
    pango_layout_get_size(layout, &w, &h);
    return static_cast<double>(h) / PANGO_SCALE;
}

// A scratch context for measuring text: fonts are measured in points, unhinted.
cairo_t* measuringContext() {
    static std::unique_ptr<cairo_surface_t, CairoDeleter> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1));
    static std::unique_ptr<cairo_t, CairoDeleter> cr(cairo_create(surface.get()));
    return cr.get();
}

void roundedRect(cairo_t* cr, const AlertRect& r, double radius) {
    const double x = r.x, y = r.y, w = r.width, h = r.height;
    radius = std::min({radius, w / 2, h / 2});
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - radius, y + radius, radius, -M_PI / 2, 0);
    cairo_arc(cr, x + w - radius, y + h - radius, radius, 0, M_PI / 2);
    cairo_arc(cr, x + radius, y + h - radius, radius, M_PI / 2, M_PI);
    cairo_arc(cr, x + radius, y + radius, radius, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

// Fills the current path with a vertical gradient over r, then strokes its outline.
struct Rgba {
    double r, g, b, a;
};
void fillGradientAndStroke(cairo_t* cr, const AlertRect& r, Rgba top, Rgba bottom, Rgba line,
                           double lineWidth) {
    cairo_pattern_t* g = cairo_pattern_create_linear(0, r.y, 0, r.y + r.height);
    cairo_pattern_add_color_stop_rgba(g, 0, top.r, top.g, top.b, top.a);
    cairo_pattern_add_color_stop_rgba(g, 1, bottom.r, bottom.g, bottom.b, bottom.a);
    cairo_set_source(cr, g);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(g);
    cairo_set_source_rgba(cr, line.r, line.g, line.b, line.a);
    cairo_set_line_width(cr, lineWidth);
    cairo_stroke(cr);
}

void drawText(cairo_t* cr, PangoLayout* layout, double x, double y) {
    // A dark shadow one point up keeps white text readable over any picture.
    cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
    cairo_move_to(cr, x, y - 1);
    pango_cairo_show_layout(cr, layout);
    cairo_set_source_rgba(cr, 1, 1, 1, 1);
    cairo_move_to(cr, x, y);
    pango_cairo_show_layout(cr, layout);
}

}  // namespace

double alertTextHeight(const std::string& text, double size, bool bold, double width) {
    return textHeight(makeText(measuringContext(), text, size, bold, width).get());
}

AlertPicture renderAlert(const AlertContent& content, const AlertLayout& layout,
                         double pixelsPerPoint, int highlighted, int selected) {
    AlertPicture picture;
    pixelsPerPoint = std::clamp(pixelsPerPoint, 0.25, 8.0);
    picture.width = std::max(1, static_cast<int>(std::ceil(layout.box.width * pixelsPerPoint)));
    picture.height = std::max(1, static_cast<int>(std::ceil(layout.box.height * pixelsPerPoint)));
    std::unique_ptr<cairo_surface_t, CairoDeleter> surface(
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, picture.width, picture.height));
    std::unique_ptr<cairo_t, CairoDeleter> owner(cairo_create(surface.get()));
    cairo_t* cr = owner.get();
    cairo_scale(cr, pixelsPerPoint, pixelsPerPoint);
    cairo_translate(cr, -layout.box.x, -layout.box.y);

    // The box: deep blue glass with a light rim and a sheen over its top.
    const AlertRect inner{layout.box.x + 1.5, layout.box.y + 1.5, layout.box.width - 3,
                          layout.box.height - 3};
    roundedRect(cr, inner, kRadius);
    fillGradientAndStroke(cr, inner, {0.16, 0.24, 0.45, 0.9}, {0.04, 0.09, 0.25, 0.9},
                          {0.9, 0.92, 1.0, 0.9}, 2);

    cairo_save(cr);
    roundedRect(cr, inner, kRadius);
    cairo_clip(cr);
    cairo_translate(cr, inner.x + inner.width / 2, inner.y - 10);
    cairo_scale(cr, inner.width * 0.75, 38);
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.14);
    cairo_fill(cr);
    cairo_restore(cr);

    const double textWidth = kBoxWidth - 2 * kPadding;
    const double textX = layout.box.x + kPadding;
    double y = layout.box.y + kPadding;
    if (!content.title.empty()) {
        auto text = makeText(cr, content.title, 18, true, textWidth);
        drawText(cr, text.get(), textX, y);
        y += textHeight(text.get()) + kTextGap;
    }
    if (!content.message.empty()) {
        auto text = makeText(cr, content.message, 15, false, textWidth);
        drawText(cr, text.get(), textX, y);
    }

    for (std::size_t i = 0; i < layout.buttons.size() && i < content.buttons.size(); ++i) {
        const AlertRect& r = layout.buttons[i];
        const bool cancel = static_cast<int>(i) == content.cancelButtonIndex;
        const bool lit = static_cast<int>(i) == highlighted;
        roundedRect(cr, r, 7);
        const Rgba top = lit      ? Rgba{0.45, 0.62, 0.95, 0.95}
                         : cancel ? Rgba{0.35, 0.38, 0.48, 0.85}
                                  : Rgba{0.55, 0.60, 0.75, 0.6};
        const Rgba bottom = lit      ? Rgba{0.20, 0.38, 0.80, 0.95}
                            : cancel ? Rgba{0.12, 0.14, 0.22, 0.85}
                                     : Rgba{0.18, 0.24, 0.42, 0.6};
        fillGradientAndStroke(cr, r, top, bottom, {0.05, 0.08, 0.2, 0.8}, 1);
        if (static_cast<int>(i) == selected) {
            const AlertRect ring{r.x - 2, r.y - 2, r.width + 4, r.height + 4};
            roundedRect(cr, ring, 9);
            cairo_set_source_rgba(cr, 1.0, 0.9, 0.45, 1);
            cairo_set_line_width(cr, 2);
            cairo_stroke(cr);
        }
        auto label = makeText(cr, content.buttons[i], 17, true, r.width - 8);
        pango_layout_set_wrap(label.get(), PANGO_WRAP_CHAR);
        pango_layout_set_ellipsize(label.get(), PANGO_ELLIPSIZE_END);
        pango_layout_set_height(label.get(), 0);  // one line
        drawText(cr, label.get(), r.x + 4, r.y + (r.height - textHeight(label.get())) / 2);
    }

    cairo_surface_flush(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    picture.rgba.resize(static_cast<std::size_t>(picture.width) *
                        static_cast<std::size_t>(picture.height) * 4);
    std::uint8_t* out = picture.rgba.data();
    for (int row = 0; row < picture.height; ++row) {
        const auto* src = reinterpret_cast<const std::uint32_t*>(data + row * stride);
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t p = src[x];  // native-endian premultiplied ARGB
            *out++ = static_cast<std::uint8_t>(p >> 16);
            *out++ = static_cast<std::uint8_t>(p >> 8);
            *out++ = static_cast<std::uint8_t>(p);
            *out++ = static_cast<std::uint8_t>(p >> 24);
        }
    }
    return picture;
}

}  // namespace brumelo
