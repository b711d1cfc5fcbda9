// Draws the pictures the program ships: the starting steam, the default background and the two
// droplets. Output is the same on every run: all randomness comes from fixed seeds below.

#include <cairo.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 480;
constexpr double kPi = 3.14159265358979323846;

// Local generator so the pictures never depend on the program's shared random state.
class Rng {
  public:
    explicit Rng(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    std::uint64_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return state_;
    }
    double fraction() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    double range(double lo, double hi) { return lo + (hi - lo) * fraction(); }

  private:
    std::uint64_t state_;
};

// Smooth value noise on a lattice, summed over octaves; result roughly in [0, 1].
class Noise {
  public:
    Noise(std::uint64_t seed, int size) : size_(size), values_(size * size) {
        Rng rng(seed);
        for (double& v : values_) v = rng.fraction();
    }
    double at(double x, double y) const {
        int x0 = static_cast<int>(std::floor(x));
        int y0 = static_cast<int>(std::floor(y));
        double fx = smooth(x - x0);
        double fy = smooth(y - y0);
        double a = lattice(x0, y0), b = lattice(x0 + 1, y0);
        double c = lattice(x0, y0 + 1), d = lattice(x0 + 1, y0 + 1);
        return (a + (b - a) * fx) * (1 - fy) + (c + (d - c) * fx) * fy;
    }
    double fractal(double x, double y, int octaves) const {
        double sum = 0, amp = 1, total = 0;
        for (int i = 0; i < octaves; ++i) {
            sum += at(x, y) * amp;
            total += amp;
            x = x * 2.03 + 17.1;
            y = y * 2.03 + 5.7;
            amp *= 0.5;
        }
        return sum / total;
    }

  private:
    static double smooth(double t) { return t * t * (3 - 2 * t); }
    double lattice(int x, int y) const {
        x = ((x % size_) + size_) % size_;
        y = ((y % size_) + size_) % size_;
        return values_[y * size_ + x];
    }
    int size_;
    std::vector<double> values_;
};

bool save(cairo_surface_t* surface, const std::string& dir, const char* name) {
    std::string path = dir + "/" + name;
    cairo_surface_flush(surface);
    if (cairo_surface_write_to_png(surface, path.c_str()) != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "make_pictures: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

// libpng reports failures by longjmp: nothing here lives across it.
bool writeRows(png_structp png, png_infop info, FILE* f, const png_image& image,
               const std::vector<unsigned char>& rgba) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, f);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_level(png, 9);
    png_set_compression_mem_level(png, 9);
    png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB_ALPHA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    for (png_uint_32 y = 0; y < image.height; ++y)
        png_write_row(png, rgba.data() + static_cast<std::size_t>(y) * image.width * 4);
    png_write_end(png, nullptr);
    return true;
}

// The steam is grain over smooth light: written with each row as the difference from its left
// neighbour and zlib's best compression it is 15 % smaller than Cairo's writer makes it, pixel
// for pixel the same. The page downloads it before its first frame.
bool saveSmall(cairo_surface_t* surface, const std::string& dir, const char* name) {
    std::vector<unsigned char> encoded;
    cairo_surface_flush(surface);
    auto append = [](void* to, const unsigned char* data, unsigned int length) {
        auto* bytes = static_cast<std::vector<unsigned char>*>(to);
        bytes->insert(bytes->end(), data, data + length);
        return CAIRO_STATUS_SUCCESS;
    };
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (cairo_surface_write_to_png_stream(surface, append, &encoded) != CAIRO_STATUS_SUCCESS ||
        !png_image_begin_read_from_memory(&image, encoded.data(), encoded.size()))
        return false;
    image.format = PNG_FORMAT_RGBA;
    std::vector<unsigned char> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) return false;
    const std::string path = dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    png_structp png = f ? png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr)
                        : nullptr;
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool ok = info != nullptr && writeRows(png, info, f, image, rgba);
    if (png) png_destroy_write_struct(&png, info ? &info : nullptr);
    const bool closed = !f || std::fclose(f) == 0;
    if (!ok || !closed) std::fprintf(stderr, "make_pictures: cannot write %s\n", path.c_str());
    return ok && closed;
}

std::uint8_t byte(double v) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(v * 255.0), 0l, 255l));
}

// Cairo keeps premultiplied ARGB in native order.
void putPixel(unsigned char* row, int x, double r, double g, double b, double a) {
    auto* p = reinterpret_cast<std::uint32_t*>(row) + x;
    *p = (std::uint32_t(byte(a)) << 24) | (std::uint32_t(byte(r * a)) << 16) |
         (std::uint32_t(byte(g * a)) << 8) | std::uint32_t(byte(b * a));
}

// The starting steam: a pale, almost opaque mist with slow swirls of cooler and warmer grey.
bool makeFog(const std::string& dir) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
    Noise shape(101, 64), tint(202, 64), grain(303, 128);
    unsigned char* data = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < kHeight; ++y) {
        unsigned char* row = data + y * stride;
        for (int x = 0; x < kWidth; ++x) {
            double n = shape.fractal(x / 90.0, y / 90.0, 5);
            double t = tint.fractal(x / 150.0 + 3.0, y / 150.0 + 9.0, 3);
            double g = grain.at(x / 2.5, y / 2.5);
            // Slightly brighter towards the top, as on a window lit from above.
            double light = 0.80 + 0.10 * n + 0.04 * (1.0 - double(y) / kHeight) + 0.015 * g;
            double warm = (t - 0.5) * 0.06;
            double r = light + warm;
            double gg = light + 0.01;
            double b = light + 0.045 - warm;
            double a = 0.985 + 0.015 * n;
            putPixel(row, x, r, gg, b, std::min(1.0, a));
        }
    }
    cairo_surface_mark_dirty(s);
    bool ok = saveSmall(s, dir, "Foggy1-HQ.png");
    cairo_surface_destroy(s);
    return ok;
}

void lightWindow(cairo_t* cr, Rng& rng, double x, double y, double w, double h) {
    double pick = rng.fraction();
    if (pick < 0.45) {
        cairo_set_source_rgb(cr, 0.95, 0.78 + 0.12 * rng.fraction(), 0.42);
    } else if (pick < 0.60) {
        cairo_set_source_rgb(cr, 0.70, 0.85, 0.98);
    } else {
        return;  // dark window
    }
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
}

// One row of buildings along a skyline, each with lit windows when near enough to see them.
void drawSkyline(cairo_t* cr, Rng& rng, double base, double minH, double maxH, double shade[3],
                 bool windows, double maxGap) {
    double x = -10;
    while (x < kWidth + 10) {
        double w = rng.range(18, 46);
        double h = rng.range(minH, maxH);
        double top = base - h;
        cairo_set_source_rgb(cr, shade[0], shade[1], shade[2]);
        cairo_rectangle(cr, x, top, w, h + 1);
        cairo_fill(cr);
        if (rng.fraction() < 0.25) {  // a spire or a stepped roof
            double sw = w * rng.range(0.2, 0.45);
            double sh = rng.range(8, 26);
            cairo_rectangle(cr, x + (w - sw) / 2, top - sh, sw, sh + 1);
            cairo_fill(cr);
            if (rng.fraction() < 0.5) {
                cairo_set_source_rgb(cr, 0.95, 0.25, 0.2);
                cairo_arc(cr, x + w / 2, top - sh - 1.5, 1.2, 0, 2 * kPi);
                cairo_fill(cr);
            }
        }
        if (windows) {
            double cw = 3, chh = 4, gap = 3;
            for (double wy = top + 5; wy < base - 6; wy += chh + gap) {
                for (double wx = x + 3; wx < x + w - 5; wx += cw + gap) {
                    lightWindow(cr, rng, wx, wy, cw, chh);
                }
            }
        }
        x += w + rng.range(0, maxGap);
    }
}

// The default background: a city at dusk across a bay. Big shapes and warm lights read well even
// when seen half through steam.
bool makeBackground(const std::string& dir) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    cairo_t* cr = cairo_create(s);
    Rng rng(4242);
    const double horizon = 300;

    cairo_pattern_t* sky = cairo_pattern_create_linear(0, 0, 0, horizon);
    cairo_pattern_add_color_stop_rgb(sky, 0.00, 0.07, 0.08, 0.24);
    cairo_pattern_add_color_stop_rgb(sky, 0.45, 0.24, 0.20, 0.45);
    cairo_pattern_add_color_stop_rgb(sky, 0.75, 0.78, 0.40, 0.42);
    cairo_pattern_add_color_stop_rgb(sky, 1.00, 0.99, 0.68, 0.38);
    cairo_set_source(cr, sky);
    cairo_paint(cr);
    cairo_pattern_destroy(sky);

    // Stars in the dark upper sky only.
    for (int i = 0; i < 70; ++i) {
        double x = rng.range(0, kWidth), y = rng.range(0, 120);
        double a = rng.range(0.3, 0.9) * (1.0 - y / 140.0);
        cairo_set_source_rgba(cr, 1, 1, 0.95, a);
        cairo_arc(cr, x, y, rng.range(0.4, 1.0), 0, 2 * kPi);
        cairo_fill(cr);
    }

    // The setting sun's glow behind the city.
    cairo_pattern_t* glow =
        cairo_pattern_create_radial(210, horizon - 20, 5, 210, horizon - 20, 150);
    cairo_pattern_add_color_stop_rgba(glow, 0, 1.0, 0.85, 0.55, 0.9);
    cairo_pattern_add_color_stop_rgba(glow, 0.2, 1.0, 0.62, 0.35, 0.5);
    cairo_pattern_add_color_stop_rgba(glow, 1, 1.0, 0.5, 0.3, 0.0);
    cairo_set_source(cr, glow);
    cairo_paint(cr);
    cairo_pattern_destroy(glow);

    // A few soft clouds lit from below.
    for (int i = 0; i < 5; ++i) {
        double cx = rng.range(-20, kWidth + 20), cy = rng.range(90, 200), w = rng.range(60, 130);
        cairo_save(cr);
        cairo_translate(cr, cx, cy);
        cairo_scale(cr, w, rng.range(5, 10));
        cairo_pattern_t* c = cairo_pattern_create_radial(0, 0, 0, 0, 0, 1);
        cairo_pattern_add_color_stop_rgba(c, 0, 0.98, 0.62, 0.55, 0.45);
        cairo_pattern_add_color_stop_rgba(c, 1, 0.98, 0.62, 0.55, 0.0);
        cairo_set_source(cr, c);
        cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
        cairo_fill(cr);
        cairo_pattern_destroy(c);
        cairo_restore(cr);
    }

    // The moon, high on the left.
    cairo_set_source_rgba(cr, 1, 0.97, 0.86, 0.25);
    cairo_arc(cr, 70, 70, 20, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 1, 0.97, 0.88);
    cairo_arc(cr, 70, 70, 13, 0, 2 * kPi);
    cairo_fill(cr);

    // Hills far away, then two rows of buildings.
    cairo_set_source_rgb(cr, 0.33, 0.24, 0.40);
    cairo_move_to(cr, 0, horizon);
    for (int x = 0; x <= kWidth; x += 8) {
        cairo_line_to(cr, x, horizon - 60 + 18 * std::sin(x / 45.0) + 9 * std::sin(x / 13.0 + 1));
    }
    cairo_line_to(cr, kWidth, horizon);
    cairo_close_path(cr);
    cairo_fill(cr);
    double far[3] = {0.22, 0.16, 0.30};
    drawSkyline(cr, rng, horizon, 40, 120, far, false, 3);
    double nearShade[3] = {0.09, 0.07, 0.14};
    drawSkyline(cr, rng, horizon, 15, 140, nearShade, true, 28);

    // The bay: darker water with the city's lights stretched into streaks.
    cairo_pattern_t* water = cairo_pattern_create_linear(0, horizon, 0, kHeight);
    cairo_pattern_add_color_stop_rgb(water, 0, 0.30, 0.20, 0.32);
    cairo_pattern_add_color_stop_rgb(water, 1, 0.04, 0.05, 0.13);
    cairo_set_source(cr, water);
    cairo_rectangle(cr, 0, horizon, kWidth, kHeight - horizon);
    cairo_fill(cr);
    for (int i = 0; i < 260; ++i) {
        double x = rng.range(0, kWidth);
        double y = horizon + 2 + std::pow(rng.fraction(), 1.6) * (kHeight - horizon);
        double len = rng.range(4, 18) * (1 + (y - horizon) / 90.0);
        double fade = 1.0 - (y - horizon) / (kHeight - horizon + 40);
        double warm = rng.fraction();
        if (warm < 0.7) {
            cairo_set_source_rgba(cr, 1.0, 0.70, 0.40, 0.45 * fade);
        } else {
            cairo_set_source_rgba(cr, 0.6, 0.8, 1.0, 0.35 * fade);
        }
        cairo_rectangle(cr, x - len / 2, y, len, 1.0 + (y - horizon) / 120.0);
        cairo_fill(cr);
    }
    // The sun's path on the water.
    cairo_pattern_t* path = cairo_pattern_create_linear(150, 0, 270, 0);
    cairo_pattern_add_color_stop_rgba(path, 0, 1, 0.7, 0.4, 0);
    cairo_pattern_add_color_stop_rgba(path, 0.5, 1, 0.75, 0.45, 0.35);
    cairo_pattern_add_color_stop_rgba(path, 1, 1, 0.7, 0.4, 0);
    cairo_set_source(cr, path);
    for (double y = horizon + 3; y < kHeight; y += 5 + (y - horizon) / 25) {
        cairo_rectangle(cr, 150, y, 120, 1.5 + (y - horizon) / 80);
    }
    cairo_fill(cr);
    cairo_pattern_destroy(path);
    cairo_pattern_destroy(water);

    cairo_destroy(cr);
    bool ok = save(s, dir, "back1.png");
    cairo_surface_destroy(s);
    return ok;
}

// A water drop on glass: a clear body, a darker rim where the light bends away, a bright
// highlight up and to the left, and a faint caustic opposite it.
bool makeDroplet(const std::string& dir, const char* name, double stretch, double hx, double hy) {
    const int size = 64;
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(s);
    const double c = size / 2.0, r = size / 2.0 - 3;

    cairo_save(cr);
    cairo_translate(cr, c, c);
    cairo_scale(cr, 1.0, stretch);
    cairo_pattern_t* body = cairo_pattern_create_radial(-r * 0.15, -r * 0.2, 0, 0, 0, r);
    cairo_pattern_add_color_stop_rgba(body, 0.00, 0.92, 0.96, 1.00, 0.18);
    cairo_pattern_add_color_stop_rgba(body, 0.60, 0.75, 0.84, 0.92, 0.30);
    cairo_pattern_add_color_stop_rgba(body, 0.85, 0.30, 0.38, 0.48, 0.70);
    cairo_pattern_add_color_stop_rgba(body, 0.96, 0.12, 0.16, 0.22, 0.90);
    cairo_pattern_add_color_stop_rgba(body, 1.00, 0.10, 0.12, 0.18, 0.0);
    cairo_set_source(cr, body);
    cairo_arc(cr, 0, 0, r, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(body);

    // Caustic: light focused through the drop onto its lower side.
    cairo_pattern_t* caustic = cairo_pattern_create_radial(-hx * r * 0.9, -hy * r * 0.9, 0,
                                                           -hx * r * 0.9, -hy * r * 0.9, r * 0.45);
    cairo_pattern_add_color_stop_rgba(caustic, 0, 1, 1, 1, 0.55);
    cairo_pattern_add_color_stop_rgba(caustic, 1, 1, 1, 1, 0);
    cairo_set_source(cr, caustic);
    cairo_arc(cr, 0, 0, r * 0.9, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(caustic);

    // Main highlight.
    cairo_pattern_t* hi = cairo_pattern_create_radial(hx * r, hy * r, 0, hx * r, hy * r, r * 0.32);
    cairo_pattern_add_color_stop_rgba(hi, 0, 1, 1, 1, 1.0);
    cairo_pattern_add_color_stop_rgba(hi, 0.35, 1, 1, 1, 0.85);
    cairo_pattern_add_color_stop_rgba(hi, 1, 1, 1, 1, 0);
    cairo_set_source(cr, hi);
    cairo_arc(cr, hx * r, hy * r, r * 0.32, 0, 2 * kPi);
    cairo_fill(cr);
    cairo_pattern_destroy(hi);
    cairo_restore(cr);

    cairo_destroy(cr);
    bool ok = save(s, dir, name);
    cairo_surface_destroy(s);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_pictures RESOURCE_DIR\n");
        return 2;
    }
    std::string dir = argv[1];
    bool ok = makeFog(dir);
    ok = makeBackground(dir) && ok;
    ok = makeDroplet(dir, "Droplet1.png", 1.0, -0.38, -0.42) && ok;
    ok = makeDroplet(dir, "Droplet2.png", 0.86, -0.30, -0.48) && ok;
    return ok ? 0 : 1;
}
