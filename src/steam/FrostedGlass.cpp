#include "steam/FrostedGlass.h"

#include <GLES/gl.h>
#include <GLES/glext.h>

#include <algorithm>
#include <cmath>

#include "platform/GLExtensions.h"
#include "render/Texture2D.h"

namespace frost {
namespace {

// The blur works on a grid this many points a cell: what it keeps is far coarser.
constexpr float kCell = 2.0f;
// Three box passes of these radii (cells) come close to a Gaussian of about 7 and 17 points.
constexpr int kBlurRadius = 3;
constexpr int kBloomRadius = 7;
// Light above this level (linear) blooms.
constexpr float kBloomFrom = 0.45f;
// Fog scatters light back: the picture shows dimmer, lifted towards a cold white.
constexpr float kPictureShare = 0.42f;
constexpr float kBloomShare = 0.4f;
constexpr float kLift[3] = {0.085f, 0.095f, 0.11f};
// Beads of condensation on a 320 x 480 point pane.
constexpr int kBeadsPerPane = 16000;

struct Grid {
    int w = 0, h = 0;
    std::vector<float> c;  // three channels a cell
    float* at(int x, int y) { return c.data() + (static_cast<std::size_t>(y) * w + x) * 3; }
};

void boxPass(std::vector<float>& c, int w, int h, int radius, bool across,
             std::vector<float>& line) {
    const int n = across ? w : h, lines = across ? h : w;
    // The line with its end cells repeated radius + 1 times past each end, so the running sum
    // reads no index out of it: the same sums, in the same order, as clamping each index.
    const int pad = radius + 1;
    line.resize(static_cast<std::size_t>(n + 2 * pad) * 3);
    const std::size_t step = across ? 3 : static_cast<std::size_t>(w) * 3;
    const float norm = 1.0f / static_cast<float>(2 * radius + 1);
    for (int l = 0; l < lines; ++l) {
        float* first = c.data() + (across ? static_cast<std::size_t>(l) * w : static_cast<std::size_t>(l)) * 3;
        for (int k = -pad; k < n + pad; ++k) {
            const float* from = first + static_cast<std::size_t>(std::clamp(k, 0, n - 1)) * step;
            float* to = line.data() + static_cast<std::size_t>(k + pad) * 3;
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
        }
        for (int ch = 0; ch < 3; ++ch) {
            const float* in = line.data() + static_cast<std::size_t>(pad) * 3 + ch;
            float sum = 0;
            for (int k = -radius; k <= radius; ++k) sum += in[k * 3];
            float* out = first + ch;
            for (int k = 0; k < n; ++k) {
                out[static_cast<std::size_t>(k) * step] = sum * norm;
                sum += in[(k + radius + 1) * 3] - in[(k - radius) * 3];
            }
        }
    }
}

void blur(Grid& g, int radius) {
    std::vector<float> line;
    for (int pass = 0; pass < 3; ++pass) {
        boxPass(g.c, g.w, g.h, radius, true, line);
        boxPass(g.c, g.w, g.h, radius, false, line);
    }
}

// A small generator of our own: the program's seeded draws must not move.
struct Draws {
    std::uint32_t state = 0x9E3779B9u;
    float next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<float>(state >> 8) / 16777216.0f;
    }
};

float smoothstep(float e0, float e1, float x) {
    const float t = std::clamp((x - e0) / (e1 - e0), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

// Beads of condensation: tiny lenses that show the fog around them flipped, darker at their
// lower edge, with a point of light near the top. Row 0 of the pixels is the top of the pane.
void addBeads(std::vector<std::uint8_t>& rgba, int width, int height, float pixelsPerPoint,
              float screenWidth, float screenHeight) {
    const std::vector<std::uint8_t> fog = rgba;
    Draws draws;
    const int count =
        static_cast<int>(kBeadsPerPane * screenWidth * screenHeight / (320.0f * 480.0f));
    for (int b = 0; b < count; ++b) {
        // Denser towards the bottom: the depth below the top drawn as the square root.
        const float down = std::sqrt(draws.next());
        const float cx = draws.next() * screenWidth, cy = down * screenHeight;
        const float big = draws.next();
        const float radius = (0.25f + 0.5f * big * big) * (0.6f + 1.8f * down * down);
        const float r = radius * pixelsPerPoint;
        const float px = cx * pixelsPerPoint, py = cy * pixelsPerPoint;
        const int x0 = std::max(0, static_cast<int>(std::floor(px - r - 1)));
        const int x1 = std::min(width - 1, static_cast<int>(std::ceil(px + r + 1)));
        const int y0 = std::max(0, static_cast<int>(std::floor(py - r - 1)));
        const int y1 = std::min(height - 1, static_cast<int>(std::ceil(py + r + 1)));
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                const float dx = (x + 0.5f - px) / r, dy = (y + 0.5f - py) / r;
                const float dist = std::sqrt(dx * dx + dy * dy);
                const float cover = std::clamp((1.0f - dist) * r + 0.5f, 0.0f, 1.0f);
                if (cover <= 0) continue;
                const int sx = std::clamp(static_cast<int>(px - dx * r * 1.6f), 0, width - 1);
                const int sy = std::clamp(static_cast<int>(py - dy * r * 1.6f), 0, height - 1);
                const std::uint8_t* seen = fog.data() + (static_cast<std::size_t>(sy) * width + sx) * 4;
                const float shade = 1.08f - 0.45f * smoothstep(0.5f, 1.0f, dist) * (0.6f + 0.4f * dy);
                const float hx = dx + 0.35f, hy = dy + 0.4f;
                const float spot = std::max(0.0f, 1.0f - (hx * hx + hy * hy) / 0.09f);
                const float glint = 0.3f * spot * spot * spot;
                std::uint8_t* p = rgba.data() + (static_cast<std::size_t>(y) * width + x) * 4;
                for (int ch = 0; ch < 3; ++ch) {
                    const float lit = std::min(255.0f, seen[ch] * shade + 255.0f * glint);
                    // Never negative: rounding half up is lround's, without its call.
                    const float v = p[ch] + (lit - p[ch]) * cover;
                    p[ch] = static_cast<std::uint8_t>(static_cast<double>(v) + 0.5);
                }
            }
        }
    }
}

}  // namespace

std::vector<std::uint8_t> frostedPixels(const Picture& picture, float screenWidth,
                                        float screenHeight, float pixelsPerPoint) {
    Grid g;
    g.w = std::max(1, static_cast<int>(std::ceil(screenWidth / kCell)));
    g.h = std::max(1, static_cast<int>(std::ceil(screenHeight / kCell)));
    g.c.assign(static_cast<std::size_t>(g.w) * g.h * 3, 0.0f);
    float linear[256];
    for (int v = 0; v < 256; ++v) linear[v] = (v / 255.0f) * (v / 255.0f);

    // Each cell the mean of the picture's pixels under it, in linear light.
    if (picture.rgba && picture.width > 0 && picture.height > 0 && picture.pictureWidth > 0 &&
        picture.pictureHeight > 0) {
        const float ppx = picture.width / picture.pictureWidth;
        const float ppy = picture.height / picture.pictureHeight;
        // A few samples a cell are plenty under a blur of several cells.
        const int k = std::clamp(static_cast<int>(std::ceil(kCell * std::max(ppx, ppy))), 1, 3);
        for (int cy = 0; cy < g.h; ++cy) {
            for (int cx = 0; cx < g.w; ++cx) {
                float sum[3] = {0, 0, 0};
                for (int sy = 0; sy < k; ++sy) {
                    const float y = (cy + (sy + 0.5f) / k) * kCell - screenHeight / 2;
                    const int ty = static_cast<int>(std::floor((y + picture.pictureHeight / 2) * ppy));
                    if (ty < 0 || ty >= picture.height) continue;
                    for (int sx = 0; sx < k; ++sx) {
                        const float x = (cx + (sx + 0.5f) / k) * kCell - screenWidth / 2;
                        const int tx =
                            static_cast<int>(std::floor((x + picture.pictureWidth / 2) * ppx));
                        if (tx < 0 || tx >= picture.width) continue;
                        const std::uint8_t* p =
                            picture.rgba + (static_cast<std::size_t>(ty) * picture.stride + tx) * 4;
                        for (int ch = 0; ch < 3; ++ch) sum[ch] += linear[p[ch]];
                    }
                }
                for (int ch = 0; ch < 3; ++ch) g.at(cx, cy)[ch] = sum[ch] / (k * k);
            }
        }
    }

    // Lights bloom: what is bright spreads wider than the blur.
    Grid bloom = g;
    for (std::size_t i = 0; i < bloom.c.size(); i += 3) {
        const float lum = 0.3f * bloom.c[i] + 0.59f * bloom.c[i + 1] + 0.11f * bloom.c[i + 2];
        const float over = std::max(0.0f, lum - kBloomFrom) / (1.0f - kBloomFrom);
        const float gain = over * std::sqrt(over) / std::max(lum, 1e-3f);
        for (int ch = 0; ch < 3; ++ch) bloom.c[i + ch] *= gain;
    }
    blur(g, kBlurRadius);
    blur(bloom, kBloomRadius);
    for (std::size_t i = 0; i < g.c.size(); i += 3) {
        for (int ch = 0; ch < 3; ++ch) {
            const float v = kPictureShare * g.c[i + ch] + kBloomShare * bloom.c[i + ch] + kLift[ch];
            g.c[i + ch] = std::sqrt(std::min(v, 1.0f)) * 255.0f;
        }
    }

    // Up to the screen's pixels, bilinear.
    const int width = std::max(1, static_cast<int>(std::lround(screenWidth * pixelsPerPoint)));
    const int height = std::max(1, static_cast<int>(std::lround(screenHeight * pixelsPerPoint)));
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * height * 4);
    std::vector<int> x0(static_cast<std::size_t>(width));
    std::vector<float> fx(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) {
        const float gx = std::clamp((x + 0.5f) / pixelsPerPoint / kCell - 0.5f, 0.0f,
                                    static_cast<float>(g.w - 1));
        x0[static_cast<std::size_t>(x)] = std::min(static_cast<int>(gx), std::max(0, g.w - 2));
        fx[static_cast<std::size_t>(x)] = gx - x0[static_cast<std::size_t>(x)];
    }
    for (int y = 0; y < height; ++y) {
        const float gy = std::clamp((y + 0.5f) / pixelsPerPoint / kCell - 0.5f, 0.0f,
                                    static_cast<float>(g.h - 1));
        const int y0 = std::min(static_cast<int>(gy), std::max(0, g.h - 2));
        const int y1 = std::min(y0 + 1, g.h - 1);
        const float fy = gy - y0;
        std::uint8_t* out = rgba.data() + static_cast<std::size_t>(y) * width * 4;
        for (int x = 0; x < width; ++x) {
            const int xa = x0[static_cast<std::size_t>(x)], xb = std::min(xa + 1, g.w - 1);
            const float f = fx[static_cast<std::size_t>(x)];
            const float* a = g.at(xa, y0);
            const float* b = g.at(xb, y0);
            const float* c = g.at(xa, y1);
            const float* d = g.at(xb, y1);
            for (int ch = 0; ch < 3; ++ch) {
                const float top = a[ch] + (b[ch] - a[ch]) * f;
                const float bottom = c[ch] + (d[ch] - c[ch]) * f;
                out[x * 4 + ch] = static_cast<std::uint8_t>(top + (bottom - top) * fy + 0.5f);
            }
            out[x * 4 + 3] = 255;
        }
    }
    addBeads(rgba, width, height, pixelsPerPoint, screenWidth, screenHeight);
    return rgba;
}

std::vector<std::uint8_t> readTexture(const Texture2D& texture) {
    if (std::vector<std::uint8_t> kept = texture.takePixels(); !kept.empty()) return kept;
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING_OES, &previous);
    GLuint fbo = 0;
    glGenFramebuffersOES(1, &fbo);
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, fbo);
    glFramebufferTexture2DOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES, GL_TEXTURE_2D,
                              texture.name(), 0);
    std::vector<std::uint8_t> rgba;
    if (glCheckFramebufferStatusOES(GL_FRAMEBUFFER_OES) == GL_FRAMEBUFFER_COMPLETE_OES) {
        rgba.resize(static_cast<std::size_t>(texture.pixelsWide()) * texture.pixelsHigh() * 4);
        GLint alignment = 4;
        glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, static_cast<GLsizei>(texture.pixelsWide()),
                     static_cast<GLsizei>(texture.pixelsHigh()), GL_RGBA, GL_UNSIGNED_BYTE,
                     rgba.data());
        glPixelStorei(GL_PACK_ALIGNMENT, alignment);
    }
    glBindFramebufferOES(GL_FRAMEBUFFER_OES, static_cast<GLuint>(previous));
    glDeleteFramebuffersOES(1, &fbo);
    return rgba;
}

std::shared_ptr<Texture2D> makeFrostedTexture(const Texture2D& background, float screenWidth,
                                              float screenHeight, float pixelsPerPoint,
                                              float cover) {
    pixelsPerPoint = std::max(1.0f, pixelsPerPoint);
    const std::vector<std::uint8_t> pixels = readTexture(background);
    if (pixels.empty()) return nullptr;
    Picture picture;
    picture.rgba = pixels.data();
    picture.stride = static_cast<int>(background.pixelsWide());
    picture.width = std::min(picture.stride, static_cast<int>(std::lround(
                                                 background.pixelsWide() * background.maxS())));
    picture.height = std::min(static_cast<int>(background.pixelsHigh()),
                              static_cast<int>(std::lround(background.pixelsHigh() * background.maxT())));
    picture.pictureWidth = background.drawnSize().width * cover;
    picture.pictureHeight = background.drawnSize().height * cover;
    const std::vector<std::uint8_t> frosted =
        frostedPixels(picture, screenWidth, screenHeight, pixelsPerPoint);
    auto texture = Texture2D::initWithSize({screenWidth, screenHeight}, pixelsPerPoint);
    if (!texture) return nullptr;
    GLint previous = 0, alignment = 4;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glBindTexture(GL_TEXTURE_2D, texture->name());
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0,
                    static_cast<GLsizei>(std::lround(screenWidth * texture->pixelsPerPoint())),
                    static_cast<GLsizei>(std::lround(screenHeight * texture->pixelsPerPoint())),
                    GL_RGBA, GL_UNSIGNED_BYTE, frosted.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(previous));
    // One texel a pixel, as the steam.
    texture->setFilter(GL_NEAREST);
    return texture;
}

}  // namespace frost
