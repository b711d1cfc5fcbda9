#include "platform/TextRenderer.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace brumelo {

std::vector<std::uint8_t> renderTextCoverage(const std::string& text, int width, int height,
                                             double boxWidth, double boxHeight, int alignment,
                                             const std::string& fontName, double fontSize) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(std::max(width, 0)) *
                                  static_cast<std::size_t>(std::max(height, 0)));
    if (width <= 0 || height <= 0) return out;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return out;
    }
    cairo_t* cr = cairo_create(surface);
    // Lines that do not fit the box are cut off, as the box is all the caller asked for.
    cairo_rectangle(cr, 0, 0, boxWidth, boxHeight);
    cairo_clip(cr);
    cairo_set_source_rgba(cr, 1, 1, 1, 1);

    PangoLayout* layout = pango_cairo_create_layout(cr);
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, fontName.c_str());
    pango_font_description_set_absolute_size(font, fontSize * PANGO_SCALE);
    pango_layout_set_font_description(layout, font);
    pango_layout_set_width(layout, static_cast<int>(std::lround(boxWidth * PANGO_SCALE)));
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD);
    pango_layout_set_alignment(layout, alignment == 1   ? PANGO_ALIGN_CENTER
                                       : alignment == 2 ? PANGO_ALIGN_RIGHT
                                                        : PANGO_ALIGN_LEFT);
    pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
    pango_cairo_show_layout(cr, layout);

    pango_font_description_free(font);
    g_object_unref(layout);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        std::memcpy(out.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width),
                    data + static_cast<std::ptrdiff_t>(y) * stride,
                    static_cast<std::size_t>(width));
    }
    cairo_surface_destroy(surface);
    return out;
}

}  // namespace brumelo
