// Costs of making textures (background-sized pictures, a large photo, text), of drawing them,
// and of decoding the pictures the program loads.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "platform/GLContext.h"
#include "platform/GLExtensions.h"
#include "platform/Image.h"
#include "render/Texture2D.h"
#include "render/Viewport.h"

namespace {

brumelo::HeadlessGLContext* context() {
    static brumelo::HeadlessGLContext* made = [] {
        std::string why;
        auto* c = brumelo::HeadlessGLContext::create(&why).release();
        if (c == nullptr) {
            std::fprintf(stderr, "no GL context: %s\n", why.c_str());
            std::exit(1);
        }
        GLuint framebuffer = 0, renderbuffer = 0;
        glGenFramebuffersOES(1, &framebuffer);
        glGenRenderbuffersOES(1, &renderbuffer);
        glBindRenderbufferOES(GL_RENDERBUFFER_OES, renderbuffer);
        glRenderbufferStorageOES(GL_RENDERBUFFER_OES, GL_RGBA8_OES, 320, 480);
        glBindFramebufferOES(GL_FRAMEBUFFER_OES, framebuffer);
        glFramebufferRenderbufferOES(GL_FRAMEBUFFER_OES, GL_COLOR_ATTACHMENT0_OES,
                                     GL_RENDERBUFFER_OES, renderbuffer);
        return c;
    }();
    return made;
}

Image noise(int w, int h, ImageAlpha alpha) {
    std::vector<std::uint8_t> p(static_cast<std::size_t>(w) * h * 4);
    std::uint32_t s = 12345;
    for (auto& b : p) {
        s = s * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(s >> 24);
    }
    return Image(w, h, std::move(p), alpha);
}

void PictureTexture(benchmark::State& state, int w, int h, ImageAlpha alpha) {
    context();
    const Image picture = noise(w, h, alpha);
    for (auto _ : state) {
        auto t = Texture2D::initWithImage(&picture);
        benchmark::DoNotOptimize(t->name());
    }
    state.SetItemsProcessed(state.iterations() * w * h);
}
BENCHMARK_CAPTURE(PictureTexture, background_320x480_rgb565, 320, 480, ImageAlpha::None)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PictureTexture, fog_320x480_rgba, 320, 480, ImageAlpha::Last)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PictureTexture, photo_1500x900_halved, 1500, 900, ImageAlpha::None)
    ->Unit(benchmark::kMillisecond);

void TextTexture(benchmark::State& state) {
    context();
    for (auto _ : state) {
        auto t = Texture2D::initWithStringDimensionsAlignmentFontNameFontSize("Scores", {220, 64},
                                                                              1, "Arial", 42);
        benchmark::DoNotOptimize(t->name());
    }
}
BENCHMARK(TextTexture)->Unit(benchmark::kMillisecond);

// A frame's worth of droplet pictures: 200 small quads.
void DrawQuads(benchmark::State& state) {
    context();
    const Image droplet = noise(32, 32, ImageAlpha::Last);
    auto t = Texture2D::initWithImage(&droplet);
    Viewport({0, 0, 1}, 320, 480, 0, 0).setupView();
    glEnable(GL_TEXTURE_2D);
    glEnableClientState(GL_TEXTURE_COORD_ARRAY);
    for (auto _ : state) {
        for (int i = 0; i < 200; ++i) {
            t->drawAtPoint(static_cast<float>(i % 20 * 16 - 160),
                           static_cast<float>(i / 20 * 48 - 240));
        }
        glFinish();
    }
    state.SetItemsProcessed(state.iterations() * 200);
}
BENCHMARK(DrawQuads)->Unit(benchmark::kMicrosecond);

void DecodePNG(benchmark::State& state) {
    const auto png = brumelo::encodePNG(noise(320, 480, ImageAlpha::Last));
    for (auto _ : state) {
        auto result = brumelo::decodeImage(png);
        benchmark::DoNotOptimize(result.image.get());
    }
}
BENCHMARK(DecodePNG)->Unit(benchmark::kMillisecond);

void DecodeJPEG(benchmark::State& state) {
    const auto jpeg = brumelo::encodeJPEG(noise(1600, 1200, ImageAlpha::None), 0.9);
    for (auto _ : state) {
        auto result = brumelo::decodeImage(jpeg);
        benchmark::DoNotOptimize(result.image.get());
    }
}
BENCHMARK(DecodeJPEG)->Unit(benchmark::kMillisecond);

}  // namespace
